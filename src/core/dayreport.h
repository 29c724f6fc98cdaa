#pragma once

#include "journal.h"

#include <QDate>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

// The day's closing (日结): what one clerk (or every clerk) took on a day,
// receipt by receipt, with the totals by way of payment and by fee item and
// the cash to hand over.
struct DayReport {
    struct Payment {
        QString method;
        qint64 fen = 0; // money received
    };
    struct Row {
        QString serial, time, className, name, method, status;
        qint64 total = 0; // fen printed
        qint64 paid = 0;  // fen received (0 for copies, voided or unprinted receipts)
    };
    QDate day;
    QString clerk; // empty: every clerk
    QVector<Row> rows;
    QString firstSerial, lastSerial;
    // Serial numbers of the day's range missing from the journal (never,
    // unless the journal was tampered with).
    QStringList missing;
    int others = 0;    // serials of the range that are other clerks' receipts
    QStringList voids; // "2026-000012 张三：打错金额"
    QMap<QString, qint64> byMethod;
    QMap<QString, qint64> byItem;
    qint64 received = 0;
    // Money handed back that day by the clerk(s) (退款), each with its own
    // serial, and summed by the way it went back.
    struct Refund {
        QString serial, time, className, name, receipt, method, reason;
        qint64 fen = 0;
    };
    QVector<Refund> refunds;
    QMap<QString, qint64> refundsByMethod;
    qint64 refundedCash = 0; // cash handed back the same day (退款, 现金)
    qint64 cash = 0;         // to hand over

    // From the day's journal (every clerk, fee lines read), the payments of
    // its receipts by serial and the cash handed back that day by the
    // clerk(s).
    static DayReport build(const QDate &day, const QString &clerk,
                           const QVector<JournalEntry> &receipts,
                           const QHash<QString, Payment> &payments, qint64 refundedCash);

    // Lists the day's refunds (the cash among them is refundedCash).
    void setRefunds(const QVector<Refund> &list);
    // The report as lines of text, for paper.
    QStringList lines() const;
    // The report as sheets: the receipts, and the totals.
    QVector<QPair<QString, QVector<QStringList>>> sheets() const;
};
