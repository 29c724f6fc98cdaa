#include "receiptplan.h"

#include <QHash>

ReceiptPlan::ReceiptPlan(const FeeMirror &fees, CapitalPlacement placement,
                         const SheetLayout &sheet)
    : m_fees(fees), m_batch(fees, placement, sheet)
{
}

QStringList ReceiptPlan::childIds() const
{
    QStringList ids;
    for (const PlannedReceipt &p : m_batch.printable()) {
        const ChildRef &c = m_children.at(p.row);
        if (const int row = c.row(); row >= 0 && !c.document->record(row).childId.isEmpty())
            ids << c.document->record(row).childId;
    }
    return ids;
}

Receipt ReceiptPlan::fullReceipt(int index) const
{
    if (const auto it = m_full.constFind(index); it != m_full.cend())
        return *it;
    const PlannedReceipt *p = m_batch.printableAt(index);
    return p ? p->receipt : Receipt();
}

Receipt ReceiptPlan::netReceipt(int index) const
{
    if (const auto it = m_net.constFind(index); it != m_net.cend())
        return *it;
    return fullReceipt(index);
}

void ReceiptPlan::setDecision(int index, const Account::Decision &decision, const Receipt &copied,
                              const std::optional<Receipt> &net)
{
    if (!m_full.contains(index))
        m_full.insert(index, fullReceipt(index));
    if (net)
        m_net.insert(index, *net);
    m_decisions.insert(index, decision);
    Receipt shown = decision.isPayment() ? decision.receipt : copied;
    if (!decision.isPayment()) {
        // A copy prints the receipt it copies, under the child's name as it
        // was printed.
        if (shown.name.isEmpty())
            shown.name = m_full.value(index).name;
    }
    m_batch.replace(index, shown);
}

std::optional<Account::Decision> ReceiptPlan::decision(int index) const
{
    if (const auto it = m_decisions.constFind(index); it != m_decisions.cend())
        return *it;
    return std::nullopt;
}

void ReceiptPlan::setReceived(qint64 receivedFen)
{
    m_received = receivedFen;
    const auto d = decision(0);
    if (!d || !d->isPayment() || receivedFen <= 0 || receivedFen >= d->due)
        return;
    m_batch.replace(0, Account::partOf(*d, netReceipt(0), receivedFen));
}

void ReceiptPlan::add(const ChildRef &child)
{
    const int row = child.row();
    const Roster::Cells cells = row >= 0 ? child.document->cells(row) : Roster::Cells();
    // The receipt names the clerk who prints it, whatever the row's cell
    // says (a row read from a list, another PC's clerk).
    Roster::Cells printed = cells;
    if (!m_fees.clerkName.isEmpty())
        printed[Roster::Clerk] = m_fees.clerkName;
    m_batch.add(int(m_children.size()), printed);
    m_children << child;
    m_cells << cells;
}

QStringList ReceiptPlan::refusalsByRow() const
{
    QStringList list;
    for (const PlannedReceipt &p : m_batch.built()) {
        if (p.refusal.isEmpty())
            continue;
        // The row in the roster the clerk sees, not the place in the range.
        const int row = m_children.at(p.row).row();
        list << (row >= 0 ? QStringLiteral("第 %1 行：%2").arg(row + 1).arg(p.refusal) : p.refusal);
    }
    return list;
}

QString ReceiptPlan::staleness() const
{
    for (const PlannedReceipt &p : m_batch.printable()) {
        const ChildRef &c = m_children.at(p.row);
        const int row = c.row();
        const QString name = ReceiptText::decode(p.receipt.name);
        if (row < 0)
            return QStringLiteral("打印对话框打开期间，“%1”的名单已重新载入或这名儿童已删除："
                                  "没有打印，也没有标记。请重新选中儿童后再打印。")
                .arg(name);
        Roster::Cells now = c.document->cells(row);
        Roster::Cells then = m_cells.at(p.row);
        // The print status is written by printing itself; a total that
        // moved means its prices did.
        now[Roster::PrintStatus] = then[Roster::PrintStatus];
        if (now != then)
            return QStringLiteral("打印对话框打开期间，“%1”的内容已改变：没有打印，也没有标记。"
                                  "请重新打印。")
                .arg(name);
    }
    return {};
}

QVector<JournalEntry> ReceiptPlan::journalEntries(const QVector<QDateTime> &moments,
                                                  const QString &printer, const QString &host) const
{
    QVector<JournalEntry> entries;
    const QVector<PlannedReceipt> receipts = m_batch.printable();
    for (int i = 0; i < receipts.size() && i < moments.size(); ++i) {
        const ChildRef &c = m_children.at(receipts.at(i).row);
        const int row = c.row();
        if (row < 0)
            continue;
        // The class the child is in, which is the one its roster saves it to.
        const ChildRecord &rec = c.document->record(row);
        JournalEntry e =
            JournalEntry::fromReceipt(receipts.at(i).receipt, rec.className, moments.at(i));
        e.printer = printer;
        e.host = host;
        e.childId = rec.childId;
        e.studentId = rec.id;
        e.charges = Ledger::charges(m_cells.at(receipts.at(i).row), m_fees);
        e.bases = Reductions::bases(m_cells.at(receipts.at(i).row), m_fees);
        // The account decides again inside the transaction that records
        // the receipt; the lines here are what it decided before the
        // dialogs, kept when the receipt can only wait on disk.
        Receipt full = fullReceipt(i);
        full.clerk = receipts.at(i).receipt.clerk;
        e.full = std::make_shared<const Receipt>(std::move(full));
        e.decide = !e.childId.isEmpty();
        e.child = JournalEntry::Child::PaysRest;
        if (const auto d = decision(i)) {
            e.expected = d->kind;
            e.expectedDue = d->due;
            e.kind = d->kind;
            if (!d->isPayment())
                e.reprintOf = d->copyOf;
        }
        if (receipts.size() == 1) {
            e.received = m_received;
            if (const auto d = decision(i); d && d->isPayment() && m_received > d->due)
                e.paid = m_received;
        }
        entries << e;
    }
    return entries;
}

void ReceiptPlan::markPrinted(const QVector<QDateTime> &moments) const
{
    QHash<RosterDocument *, QPair<QList<int>, QVector<QDateTime>>> byDocument;
    const QVector<PlannedReceipt> receipts = m_batch.printable();
    for (int i = 0; i < receipts.size() && i < moments.size(); ++i) {
        const ChildRef &c = m_children.at(receipts.at(i).row);
        const int row = c.row();
        if (row < 0)
            continue;
        auto &marks = byDocument[c.document.data()];
        marks.first << row;
        marks.second << moments.at(i);
    }
    for (auto it = byDocument.cbegin(); it != byDocument.cend(); ++it)
        it.key()->markPrinted(it.value().first, it.value().second);
}
