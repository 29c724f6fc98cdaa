#pragma once

#include "account.h"
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

    // The single receipt pays only part of what is due (received < due),
    // or more (kept as credit); what was typed goes to the journal, which
    // decides again with it.
    void setReceived(qint64 receivedFen);
    // What the index'th printable receipt is, as its child's account
    // decides it now (before the transaction that records it decides
    // again): the receipt that would print, or for a copy the copied one.
    // net: the receipt of the fees less the child's reductions, which the
    // decision's lines come from.
    void setDecision(int index, const Account::Decision &decision, const Receipt &copied = {},
                     const std::optional<Receipt> &net = std::nullopt);
    std::optional<Account::Decision> decision(int index) const;
    // The printable receipt of the fees now, before any decision and
    // before reductions.
    Receipt fullReceipt(int index) const;
    // The same less the reductions the decision found.
    Receipt netReceipt(int index) const;
    // The children's identities, for looking up their accounts.
    QStringList childIds() const;
    // Why receipts cannot print, each named by its roster row.
    QStringList refusalsByRow() const;
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
    QHash<int, Account::Decision> m_decisions; // by printable index
    QHash<int, Receipt> m_full;                // the receipts of the fees now
    QHash<int, Receipt> m_net;                 // the same less the reductions
    qint64 m_received = 0;
};
