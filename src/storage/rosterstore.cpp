#include "rosterstore.h"

#include "writetransaction.h"

#include "auditlog.h"

#include "database.h"
#include "revisions.h"
#include "sqldialect.h"
#include "sqlitedirect.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

#include <array>

using SqlDialect::nonNull;
using SqlDialect::quoted;

namespace
{
// Starts a write's transaction once the tables and the file allow writing.
WriteResult begin(Database &db)
{
    if (WriteResult r = db.writable(); !r)
        return r;
    QSqlError error;
    if (!db.beginWrite(&error))
        return db.unreachable(error);
    return WriteResult::success();
}

// Ends a write's transaction: committed when the write succeeded, rolled
// back otherwise (or when the commit itself fails).
WriteResult finish(Database &db, WriteResult result, RevisionClaim &claim)
{
    QSqlDatabase c = db.connection();
    if (result && !c.commit())
        result = db.unreachable(c.lastError());
    if (!result) {
        c.rollback();
        return result;
    }
    claim.commit();
    db.announceSave();
    return result;
}
} // namespace

std::function<void()> &RosterStore::betweenReads()
{
    static std::function<void()> hook;
    return hook;
}

RosterStore::RosterStore(Database &database) : m_db(database) {}

QString RosterStore::errorString() const
{
    return m_db.errorString();
}

std::optional<QStringList> RosterStore::readClasses()
{
    // Without its column the name would be read as a text literal.
    if (m_db.schema().classColumnMissing)
        return QStringList();
    QSqlQuery q(m_db.connection());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT \"班级\" FROM \"class\" ORDER BY %1")
                    .arg(quoted(m_db.schema().classKeyColumn)))) {
        m_db.readFailed(q.lastError());
        return std::nullopt;
    }
    QStringList names;
    while (q.next())
        names << q.value(0).toString();
    return names;
}

std::optional<RosterStore::ClassList> RosterStore::readClassList()
{
    const auto revision = m_db.classTableRevision();
    if (!revision)
        return std::nullopt;
    if (betweenReads())
        betweenReads()();
    const auto names = readClasses();
    if (!names)
        return std::nullopt;
    m_db.setKnownRevision(*revision);
    return ClassList{*names, *revision};
}

std::optional<QHash<QString, QVector<ChildRecord>>> RosterStore::select(const QString *className)
{
    // A missing column reads as empty text, never as its own name.
    const Schema::State &schema = m_db.schema();
    QStringList cols;
    for (const QString &c : Schema::studentColumns())
        cols << (schema.missingStudentColumns.contains(c) ? QStringLiteral("''") : quoted(c));
    // A class name is bound, never pasted into the statement.
    const QString sql =
        QStringLiteral("SELECT %1, student.%2, ci.child_id FROM student LEFT JOIN "
                       "child_identity ci ON ci.student_id = student.%2 %3 ORDER BY student.%2")
            .arg(cols.join(QStringLiteral(", ")), quoted(schema.keyColumn),
                 className ? QStringLiteral("WHERE \"班级\" = ?") : QString());
    QHash<QString, QVector<ChildRecord>> byClass;
    // Most cells repeat from child to child (ages, prices, the clerk, the
    // print status, the class): each text is kept once and shared, which
    // is most of the memory of a large school.
    std::array<QSet<QString>, Roster::ColumnCount + 1> seen;
    auto shared = [&seen](int column, QString text) {
        QSet<QString> &pool = seen[size_t(column)];
        if (const auto it = pool.constFind(text); it != pool.cend())
            return *it;
        if (pool.size() < 4096)
            pool.insert(text);
        return text;
    };
    // On SQLite the rows are read through its own statement: Qt's cached
    // result and its QVariants were most of the time of a large start.
    if (sqlite3 *h = SqliteDirect::handle(m_db.connection())) {
        // Every row is read once; the children's identities are looked up
        // beside them, and 5 MB holds those of 100,000 children.
        const SqliteDirect::CacheLimit once(m_db.connection(), 5120);
        const auto failed = SqliteDirect::each(
            h, sql, className ? QStringList{nonNull(*className)} : QStringList(),
            [&](sqlite3_stmt *st) {
                ChildRecord r;
                for (int i = 0; i < Roster::ColumnCount; ++i)
                    if (!SqliteDirect::isNull(st, i)) {
                        QString v = SqliteDirect::valueText(st, i);
                        r.cells[size_t(i)] = i == Roster::Name ? v : shared(i, std::move(v));
                    }
                r.className =
                    shared(Roster::ColumnCount, SqliteDirect::valueText(st, Roster::ColumnCount));
                r.id = SqliteDirect::integer(st, Roster::ColumnCount + 1);
                r.childId = SqliteDirect::text(st, Roster::ColumnCount + 2);
                byClass[r.className].append(std::move(r));
            });
        if (failed) {
            m_db.readFailed(*failed);
            return std::nullopt;
        }
        return byClass;
    }
    QSqlQuery q(m_db.connection());
    q.setForwardOnly(true);
    q.prepare(sql);
    if (className)
        q.addBindValue(nonNull(*className));
    if (!q.exec()) {
        m_db.readFailed(q.lastError());
        return std::nullopt;
    }
    while (q.next()) {
        ChildRecord r;
        // NULL is a cell the roster never had; empty text is an empty cell.
        for (int i = 0; i < Roster::ColumnCount; ++i) {
            const QVariant v = q.value(i);
            if (!v.isNull())
                r.cells[size_t(i)] = i == Roster::Name ? v.toString() : shared(i, v.toString());
        }
        r.className = shared(Roster::ColumnCount, q.value(Roster::ColumnCount).toString());
        r.id = q.value(Roster::ColumnCount + 1).toLongLong();
        r.childId = q.value(Roster::ColumnCount + 2).toString();
        byClass[r.className].append(std::move(r));
    }
    return byClass;
}

std::optional<QVector<ChildRecord>> RosterStore::readStudents(const QString &className)
{
    // The revision first: a save in between makes it older than the rows,
    // which can only refuse a save, never let one undo another PC's.
    const auto revisions = m_db.readClassRevisions();
    if (!revisions)
        return std::nullopt;
    if (betweenReads())
        betweenReads()();
    const auto rows = select(&className);
    if (!rows)
        return std::nullopt;
    m_db.setKnownClassRevision(className, revisions->value(className).revision);
    return rows->value(nonNull(className));
}

std::optional<QHash<QString, QVector<ChildRecord>>> RosterStore::readAllStudents()
{
    return select(nullptr);
}

namespace
{
// "班级“A”：新增 乙；删除 丙；修改 甲（儿童年龄 4→5）" for every class whose
// children changed between what was stored and what is stored now.
QStringList describeChanges(const QVector<ChildRecord> &before, const QVector<ChildRecord> &after)
{
    // Children are matched by identity; rows stored before identities were
    // kept are matched by name.
    QMap<QString, QHash<QString, const ChildRecord *>> was;
    QMap<QString, QMultiHash<QString, const ChildRecord *>> wasByName;
    QMap<QString, QVector<const ChildRecord *>> now;
    for (const ChildRecord &r : before) {
        if (r.childId.isEmpty())
            wasByName[r.className].insert(r.text(Roster::Name), &r);
        else
            was[r.className].insert(r.childId, &r);
    }
    for (const ChildRecord &r : after)
        now[r.className] << &r;
    QSet<QString> classes;
    for (const ChildRecord &r : before)
        classes.insert(r.className);
    for (const ChildRecord &r : after)
        classes.insert(r.className);
    QStringList sorted(classes.cbegin(), classes.cend());
    sorted.sort();
    QStringList out;
    for (const QString &c : sorted) {
        QStringList added, removed, changed;
        auto &byId = was[c];
        auto &byName = wasByName[c];
        for (const ChildRecord *r : now.value(c)) {
            const ChildRecord *old = byId.take(r->childId);
            if (!old) {
                const auto it = byName.find(r->text(Roster::Name));
                if (it != byName.end()) {
                    old = *it;
                    byName.erase(it);
                }
            }
            if (!old) {
                added << r->text(Roster::Name);
                continue;
            }
            QStringList cells;
            for (int col = 0; col < Roster::ColumnCount; ++col) {
                if (col == Roster::Total)
                    continue;
                const QString a = old->text(col), b = r->text(col);
                if (a != b)
                    cells << QStringLiteral("%1 %2→%3")
                                 .arg(
                                     QString::fromUtf16(Roster::columnNames()[size_t(col)].caption),
                                     a.isEmpty() ? QStringLiteral("空") : a,
                                     b.isEmpty() ? QStringLiteral("空") : b);
            }
            if (!cells.isEmpty())
                changed << QStringLiteral("%1（%2）")
                               .arg(r->text(Roster::Name), cells.join(QStringLiteral("，")));
        }
        for (const ChildRecord *r : std::as_const(byId))
            removed << r->text(Roster::Name);
        for (const ChildRecord *r : std::as_const(byName))
            removed << r->text(Roster::Name);
        QStringList parts;
        if (!added.isEmpty())
            parts << QStringLiteral("新增 %1").arg(added.join(QStringLiteral("、")));
        if (!removed.isEmpty())
            parts << QStringLiteral("删除 %1").arg(removed.join(QStringLiteral("、")));
        if (!changed.isEmpty())
            parts << QStringLiteral("修改 %1").arg(changed.join(QStringLiteral("、")));
        if (!parts.isEmpty())
            out << QStringLiteral("班级“%1”：%2").arg(c, parts.join(QStringLiteral("；")));
    }
    return out;
}
} // namespace

WriteResult RosterStore::rewriteClasses(const QStringList &names)
{
    if (WriteResult r = begin(m_db); !r)
        return r;
    QSqlDatabase db = m_db.connection();
    RevisionClaim claim(m_db);
    WriteResult result = claim.claimClassTable();
    // The classes new to the list, for the audit log.
    QStringList before;
    if (result) {
        QSqlQuery q(db);
        if (q.exec(QStringLiteral("SELECT \"班级\" FROM \"class\"")))
            while (q.next())
                before << q.value(0).toString();
    }
    for (const QString &n : names)
        if (result && !before.contains(n)) {
            QString error;
            if (!AuditLog::add(m_db, AuditLog::addedClass(), QStringLiteral("班级“%1”").arg(n),
                               &error))
                result = WriteResult::failure(WriteResult::Unreachable, QStringLiteral("没有写入"),
                                              error);
            before << n;
        }
    if (result) {
        QSqlQuery q(db);
        bool ok = q.exec(QStringLiteral("DELETE FROM \"class\"")) &&
                  q.prepare(QStringLiteral("INSERT INTO \"class\" (\"班级\") VALUES (?)"));
        for (int i = 0; ok && i < names.size(); ++i) {
            q.bindValue(0, nonNull(names.at(i)));
            ok = q.exec();
        }
        if (!ok)
            result = m_db.unreachable(q.lastError());
    }
    return finish(m_db, result, claim);
}

WriteResult RosterStore::mergeClasses(const QStringList &ours)
{
    // Each conflict means another PC stored its list in between, so the
    // next round starts from a newer one; PCs adding at once take turns.
    // The bound only stops a database whose revision never settles.
    WriteResult r;
    for (int round = 0; round < 100; ++round) {
        const auto stored = readClassList();
        if (!stored)
            return WriteResult::failure(WriteResult::Unreachable,
                                        QStringLiteral("无法读取班级列表"), m_db.errorString());
        QStringList merged = stored->names;
        for (const QString &c : ours)
            if (!merged.contains(c))
                merged << c;
        if (merged == stored->names)
            return WriteResult::success();
        r = rewriteClasses(merged);
        if (!r.isConflict())
            return r;
    }
    return r;
}

WriteResult RosterStore::replaceStudents(const std::optional<QStringList> &classes,
                                         QVector<ChildRecord> &rows)
{
    for (const ChildRecord &row : rows) {
        const QString refusal = Roster::controlCharacterRefusal(row.texts());
        if (!refusal.isEmpty())
            return WriteResult::failure(WriteResult::Refused, refusal);
    }
    if (WriteResult r = begin(m_db); !r)
        return r;
    QSqlDatabase db = m_db.connection();
    RevisionClaim claim(m_db);
    WriteResult result;
    QSqlQuery q(db);
    const QString key = quoted(m_db.schema().keyColumn);
    // What is stored now, to say in the audit log what the save changed.
    // (Read as rows only: what this PC knows of the classes' revisions stays
    // as it was, so that the claim below still refuses a stale save.)
    QVector<ChildRecord> before;
    {
        QVector<std::optional<QHash<QString, QVector<ChildRecord>>>> read;
        if (classes)
            for (const QString &c : *classes)
                read << select(&c);
        else
            read << select(nullptr);
        for (const auto &rows : read) {
            if (!rows) {
                db.rollback();
                return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("没有写入"),
                                            m_db.errorString());
            }
            for (const QVector<ChildRecord> &r : *rows)
                before += r;
        }
    }
    if (!classes) {
        result = claim.claimEveryClass();
        if (result && (!q.exec(QStringLiteral("DELETE FROM child_identity")) ||
                       !q.exec(QStringLiteral("DELETE FROM student"))))
            result = m_db.unreachable(q.lastError());
    } else {
        result = claim.claimClasses(*classes);
        // The rows' identities go with them; the new rows bring theirs.
        const QStringList deletes = {
            QStringLiteral("DELETE FROM child_identity WHERE student_id IN (SELECT ") + key +
                QStringLiteral(" FROM student WHERE \"班级\" %1)"),
            QStringLiteral("DELETE FROM student WHERE \"班级\" %1")};
        for (const QString &sql : deletes) {
            if (!result)
                break;
            if (SqlDialect::sendsArrays(m_db.config())) {
                q.prepare(sql.arg(QStringLiteral("= ANY(?::text[])")));
                q.addBindValue(SqlDialect::textArray(*classes));
                if (!q.exec())
                    result = m_db.unreachable(q.lastError());
                continue;
            }
            if (!q.prepare(sql.arg(QStringLiteral("= ?"))))
                result = m_db.unreachable(q.lastError());
            for (int i = 0; result && i < classes->size(); ++i) {
                q.bindValue(0, nonNull(classes->at(i)));
                if (!q.exec())
                    result = m_db.unreachable(q.lastError());
            }
        }
    }
    if (result)
        result = insertRows(rows);
    if (result)
        result = insertIdentities(rows);
    for (const QString &change : result ? describeChanges(before, rows) : QStringList()) {
        QString error;
        if (!AuditLog::add(m_db, AuditLog::savedClass(), change, &error)) {
            result =
                WriteResult::failure(WriteResult::Unreachable, QStringLiteral("没有写入"), error);
            break;
        }
    }
    // Rows of a class not claimed yet (a whole-table rewrite bringing a new
    // class) claim it now.
    QStringList written;
    for (const ChildRecord &r : rows)
        if (!written.contains(r.className))
            written << r.className;
    for (int i = 0; result && i < written.size(); ++i)
        result = claim.claimClass(written.at(i));
    if (!result)
        for (ChildRecord &r : rows)
            r.id = 0;
    return finish(m_db, result, claim);
}

WriteResult RosterStore::keepIdentities(const QVector<ChildRecord> &rows)
{
    if (WriteResult r = m_db.writable(); !r)
        return r;
    QSqlError begun;
    if (!m_db.beginWrite(&begun))
        return m_db.unreachable(begun);
    QSqlDatabase db = m_db.connection();
    QSqlQuery q(db);
    if (q.prepare(QStringLiteral(
            "INSERT INTO child_identity (student_id, child_id) SELECT CAST(? AS BIGINT), ? WHERE "
            "NOT EXISTS (SELECT 1 FROM child_identity WHERE student_id = CAST(? AS BIGINT))"))) {
        bool ok = true;
        for (const ChildRecord &r : rows) {
            if (r.id <= 0 || r.childId.isEmpty())
                continue;
            q.bindValue(0, r.id);
            q.bindValue(1, r.childId);
            q.bindValue(2, r.id);
            if (!(ok = q.exec()))
                break;
        }
        if (ok && db.commit())
            return WriteResult::success();
    }
    const QSqlError e = q.lastError().isValid() ? q.lastError() : db.lastError();
    db.rollback();
    return m_db.unreachable(e);
}

std::optional<QHash<qint64, QString>> RosterStore::giveIdentities(QString *error)
{
    const QString key = quoted(m_db.schema().keyColumn);
    const QString uuid =
        m_db.config().isPostgres()
            ? QStringLiteral("gen_random_uuid()::text")
            : QStringLiteral(
                  "lower(hex(randomblob(4))) || '-' || lower(hex(randomblob(2))) || '-4' || "
                  "substr(lower(hex(randomblob(2))), 2) || '-' || substr('89ab', 1 + "
                  "(abs(random()) % 4), 1) || substr(lower(hex(randomblob(2))), 2) || '-' || "
                  "lower(hex(randomblob(6)))");
    QSqlQuery q(m_db.connection());
    // Most starts find every stored child with its identity: then nothing
    // is written (and no audit line says nothing was done).
    const QString without =
        QStringLiteral("FROM student s WHERE NOT EXISTS (SELECT 1 FROM child_identity ci WHERE "
                       "ci.student_id = s.%1)")
            .arg(key);
    if (!q.exec(QStringLiteral("SELECT 1 %1 LIMIT 1").arg(without))) {
        *error = q.lastError().text();
        return std::nullopt;
    }
    if (q.next()) {
        q.finish();
        WriteTransaction tx(m_db);
        if (!tx.isActive()) {
            *error = tx.errorString();
            return std::nullopt;
        }
        if (!q.exec(QStringLiteral("INSERT INTO child_identity (student_id, child_id) SELECT "
                                   "s.%1, %2 %3")
                        .arg(key, uuid, without))) {
            *error = q.lastError().text();
            return std::nullopt;
        }
        tx.audit(AuditLog::savedClass(),
                 QStringLiteral("为 %1 名早先保存的儿童登记了身份").arg(q.numRowsAffected()));
        if (!tx.commit()) {
            *error = tx.errorString();
            return std::nullopt;
        }
    }
    QHash<qint64, QString> ids;
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT student_id, child_id FROM child_identity"))) {
        *error = q.lastError().text();
        return std::nullopt;
    }
    while (q.next())
        ids.insert(q.value(0).toLongLong(), q.value(1).toString());
    return ids;
}

WriteResult RosterStore::insertIdentities(const QVector<ChildRecord> &rows)
{
    QStringList ids, children;
    for (const ChildRecord &r : rows)
        if (r.id > 0 && !r.childId.isEmpty()) {
            ids << QString::number(r.id);
            children << r.childId;
        }
    if (ids.isEmpty())
        return WriteResult::success();
    QSqlQuery q(m_db.connection());
    if (SqlDialect::sendsArrays(m_db.config())) {
        q.prepare(QStringLiteral("INSERT INTO child_identity (student_id, child_id) SELECT * FROM "
                                 "unnest(?::text[]::bigint[], ?::text[]) ON CONFLICT (student_id) "
                                 "DO UPDATE SET child_id = EXCLUDED.child_id"));
        q.addBindValue(SqlDialect::textArray(ids));
        q.addBindValue(SqlDialect::textArray(children));
        return q.exec() ? WriteResult::success() : m_db.unreachable(q.lastError());
    }
    // A hundred rows a statement: one statement a row was most of a save's
    // time beside the roster rows themselves.
    const int perStatement = 100;
    int prepared = 0;
    for (int start = 0; start < ids.size(); start += perStatement) {
        const int count = int(qMin<qsizetype>(perStatement, ids.size() - start));
        if (count != prepared) {
            if (!q.prepare(
                    QStringLiteral("INSERT OR REPLACE INTO child_identity (student_id, child_id) "
                                   "VALUES ") +
                    QStringList(count, QStringLiteral("(?, ?)")).join(QLatin1Char(','))))
                return m_db.unreachable(q.lastError());
            prepared = count;
        }
        for (int i = start; i < start + count; ++i) {
            q.addBindValue(ids.at(i).toLongLong());
            q.addBindValue(children.at(i));
        }
        if (!q.exec())
            return m_db.unreachable(q.lastError());
    }
    return WriteResult::success();
}

WriteResult RosterStore::insertRows(QVector<ChildRecord> &rows)
{
    QStringList cols;
    for (const QString &c : Schema::studentColumns())
        cols << quoted(c);
    const int width = int(cols.size());
    const QString columnList = cols.join(QStringLiteral(", "));
    QSqlQuery q(m_db.connection());

    if (SqlDialect::sendsArrays(m_db.config())) {
        // The rows go as thirteen arrays, unnested in key order, a few
        // thousand at a time.
        QStringList arrays, aliases;
        for (int i = 0; i < width; ++i) {
            arrays << QStringLiteral("?::text[]");
            aliases << QStringLiteral("c%1").arg(i);
        }
        const QString aliasList = aliases.join(QStringLiteral(", "));
        if (!q.prepare(QStringLiteral("INSERT INTO student (%1) SELECT %2 FROM unnest(%3) WITH "
                                      "ORDINALITY AS t(%2, ord) ORDER BY ord RETURNING %4")
                           .arg(columnList, aliasList, arrays.join(QStringLiteral(", ")),
                                quoted(m_db.schema().keyColumn))))
            return m_db.unreachable(q.lastError());
        const int batch = 5000;
        for (int start = 0; start < rows.size(); start += batch) {
            const int count = int(qMin<qsizetype>(batch, rows.size() - start));
            for (int i = 0; i < width; ++i) {
                QStringList column;
                column.reserve(count);
                for (int r = 0; r < count; ++r) {
                    const ChildRecord &rec = rows.at(start + r);
                    if (i == Roster::ColumnCount)
                        column << nonNull(rec.className);
                    else if (const Roster::Cell &c = rec.cells[size_t(i)])
                        column << nonNull(*c);
                    else
                        column << QString(); // NULL: the cell is absent
                }
                q.bindValue(i, SqlDialect::textArray(column));
            }
            if (!q.exec())
                return m_db.unreachable(q.lastError());
            for (int r = 0; r < count && q.next(); ++r)
                rows[start + r].id = q.value(0).toLongLong();
        }
        return WriteResult::success();
    }

    // Twenty rows a statement on SQLite. The keys it gives one statement's rows
    // are consecutive (the transaction holds the table), so each row's key
    // follows from the last one.
    const QString one =
        QStringLiteral("(%1)").arg(QStringList(width, QStringLiteral("?")).join(QLatin1Char(',')));
    const int perStatement = m_db.config().isSqlite() ? 20 : 1;
    int prepared = 0;
    for (int start = 0; start < rows.size(); start += perStatement) {
        const int count = int(qMin<qsizetype>(perStatement, rows.size() - start));
        if (count != prepared) {
            if (!q.prepare(QStringLiteral("INSERT INTO student (%1) VALUES ").arg(columnList) +
                           QStringList(count, one).join(QLatin1Char(','))))
                return m_db.unreachable(q.lastError());
            prepared = count;
        }
        for (int r = start; r < start + count; ++r) {
            const ChildRecord &row = rows.at(r);
            for (int i = 0; i < Roster::ColumnCount; ++i) {
                const Roster::Cell &c = row.cells[size_t(i)];
                // An absent cell is stored as NULL, so that it is still
                // absent when read again.
                q.addBindValue(c ? QVariant(nonNull(*c))
                                 : QVariant(QMetaType::fromType<QString>()));
            }
            q.addBindValue(nonNull(row.className));
        }
        if (!q.exec())
            return m_db.unreachable(q.lastError());
        const qint64 last = q.lastInsertId().toLongLong();
        for (int r = 0; r < count; ++r)
            rows[start + r].id = last - (count - 1 - r);
    }
    return WriteResult::success();
}
