#pragma once

#include "fees.h"
#include "receipt.h"
#include "roster.h"

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>
#include <array>

// One entry of a child's account. Entries are written once and never
// changed or removed: a correction is a new entry naming the old one. The
// amount is what the entry does to what is owed, in fen: a charge adds,
// a payment takes away, a void of a payment adds it back.
struct LedgerEntry {
    // CreditUsed moves money paid ahead (or credited) in earlier months onto
    // the month a receipt pays: its earlier months' entries add, the
    // receipt month's entry takes away, the sum is 0.
    // AbsenceRefund is meal fee given back for days absent (缺勤退费): a
    // credit in the month of the absences.
    enum Kind { Charge, Adjustment, Payment, Void, Refund, CreditUsed, AbsenceRefund };

    qint64 id = 0;
    Kind kind = Charge;
    QString childId;
    QString className;
    QString childName;
    QString month; // "yyyy-MM" the entry belongs to
    QString item;  // the fee item of a charge or adjustment
    qint64 amount = 0;
    QString method;        // a payment's way: 现金, 微信 …
    QString reference;     // a payment's transaction number
    QString receiptSerial; // the receipt paid, voided or refunded
    QString ownSerial;     // a refund's own serial ("2026-R000001")
    qint64 corrects = 0;   // the entry this one corrects
    QString reason;
    QString clerk;
    QString host;
    QDateTime at;

    static QString kindText(Kind kind);
    static std::optional<Kind> kindFromText(const QString &text);
};

namespace Ledger
{
// The ways a fee is paid, in the order offered.
QStringList paymentMethods();
// Payments taken from receipts printed before the ledger was kept.
QString unrecordedMethod();
// The reason of an adjustment made by billing again.
QString rosterChanged();

// The reason of charges recorded by a receipt for a month not billed yet.
QString chargedByReceipt();

// The six fee items, as the ledger names them.
QStringList items();

// The month's charge of a roster row per fee item, in fen: the amounts the
// receipt computes (accommodation and meals discounted and rounded as it
// does), including fees the receipt has no line for. Items worth 0 are
// left out.
QVector<QPair<QString, qint64>> charges(const Roster::Cells &row, const FeeMirror &fees);

// What billing must record for one child: the difference between what the
// month should be charged per item and what is already charged. Keys that
// are no item are reductions (Reductions::key): their differences follow
// the items'.
QVector<QPair<QString, qint64>> differences(const QVector<QPair<QString, qint64>> &wanted,
                                            const QMap<QString, qint64> &charged);

// An amount of money as the clerk types it ("900", "899.5", "899.50"), in
// fen; nullopt with the reason when it is not a number, negative, or has
// more than two decimals.
std::optional<qint64> parseYuan(const QString &text, QString *why);

// A receipt for part of what is due: its lines pay in the fixed order
// 保教费, 伙食费, 住宿费, then the others, the last one partly, so that the
// lines add up to the amount received (0 <= received < total). Further lines
// paid nothing are left off; the two fixed lines stay, at 0. paidBefore is
// what earlier receipts of the month paid, in the same order: this one pays
// on from there.
Receipt partReceipt(const Receipt &full, qint64 receivedFen, qint64 paidBefore = 0);
// A receipt whose child has credit from earlier months (预收): the credit
// pays first, the lines print what is left to pay (in the order above) and
// the receipt says how much the credit paid. At most the total is used.
Receipt creditedReceipt(const Receipt &full, qint64 creditFen);

// What a child's account holds when a receipt of a month is printed.
struct Standing {
    qint64 credit = 0;  // paid ahead or credited in earlier months, not used yet
    qint64 charged = 0; // what the month charges
    qint64 owed = 0;    // what the month still owes (its balance)
};
// The receipt of a child that already has one this month: what the month
// still owes, paying the lines on from what was paid (a part payment's
// rest); nullopt when nothing is owed (the receipt is a copy).
std::optional<Receipt> restReceipt(const Receipt &full, const Standing &account);
// Takes credit from the earlier months that hold it (balance < 0), oldest
// first, up to amount: month → fen taken.
QVector<QPair<QString, qint64>> takeCredit(const QVector<QPair<QString, qint64>> &monthBalances,
                                           qint64 amount);

// A child that owes: the months with something owed, and the net balance
// over all months (a month paid ahead reduces it).
struct Owing {
    QString childId;
    QString className;
    QString childName;
    QMap<QString, qint64> months; // month → fen owed in it
    qint64 total = 0;
};
struct MonthBalance {
    QString childId;
    QString month;
    qint64 balance = 0;
    qint64 lastEntry = 0; // the newest entry of the month, for the child's name
};
// From every child's month balances (months that balance out may be left
// out): those owing, without names yet, and for each the newest entry to
// take its class and name from.
QVector<QPair<Owing, qint64>> owing(const QVector<MonthBalance> &balances);
// The same, named (entry id → class and name) and sorted by class and name.
QVector<Owing> arrears(QVector<QPair<Owing, qint64>> owing,
                       const QHash<qint64, QPair<QString, QString>> &names);
} // namespace Ledger
