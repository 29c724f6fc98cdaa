#pragma once

#include "journal.h"
#include "ledger.h"
#include "receiptbatch.h"
#include "rosterdocument.h"

#include <QDateTime>
#include <QSet>
#include <QVector>

// The receipts of one print command for children held by reference, so
// that whatever happens to the rosters while the print dialog is open (a
// reload after another PC's save, a deletion) the receipt that prints is
// the one marked, or nothing prints.
class ReceiptPlan
{
public:
    ReceiptPlan(const FeeMirror &fees, CapitalPlacement placement,
                const SheetLayout &sheet = SheetLayout());

    // Builds the child's receipt from its record now.
    void add(const ChildRef &child);
    const ReceiptBatch &batch() const { return m_batch; }
    QVector<PlannedReceipt> printable() const { return m_batch.printable(); }
    const ChildRef &child(const PlannedReceipt &receipt) const
    {
        return m_children.at(receipt.row);
    }

    // The single receipt pays only part of what is due (see Ledger::partReceipt).
    void payPart(qint64 receivedFen) { m_batch.payPart(0, receivedFen); }
    // What the children's accounts hold, by child: credit from earlier
    // months pays first on their first receipt of the month; a child printed
    // already this month whose month still owes gets a receipt of the rest
    // (otherwise it is a copy).
    void useCredit(const QHash<QString, Ledger::Standing> &accounts, const QDateTime &now);
    // The children's identities, for looking up their accounts.
    QStringList childIds() const;
    // The totals the receipts computed, written back into the rosters.
    void writeTotals() const;
    // Why the receipts no longer match the rosters (a child gone or
    // changed since they were built), or empty.
    QString staleness() const;
    // The journal entries of the printable receipts, printed at the
    // moments given (one per receipt), written before the pages go out.
    QVector<JournalEntry> journalEntries(const QVector<QDateTime> &moments, const QString &printer,
                                         const QString &host) const;
    // Marks the printable children printed at those moments (the paper is out).
    void markPrinted(const QVector<QDateTime> &moments) const;

private:
    FeeMirror m_fees;
    ReceiptBatch m_batch;
    QVector<ChildRef> m_children;
    QVector<Roster::Cells> m_cells;
    QSet<int> m_paysRest; // receipts paying the rest of a part payment
};
