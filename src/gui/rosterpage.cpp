#include "rosterpage.h"

#include "accountdialog.h"
#include "calibrationdialog.h"
#include "exchangecommands.h"
#include "prompts.h"
#include "receiptcommands.h"
#include "rosterdelegate.h"
#include "rosterdialogs.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLineEdit>
#include <QSet>
#include <QShortcut>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

RosterPage::RosterPage(RosterDocument *document, OfficeSession *session, Widgets widgets)
    : QWidget(nullptr), m_document(document), m_session(session)
{
    setObjectName(className());
    auto rows = [this] { return m_document ? m_document->size() : 0; };
    auto child = [this](int r) {
        return m_document ? ChildRef{m_document, m_document->uid(r)} : ChildRef{};
    };
    m_receipts = std::make_unique<ReceiptCommands>(
        this, session, rows, child, [this](const QString &t) { emit statusMessage(t); });
    m_workbooks = std::make_unique<ExchangeCommands>(this);
    if (widgets == Widgets::Now)
        buildWidgets();
}

RosterPage::~RosterPage() = default;

QString RosterPage::className() const
{
    return m_document ? m_document->className() : QString();
}

void RosterPage::setDocument(RosterDocument *document)
{
    m_document = document;
    setObjectName(className());
    if (tableView) {
        tableView->setModel(document);
        QAbstractItemDelegate *old = tableView->itemDelegate();
        tableView->setItemDelegate(new RosterDelegate(document, tableView));
        delete old;
    }
}

void RosterPage::showEvent(QShowEvent *event)
{
    // Another PC may have taken money since: the account columns read again.
    if (m_document)
        m_document->refreshAccounts();
    QWidget::showEvent(event);
}

void RosterPage::ensureBuilt()
{
    buildWidgets();
}

void RosterPage::buildWidgets()
{
    if (tableView)
        return;
    tableView = new QTableView(this);
    tableView->setObjectName(QStringLiteral("rosterTable"));
    tableView->setModel(m_document);
    tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView->setItemDelegate(new RosterDelegate(m_document, tableView));
    // Each column as wide as its caption (and an eight-digit amount), so
    // that the whole row, 打印状态 included, fits a 1366 pixels wide screen.
    {
        QHeaderView *header = tableView->horizontalHeader();
        const int amount = tableView->fontMetrics().horizontalAdvance(QStringLiteral("00000000"));
        for (int c = 0; c < header->count(); ++c)
            header->resizeSection(c, qMax(header->sectionSizeHint(c), amount));
    }
    // The child's account, from the row's context menu.
    if (m_session) {
        auto *account = new QAction(QStringLiteral("缴费记录"), tableView);
        account->setObjectName(QStringLiteral("account"));
        tableView->addAction(account);
        tableView->setContextMenuPolicy(Qt::ActionsContextMenu);
        connect(account, &QAction::triggered, this, [this] {
            const int row = tableView->currentIndex().row();
            if (row < 0 || row >= m_document->size()) {
                Prompts::warn(this, QStringLiteral("请先选中一名儿童"));
                return;
            }
            const ChildRecord &rec = m_document->record(row);
            AccountDialog::show(m_session, rec.childId, rec.text(Roster::Name), this);
        });
    }
    buildToolBar();
    buildRosterDialogs(*this);
    if (m_sharedClasses)
        classCombo->setModel(m_sharedClasses);
    // Undo and redo of the roster's changes.
    auto *undoKey = new QShortcut(QKeySequence::Undo, this);
    connect(undoKey, &QShortcut::activated, this, &RosterPage::undo);
    auto *redoKey = new QShortcut(QKeySequence::Redo, this);
    connect(redoKey, &QShortcut::activated, this, &RosterPage::redo);
}

void RosterPage::buildToolBar()
{
    const QVector<RosterToolBar::Command> commands = {
        {u"添加", "addRow", [this] { addRow(); }},
        {u"删除", "deleteRow", [this] { deleteRow(); }},
        {u"打印选中", "printSelected", [this] { onButtonPrint(); }},
        {u"打印区间", "printRange", [this] { showPrintallWidget(); }},
        {u"读取Excel文件", "openExcel", [this] { onButtonOpenExcel(); }},
        {u"保存为Excel文件", "saveExcel", [this] { onButtonSaveExcel(); }},
        {u"班级管理", "classChange", [this] { onButtonclassChange(); }},
        {u"打印预览", "preview", [this] { onButtonPreview(); }},
    };
    m_toolBar = new RosterToolBar(commands, this);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_toolBar);
    layout->addWidget(tableView);
    layout->setContentsMargins(0, 0, 0, 0);
}

QToolButton *RosterPage::toolButton(const QString &name) const
{
    return m_toolBar ? m_toolBar->button(name) : nullptr;
}

QList<QToolButton *> RosterPage::toolButtons() const
{
    return m_toolBar ? m_toolBar->buttons() : QList<QToolButton *>();
}

void RosterPage::shareClassList(QAbstractItemModel *classes)
{
    m_sharedClasses = classes;
    if (classCombo)
        classCombo->setModel(classes);
}

QList<int> RosterPage::selectedRows() const
{
    if (!tableView)
        return {};
    QSet<int> rows;
    for (const QModelIndex &index : tableView->selectionModel()->selectedIndexes())
        rows.insert(index.row());
    QList<int> ordered = rows.values();
    std::sort(ordered.begin(), ordered.end());
    return ordered;
}

void RosterPage::addRow()
{
    if (m_document)
        m_document->addRow();
}

void RosterPage::deleteRow()
{
    if (m_document)
        m_document->removeRows(selectedRows());
}

void RosterPage::undo()
{
    if (m_document)
        m_document->undoStack()->undo();
}

void RosterPage::redo()
{
    if (m_document)
        m_document->undoStack()->redo();
}

void RosterPage::onButtonclassChange()
{
    classChangeDialog->setWindowTitle(
        QStringLiteral("调班：%1 名儿童从“%2”调出").arg(selectedRows().size()).arg(className()));
    classChangeDialog->show();
}

void RosterPage::onclassChange()
{
    if (m_document)
        m_document->moveToClass(selectedRows(), classCombo->currentText());
    classChangeDialog->close();
}

void RosterPage::printSelectedReceipt()
{
    m_receipts->printSelected(tableView ? tableView->currentIndex().row() : -1);
}

void RosterPage::printReceiptRange(int from, int to)
{
    m_receipts->printRange(from, to);
}

void RosterPage::onButtonPrint()
{
    printSelectedReceipt();
}

void RosterPage::showPrintallWidget()
{
    printRangeDialog->show();
}

void RosterPage::onButtonPrintOK()
{
    printReceiptRange(Roster::toInt(printFromEdit->text()), Roster::toInt(printToEdit->text()));
    printRangeDialog->close();
}

void RosterPage::onButtonPreview()
{
    // The range typed in the open print-range dialog, else the selected
    // child. Nothing is marked, rewritten or reported.
    if (printRangeDialog->isVisible())
        m_receipts->preview(Roster::toInt(printFromEdit->text()),
                            Roster::toInt(printToEdit->text()));
    else
        m_receipts->preview(tableView->currentIndex().row());
}

void RosterPage::showCalibration()
{
    auto *dialog = new CalibrationDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void RosterPage::onButtonOpenExcel()
{
    if (m_workbooks->chooseSource())
        readRangeDialog->show();
}

void RosterPage::cancelImport()
{
    readRangeDialog->close();
    m_workbooks->cancel();
}

void RosterPage::onreadExcelButtonOK()
{
    m_workbooks->readRange();
}

void RosterPage::onButtonSaveExcel()
{
    m_workbooks->saveRoster();
}

const RosterExchange &RosterPage::exchange() const
{
    return m_workbooks->exchange();
}
