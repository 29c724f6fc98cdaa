#pragma once

#include "account.h"
#include "ledger.h"

#include <QDate>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

// What goes to parents: the month's payment notice (缴费通知单), the
// reminder of what is still owed (催费单) and a child's statement (对账单).
// Every amount comes from the child's account, in fen.
namespace Notices
{
struct Notice {
    QString childId, className, childName;
    QString month;                           // "yyyy-MM"
    QVector<QPair<QString, qint64>> charges; // the month's charges per item
    qint64 charged = 0;                      // their sum
    qint64 received = 0;                     // paid in the month already
    // Earlier months' balance: above 0 still owed, below 0 paid ahead.
    qint64 earlier = 0;
    qint64 creditUsed = 0; // of the money paid ahead, what this month takes
    qint64 earlierOwed = 0;
    qint64 due = 0; // what the parent is to pay: the account's balance
    QDate payBy;
};

// The month (as the account holds it) and the sum of the child's earlier
// months' balances. due is the sum of every month up to this one, never
// below 0: what 欠费 lists for the child.
Notice notice(const QString &childId, const QString &className, const QString &childName,
              const QString &month, const Account::ChildMonth &account, qint64 earlier,
              const QDate &payBy);
// The notice as lines, for paper and PDF; details: how to pay (the office's
// text, several lines).
QStringList lines(const Notice &notice, const QString &details);

// How long a debt has been owing: the days from the first of its month.
enum Bucket { Under30, From30To60, Over60 };
Bucket bucket(const QString &month, const QDate &today);
QString bucketText(Bucket bucket);

struct Reminder {
    Ledger::Owing owing;
    // The months still owed after money paid ahead has paid the oldest
    // first: they add up to owing.total.
    QMap<QString, qint64> months;
    qint64 buckets[3] = {0, 0, 0};
    int days = 0; // since the oldest month owed began
};
Reminder reminder(const Ledger::Owing &owing, const QDate &today);
QStringList lines(const Reminder &reminder);

// A child's account over a span of months: every entry with the balance
// after it.
struct Statement {
    QString childName, className, from, to; // months "yyyy-MM"
    qint64 opening = 0, closing = 0;
    struct Line {
        QString at, month, what, serial;
        qint64 amount = 0, balance = 0;
    };
    QVector<Line> lines;
};
// entries: the child's whole account, oldest first.
Statement statement(const QVector<LedgerEntry> &entries, const QString &from, const QString &to);
QStringList lines(const Statement &statement);
} // namespace Notices
