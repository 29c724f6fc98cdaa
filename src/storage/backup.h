#pragma once

#include "dbconfig.h"

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QVector>
#include <optional>

class Database;

// Copies of the database that restore. On the embedded database a copy is
// taken while the program runs (SQLite writes a consistent copy itself,
// never a plain copy of a file in use), checked after writing, and kept by
// a rule: the last 30 days' copies and one a month for 24 months. On
// PostgreSQL pg_dump writes the copy. Copies and their folder are their
// owner's only.
namespace Backup
{
// The copies' folder: ~/.local/share/feeoffice/备份.
QString folder();

// What a copy holds, read from it (opened read-only, its integrity checked).
struct Info {
    QString path;
    QDateTime taken; // from its name, else the file's time
    qint64 bytes = 0;
    int classes = 0;
    int children = 0;
    int receipts = 0;
    QString lastSerial;
    // The copy of the database as it was just before a restore: kept until
    // removed by hand, never pruned.
    bool beforeRestore = false;
    // Taken later than now (a clock that was ahead): listed after the others.
    bool future = false;
};
// The copy's contents, or nullopt with why: not a database of this
// program, damaged, or without its tables.
// Refused too: a copy holding triggers, views or tables this program does
// not make, one whose structure it cannot save into, and one whose receipt
// or refund counter is behind serials its own records hold.
std::optional<Info> check(const QString &path, QString *error);

// What the database holds that the copy lacks: receipts, payments, refunds
// and audit rows, with the last of each.
struct Losses {
    int receipts = 0, payments = 0, refunds = 0, auditRows = 0;
    QString lastReceipt, lastPayment, lastRefund, lastAudit;
    bool any() const { return receipts + payments + refunds + auditRows > 0; }
    // Said to the clerk, one line per kind lost.
    QString text() const;
};
std::optional<Losses> losses(const QString &databasePath, const QString &copy, QString *error);

// The serial counters of receipts and refunds, per year.
struct Counters {
    QMap<int, qint64> receipts, refunds;
};
std::optional<Counters> counters(Database &db, QString *error);
// Inside a write: each counter raised to at least the one given (serials
// go on after the highest ever issued); what was raised, said in words.
std::optional<QStringList> raiseCounters(Database &db, const Counters &highest, QString *error);

// A checked copy of the open database written into the folder, named by
// the moment ("收费室备份-20261208-235900.sqlite"); its information, or
// nullopt with why (a partial copy is removed).
// With beforeRestore the name says so ("…-恢复前.sqlite").
std::optional<Info> write(Database &db, const QString &dir, const QDateTime &now, QString *error,
                          bool beforeRestore = false);
// On PostgreSQL: pg_dump in its custom format into the folder; the file, or
// empty with why (pg_dump missing or failing).
QString dumpServer(const DbConfig &config, const QString &dir, const QDateTime &now,
                   QString *error);

// The copies in the folder, newest first, those dated after now last
// (those that do not open are listed with what is known).
QVector<Info> list(const QString &dir, const QDateTime &now = {});
// Whether the folder holds a copy taken on that day.
bool hasCopyOf(const QString &dir, const QDate &day);
// Removes the copies the rule does not keep: the newest copy of each of
// the last 30 days that have one, and the newest of each of the last 24
// months. The removed paths.
QStringList prune(const QString &dir, const QDateTime &now);

// Replaces the SQLite database file with the copy, in one rename: the
// database is the old one or the copy, never a mix. The copy is first
// written beside the database and that file, the one renamed into place,
// is checked. The caller has closed every connection to it.
bool replaceDatabase(const QString &databasePath, const QString &copy, QString *error);
} // namespace Backup
