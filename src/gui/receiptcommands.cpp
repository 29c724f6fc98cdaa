#include "receiptcommands.h"

#include "calibration.h"
#include "clock.h"
#include "journal.h"
#include "ledger.h"
#include "officesession.h"
#include "officesettings.h"
#include "prompts.h"
#include "receiptjob.h"
#include "receiptplan.h"
#include "receiptprinter.h"

#include <QSysInfo>

ReceiptCommands::ReceiptCommands(QWidget *parent, OfficeSession *session, Rows rows, Child child,
                                 Status status)
    : m_parent(parent), m_session(session), m_rows(std::move(rows)), m_child(std::move(child)),
      m_status(std::move(status))
{
}

FeeMirror ReceiptCommands::fees() const
{
    for (int r = 0; r < m_rows(); ++r)
        if (const ChildRef c = m_child(r); c.document)
            return c.document->fees();
    return {};
}

QString ReceiptCommands::feeProblem() const
{
    for (int r = 0; r < m_rows(); ++r)
        if (const ChildRef c = m_child(r); c.document)
            return c.document->feeProblem();
    return {};
}

ReceiptPlan ReceiptCommands::planFor(CapitalPlacement placement) const
{
    return ReceiptPlan(fees(), placement, m_sheet);
}

bool ReceiptCommands::askPrinter(ReceiptJob &job)
{
    return job.ask(
        [this](QPrinter *printer) { return Prompts::current().printDialog(printer, m_parent); });
}

bool ReceiptCommands::feesUsable()
{
    const QString problem = feeProblem();
    if (problem.isEmpty())
        return true;
    Prompts::error(m_parent, problem);
    return false;
}

bool ReceiptCommands::confirmTwoForms(const ReceiptPlan &plan)
{
    const QStringList names = plan.batch().twoForms();
    if (names.isEmpty())
        return true;
    const QString text =
        QStringLiteral("收据只有两行其他费用：以下儿童的其他费用超过两项，每人打印两张收据，"
                       "第二张印其余的费用，两张的合计就是应收的钱：\n%1\n\n"
                       "请放好足够的收据纸。是否打印？")
            .arg(names.join(QStringLiteral("、")));
    return Prompts::current().question(m_parent, Prompts::title(), text,
                                       QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool ReceiptCommands::confirmDiscount(const ReceiptPlan &plan)
{
    const QStringList names = plan.batch().questionableDiscounts();
    if (names.isEmpty())
        return true;
    const FeeMirror f = fees();
    const QString text =
        QStringLiteral("设置中的折扣是 %1，不在 0 到 1 之间。折扣是乘数：0.9 表示九折，"
                       "%1 表示按原价的 %1 倍收费。\n以下享受折扣的儿童将按这个折扣收费：%2\n\n"
                       "是否仍然打印？")
            .arg(QString::number(double(f.price(Fees::DiscountFactor))),
                 names.join(QStringLiteral("、")));
    return Prompts::current().question(m_parent, Prompts::title(), text,
                                       QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool ReceiptCommands::askPayment(ReceiptPlan *single)
{
    // Receipts without a session are never on record: nothing to ask.
    m_method = OfficeSettings::paymentMethod();
    m_reference.clear();
    if (!m_session)
        return true;
    const auto decided = single ? single->decision(0) : std::nullopt;
    // A copy takes no money: nothing to ask.
    if (decided && !decided->isPayment())
        return true;
    Prompts::Payment payment;
    payment.method = m_method;
    const qint64 due = single ? single->printable().value(0).receipt.total : 0;
    payment.dueFen = due;
    if (!Prompts::current().payment(m_parent, payment))
        return false;
    m_method = Journal::cleanText(payment.method);
    m_reference = Journal::cleanText(payment.reference);
    OfficeSettings::setPaymentMethod(m_method);
    if (!single || payment.received.isEmpty() || due <= 0)
        return true;
    // What was handed over: all of it, part of it, or more.
    QString why;
    const auto received = Ledger::parseYuan(payment.received, &why);
    if (!received || *received == 0) {
        Prompts::error(m_parent, received ? QStringLiteral("实收金额不能为 0") : why,
                       QStringLiteral("没有打印，也没有记录。"));
        return false;
    }
    if (*received > 10 * due) {
        Prompts::error(m_parent,
                       QStringLiteral("实收 %1 元超过应收 %2 元的十倍，不像是真的收到的钱")
                           .arg(Journal::yuan(*received), Journal::yuan(due)),
                       QStringLiteral("请核对金额。没有打印，也没有记录。"));
        return false;
    }
    if (*received < due) {
        single->setReceived(*received);
        return true;
    }
    if (*received > due) {
        const QString text =
            QStringLiteral(
                "实收 %1 元，比应收 %2 元多 %3 元。\n多收的钱作为预收记入这名儿童的账上？"
                "选“否”则不打印，请改正实收金额。")
                .arg(Journal::yuan(*received), Journal::yuan(due), Journal::yuan(*received - due));
        if (Prompts::current().question(m_parent, Prompts::title(), text,
                                        QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return false;
        single->setReceived(*received);
    }
    return true;
}

int ReceiptCommands::print(ReceiptJob &job, const ReceiptPlan &plan)
{
    // The rosters may have changed while the dialog was open.
    const QString stale = plan.staleness();
    if (!stale.isEmpty()) {
        Prompts::error(m_parent, stale);
        return -1;
    }
    const QPointF offset = job.offset();
    const QVector<PlannedReceipt> receipts = plan.printable();
    // One reading of the clock per receipt: its date and its print status.
    QVector<QDateTime> moments;
    for (int i = 0; i < receipts.size(); ++i)
        moments << Clock::now();
    // Decided and on record before the pages go out: a program killed
    // while printing leaves no receipt the journal does not know, and the
    // paper is what was recorded.
    QVector<JournalEntry> entries =
        plan.journalEntries(moments, job.label(), QSysInfo::machineHostName());
    for (JournalEntry &e : entries) {
        e.method = m_method;
        e.reference = m_reference;
    }
    const WriteResult recorded =
        m_session ? m_session->journal().recordReceipts(entries) : WriteResult::success();
    if (!recorded && recorded.kind == WriteResult::Refused) {
        Prompts::error(m_parent, recorded.text);
        return -1;
    }
    QVector<QVector<DrawOp>> pages;
    for (int i = 0; i < entries.size(); ++i) {
        PlannedReceipt p = receipts.value(i);
        if (m_session)
            p.receipt = entries.at(i).receipt();
        pages << plan.batch().pages(p.receipt, moments.at(i).date(), offset,
                                    m_session ? entries.at(i).marks() : ReceiptMarks());
    }
    if (m_session)
        m_session->journal().printingReceipts(entries);
    const bool printedOut = job.print(pages);
    if (!printedOut && m_session)
        m_session->journal().receiptsNotPrinted(entries, job.errorString());
    if (m_session)
        m_session->journal().receiptsPrinted();
    if (!printedOut) {
        Prompts::error(m_parent, job.errorString(),
                       QStringLiteral("没有标记为已打印，收据记录中注明了“未打印”。"));
        return -1;
    }
    plan.markPrinted(moments);
    if (!recorded) {
        QStringList names;
        for (const JournalEntry &e : entries)
            names << e.name;
        Prompts::warn(m_parent,
                      QStringLiteral("收据已经打印，但没有记入收据记录：%1")
                          .arg(names.join(QStringLiteral("、"))),
                      QStringLiteral("这些收据已保存在本机，会在下次打开、保存或关闭时再记一次。"),
                      recorded.detail);
    }
    return int(receipts.size());
}

void ReceiptCommands::printSelected(int row)
{
    if (row < 0 || row >= m_rows() || !feesUsable())
        return;
    ReceiptPlan plan = planFor(CapitalPlacement::LeftAligned);
    plan.add(m_child(row));
    if (m_session)
        m_session->accounts().decide(plan);
    const QStringList refused = plan.batch().refusals(false);
    if (!refused.isEmpty()) {
        Prompts::error(m_parent, QStringLiteral("未打印：%1").arg(refused.first()));
        return;
    }
    if (!confirmTwoForms(plan) || !confirmDiscount(plan) || !askPayment(&plan))
        return;
    ReceiptJob job(m_sheet);
    if (!askPrinter(job) || print(job, plan) < 0)
        return;
    const QString name = ReceiptText::decode(plan.batch().built().first().receipt.name);
    const auto decided = plan.decision(0);
    m_status(decided && !decided->isPayment()
                 ? QStringLiteral("%1 本月已收清：打印的是收据 %2 的副本，没有收款")
                       .arg(name, decided->copyOf)
                 : QStringLiteral("已打印 %1 的收据").arg(name));
}

void ReceiptCommands::printRange(int from, int to)
{
    if (!feesUsable())
        return;
    // Numbers that select no row are said, not printed as nothing.
    const int rows = m_rows();
    if (rows == 0) {
        Prompts::warn(m_parent, QStringLiteral("名单中还没有儿童，没有可打印的收据"));
        return;
    }
    if (qMax(from, 1) > qMin(to, rows)) {
        Prompts::warn(m_parent, QStringLiteral("“%1 至 %2”没有选中任何一行").arg(from).arg(to),
                      QStringLiteral("可以打印第 1 至第 %1 行：请输入这个范围内的起始行和结束行，"
                                     "起始行不大于结束行。")
                          .arg(rows));
        return;
    }
    if (!askPayment(nullptr))
        return;
    ReceiptJob job(m_sheet);
    if (!askPrinter(job))
        return;
    // Only rows that exist can print; the bounds keep absurd numbers cheap.
    // The receipts are built after the dialog, from the rows as they are now.
    const qint64 first = qMax<qint64>(qint64(from) - 1, 0);
    const qint64 last = qMin<qint64>(qint64(to) - 1, m_rows() - 1);
    ReceiptPlan plan = planFor(CapitalPlacement::FixedColumns);
    for (qint64 r = first; r <= last; ++r)
        plan.add(m_child(int(r)));
    if (m_session)
        m_session->accounts().decide(plan);
    if (!confirmTwoForms(plan) || !confirmDiscount(plan))
        return;
    const int printed = print(job, plan);
    if (printed < 0)
        return;
    const QStringList refused = plan.refusalsByRow();
    if (!refused.isEmpty())
        Prompts::warn(m_parent,
                      QStringLiteral("以下收据未打印：\n%1").arg(refused.join(QLatin1Char('\n'))));
    m_status(QStringLiteral("已打印 %1 张收据").arg(printed));
}

void ReceiptCommands::preview(int row)
{
    ReceiptPlan plan = planFor(CapitalPlacement::LeftAligned);
    if (row >= 0 && row < m_rows())
        plan.add(m_child(row));
    if (showPreview(plan))
        printSelected(row);
}

void ReceiptCommands::preview(int from, int to)
{
    ReceiptPlan plan = planFor(CapitalPlacement::FixedColumns);
    const int first = qMax(from - 1, 0);
    const int last = qMin(to - 1, m_rows() - 1);
    for (int r = first; r <= last; ++r)
        plan.add(m_child(r));
    if (showPreview(plan))
        printRange(from, to);
}

bool ReceiptCommands::showPreview(ReceiptPlan &plan)
{
    if (!feesUsable())
        return false;
    // The preview shows the receipt that would print, credit used.
    if (m_session)
        m_session->accounts().decide(plan);
    const QPointF offset = Calibration::offsetFor(ReceiptPrinter::defaultPrinterName());
    QVector<QImage> pages;
    for (const PlannedReceipt &p : plan.printable())
        for (const QVector<DrawOp> &page :
             plan.batch().pages(p.receipt, Clock::now().date(), offset))
            pages << ReceiptPrinter::render(page, 200, m_sheet,
                                            ReceiptLayout::formOutline(offset, m_sheet));
    const QStringList refused = plan.batch().refusals(false);
    if (!refused.isEmpty())
        Prompts::warn(
            m_parent,
            QStringLiteral("以下收据无法打印：\n%1").arg(refused.join(QLatin1Char('\n'))));
    if (pages.isEmpty()) {
        m_status(QStringLiteral("没有可预览的收据：请先选中一名儿童"));
        return false;
    }
    return Prompts::current().preview(m_parent, QStringLiteral("打印预览"), pages);
}
