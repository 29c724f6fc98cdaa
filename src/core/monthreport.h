#pragma once

#include "journal.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

// The month's report (月报): what each class was charged, what it paid,
// what was given back or credited, and what it still owes; the same per
// fee item. Money is in fen.
struct MonthReport {
    struct Sums {
        qint64 charged = 0;  // charges and adjustments
        qint64 received = 0; // payments, less those voided
        qint64 credited = 0; // meal fees given back for absences
        qint64 refunded = 0; // money handed back (退款)
        qint64 owed = 0;     // the sum of every entry: what is still owed
    };
    // One sum of ledger entries of the month.
    // A sum of kind "减免" is the reductions of one type (item: its name),
    // beside the adjustments they are among.
    struct LedgerSum {
        QString className, kind, item;
        qint64 fen = 0;
    };
    QString month;
    QMap<QString, Sums> byClass;
    // class → item → sums; received per item as the receipts' lines print
    // it (money beyond a receipt's total as 预收); owed = charged − received
    // − credited per item, as an estimate (payments are per receipt, not
    // per item).
    QMap<QString, QMap<QString, Sums>> byClassAndItem;
    Sums all;
    // Reductions (减免) by type, then class, in fen (positive): the same
    // adjustments counted in charged, told apart by the type they name.
    QMap<QString, QMap<QString, qint64>> reductions;
    // The class list's order (the tabs'); the lines and sheets follow it.
    QStringList classOrder;

    static MonthReport build(const QString &month, const QVector<LedgerSum> &sums,
                             const QVector<JournalEntry> &receipts,
                             const QHash<QString, qint64> &paidBySerial);
    QStringList lines() const;
    QVector<QPair<QString, QVector<QStringList>>> sheets() const;
};
