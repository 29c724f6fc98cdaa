#pragma once

#include "receipt.h"

#include <QMap>
#include <QString>
#include <QVector>

// What a print is, decided from the child's account alone: the month as the
// database holds it (read inside the transaction that records the print)
// and the fees as computed now. Never from the roster row's print status,
// the child's name, or what a PC read earlier.
namespace Account
{
// One child's month as its entries say.
struct ChildMonth {
    QMap<QString, qint64> charged; // per item: charges and adjustments
    // Of those, the reductions (减免), keyed by item and type
    // (Reductions::key), negative.
    QMap<QString, qint64> reductions;
    // Every other entry of the month: payments take away, voids and refunds
    // add back, credit moved onto the month takes away, absence refunds
    // take away.
    qint64 settled = 0;
    // The month's payments, less those voided and the money handed back.
    qint64 received = 0;
    // Paid ahead or credited in earlier months and not used yet.
    qint64 credit = 0;
    // The newest receipt of the month whose payment stands (not voided);
    // empty when none does.
    QString lastReceipt;

    qint64 chargedTotal() const;
    // The charges as billing and the decision compare them: each item
    // before its reductions, and each reduction on its own.
    QMap<QString, qint64> keyed() const;
    // What the month still owes (its balance; below 0 when paid ahead).
    qint64 owed() const { return chargedTotal() + settled; }
};

enum class Kind {
    First,      // the month's first receipt
    Rest,       // the rest of what is owed after a part payment
    Difference, // the fees changed after a receipt: what they added
    Copy,       // nothing is owed: a copy of the last receipt, no money
};

struct Decision {
    Kind kind = Kind::First;
    // What prints (for a copy: nothing here, the copied receipt prints).
    Receipt receipt;
    QString copyOf;
    // What the clerk takes: the receipt's total.
    qint64 due = 0;
    // Credit from earlier months that pays first.
    qint64 creditUsed = 0;
    // Where this receipt's lines start, in the fixed order (what earlier
    // receipts and the credit paid of the month's fees).
    qint64 paidBefore = 0;
    // What the month's charges must change by, per item, so that they are
    // the fees as computed now (recorded with the receipt).
    QVector<QPair<QString, qint64>> charge;

    bool isPayment() const { return kind != Kind::Copy; }
};

// full: the receipt of the fees now, net of the reductions; charges: the
// same fees per item (Ledger::charges) followed by the reductions
// (Reductions::lines).
Decision decide(const ChildMonth &month, const Receipt &full,
                const QVector<QPair<QString, qint64>> &charges);

// The decided receipt paid only in part (0 < received < due): its lines
// continue from where the decision starts.
Receipt partOf(const Decision &decision, const Receipt &full, qint64 receivedFen);

// The kind said to the clerk: "首次收费", "补交欠款", "补收差额", "补打副本".
QString kindText(Kind kind);
} // namespace Account
