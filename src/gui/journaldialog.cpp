#include "journaldialog.h"

#include "classname.h"
#include "clock.h"
#include "monthpicker.h"
#include "officesession.h"
#include "prompts.h"
#include "receiptjob.h"
#include "reporttable.h"
#include "rosterexchange.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSysInfo>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <cmath>

namespace
{
const char16_t *const headers[] = {u"编号",   u"时间", u"班级",     u"儿童姓名", u"合计（元）",
                                   u"经办人", u"补打", u"收款方式", u"交易单号"};
constexpr int Columns = 9;

const char16_t *const refundHeaders[] = {u"退款编号", u"时间",       u"班级",
                                         u"儿童姓名", u"退款（元）", u"原收据",
                                         u"退还方式", u"经办人",     u"原因"};
constexpr int RefundColumns = 9;

QString refundText(const LedgerEntry &e, int column)
{
    switch (column) {
    case 0:
        return e.ownSerial;
    case 1:
        return e.at.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    case 2:
        return e.className;
    case 3:
        return e.childName;
    case 4:
        return Journal::yuan(e.amount);
    case 5:
        return e.receiptSerial;
    case 6:
        return e.method;
    case 7:
        return e.clerk;
    default:
        return e.reason;
    }
}

qint64 refundSum(const QVector<LedgerEntry> &refunds)
{
    qint64 sum = 0;
    for (const LedgerEntry &e : refunds)
        sum += e.amount;
    return sum;
}

QString cellText(const JournalEntry &e, int column)
{
    switch (column) {
    case 0:
        return e.serial;
    case 1:
        return e.printedAt.isValid() ? e.printedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                                     : e.printedText.left(16);
    case 2:
        return e.className;
    case 3:
        return e.name;
    case 4:
        return Journal::yuan(e.total);
    case 5:
        return e.clerk;
    case 7:
        return e.method;
    case 8:
        return e.reference;
    default:
        if (e.unprinted)
            return QStringLiteral("未打印（打印失败）");
        if (e.voided)
            return QStringLiteral("作废：%1").arg(e.voidReason);
        return e.isReprint() ? QStringLiteral("补打（首张 %1）").arg(e.reprintOf) : QString();
    }
}
} // namespace

RoundAxis roundAxis(double highest)
{
    const double most = qMax(highest, 100.0);
    const double raw = most / 5.0;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double norm = raw / magnitude;
    const double step = (norm <= 1.0   ? 1.0
                         : norm <= 2.0 ? 2.0
                         : norm <= 5.0 ? 5.0
                                       : 10.0) *
                        magnitude;
    const int steps = int(std::ceil(most / step - 1e-9));
    return {step * steps, steps + 1};
}

void JournalModel::setEntries(QVector<JournalEntry> entries)
{
    beginResetModel();
    m_entries = std::move(entries);
    m_counted = 0;
    m_sum = 0;
    // Read through a const view: the list is shared with the window's, and
    // a non-const walk would copy all of it.
    for (const JournalEntry &e : std::as_const(m_entries))
        if (!e.voided && !e.unprinted && !e.isReprint()) {
            ++m_counted;
            m_sum += e.total;
        }
    endResetModel();
}

int JournalModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || m_entries.isEmpty())
        return 0;
    return int(m_entries.size()) + 1;
}

int JournalModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Columns;
}

QVariant JournalModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() > m_entries.size())
        return {};
    const bool total = isTotalRow(index.row());
    if (role == Qt::TextAlignmentRole && index.column() == 4)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::FontRole && total) {
        QFont f;
        f.setBold(true);
        return f;
    }
    if (role != Qt::DisplayRole)
        return {};
    if (!total)
        return cellText(m_entries.at(index.row()), index.column());
    switch (index.column()) {
    case 0:
        return QStringLiteral("合计");
    case 3:
        return QStringLiteral("%1 张").arg(m_counted);
    case 4:
        return Journal::yuan(m_sum);
    case 6:
        return m_counted < m_entries.size() ? QStringLiteral("另 %1 张补打、作废或未打印不计")
                                                  .arg(m_entries.size() - m_counted)
                                            : QString();
    default:
        return {};
    }
}

QVariant JournalModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section >= Columns)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromUtf16(headers[section]);
}

JournalDialog::JournalDialog(OfficeSession &session, QWidget *parent)
    : QDialog(parent), m_session(session)
{
    setObjectName(QStringLiteral("journalDialog"));
    setWindowTitle(QStringLiteral("收据记录"));
    m_monthEdit = new MonthPicker(Clock::now().date(), this);
    m_monthEdit->setObjectName(QStringLiteral("journalMonth"));
    m_class = new QComboBox(this);
    m_class->setObjectName(QStringLiteral("journalClass"));
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("journalName"));
    m_name->setPlaceholderText(QStringLiteral("儿童姓名或交易单号"));
    auto *exportButton = new QPushButton(QStringLiteral("导出"), this);
    exportButton->setObjectName(QStringLiteral("journalExport"));
    auto *reprint = new QPushButton(QStringLiteral("重新打印"), this);
    reprint->setObjectName(QStringLiteral("journalReprint"));
    auto *voiding = new QPushButton(QStringLiteral("作废"), this);
    voiding->setObjectName(QStringLiteral("journalVoid"));
    auto *refunding = new QPushButton(QStringLiteral("退款"), this);
    refunding->setObjectName(QStringLiteral("journalRefund"));
    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("月份："), this));
    top->addWidget(m_monthEdit);
    top->addWidget(new QLabel(QStringLiteral(" 班级："), this));
    top->addWidget(m_class);
    top->addWidget(new QLabel(QStringLiteral(" 姓名："), this));
    top->addWidget(m_name, 1);
    top->addWidget(reprint);
    top->addWidget(voiding);
    top->addWidget(refunding);
    top->addWidget(exportButton);

    m_model = new JournalModel(this);
    m_table = new QTableView(this);
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->setDefaultSectionSize(22);
    // Widths from sample texts, not from the rows: a month may hold many.
    {
        const QFontMetrics fm = m_table->fontMetrics();
        const char16_t *const samples[Columns] = {u"2026-000000 ",
                                                  u"2026-05-14 00:00 ",
                                                  u"大一班大一班",
                                                  u"欧阳小明明",
                                                  u"合计（元）",
                                                  u"经办人经办",
                                                  u"补打（首张 2026-000000）",
                                                  u"银行转账",
                                                  u""};
        for (int c = 0; c < Columns - 1; ++c)
            m_table->setColumnWidth(c, fm.horizontalAdvance(QString::fromUtf16(samples[c])) + 16);
    }
    m_chart = new QChartView(new QChart, this);
    m_chart->setObjectName(QStringLiteral("journalChart"));
    m_chart->setMinimumWidth(320);
    m_refundTable = new QTableWidget(0, RefundColumns, this);
    m_refundTable->setObjectName(QStringLiteral("journalRefunds"));
    m_refundTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_refundTable->horizontalHeader()->setStretchLastSection(true);
    m_refundTable->setMaximumHeight(150);
    for (int c = 0; c < RefundColumns; ++c)
        m_refundTable->setHorizontalHeaderItem(
            c, new QTableWidgetItem(QString::fromUtf16(refundHeaders[c])));
    auto *lists = new QVBoxLayout;
    lists->addWidget(m_table, 1);
    lists->addWidget(new QLabel(QStringLiteral("本月退款："), this));
    lists->addWidget(m_refundTable);
    auto *middle = new QHBoxLayout;
    middle->addLayout(lists, 3);
    middle->addWidget(m_chart, 2);
    m_totals = new QLabel(this);
    m_totals->setObjectName(QStringLiteral("journalTotals"));
    m_totals->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
    layout->addWidget(m_totals);
    resize(1200, 640);

    connect(m_monthEdit, &MonthPicker::monthChanged, this, &JournalDialog::showMonth);
    connect(m_class, &QComboBox::currentTextChanged, this, &JournalDialog::applyFilter);
    connect(m_name, &QLineEdit::textChanged, this, &JournalDialog::applyFilter);
    connect(exportButton, &QPushButton::clicked, this, &JournalDialog::exportMonth);
    connect(reprint, &QPushButton::clicked, this, &JournalDialog::reprintSelected);
    connect(voiding, &QPushButton::clicked, this, &JournalDialog::voidSelected);
    connect(refunding, &QPushButton::clicked, this, &JournalDialog::refundSelected);
    showMonth(m_monthEdit->date());
}

bool JournalDialog::showMonth(const QDate &month)
{
    m_shown = month;
    m_month.clear();
    QString error;
    const auto read =
        m_session.journal().journalMonth(month.toString(QStringLiteral("yyyy-MM")), &error);
    if (!read)
        Prompts::error(this, QStringLiteral("无法读取收据记录"), QString(), error);
    if (read)
        m_month = *read;
    m_refunds.clear();
    if (read) {
        const auto refunds =
            m_session.journal().monthRefunds(month.toString(QStringLiteral("yyyy-MM")), &error);
        if (!refunds)
            Prompts::error(this, QStringLiteral("无法读取本月的退款"), QString(), error);
        else
            m_refunds = *refunds;
    }
    QVector<QStringList> refundRows{{}};
    for (int c = 0; c < RefundColumns; ++c)
        refundRows.first() << QString::fromUtf16(refundHeaders[c]);
    for (const LedgerEntry &e : std::as_const(m_refunds)) {
        QStringList cells;
        for (int c = 0; c < RefundColumns; ++c)
            cells << refundText(e, c);
        refundRows << cells;
    }
    if (!m_refunds.isEmpty())
        refundRows << QStringList{QStringLiteral("合计"), QString(), QString(),
                                  QStringLiteral("%1 笔").arg(m_refunds.size()),
                                  Journal::yuan(refundSum(m_refunds))};
    ReportTable::fill(m_refundTable, refundRows);
    const QSignalBlocker blocker(m_class);
    m_class->clear();
    m_class->addItem(QStringLiteral("全部班级"));
    m_class->addItems(
        ClassName::inOrder(Journal::totalsByClass(m_month).keys(), m_session.classes()));
    applyFilter();
    showTotals();
    return read.has_value();
}

void JournalDialog::applyFilter()
{
    const bool allClasses = m_class->currentIndex() <= 0;
    const QString cls = m_class->currentText();
    const QString name = m_name->text().trimmed();
    if (allClasses && name.isEmpty()) {
        m_model->setEntries(m_month);
        return;
    }
    QVector<JournalEntry> shown;
    for (const JournalEntry &e : std::as_const(m_month))
        // A name, or the number of a transfer or scan the clerk checks.
        if ((allClasses || e.className == cls) &&
            (name.isEmpty() || e.name.contains(name) ||
             (!e.reference.isEmpty() && e.reference.contains(name, Qt::CaseInsensitive))))
            shown << e;
    m_model->setEntries(std::move(shown));
}

void JournalDialog::showTotals()
{
    const auto totals = Journal::totalsByClass(m_month);
    qint64 sum = 0;
    int count = 0, reprints = 0;
    QStringList parts;
    auto *set = new QBarSet(QStringLiteral("合计（元）"));
    const QStringList order = ClassName::inOrder(totals.keys(), m_session.classes());
    qint64 highest = 0;
    for (const QString &name : order) {
        const Journal::ClassTotal t = totals.value(name);
        sum += t.total;
        count += t.count;
        reprints += t.reprints;
        highest = qMax(highest, t.total);
        // One pass: a class named "%1" stays its name.
        QString part = QStringLiteral("%1：%2 张，%3 元")
                           .arg(name, QString::number(t.count), Journal::yuan(t.total));
        if (t.reprints > 0)
            part += QStringLiteral("（另补打 %1 张）").arg(t.reprints);
        parts << part;
        *set << double(t.total) / 100.0;
    }
    // A reprint is listed, but the money was received once.
    m_totals->setText(
        QStringLiteral("%1 共 %2 张收据，合计 %3 元%4。%5")
            .arg(m_shown.toString(QStringLiteral("yyyy年MM月")))
            .arg(count)
            .arg(Journal::yuan(sum),
                 reprints > 0 ? QStringLiteral("（补打 %1 张不计）").arg(reprints) : QString(),
                 parts.join(QStringLiteral("；"))));
    // Money handed back comes off what the month took.
    if (!m_refunds.isEmpty()) {
        const qint64 back = refundSum(m_refunds);
        m_totals->setText(m_totals->text() +
                          QStringLiteral("\n退款 %1 笔，合计 %2 元；本月净收 %3 元。")
                              .arg(m_refunds.size())
                              .arg(Journal::yuan(back), Journal::yuan(sum - back)));
    }
    QChart *chart = m_chart->chart();
    chart->removeAllSeries();
    // A removed axis is the caller's to delete.
    const QList<QAbstractAxis *> axes = chart->axes();
    for (QAbstractAxis *axis : axes) {
        chart->removeAxis(axis);
        delete axis;
    }
    auto *series = new QBarSeries;
    series->append(set);
    chart->addSeries(series);
    auto *classes = new QBarCategoryAxis;
    classes->append(order);
    chart->addAxis(classes, Qt::AlignBottom);
    series->attachAxis(classes);
    auto *amounts = new QValueAxis;
    // Round ticks from 0: 0, 500, 1000 … rather than 0, 347.3 …
    const RoundAxis axis = roundAxis(double(highest) / 100.0);
    amounts->setRange(0, axis.top);
    amounts->setTickCount(axis.ticks);
    amounts->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(amounts, Qt::AlignLeft);
    series->attachAxis(amounts);
    chart->setTitle(QStringLiteral("各班收费合计（元）"));
    chart->legend()->hide();
}

void JournalDialog::exportMonth()
{
    const QString dir = Prompts::current().existingDirectory(this);
    if (dir.isEmpty())
        return;
    Sheet receipts, classes;
    for (int c = 0; c < Columns; ++c)
        receipts.setCell(1, c + 1, QString::fromUtf16(headers[c]));
    for (int r = 0; r < m_month.size(); ++r)
        for (int c = 0; c < Columns; ++c)
            receipts.setCell(r + 2, c + 1, cellText(m_month.at(r), c));
    classes.setCell(1, 1, QStringLiteral("班级"));
    classes.setCell(1, 2, QStringLiteral("张数"));
    classes.setCell(1, 3, QStringLiteral("合计（元）"));
    classes.setCell(1, 4, QStringLiteral("补打张数"));
    int row = 2, count = 0, reprints = 0;
    qint64 sum = 0;
    const auto totals = Journal::totalsByClass(m_month);
    for (const QString &name : ClassName::inOrder(totals.keys(), m_session.classes())) {
        const Journal::ClassTotal t = totals.value(name);
        classes.setCell(row, 1, name);
        classes.setCell(row, 2, QString::number(t.count));
        classes.setCell(row, 3, Journal::yuan(t.total));
        classes.setCell(row, 4, QString::number(t.reprints));
        count += t.count;
        sum += t.total;
        reprints += t.reprints;
        ++row;
    }
    classes.setCell(row, 1, QStringLiteral("全部"));
    classes.setCell(row, 2, QString::number(count));
    classes.setCell(row, 3, Journal::yuan(sum));
    classes.setCell(row, 4, QString::number(reprints));
    // The refunds, each with its serial, and what the month kept.
    Sheet refunds;
    for (int c = 0; c < RefundColumns; ++c)
        refunds.setCell(1, c + 1, QString::fromUtf16(refundHeaders[c]));
    for (int r = 0; r < m_refunds.size(); ++r)
        for (int c = 0; c < RefundColumns; ++c)
            refunds.setCell(r + 2, c + 1, refundText(m_refunds.at(r), c));
    if (!m_refunds.isEmpty()) {
        const qint64 back = refundSum(m_refunds);
        classes.setCell(row + 1, 1, QStringLiteral("退款"));
        classes.setCell(row + 1, 2, QString::number(m_refunds.size()));
        classes.setCell(row + 1, 3, Journal::yuan(-back));
        classes.setCell(row + 2, 1, QStringLiteral("净收"));
        classes.setCell(row + 2, 3, Journal::yuan(sum - back));
    }
    RosterExchange exchange;
    const QString path = dir + QLatin1Char('/') + m_shown.toString(QStringLiteral("yyyyMM")) +
                         QStringLiteral("收据记录.xlsx");
    if (!exchange.writeSheets(path, {{QStringLiteral("收据"), receipts},
                                     {QStringLiteral("班级合计"), classes},
                                     {QStringLiteral("退款"), refunds}})) {
        Prompts::error(this, exchange.errorString());
        return;
    }
    showTotals();
    m_totals->setText(
        m_totals->text() +
        QStringLiteral("\n已导出到 %1").arg(QDir::toNativeSeparators(exchange.filePath())));
}

std::optional<std::optional<AccountService::Approver>>
JournalDialog::approval(Roles::Permission permission, const QString &what)
{
    Access &access = m_session.access();
    if (access.may(permission))
        return std::optional<AccountService::Approver>();
    if (!access.isSignedIn()) {
        Prompts::error(this, access.refusal(permission));
        return std::nullopt;
    }
    QStringList approvers;
    for (const UserStore::User &u : m_session.users().users().value_or(QVector<UserStore::User>{}))
        if (u.active && Roles::may(u.role, permission) && u.name != access.user()->name)
            approvers << u.name;
    if (approvers.isEmpty()) {
        Prompts::error(this, QStringLiteral("%1，可是还没有可以批准的人：请园长先添加一位会计")
                                 .arg(Roles::whoMay(permission)));
        return std::nullopt;
    }
    const auto typed = Prompts::current().approve(this, what, approvers);
    if (!typed)
        return std::nullopt;
    QString why;
    const auto user = m_session.users().approver(typed->name, typed->password, permission, &why);
    if (!user) {
        Prompts::error(this, QStringLiteral("没有批准：%1").arg(why));
        return std::nullopt;
    }
    return std::optional<AccountService::Approver>(
        AccountService::Approver{user->name, user->role});
}

void JournalDialog::voidSelected()
{
    const QModelIndex current = m_table->currentIndex();
    if (!current.isValid() || m_model->isTotalRow(current.row())) {
        Prompts::warn(this, QStringLiteral("请先在表中选中要作废的收据"));
        return;
    }
    const JournalEntry e = m_model->entries().at(current.row());
    const auto reason = Prompts::current().text(this, QStringLiteral("作废收据"),
                                                QStringLiteral("作废收据 %1（%2，%3 元）的原因：")
                                                    .arg(e.serial, e.name, Journal::yuan(e.total)));
    if (!reason)
        return;
    const auto approver = approval(Roles::Void, QStringLiteral("作废收据 %1").arg(e.serial));
    if (!approver)
        return;
    const WriteResult r = m_session.accounts().voidReceipt(e.serial, *reason, *approver);
    if (!r) {
        Prompts::error(this,
                       r.kind == WriteResult::Refused ? r.text : QStringLiteral("收据没有作废"),
                       QString(), r.detail);
        return;
    }
    showMonth(m_shown);
    m_totals->setText(m_totals->text() + QStringLiteral("\n已作废收据 %1").arg(e.serial));
}

void JournalDialog::refundSelected()
{
    const QModelIndex current = m_table->currentIndex();
    if (!current.isValid() || m_model->isTotalRow(current.row())) {
        Prompts::warn(this, QStringLiteral("请先在表中选中要退款的收据"));
        return;
    }
    const JournalEntry e = m_model->entries().at(current.row());
    const auto amount =
        Prompts::current().text(this, QStringLiteral("退款"),
                                QStringLiteral("收据 %1（%2，%3 元）退还的金额（元）：")
                                    .arg(e.serial, e.name, Journal::yuan(e.total)));
    if (!amount)
        return;
    const auto reason =
        Prompts::current().text(this, QStringLiteral("退款"), QStringLiteral("退款的原因："));
    if (!reason)
        return;
    // How the money goes back is the clerk's to say: cash at the window,
    // a transfer to the parent, not the way the receipt was paid.
    Prompts::Payment way;
    way.refund = true;
    way.method = QStringLiteral("现金");
    if (!Prompts::current().payment(this, way))
        return;
    const auto approver = approval(Roles::Refund, QStringLiteral("收据 %1 的退款").arg(e.serial));
    if (!approver)
        return;
    QString serial;
    const WriteResult r =
        m_session.accounts().refund(e.serial, *amount, *reason, &serial, way.method, *approver);
    if (!r) {
        Prompts::error(this,
                       r.kind == WriteResult::Refused ? r.text : QStringLiteral("退款没有记录"),
                       QString(), r.detail);
        return;
    }
    showMonth(m_shown);
    // The receipt stays selected for the next step.
    for (int row = 0; row < m_model->entries().size(); ++row)
        if (m_model->entries().at(row).serial == e.serial)
            m_table->setCurrentIndex(m_model->index(row, 0));
    m_totals->setText(m_totals->text() + QStringLiteral("\n已记录退款 %1：收据 %2 %3退还 %4 元")
                                             .arg(serial, e.serial, way.method, amount->trimmed()));
}

void JournalDialog::reprintSelected()
{
    const QModelIndex current = m_table->currentIndex();
    if (!current.isValid() || m_model->isTotalRow(current.row())) {
        Prompts::warn(this, QStringLiteral("请先在表中选中要重新打印的收据"));
        return;
    }
    // The amounts of the original receipt, not today's prices.
    QString error;
    const auto stored =
        m_session.journal().journalEntry(m_model->entries().at(current.row()).serial, &error);
    if (!stored) {
        Prompts::error(this, QStringLiteral("无法读取这张收据"), QString(), error);
        return;
    }
    if (m_model->entries().at(current.row()).unprinted) {
        Prompts::warn(
            this,
            QStringLiteral("收据 %1 没有打印出来，不能补打：请从花名册打印").arg(stored->serial));
        return;
    }
    if (m_model->entries().at(current.row()).voided) {
        Prompts::warn(this, QStringLiteral("收据 %1 已作废，不能补打").arg(stored->serial));
        return;
    }
    JournalEntry entry = *stored;
    ReceiptJob job;
    if (!job.ask(
            [this](QPrinter *printer) { return Prompts::current().printDialog(printer, this); }))
        return;
    entry.printedAt = Clock::now();
    entry.printer = job.label();
    entry.host = QSysInfo::machineHostName();
    // A reprint of the receipt it copies, in that receipt's month, whatever
    // today's date; a copy of a copy names the first receipt.
    if (entry.reprintOf.isEmpty()) {
        entry.reprintOf = entry.serial;
        entry.secondReprintOf = entry.secondForm;
    }
    entry.secondForm.clear();
    if (entry.month.isEmpty())
        entry.month = Journal::month(stored->printedAt);
    entry.serial.clear();
    // On record before the page goes out.
    QVector<JournalEntry> entries{entry};
    const WriteResult r = m_session.journal().recordReceipts(entries);
    QVector<QVector<DrawOp>> pages;
    for (const Receipt &form : forms(entry.receipt()))
        pages << ReceiptLayout::layout(form, entry.printedAt.date(), CapitalPlacement::LeftAligned,
                                       job.offset(), SheetLayout(), entries.value(0).marks());
    if (!job.print(pages)) {
        m_session.journal().receiptsNotPrinted(entries, job.errorString());
        Prompts::error(this, job.errorString(), QStringLiteral("收据记录中注明了“未打印”。"));
        showMonth(m_shown);
        return;
    }
    if (!r)
        Prompts::warn(this, QStringLiteral("收据已经打印，但没有记入收据记录：%1").arg(entry.name),
                      QStringLiteral("这张收据已保存在本机，会在下次打开、保存或关闭时再记一次。"),
                      r.detail);
    showMonth(m_shown);
}
