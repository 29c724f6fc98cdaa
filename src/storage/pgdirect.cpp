#include "pgdirect.h"

#include <QSqlDriver>
#include <QVariant>

#include <libpq-fe.h>

namespace PgDirect
{
pg_conn *handle(const QSqlDatabase &db)
{
    const QVariant h = db.driver() ? db.driver()->handle() : QVariant();
    if (!h.isValid() ||
        (qstrcmp(h.typeName(), "PGconn*") != 0 && qstrcmp(h.typeName(), "pg_conn*") != 0))
        return nullptr;
    PGconn *conn = *static_cast<PGconn *const *>(h.constData());
    if (!conn || PQstatus(conn) != CONNECTION_OK || PQtransactionStatus(conn) == PQTRANS_ACTIVE ||
        PQisBusy(conn))
        return nullptr;
    return conn;
}

bool Row::isNull(int column) const
{
    return PQgetisnull(m_result, m_row, column) != 0;
}

const char *Row::data(int column) const
{
    return PQgetvalue(m_result, m_row, column);
}

int Row::size(int column) const
{
    return PQgetlength(m_result, m_row, column);
}

QString Row::text(int column) const
{
    if (isNull(column))
        return {};
    return QString::fromUtf8(data(column), size(column));
}

qint64 Row::integer(int column) const
{
    return isNull(column) ? 0 : QByteArray::fromRawData(data(column), size(column)).toLongLong();
}

const QString &SharedText::operator()(const Row &row, int column)
{
    const QByteArrayView now(row.data(column), row.size(column));
    if (row.isNull(column)) {
        if (!m_last.isNull() || !m_bytes.isNull())
            m_last = QString(), m_bytes = QByteArray();
    } else if (m_bytes.isNull() || now != QByteArrayView(m_bytes)) {
        m_bytes = now.toByteArray();
        m_last = QString::fromUtf8(m_bytes);
    }
    return m_last;
}

namespace
{
// "?" placeholders as PostgreSQL's "$1", "$2", …; quoted texts are kept.
QByteArray numbered(const QString &sql)
{
    QByteArray out;
    const QByteArray in = sql.toUtf8();
    out.reserve(in.size() + 16);
    char quote = 0;
    int n = 0;
    for (const char c : in) {
        if (quote) {
            if (c == quote)
                quote = 0;
            out += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            out += c;
        } else if (c == '?') {
            out += '$';
            out += QByteArray::number(++n);
        } else {
            out += c;
        }
    }
    return out;
}
} // namespace

namespace
{
QSqlError resultError(PGconn *conn, const PGresult *result, const QString &what)
{
    return QSqlError(
        what,
        QString::fromUtf8(result ? PQresultErrorMessage(result) : PQerrorMessage(conn)).trimmed(),
        QSqlError::StatementError,
        QString::fromUtf8(result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr));
}
} // namespace

std::optional<QSqlError> each(pg_conn *conn, const QString &sql, const QStringList &binds,
                              const std::function<void(const Row &)> &row,
                              const std::function<void(int)> &counted)
{
    QVector<QByteArray> values;
    QVector<const char *> pointers;
    for (const QString &b : binds)
        values << b.toUtf8();
    for (const QByteArray &v : std::as_const(values))
        pointers << v.constData();
    PGresult *result = PQexecParams(conn, numbered(sql).constData(), int(pointers.size()), nullptr,
                                    pointers.constData(), nullptr, nullptr, 0);
    if (PQresultStatus(result) != PGRES_TUPLES_OK) {
        const QSqlError e(
            QStringLiteral("读取失败"),
            QString::fromUtf8(result ? PQresultErrorMessage(result) : PQerrorMessage(conn))
                .trimmed(),
            QSqlError::StatementError,
            QString::fromUtf8(result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr));
        PQclear(result);
        return e;
    }
    const int rows = PQntuples(result);
    if (counted)
        counted(rows);
    for (int r = 0; r < rows; ++r)
        row(Row(result, r));
    PQclear(result);
    return std::nullopt;
}
void CopyRows::separate()
{
    if (m_rowStarted)
        m_data += '\t';
    m_rowStarted = true;
}

void CopyRows::text(QStringView value)
{
    separate();
    const qsizetype from = m_data.size();
    m_data += value.toUtf8();
    // The format's own characters are written as escapes; UTF-8 never
    // uses these bytes inside a character.
    for (qsizetype i = from; i < m_data.size(); ++i) {
        const char c = m_data.at(i);
        const char escaped = c == '\\'   ? '\\'
                             : c == '\t' ? 't'
                             : c == '\n' ? 'n'
                             : c == '\r' ? 'r'
                                         : 0;
        if (escaped) {
            m_data[i] = '\\';
            m_data.insert(++i, escaped);
        }
    }
}

void CopyRows::null()
{
    separate();
    m_data += "\\N";
}

void CopyRows::number(qint64 value)
{
    separate();
    m_data += QByteArray::number(value);
}

void CopyRows::endRow()
{
    m_data += '\n';
    m_rowStarted = false;
}

std::optional<QSqlError> copyIn(pg_conn *conn, const QString &copySql, const CopyRows &rows)
{
    const QString what = QStringLiteral("写入失败");
    PGresult *result = PQexec(conn, copySql.toUtf8().constData());
    if (PQresultStatus(result) != PGRES_COPY_IN) {
        const QSqlError e = resultError(conn, result, what);
        PQclear(result);
        return e;
    }
    PQclear(result);
    const QByteArray &data = rows.data();
    constexpr qsizetype chunk = 1 << 20;
    bool sent = true;
    for (qsizetype at = 0; sent && at < data.size(); at += chunk)
        sent = PQputCopyData(conn, data.constData() + at, int(qMin(chunk, data.size() - at))) == 1;
    const bool ended = PQputCopyEnd(conn, sent ? nullptr : "not sent") == 1;
    std::optional<QSqlError> failed;
    if (!sent || !ended)
        failed = resultError(conn, nullptr, what);
    while (PGresult *r = PQgetResult(conn)) {
        if (!failed && PQresultStatus(r) != PGRES_COMMAND_OK)
            failed = resultError(conn, r, what);
        PQclear(r);
    }
    return failed;
}
} // namespace PgDirect
