#pragma once

#include "account.h"
#include "layout.h"
#include "receipt.h"
#include "reductions.h"

#include <QDateTime>
#include <QHash>
#include <QMap>
#include <QString>
#include <QVector>
#include <array>
#include <memory>
#include <optional>

// One printed receipt as the journal keeps it: what went out on paper, when,
// for whom and by whom. Entries are written once and never changed.
struct JournalEntry {
    QString serial;      // "2026-000123": year and a running number
    QDateTime printedAt; // local time
    QString printedText; // "yyyy-MM-dd HH:mm:ss", as stored (a month's list reads only this)
    QString className;
    QString name;
    QString age;
    std::array<QString, Receipt::Slots> labels;   // fee lines as printed
    std::array<qint64, Receipt::Slots> amounts{}; // fen
    qint64 total = 0;                             // fen
    QString clerk;
    QString printer;
    QString host;
    QString reprintOf; // serial of the first receipt for the child and month
    // A receipt with more lines than a form holds prints on two forms, each
    // a receipt of the journal with its own serial, paid by one payment
    // (booked under the first): the second form's serial, and for a copy
    // the second form it copies. Read back, the lines and the total are
    // both forms'.
    QString secondForm;
    QString secondReprintOf;
    // Read from the journal: this is the second form of that receipt.
    QString firstForm;
    // Not stored in the journal: the child's identity and how the money was
    // paid, for the payment the receipt is on the child's account.
    QString childId;
    qint64 studentId = 0; // the roster row stored, whose identity childId is
    QString method;
    QString reference;
    qint64 paid = 0; // money received when more than the total (a credit); 0: the total
    // Credit from earlier months that paid part of the fees (预收抵扣).
    qint64 credit = 0;
    // Reductions (减免) the lines are net of.
    qint64 reduced = 0;
    // The child's fee items before and after the discount, for the
    // reductions the account grants, found inside the transaction.
    QVector<Reductions::Base> bases;
    // What the month charges the child per item, recorded with the first
    // receipt of a month nobody billed yet (so that a part paid leaves the
    // rest owed, and money paid is never taken for money paid ahead).
    QVector<QPair<QString, qint64>> charges;
    // The month ("yyyy-MM") the receipt belongs to: the month it was printed,
    // except for a copy of an earlier receipt, which belongs to that one's.
    QString month;

    // How the journal tells a second receipt for the same child in a month
    // from a first one, when printed from a roster. Two children of a class
    // may share a name: the name alone never makes a receipt a reprint.
    enum class Child {
        Unknown,       // no roster row behind it: the name in the class decides
        AlreadyHas,    // the roster row already had a receipt this month
        FirstOfShared, // no receipt yet, and another child of the class has the name
        FirstOfUnique, // no receipt yet that the row knows of, the name is unique in the class
        PaysRest,      // the row has a receipt this month whose month still owes: a payment
    };
    Child child = Child::Unknown;

    // A print from a roster: what it is (first receipt, rest, difference or
    // copy) is decided from the child's account inside the transaction
    // that records it, from the receipt of the fees now (full) and the
    // month's charges; the lines above are then the decided ones. What the
    // clerk was shown (expected, expectedDue) must still hold there, or
    // nothing is recorded and nothing prints.
    bool decide = false;
    // Shared, not held: a month's list holds a hundred thousand entries.
    std::shared_ptr<const Receipt> full;
    qint64 received = 0; // what the clerk typed; 0: what is due
    std::optional<Account::Kind> expected;
    qint64 expectedDue = -1;
    Account::Kind kind = Account::Kind::First; // what was decided
    // Set by the decision: the month's charges per item as read inside the
    // transaction (the month is open), so the payment need not read again.
    bool accountRead = false;
    QMap<QString, qint64> chargedBefore;

    // Recorded before printing, then the print job failed: the serial
    // stays, nothing was handed out, nothing counts.
    bool unprinted = false;
    // Taken back (作废) afterwards, and why: listed, never counted.
    bool voided = false;
    QString voidReason;

    bool isReprint() const { return !reprintOf.isEmpty(); }
    // What the printed receipt says of itself (serial, way, rest owed, copy).
    ReceiptMarks marks() const;
    // More lines than one form holds: recorded and printed as two forms.
    bool hasSecondForm() const { return !labels[Receipt::FormLines].isNull(); }
    // month, or the month of printedAt when none is set.
    QString belongsTo() const;
    // The receipt as it was printed, for printing it again.
    Receipt receipt() const;
    // The lines, total and credit of a receipt, taken into this entry.
    void setLines(const Receipt &receipt);
    static JournalEntry fromReceipt(const Receipt &receipt, const QString &className,
                                    const QDateTime &printedAt);
};

namespace Journal
{
// "2026-000123".
QString serial(int year, qint64 number);
// "yyyy-MM" of a moment: the month a receipt belongs to.
QString month(const QDateTime &moment);

struct ClassTotal {
    int count = 0;    // receipts, each once
    qint64 total = 0; // fen, reprints not counted
    int reprints = 0; // listed, adding nothing
};
// Count and sum per class, in class order: a reprint is the same money
// again, counted apart.
QMap<QString, ClassTotal> totalsByClass(const QVector<JournalEntry> &entries);
// What the second forms of the entries add to the receipts they belong
// to: first form's serial → the second form's total.
QHash<QString, qint64> secondFormTotals(const QVector<JournalEntry> &entries);
// Fen as yuan with two decimals: 176300 → "1763.00".
QString yuan(qint64 fen);
// Text typed for the record (a transaction number, a reason) without the
// characters no database keeps and no clerk can see: NUL, controls and
// invisible formatting; tabs and line breaks become spaces; trimmed.
QString cleanText(const QString &text);
} // namespace Journal
