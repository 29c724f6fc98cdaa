#pragma once

#include "dbconfig.h"

#include <QDateTime>
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
};
// The copy's contents, or nullopt with why: not a database of this
// program, damaged, or without its tables.
std::optional<Info> check(const QString &path, QString *error);

// A checked copy of the open database written into the folder, named by
// the moment ("收费室备份-20261208-235900.sqlite"); its information, or
// nullopt with why (a partial copy is removed).
std::optional<Info> write(Database &db, const QString &dir, const QDateTime &now, QString *error);
// On PostgreSQL: pg_dump in its custom format into the folder; the file, or
// empty with why (pg_dump missing or failing).
QString dumpServer(const DbConfig &config, const QString &dir, const QDateTime &now,
                   QString *error);

// The copies in the folder, newest first (those that do not open are
// listed with what is known).
QVector<Info> list(const QString &dir);
// Whether the folder holds a copy taken on that day.
bool hasCopyOf(const QString &dir, const QDate &day);
// Removes the copies the rule does not keep: the newest copy of each of
// the last 30 days that have one, and the newest of each of the last 24
// months. The removed paths.
QStringList prune(const QString &dir, const QDateTime &now);

// Replaces the SQLite database file with the copy, in one rename: the
// database is the old one or the copy, never a mix. The caller has closed
// every connection to it.
bool replaceDatabase(const QString &databasePath, const QString &copy, QString *error);
} // namespace Backup
