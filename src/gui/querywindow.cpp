#include "querywindow.h"

#include "accountdialog.h"
#include "calibrationdialog.h"
#include "exchangecommands.h"
#include "officesession.h"
#include "prompts.h"
#include "queryresults.h"
#include "receiptcommands.h"
#include "rosterdialogs.h"
#include "rosterexchange.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

QueryWindow::QueryWindow(OfficeSession &session, QWidget *parent)
    : QDialog(parent), m_session(session), m_exchange(std::make_unique<RosterExchange>())
{
    setObjectName(QStringLiteral("queryDialog"));
    setWindowTitle(QStringLiteral("查询儿童"));
    // Wide enough for the thirteen columns of a result.
    resize(1280, 520);
    m_results = new QueryResults(this);
    m_edit = new QLineEdit;
    m_edit->setObjectName(QStringLiteral("queryText"));
    auto *run = new QToolButton;
    run->setObjectName(QStringLiteral("queryRun"));
    run->setText(QStringLiteral("查询"));
    m_table = new QTableView;
    m_table->setObjectName(QStringLiteral("queryTable"));
    m_table->setModel(m_results);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    // A result is the child's row: edited here, it changes in its class.
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::AnyKeyPressed);
    auto *account = new QAction(QStringLiteral("缴费记录"), m_table);
    account->setObjectName(QStringLiteral("account"));
    m_table->addAction(account);
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(account, &QAction::triggered, this, [this, &session] {
        const ChildRef c = m_results->child(m_table->currentIndex().row());
        const int row = c.row();
        if (row < 0) {
            Prompts::warn(this, QStringLiteral("请先选中一名儿童"));
            return;
        }
        const ChildRecord &rec = c.document->record(row);
        AccountDialog::show(&session, rec.childId, rec.text(Roster::Name), this);
    });

    auto rows = [this] { return m_results->rowCount(); };
    auto child = [this](int r) { return m_results->child(r); };
    m_receipts = std::make_unique<ReceiptCommands>(
        this, &session, rows, child, [this](const QString &t) { emit statusMessage(t); });
    const QVector<RosterToolBar::Command> commands = {
        {u"打印选中", "printSelected", [this] { printSelectedReceipt(); }},
        {u"打印区间", "printRange", [this] { m_range->show(); }},
        {u"保存为Excel文件", "saveExcel",
         [this] {
             QVector<QStringList> rows;
             for (int r = 0; r < m_results->rowCount(); ++r)
                 rows << m_results->texts(r).mid(0, Roster::ColumnCount);
             ExchangeCommands::saveRows(this, QString(), rows, *m_exchange,
                                        [this](const QString &t) { emit statusMessage(t); });
         }},
        {u"打印预览", "preview",
         [this] {
             if (m_range->isVisible())
                 m_receipts->preview(Roster::toInt(m_range->fromEdit->text()),
                                     Roster::toInt(m_range->toEdit->text()));
             else
                 m_receipts->preview(m_table->currentIndex().row());
         }},
    };
    m_toolBar = new RosterToolBar(commands, this);
    m_range = new PrintRangeDialog(this);
    connect(m_range->okButton, &QPushButton::pressed, this, [this] {
        printReceiptRange(Roster::toInt(m_range->fromEdit->text()),
                          Roster::toInt(m_range->toEdit->text()));
        m_range->close();
    });
    connect(m_range->calibrateButton, &QPushButton::pressed, this, [this] {
        auto *dialog = new CalibrationDialog(this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
    });

    auto *outer = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    top->addWidget(m_edit);
    top->addWidget(run);
    outer->addLayout(top);
    outer->addWidget(m_toolBar);
    outer->addWidget(m_table);
    connect(run, &QToolButton::clicked, this, &QueryWindow::runQuery);
    // Results point at rosters; rosters read anew are searched anew.
    auto again = [this] {
        if (m_hasQueried) {
            m_results->setResults(m_session.find(m_lastQuery));
        }
    };
    connect(&session, &OfficeSession::documentsReplaced, this, again);
    connect(&session, &OfficeSession::classReloaded, this, again);
}

QueryWindow::~QueryWindow() = default;

QToolButton *QueryWindow::toolButton(const QString &name) const
{
    return m_toolBar->button(name);
}

QList<QToolButton *> QueryWindow::toolButtons() const
{
    return m_toolBar->buttons();
}

void QueryWindow::runQuery()
{
    m_lastQuery = m_edit->text();
    m_hasQueried = true;
    m_results->setResults(m_session.find(m_lastQuery));
    emit statusMessage(QStringLiteral("找到 %1 名儿童").arg(m_results->rowCount()));
}

void QueryWindow::printSelectedReceipt()
{
    m_receipts->printSelected(m_table->currentIndex().row());
}

void QueryWindow::printReceiptRange(int from, int to)
{
    m_receipts->printRange(from, to);
}
