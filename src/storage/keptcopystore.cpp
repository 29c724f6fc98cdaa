#include "keptcopystore.h"

#include "database.h"

#include <QSqlError>
#include <QSqlQuery>

namespace
{
const char *const createTables[] = {
    "CREATE TABLE IF NOT EXISTS feeoffice_kept_class (\"班级\" TEXT PRIMARY KEY, "
    "server_revision INTEGER NOT NULL DEFAULT 0, edited INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS feeoffice_kept_receipt (id INTEGER PRIMARY KEY, entry TEXT NOT "
    "NULL, uploaded INTEGER NOT NULL DEFAULT 0)",
};

bool exec(QSqlQuery &q, QString &error)
{
    if (q.exec())
        return true;
    error = q.lastError().text();
    return false;
}

bool ensureTables(QSqlDatabase db, QString &error)
{
    for (const char *sql : createTables) {
        QSqlQuery q(db);
        if (!q.exec(QString::fromUtf8(sql))) {
            error = q.lastError().text();
            return false;
        }
    }
    return true;
}
} // namespace

KeptCopyStore::KeptCopyStore(Database &database) : m_db(database) {}

WriteResult KeptCopyStore::run(const std::function<bool(QString &)> &work)
{
    m_error.clear();
    QSqlDatabase db = m_db.connection();
    QSqlError begun;
    if (!ensureTables(db, m_error) || !m_db.beginWrite(&begun)) {
        if (m_error.isEmpty())
            m_error = begun.text();
        return WriteResult::failure(WriteResult::File, QStringLiteral("本机文件无法写入"), m_error);
    }
    if (!work(m_error) || !db.commit()) {
        if (m_error.isEmpty())
            m_error = db.lastError().text();
        db.rollback();
        return WriteResult::failure(WriteResult::File, QStringLiteral("本机文件无法写入"), m_error);
    }
    return WriteResult::success();
}

WriteResult KeptCopyStore::write(const State &state)
{
    return run([&](QString &error) {
        QSqlQuery q(m_db.connection());
        q.prepare(QStringLiteral("INSERT OR REPLACE INTO feeoffice_kept_class (\"班级\", "
                                 "server_revision, edited) VALUES (?, ?, ?)"));
        QSet<QString> classes = state.edited;
        for (auto it = state.serverRevisions.cbegin(); it != state.serverRevisions.cend(); ++it)
            classes.insert(it.key());
        for (const QString &c : std::as_const(classes)) {
            q.bindValue(0, c);
            q.bindValue(1, state.serverRevisions.value(c, 0));
            q.bindValue(2, state.edited.contains(c) ? 1 : 0);
            if (!exec(q, error))
                return false;
        }
        q.prepare(QStringLiteral("INSERT INTO feeoffice_kept_receipt (entry) VALUES (?)"));
        for (const auto &r : state.receipts) {
            q.bindValue(0, r.second);
            if (!exec(q, error))
                return false;
        }
        return true;
    });
}

std::optional<KeptCopyStore::State> KeptCopyStore::read()
{
    m_error.clear();
    QSqlDatabase db = m_db.connection();
    State state;
    if (!ensureTables(db, m_error))
        return std::nullopt;
    QSqlQuery q(db);
    if (!q.exec(
            QStringLiteral("SELECT \"班级\", server_revision, edited FROM feeoffice_kept_class"))) {
        m_error = q.lastError().text();
        return std::nullopt;
    }
    while (q.next()) {
        state.serverRevisions.insert(q.value(0).toString(), q.value(1).toLongLong());
        if (q.value(2).toInt() != 0)
            state.edited.insert(q.value(0).toString());
    }
    if (!q.exec(QStringLiteral(
            "SELECT id, entry FROM feeoffice_kept_receipt WHERE uploaded = 0 ORDER BY id"))) {
        m_error = q.lastError().text();
        return std::nullopt;
    }
    while (q.next())
        state.receipts.append({q.value(0).toLongLong(), q.value(1).toString()});
    return state;
}

WriteResult KeptCopyStore::uploaded(const QHash<QString, qint64> &revisions,
                                    const QVector<qint64> &receipts)
{
    return run([&](QString &error) {
        QSqlQuery q(m_db.connection());
        q.prepare(QStringLiteral("INSERT OR REPLACE INTO feeoffice_kept_class (\"班级\", "
                                 "server_revision, edited) VALUES (?, ?, 0)"));
        for (auto it = revisions.cbegin(); it != revisions.cend(); ++it) {
            q.bindValue(0, it.key());
            q.bindValue(1, it.value());
            if (!exec(q, error))
                return false;
        }
        q.prepare(QStringLiteral("UPDATE feeoffice_kept_receipt SET uploaded = 1 WHERE id = ?"));
        for (qint64 id : receipts) {
            q.bindValue(0, id);
            if (!exec(q, error))
                return false;
        }
        return true;
    });
}

WriteResult KeptCopyStore::addReceipts(const QStringList &entries)
{
    return run([&](QString &error) {
        QSqlQuery q(m_db.connection());
        q.prepare(QStringLiteral("INSERT INTO feeoffice_kept_receipt (entry) VALUES (?)"));
        for (const QString &e : entries) {
            q.bindValue(0, e);
            if (!exec(q, error))
                return false;
        }
        return true;
    });
}

WriteResult KeptCopyStore::withdrawReceipts(const QStringList &entries)
{
    return run([&](QString &error) {
        QSqlQuery q(m_db.connection());
        q.prepare(
            QStringLiteral("DELETE FROM feeoffice_kept_receipt WHERE entry = ? AND uploaded = 0"));
        for (const QString &e : entries) {
            q.bindValue(0, e);
            if (!exec(q, error))
                return false;
        }
        return true;
    });
}

WriteResult KeptCopyStore::markEdited(const QStringList &classes)
{
    return run([&](QString &error) {
        QSqlQuery q(m_db.connection());
        q.prepare(QStringLiteral(
            "INSERT INTO feeoffice_kept_class (\"班级\", server_revision, edited) VALUES (?, 0, 1) "
            "ON CONFLICT (\"班级\") DO UPDATE SET edited = 1"));
        for (const QString &c : classes) {
            q.bindValue(0, c);
            if (!exec(q, error))
                return false;
        }
        return true;
    });
}
