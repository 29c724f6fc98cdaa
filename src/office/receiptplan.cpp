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

void ReceiptPlan::useCredit(const QHash<QString, Ledger::Standing> &accounts, const QDateTime &now)
{
    const QVector<PlannedReceipt> receipts = m_batch.printable();
    for (int i = 0; i < receipts.size(); ++i) {
        const ChildRef &c = m_children.at(receipts.at(i).row);
        const int row = c.row();
        if (row < 0)
            continue;
        const ChildRecord &rec = c.document->record(row);
        if (rec.childId.isEmpty())
            continue;
        const Ledger::Standing account = accounts.value(rec.childId);
        if (rec.text(Roster::PrintStatus) == Roster::printedStatus(now)) {
            // Printed already this month: the rest of a part payment, or a copy.
            if (const auto rest = Ledger::restReceipt(receipts.at(i).receipt, account)) {
                m_batch.replace(i, *rest);
                m_paysRest.insert(receipts.at(i).row);
            }
            continue;
        }
        if (account.credit > 0)
            m_batch.useCredit(i, account.credit);
    }
}

void ReceiptPlan::add(const ChildRef &child)
{
    const int row = child.row();
    const Roster::Cells cells = row >= 0 ? child.document->cells(row) : Roster::Cells();
    m_batch.add(int(m_children.size()), cells);
    m_children << child;
    m_cells << cells;
}

void ReceiptPlan::writeTotals() const
{
    QHash<RosterDocument *, QVector<QPair<int, qint32>>> byDocument;
    for (const PlannedReceipt &p : m_batch.built()) {
        const ChildRef &c = m_children.at(p.row);
        const int row = c.row();
        if (row >= 0 && p.computable)
            byDocument[c.document.data()].append({row, p.totalColumn});
    }
    for (auto it = byDocument.cbegin(); it != byDocument.cend(); ++it)
        it.key()->setTotals(it.value());
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
        // Totals and print status are written by printing itself.
        now[Roster::Total] = then[Roster::Total];
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
    // How many children of each roster bear each name, counted once.
    QHash<RosterDocument *, QHash<QString, int>> names;
    auto sharesName = [&](RosterDocument *doc, const QString &name) {
        auto it = names.find(doc);
        if (it == names.end()) {
            it = names.insert(doc, {});
            for (int r = 0; r < doc->size(); ++r)
                ++(*it)[doc->record(r).text(Roster::Name)];
        }
        return it->value(name) > 1;
    };
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
        // The row itself says whether this child already has a receipt this
        // month; its name may be another child's too.
        if (m_paysRest.contains(receipts.at(i).row))
            e.child = JournalEntry::Child::PaysRest;
        else if (rec.text(Roster::PrintStatus) == Roster::printedStatus(moments.at(i)))
            e.child = JournalEntry::Child::AlreadyHas;
        else if (sharesName(c.document.data(), rec.text(Roster::Name)))
            e.child = JournalEntry::Child::FirstOfShared;
        else
            e.child = JournalEntry::Child::FirstOfUnique;
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
