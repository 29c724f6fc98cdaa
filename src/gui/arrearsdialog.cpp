#include "arrearsdialog.h"

#include "classname.h"
#include "clock.h"
#include "journal.h"
#include "officesession.h"
#include "prompts.h"
#include "rosterexchange.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace
{
const char16_t *const headers[ArrearsModel::Columns] = {u"班级", u"儿童姓名", u"欠费月份",
                                                        u"欠费（元）"};

// Count and sum per class, in class order, and in all.
struct ClassSum {
    int children = 0;
    qint64 fen = 0;
};
QMap<QString, ClassSum> byClass(const QVector<Ledger::Owing> &owing)
{
    QMap<QString, ClassSum> sums;
    for (const Ledger::Owing &o : owing) {
        ++sums[o.className].children;
        sums[o.className].fen += o.total;
    }
    return sums;
}
} // namespace

QString ArrearsModel::header(int column)
{
    return QString::fromUtf16(headers[column]);
}

QString ArrearsModel::cellText(const Ledger::Owing &o, int column)
{
    switch (column) {
    case 0:
        return o.className;
    case 1:
        return o.childName;
    case 2: {
        QStringList months;
        for (auto it = o.months.cbegin(); it != o.months.cend(); ++it)
            months << it.key();
        return months.join(QStringLiteral("、"));
    }
    default:
        return Journal::yuan(o.total);
    }
}

void ArrearsModel::setOwing(QVector<Ledger::Owing> owing)
{
    beginResetModel();
    m_owing = std::move(owing);
    m_sum = 0;
    for (const Ledger::Owing &o : std::as_const(m_owing))
        m_sum += o.total;
    endResetModel();
}

int ArrearsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || m_owing.isEmpty() ? 0 : int(m_owing.size()) + 1;
}

int ArrearsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Columns;
}

QVariant ArrearsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() > m_owing.size())
        return {};
    const bool total = isTotalRow(index.row());
    if (role == Qt::DisplayRole && !total)
        return cellText(m_owing.at(index.row()), index.column());
    if (role == Qt::DisplayRole) {
        if (index.column() == 0)
            return QStringLiteral("合计");
        if (index.column() == 1)
            return QStringLiteral("%1 名").arg(m_owing.size());
        if (index.column() == 3)
            return Journal::yuan(m_sum);
        return {};
    }
    if (role == Qt::FontRole && total) {
        QFont f;
        f.setBold(true);
        return f;
    }
    if (role == Qt::TextAlignmentRole && index.column() == 3)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant ArrearsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < Columns)
        return header(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

ArrearsDialog::ArrearsDialog(OfficeSession &session, QWidget *parent)
    : QDialog(parent), m_session(session)
{
    setObjectName(QStringLiteral("arrearsDialog"));
    setWindowTitle(QStringLiteral("欠费"));
    resize(900, 600);
    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    auto *again = new QPushButton(QStringLiteral("刷新"), this);
    again->setObjectName(QStringLiteral("arrearsRefresh"));
    auto *exporting = new QPushButton(QStringLiteral("导出"), this);
    exporting->setObjectName(QStringLiteral("arrearsExport"));
    top->addStretch();
    top->addWidget(again);
    top->addWidget(exporting);
    layout->addLayout(top);
    m_model = new ArrearsModel(this);
    m_table = new QTableView(this);
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->setDefaultSectionSize(22);
    layout->addWidget(m_table);
    m_totals = new QLabel(this);
    m_totals->setWordWrap(true);
    m_totals->setObjectName(QStringLiteral("arrearsTotals"));
    layout->addWidget(m_totals);
    connect(again, &QPushButton::clicked, this, &ArrearsDialog::refresh);
    connect(exporting, &QPushButton::clicked, this, &ArrearsDialog::exportList);
    if (const QString no = m_session.access().refusal(Roles::ArrearsExport); !no.isEmpty()) {
        exporting->setEnabled(false);
        exporting->setToolTip(no);
    }
    refresh();
}

bool ArrearsDialog::refresh()
{
    QString error;
    auto owing = m_session.reports().arrears(&error);
    if (!owing) {
        m_model->setOwing({});
        m_totals->setText(QStringLiteral("无法读取账目：%1").arg(error));
        return false;
    }
    // Classes in the tabs' order, each class's children as the books list them.
    const QStringList order = ClassName::inOrder(byClass(*owing).keys(), m_session.classes());
    QHash<QString, int> rank;
    for (int i = 0; i < order.size(); ++i)
        rank.insert(order.at(i), i);
    std::stable_sort(owing->begin(), owing->end(),
                     [&rank](const Ledger::Owing &a, const Ledger::Owing &b) {
                         return rank.value(a.className) < rank.value(b.className);
                     });
    m_model->setOwing(std::move(*owing));
    qint64 all = 0;
    QStringList parts;
    const auto sums = byClass(m_model->owing());
    for (const QString &name : order) {
        const ClassSum sum = sums.value(name);
        all += sum.fen;
        // One pass: a class named "%1" stays its name.
        parts << QStringLiteral("%1：%2 名，%3 元")
                     .arg(name, QString::number(sum.children), Journal::yuan(sum.fen));
    }
    m_totals->setText(m_model->owing().isEmpty()
                          ? QStringLiteral("没有欠费的儿童。")
                          : QStringLiteral("共 %1 名儿童欠费，合计 %2 元。%3")
                                .arg(QString::number(m_model->owing().size()), Journal::yuan(all),
                                     parts.join(QStringLiteral("；"))));
    return true;
}

void ArrearsDialog::exportList()
{
    if (const QString no = m_session.access().refusal(Roles::ArrearsExport); !no.isEmpty()) {
        Prompts::error(this, no);
        return;
    }
    const QString dir = Prompts::current().existingDirectory(this);
    if (dir.isEmpty())
        return;
    Sheet list, classes;
    for (int c = 0; c < ArrearsModel::Columns; ++c)
        list.setCell(1, c + 1, ArrearsModel::header(c));
    const auto &owing = m_model->owing();
    for (int r = 0; r < owing.size(); ++r)
        for (int c = 0; c < ArrearsModel::Columns; ++c)
            list.setCell(r + 2, c + 1, ArrearsModel::cellText(owing.at(r), c));
    classes.setCell(1, 1, QStringLiteral("班级"));
    classes.setCell(1, 2, QStringLiteral("欠费人数"));
    classes.setCell(1, 3, QStringLiteral("欠费合计（元）"));
    int row = 2, children = 0;
    qint64 all = 0;
    const auto sums = byClass(owing);
    for (const QString &name : ClassName::inOrder(sums.keys(), m_session.classes())) {
        const ClassSum sum = sums.value(name);
        classes.setCell(row, 1, name);
        classes.setCell(row, 2, QString::number(sum.children));
        classes.setCell(row, 3, Journal::yuan(sum.fen));
        children += sum.children;
        all += sum.fen;
        ++row;
    }
    classes.setCell(row, 1, QStringLiteral("全部"));
    classes.setCell(row, 2, QString::number(children));
    classes.setCell(row, 3, Journal::yuan(all));
    RosterExchange exchange;
    const QString path = QDir(dir).filePath(Clock::now().toString(QStringLiteral("yyyyMM")) +
                                            QStringLiteral("欠费名单.xlsx"));
    if (!exchange.writeSheets(
            path, {{QStringLiteral("欠费名单"), list}, {QStringLiteral("班级合计"), classes}})) {
        Prompts::error(this, exchange.errorString());
        return;
    }
    m_totals->setText(
        m_totals->text() +
        QStringLiteral("\n已导出到 %1").arg(QDir::toNativeSeparators(exchange.filePath())));
}
