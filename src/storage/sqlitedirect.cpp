#include "sqlitedirect.h"

#include <QLocale>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

namespace SqliteDirect
{
sqlite3 *handle(const QSqlDatabase &db)
{
    const QVariant h = db.driver() ? db.driver()->handle() : QVariant();
    if (!h.isValid() || qstrcmp(h.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(h.constData());
}

QString text(sqlite3_stmt *st, int column)
{
    const auto *data = static_cast<const char16_t *>(sqlite3_column_text16(st, column));
    if (!data)
        return {};
    return QString::fromUtf16(data, sqlite3_column_bytes16(st, column) / 2);
}

const QString &SharedText::operator()(sqlite3_stmt *st, int column)
{
    const auto *data = static_cast<const char16_t *>(sqlite3_column_text16(st, column));
    const qsizetype size = data ? sqlite3_column_bytes16(st, column) / 2 : 0;
    const QStringView now(data, size);
    if (now != QStringView(m_last))
        m_last = now.toString();
    return m_last;
}

QString valueText(sqlite3_stmt *st, int column)
{
    if (sqlite3_column_type(st, column) == SQLITE_FLOAT)
        return QString::number(sqlite3_column_double(st, column), 'g',
                               QLocale::FloatingPointShortest);
    return text(st, column);
}

bool isNull(sqlite3_stmt *st, int column)
{
    return sqlite3_column_type(st, column) == SQLITE_NULL;
}

bool equals(sqlite3_stmt *st, int column, const QString &text)
{
    const auto *data = static_cast<const char16_t *>(sqlite3_column_text16(st, column));
    return data && QStringView(data, sqlite3_column_bytes16(st, column) / 2) == text;
}

qint64 integer(sqlite3_stmt *st, int column)
{
    return sqlite3_column_int64(st, column);
}

std::optional<QSqlError> each(sqlite3 *h, const QString &sql, const QStringList &binds,
                              const std::function<void(sqlite3_stmt *)> &row)
{
    auto error = [h] {
        return QSqlError(QStringLiteral("读取失败"), QString::fromUtf8(sqlite3_errmsg(h)),
                         QSqlError::StatementError, QString::number(sqlite3_extended_errcode(h)));
    };
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(h, utf8.constData(), int(utf8.size()), &st, nullptr) != SQLITE_OK)
        return error();
    for (int i = 0; i < binds.size(); ++i)
        if (sqlite3_bind_text16(st, i + 1, binds.at(i).utf16(), int(binds.at(i).size() * 2),
                                SQLITE_TRANSIENT) != SQLITE_OK) {
            const QSqlError e = error();
            sqlite3_finalize(st);
            return e;
        }
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        row(st);
    std::optional<QSqlError> failed;
    if (rc != SQLITE_DONE)
        failed = error();
    sqlite3_finalize(st);
    return failed;
}
namespace
{
void setCacheSize(sqlite3 *h, int size)
{
    const QByteArray sql = "PRAGMA cache_size = " + QByteArray::number(size);
    sqlite3_exec(h, sql.constData(), nullptr, nullptr, nullptr);
}
} // namespace

CacheLimit::CacheLimit(const QSqlDatabase &db, int kib) : m_handle(handle(db))
{
    if (!m_handle)
        return;
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(m_handle, "PRAGMA cache_size", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        m_before = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    if (m_before == 0) {
        m_handle = nullptr;
        return;
    }
    setCacheSize(m_handle, -kib);
}

CacheLimit::~CacheLimit()
{
    if (m_handle)
        setCacheSize(m_handle, m_before);
}
} // namespace SqliteDirect
