#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

// SQLite through its own statements, under Qt's connection, where Qt's
// per-value cost is most of the time: bulk reads of a month and bulk
// writes of a billing.
namespace SqliteDirect
{
// The SQLite connection under Qt's, or null on any other driver.
sqlite3 *handle(const QSqlDatabase &db);

// A column of the current row as text ("" for NULL).
QString text(sqlite3_stmt *st, int column);
// The same, sharing the text of the row before when it is the same: a
// month's class names, clerks and ways are few, its rows many.
class SharedText
{
public:
    const QString &operator()(sqlite3_stmt *st, int column);

private:
    QString m_last;
};
// A column as Qt's driver would give it as text: a real number in its
// shortest form ("3", not "3.0"), anything else as its text.
QString valueText(sqlite3_stmt *st, int column);
bool isNull(sqlite3_stmt *st, int column);
// Whether the column holds this text, without making a string of it.
bool equals(sqlite3_stmt *st, int column, const QString &text);
qint64 integer(sqlite3_stmt *st, int column);

// Runs the query with its texts bound in order, calling row once a row;
// the error when it failed.
std::optional<QSqlError> each(sqlite3 *h, const QString &sql, const QStringList &binds,
                              const std::function<void(sqlite3_stmt *)> &row);
// The page cache held at most `kib` for as long as it lives, then as it
// was: a read that goes through a table once (the rosters at the start)
// gains nothing from a large cache and would keep it filled.
class CacheLimit
{
public:
    CacheLimit(const QSqlDatabase &db, int kib);
    ~CacheLimit();
    CacheLimit(const CacheLimit &) = delete;
    CacheLimit &operator=(const CacheLimit &) = delete;

private:
    sqlite3 *m_handle;
    int m_before = 0;
};
} // namespace SqliteDirect
