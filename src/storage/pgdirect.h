#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

struct pg_conn;
struct pg_result;

// Reads large results from a PostgreSQL connection without Qt's cost of a
// QVariant per value: the same connection, its client encoding UTF-8, the
// values as texts.
namespace PgDirect
{
// The connection's libpq handle; null when it is not PostgreSQL's or when
// one of Qt's queries is still reading from it.
pg_conn *handle(const QSqlDatabase &db);

// One row of a result.
class Row
{
public:
    Row(const pg_result *result, int row) : m_result(result), m_row(row) {}
    bool isNull(int column) const;
    QString text(int column) const;
    qint64 integer(int column) const;
    // The text as bytes, valid while the result lives.
    const char *data(int column) const;
    int size(int column) const;

private:
    const pg_result *m_result;
    int m_row;
};

// A column whose values repeat row after row (a class's name, a clerk):
// one string shared while the value stays the same.
class SharedText
{
public:
    const QString &operator()(const Row &row, int column);

private:
    QByteArray m_bytes;
    QString m_last;
};

// Runs the query (placeholders "?", outside quotes) with its texts bound in
// order, calling counted with the number of rows (before the first) and row
// once a row; the error when it failed.
std::optional<QSqlError> each(pg_conn *conn, const QString &sql, const QStringList &binds,
                              const std::function<void(const Row &)> &row,
                              const std::function<void(int)> &counted = {});

// Rows for COPY … FROM STDIN in its text format: values added in order, a
// tab between them, a line a row.
class CopyRows
{
public:
    void text(QStringView value);
    void null();
    void number(qint64 value);
    void endRow();
    const QByteArray &data() const { return m_data; }
    void reserve(qsizetype bytes) { m_data.reserve(bytes); }

private:
    void separate();
    QByteArray m_data;
    bool m_rowStarted = false;
};

// Sends the rows to "COPY table (columns) FROM STDIN" in the connection's
// transaction; the error when the server refused them.
std::optional<QSqlError> copyIn(pg_conn *conn, const QString &copySql, const CopyRows &rows);
} // namespace PgDirect
