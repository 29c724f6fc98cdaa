#include "revisions.h"

#include "database.h"
#include "sqldialect.h"

#include <QDateTime>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

using SqlDialect::nonNull;

RevisionClaim::RevisionClaim(Database &database)
    : m_db(database),
      m_now(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
{
}

WriteResult RevisionClaim::conflictWithClassTable()
{
    WriteResult r = WriteResult::failure(
        WriteResult::Conflict, QStringLiteral("载入班级列表之后，另一台电脑已保存过"),
        QStringLiteral("数据库 %1：载入班级列表之后，另一台电脑已保存过")
            .arg(m_db.config().describe()));
    QSqlQuery who(m_db.connection());
    if (who.exec(QStringLiteral("SELECT saved_at FROM feeoffice_revision WHERE id = 1")) &&
        who.next())
        r.savedAt = who.value(0).toString();
    return r;
}

WriteResult RevisionClaim::conflict(const QString &className)
{
    const QString text = QStringLiteral("载入班级“%1”之后，另一台电脑已保存过它").arg(className);
    WriteResult r =
        WriteResult::failure(WriteResult::Conflict, text,
                             QStringLiteral("数据库 %1：%2").arg(m_db.config().describe(), text));
    r.conflictClass = className;
    QSqlQuery who(m_db.connection());
    who.prepare(QStringLiteral("SELECT saved_at FROM feeoffice_class_revision WHERE \"班级\" = ?"));
    who.addBindValue(nonNull(className));
    if (who.exec() && who.next())
        r.savedAt = who.value(0).toString();
    return r;
}

WriteResult RevisionClaim::claimClassTable()
{
    QSqlQuery q(m_db.connection());
    q.prepare(QStringLiteral(
        "UPDATE feeoffice_revision SET revision = revision + 1, saved_at = ? WHERE id = 1 AND "
        "revision = ?"));
    q.addBindValue(m_now);
    q.addBindValue(m_db.knownRevision());
    if (!q.exec())
        return m_db.unreachable(q.lastError());
    if (q.numRowsAffected() != 1)
        return conflictWithClassTable();
    m_table = true;
    return WriteResult::success();
}

WriteResult RevisionClaim::claimClass(const QString &className)
{
    if (m_claimed.contains(className))
        return WriteResult::success();
    const qint64 known = m_db.knownClassRevision(className);
    QSqlQuery q(m_db.connection());
    if (known > 0) {
        q.prepare(QStringLiteral("UPDATE feeoffice_class_revision SET revision = revision + 1, "
                                 "saved_at = ? WHERE \"班级\" = ? AND revision = ?"));
        q.addBindValue(m_now);
        q.addBindValue(nonNull(className));
        q.addBindValue(known);
        if (!q.exec())
            return m_db.unreachable(q.lastError());
        if (q.numRowsAffected() != 1)
            return conflict(className);
    } else {
        // Never saved when this PC loaded it: it must still be unsaved.
        q.prepare(
            QStringLiteral("SELECT count(*) FROM feeoffice_class_revision WHERE \"班级\" = ?"));
        q.addBindValue(nonNull(className));
        if (!q.exec() || !q.next())
            return m_db.unreachable(q.lastError());
        if (q.value(0).toLongLong() != 0)
            return conflict(className);
        QSqlQuery ins(m_db.connection());
        ins.prepare(QStringLiteral("INSERT INTO feeoffice_class_revision (\"班级\", revision, "
                                   "saved_at) VALUES (?, 1, ?)"));
        ins.addBindValue(nonNull(className));
        ins.addBindValue(m_now);
        if (!ins.exec())
            return m_db.unreachable(ins.lastError());
    }
    m_claimed.insert(className, known + 1);
    return WriteResult::success();
}

WriteResult RevisionClaim::claimClasses(const QStringList &classes)
{
    if (!SqlDialect::sendsArrays(m_db.config())) {
        for (const QString &c : classes)
            if (WriteResult r = claimClass(c); !r)
                return r;
        return WriteResult::success();
    }
    QStringList known, unsaved;
    QList<qint64> revisions;
    for (const QString &c : classes) {
        if (m_claimed.contains(c) || known.contains(c) || unsaved.contains(c))
            continue;
        const qint64 k = m_db.knownClassRevision(c);
        if (k > 0)
            known << c, revisions << k;
        else
            unsaved << c;
    }
    auto run = [&](const QString &sql, const QVariantList &binds,
                   const QStringList &expected) -> WriteResult {
        if (expected.isEmpty())
            return WriteResult::success();
        QSqlQuery q(m_db.connection());
        q.setForwardOnly(true);
        if (!q.prepare(sql))
            return m_db.unreachable(q.lastError());
        for (const QVariant &b : binds)
            q.addBindValue(b);
        if (!q.exec())
            return m_db.unreachable(q.lastError());
        QSet<QString> claimed;
        while (q.next())
            claimed.insert(q.value(0).toString());
        for (const QString &c : expected)
            if (!claimed.contains(c))
                return conflict(c);
        return WriteResult::success();
    };
    WriteResult r =
        run(QStringLiteral("UPDATE feeoffice_class_revision AS r SET revision = r.revision + 1, "
                           "saved_at = ? FROM unnest(?::text[], ?::bigint[]) AS k(c, rev) WHERE "
                           "r.\"班级\" = k.c AND r.revision = k.rev RETURNING r.\"班级\""),
            {m_now, SqlDialect::textArray(known), SqlDialect::bigintArray(revisions)}, known);
    if (!r)
        return r;
    r = run(QStringLiteral("INSERT INTO feeoffice_class_revision (\"班级\", revision, saved_at) "
                           "SELECT c, 1, ? FROM unnest(?::text[]) AS k(c) ON CONFLICT DO NOTHING "
                           "RETURNING \"班级\""),
            {m_now, SqlDialect::textArray(unsaved)}, unsaved);
    if (!r)
        return r;
    for (const QString &c : classes)
        if (!m_claimed.contains(c))
            m_claimed.insert(c, m_db.knownClassRevision(c) + 1);
    return WriteResult::success();
}

WriteResult RevisionClaim::claimEveryClass()
{
    const auto current = m_db.readClassRevisions();
    if (!current)
        return WriteResult::failure(WriteResult::Unreachable,
                                    QStringLiteral("数据库没有接受这次写入"), m_db.errorString());
    for (auto it = current->cbegin(); it != current->cend(); ++it)
        if (m_db.knownClassRevision(it.key()) == 0)
            return conflict(it.key());
    for (auto it = current->cbegin(); it != current->cend(); ++it)
        if (WriteResult r = claimClass(it.key()); !r)
            return r;
    return WriteResult::success();
}

void RevisionClaim::commit()
{
    for (auto it = m_claimed.cbegin(); it != m_claimed.cend(); ++it)
        m_db.setKnownClassRevision(it.key(), it.value());
    if (m_table)
        m_db.setKnownRevision(m_db.knownRevision() + 1);
    m_claimed.clear();
    m_table = false;
}
