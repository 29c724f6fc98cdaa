#pragma once

#include <QString>
#include <QStringList>

struct DbConfig;

// Where the statements for SQLite (and ODBC) and PostgreSQL differ, in one
// place. On PostgreSQL every statement is a round trip to the server, so
// lists go as arrays; the in-process engines take one prepared row at a time.
namespace SqlDialect
{
// Statements send many values at once as arrays (PostgreSQL).
bool sendsArrays(const DbConfig &config);
// The key column of a new table.
QString keyColumn(const DbConfig &config);
// "name" quoted as an identifier.
QString quoted(const QString &identifier);
// A PostgreSQL array literal of texts: every element quoted, quotes and
// backslashes escaped; a null text is a NULL element.
QString textArray(const QStringList &texts);
QString bigintArray(const QList<qint64> &numbers);
// Text that is never NULL.
QString nonNull(const QString &text);
// The channel other PCs hear saves on (PostgreSQL).
QString savedChannel();
} // namespace SqlDialect
