#include "ledgerstore.h"

#include "reductionstore.h"
#include "staystore.h"

#include "auditlog.h"
#include "clock.h"

#include "database.h"
#include "journal.h"
#include "pgdirect.h"
#include "revisions.h"
#include "rosterstore.h"
#include "sqldialect.h"
#include "sqlitedirect.h"
#include "writetransaction.h"

#include <QRegularExpression>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

#include <array>

namespace
{
const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString insertSql = QStringLiteral(
    "INSERT INTO ledger_entry (kind, child_id, class_name, child_name, month, item, amount_fen, "
    "method, reference, receipt_serial, corrects, reason, clerk, host, recorded_at) VALUES (?, ?, "
    "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");

// Each child's class and name on the rosters now, by identity: what a
// child owes follows it to the class it moved to.
QString currentChildren(const Database &db)
{
    const QString key = SqlDialect::quoted(db.schema().keyColumn);
    return QStringLiteral("(SELECT ci.child_id AS child_id, MIN(s.\"班级\") AS cls, "
                          "MIN(s.\"儿童姓名\") AS nm FROM child_identity ci JOIN student s ON "
                          "s.%1 = ci.student_id GROUP BY ci.child_id)")
        .arg(key);
}

QVariant text(const QString &s)
{
    return s.isNull() ? QVariant(QStringLiteral("")) : QVariant(s);
}

// Binds the entry's fifteen columns from position at on.
void bind(QSqlQuery &q, int at, const LedgerEntry &e)
{
    int i = at;
    q.bindValue(i++, LedgerEntry::kindText(e.kind));
    q.bindValue(i++, text(e.childId));
    q.bindValue(i++, text(e.className));
    q.bindValue(i++, text(e.childName));
    q.bindValue(i++, e.month);
    q.bindValue(i++, e.item.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : e.item);
    q.bindValue(i++, e.amount);
    q.bindValue(i++, text(e.method));
    q.bindValue(i++, text(e.reference));
    q.bindValue(i++, text(e.receiptSerial));
    q.bindValue(i++,
                e.corrects > 0 ? QVariant(e.corrects) : QVariant(QMetaType::fromType<qint64>()));
    q.bindValue(i++, text(e.reason));
    q.bindValue(i++, text(e.clerk));
    q.bindValue(i++, text(e.host));
    q.bindValue(i++, e.at.toString(timeFormat));
}

// Entries a few at a time, each with its own serial (money handed back).
std::optional<QSqlError> insertWithSerials(QSqlDatabase db, const QVector<LedgerEntry> &entries)
{
    QSqlQuery ins(db);
    if (!ins.prepare(QStringLiteral(
            "INSERT INTO ledger_entry (kind, child_id, class_name, child_name, month, item, "
            "amount_fen, method, reference, receipt_serial, corrects, reason, clerk, host, "
            "recorded_at, own_serial) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")))
        return ins.lastError();
    for (const LedgerEntry &e : entries) {
        bind(ins, 0, e);
        ins.bindValue(15, text(e.ownSerial));
        if (!ins.exec())
            return ins.lastError();
    }
    return std::nullopt;
}

// Many entries, a few hundred rows per statement: one statement per
// entry is most of the time of billing a whole school.
// PostgreSQL takes many entries best by COPY where its client library can
// be reached: the rows as text, no value made for Qt and no array to unpack.
std::optional<QSqlError> insertCopy(pg_conn *conn, const QVector<LedgerEntry> &entries)
{
    PgDirect::CopyRows rows;
    rows.reserve(entries.size() * 160);
    // A billing's entries share their time: written out once.
    QDateTime lastAt;
    QString at;
    for (qsizetype r = 0; r < entries.size(); ++r) {
        const LedgerEntry &e = entries.at(r);
        if (r == 0 || e.at != lastAt) {
            lastAt = e.at;
            at = e.at.toString(timeFormat);
        }
        rows.text(LedgerEntry::kindText(e.kind));
        rows.text(e.childId);
        rows.text(e.className);
        rows.text(e.childName);
        rows.text(e.month);
        if (e.item.isEmpty())
            rows.null();
        else
            rows.text(e.item);
        rows.number(e.amount);
        rows.text(e.method);
        rows.text(e.reference);
        rows.text(e.receiptSerial);
        if (e.corrects > 0)
            rows.number(e.corrects);
        else
            rows.null();
        rows.text(e.reason);
        rows.text(e.clerk);
        rows.text(e.host);
        rows.text(at);
        rows.endRow();
    }
    return PgDirect::copyIn(conn,
                            QStringLiteral("COPY ledger_entry (kind, child_id, class_name, "
                                           "child_name, month, item, amount_fen, method, "
                                           "reference, receipt_serial, corrects, reason, clerk, "
                                           "host, recorded_at) FROM STDIN"),
                            rows);
}

// Otherwise as one array per column, unnested in order, a few thousand at
// a time (as the student rows go).
std::optional<QSqlError> insertArrays(QSqlDatabase db, const QVector<LedgerEntry> &entries)
{
    if (entries.isEmpty())
        return std::nullopt;
    if (pg_conn *conn = PgDirect::handle(db))
        return insertCopy(conn, entries);
    QSqlQuery q(db);
    if (!q.prepare(QStringLiteral(
            "INSERT INTO ledger_entry (kind, child_id, class_name, child_name, month, item, "
            "amount_fen, method, reference, receipt_serial, corrects, reason, clerk, host, "
            "recorded_at) SELECT * FROM unnest(?::text[], ?::text[], ?::text[], ?::text[], "
            "?::text[], ?::text[], ?::text[]::bigint[], ?::text[], ?::text[], ?::text[], "
            "?::text[]::bigint[], ?::text[], ?::text[], ?::text[], ?::text[])")))
        return q.lastError();
    auto nonNull = [](const QString &t) { return t.isNull() ? QStringLiteral("") : t; };
    constexpr int batch = 5000;
    // A billing's entries share their time: written out once.
    QDateTime lastAt;
    QString at;
    for (int start = 0; start < entries.size(); start += batch) {
        const int count = int(qMin<qsizetype>(batch, entries.size() - start));
        std::array<QStringList, 15> columns;
        for (int r = start; r < start + count; ++r) {
            const LedgerEntry &e = entries.at(r);
            if (r == 0 || e.at != lastAt) {
                lastAt = e.at;
                at = e.at.toString(timeFormat);
            }
            const QStringList row = {LedgerEntry::kindText(e.kind),
                                     nonNull(e.childId),
                                     nonNull(e.className),
                                     nonNull(e.childName),
                                     e.month,
                                     e.item.isEmpty() ? QString() : e.item,
                                     QString::number(e.amount),
                                     nonNull(e.method),
                                     nonNull(e.reference),
                                     nonNull(e.receiptSerial),
                                     e.corrects > 0 ? QString::number(e.corrects) : QString(),
                                     nonNull(e.reason),
                                     nonNull(e.clerk),
                                     nonNull(e.host),
                                     at};
            for (size_t c = 0; c < columns.size(); ++c)
                columns[c] << row.at(int(c));
        }
        for (size_t c = 0; c < columns.size(); ++c)
            q.bindValue(int(c), SqlDialect::textArray(columns[c]));
        if (!q.exec())
            return q.lastError();
    }
    return std::nullopt;
}

// The fifteen columns of an entry, as bound.
std::array<QVariant, 15> values(const LedgerEntry &e, const QString &at)
{
    return {LedgerEntry::kindText(e.kind),
            text(e.childId),
            text(e.className),
            text(e.childName),
            e.month,
            e.item.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(e.item),
            e.amount,
            text(e.method),
            text(e.reference),
            text(e.receiptSerial),
            e.corrects > 0 ? QVariant(e.corrects) : QVariant(QMetaType::fromType<qint64>()),
            text(e.reason),
            text(e.clerk),
            text(e.host),
            at};
}

// Many entries into SQLite through its own statement: one row a step,
// bound by position, straight from the entries. Qt's values (and its
// names for placeholders) cost most of a billing's time.
std::optional<QSqlError> insertSqlite(sqlite3 *h, const QVector<LedgerEntry> &entries)
{
    auto error = [h] {
        return QSqlError(QStringLiteral("账目没有写入"), QString::fromUtf8(sqlite3_errmsg(h)),
                         QSqlError::StatementError, QString::number(sqlite3_extended_errcode(h)));
    };
    const QByteArray sql = insertSql.toUtf8();
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(h, sql.constData(), int(sql.size()), &st, nullptr) != SQLITE_OK)
        return error();
    // A binding stays until it is replaced: a column that is the same as
    // in the row before (the month, the clerk, the class) is not bound again.
    enum Bound { Unbound, Null, Value };
    std::array<Bound, 15> state;
    state.fill(Unbound);
    std::array<QString, 15> texts;
    std::array<qint64, 15> numbers{};
    bool failed = false;
    // A text column: "" for none, or NULL where none is stored as NULL.
    auto bindText = [&](int c, const QString &value, bool nullWhenEmpty) {
        if (nullWhenEmpty && value.isEmpty()) {
            if (state[size_t(c)] != Null)
                failed = failed || sqlite3_bind_null(st, c + 1) != SQLITE_OK;
            state[size_t(c)] = Null;
            return;
        }
        if (state[size_t(c)] == Value && texts[size_t(c)] == value)
            return;
        const QByteArray utf8 = value.toUtf8();
        failed = failed || sqlite3_bind_text(st, c + 1, utf8.constData(), int(utf8.size()),
                                             SQLITE_TRANSIENT) != SQLITE_OK;
        texts[size_t(c)] = value;
        state[size_t(c)] = Value;
    };
    auto bindNumber = [&](int c, qint64 value, bool nullWhenNotAbove0) {
        if (nullWhenNotAbove0 && value <= 0) {
            if (state[size_t(c)] != Null)
                failed = failed || sqlite3_bind_null(st, c + 1) != SQLITE_OK;
            state[size_t(c)] = Null;
            return;
        }
        if (state[size_t(c)] == Value && numbers[size_t(c)] == value)
            return;
        failed = failed || sqlite3_bind_int64(st, c + 1, value) != SQLITE_OK;
        numbers[size_t(c)] = value;
        state[size_t(c)] = Value;
    };
    QDateTime lastAt;
    QString at;
    for (qsizetype i = 0; i < entries.size() && !failed; ++i) {
        const LedgerEntry &e = entries.at(i);
        if (i == 0 || e.at != lastAt) {
            lastAt = e.at;
            at = e.at.toString(timeFormat);
        }
        bindText(0, LedgerEntry::kindText(e.kind), false);
        bindText(1, e.childId, false);
        bindText(2, e.className, false);
        bindText(3, e.childName, false);
        bindText(4, e.month, false);
        bindText(5, e.item, true);
        bindNumber(6, e.amount, false);
        bindText(7, e.method, false);
        bindText(8, e.reference, false);
        bindText(9, e.receiptSerial, false);
        bindNumber(10, e.corrects, true);
        bindText(11, e.reason, false);
        bindText(12, e.clerk, false);
        bindText(13, e.host, false);
        bindText(14, at, false);
        if (failed || sqlite3_step(st) != SQLITE_DONE) {
            failed = true;
            break;
        }
        sqlite3_reset(st);
    }
    std::optional<QSqlError> result;
    if (failed)
        result = error();
    sqlite3_finalize(st);
    return result;
}

std::optional<QSqlError> insertMany(QSqlDatabase db, const QVector<LedgerEntry> &entries)
{
    if (entries.isEmpty())
        return std::nullopt;
    if (sqlite3 *h = SqliteDirect::handle(db))
        return insertSqlite(h, entries);
    // A column that is the same in every entry (the month, the clerk, the
    // time of a billing) is bound once, not once a row.
    QVector<std::array<QVariant, 15>> rows;
    rows.reserve(entries.size());
    QDateTime lastAt;
    QString at;
    for (const LedgerEntry &e : entries) {
        if (rows.isEmpty() || e.at != lastAt) {
            lastAt = e.at;
            at = e.at.toString(timeFormat);
        }
        rows << values(e, at);
    }
    std::array<bool, 15> shared;
    for (size_t c = 0; c < shared.size(); ++c) {
        shared[c] = true;
        const QVariant &first = rows.first()[c];
        for (const auto &r : std::as_const(rows))
            if (r[c].isNull() != first.isNull() || r[c] != first) {
                shared[c] = false;
                break;
            }
    }
    QStringList select;
    int perRow = 0;
    for (size_t c = 0; c < shared.size(); ++c)
        select << (shared[c] ? QStringLiteral("?") : QStringLiteral("column%1").arg(++perRow));
    const QString head = insertSql.left(insertSql.indexOf(QStringLiteral("VALUES")));
    if (perRow == 0) {
        // One entry, or many alike: a row of its own each.
        perRow = 15;
        shared.fill(false);
        select.clear();
        for (int c = 1; c <= 15; ++c)
            select << QStringLiteral("column%1").arg(c);
    }
    const QString row = QStringLiteral(" (%1)").arg(
        QStringList(perRow, QStringLiteral("?")).join(QLatin1Char(',')));
    // A few hundred values a statement: SQLite binds a long statement's
    // values ever more slowly.
    const int perStatement = qMax(1, 300 / perRow);
    QSqlQuery q(db);
    int prepared = 0;
    for (int start = 0; start < rows.size(); start += perStatement) {
        const int count = int(qMin<qsizetype>(perStatement, rows.size() - start));
        if (count != prepared) {
            if (!q.prepare(head + QStringLiteral("SELECT ") + select.join(QLatin1Char(',')) +
                           QStringLiteral(" FROM (VALUES") +
                           QStringList(count, row).join(QLatin1Char(',')) + QStringLiteral(")")))
                return q.lastError();
            prepared = count;
        }
        for (size_t c = 0; c < shared.size(); ++c)
            if (shared[c])
                q.addBindValue(rows.first()[c]);
        for (int r = start; r < start + count; ++r)
            for (size_t c = 0; c < shared.size(); ++c)
                if (!shared[c])
                    q.addBindValue(rows.at(r)[c]);
        if (!q.exec())
            return q.lastError();
    }
    return std::nullopt;
}

// The next serial of money handed back (2026-R000001), gap-free per year:
// the counter row stays locked until the transaction ends.
QString nextRefundSerial(QSqlDatabase db, int year, QSqlError *error)
{
    QSqlQuery n(db);
    n.prepare(QStringLiteral(
        "INSERT INTO refund_serial (year, last) VALUES (?, 0) ON CONFLICT DO NOTHING"));
    n.addBindValue(year);
    bool ok = n.exec();
    if (ok) {
        n.prepare(QStringLiteral("UPDATE refund_serial SET last = last + 1 WHERE year = ?"));
        n.addBindValue(year);
        ok = n.exec();
    }
    if (ok) {
        n.prepare(QStringLiteral("SELECT last FROM refund_serial WHERE year = ?"));
        n.addBindValue(year);
        ok = n.exec() && n.next();
    }
    if (!ok) {
        *error = n.lastError();
        return {};
    }
    return QStringLiteral("%1-R%2").arg(year).arg(n.value(0).toLongLong(), 6, 10, QLatin1Char('0'));
}

// Two PCs never write the ledger at the same moment: PostgreSQL locks the
// table for the transaction (readers go on); SQLite's write lock does it.
bool lockLedger(Database &db, QString *error)
{
    if (!db.config().isPostgres())
        return true;
    QSqlQuery q(db.connection());
    if (q.exec(QStringLiteral("LOCK TABLE ledger_entry IN EXCLUSIVE MODE")))
        return true;
    *error = q.lastError().text();
    return false;
}
} // namespace

LedgerStore::LedgerStore(Database &database) : m_db(database) {}

bool LedgerStore::lock(Database &db, QString *error)
{
    return lockLedger(db, error);
}

std::optional<qint64> LedgerStore::lastEntryId(Database &db, QString *error)
{
    QSqlQuery q(db.connection());
    if (!q.exec(QStringLiteral("SELECT COALESCE(MAX(id), 0) FROM ledger_entry")) || !q.next()) {
        *error = q.lastError().text();
        return std::nullopt;
    }
    return q.value(0).toLongLong();
}

bool LedgerStore::addBalances(Database &db, qint64 after, QString *error)
{
    QSqlQuery q(db.connection());
    q.prepare(QStringLiteral(
        "INSERT INTO ledger_balance (child_id, month, balance_fen, last_id) SELECT child_id, "
        "month, SUM(amount_fen), MAX(id) FROM ledger_entry WHERE id > ? AND child_id <> '' GROUP "
        "BY child_id, month ON CONFLICT (child_id, month) DO UPDATE SET balance_fen = "
        "ledger_balance.balance_fen + excluded.balance_fen, last_id = "
        "max(ledger_balance.last_id, excluded.last_id)"));
    q.addBindValue(after);
    if (q.exec())
        return true;
    *error = q.lastError().text();
    return false;
}

std::unique_ptr<WriteTransaction> LedgerStore::beginLocked(const QString &what, WriteResult *r)
{
    if (WriteResult w = m_db.writable(); !w) {
        *r = w;
        return nullptr;
    }
    auto tx = std::make_unique<WriteTransaction>(m_db, WriteTransaction::Ledger);
    if (!tx->isActive()) {
        *r = WriteResult::failure(WriteResult::Unreachable, what, tx->errorString());
        return nullptr;
    }
    return tx;
}

WriteResult LedgerStore::refuseClosed(const QString &month, const QString &what)
{
    // The caller's transaction rolls back when it returns the refusal.
    const auto closed = closing(m_db, month);
    if (closed && closed->isEmpty())
        return WriteResult::success();
    if (!closed)
        return m_db.unreachable(m_db.connection().lastError());
    return WriteResult::failure(WriteResult::Refused, QStringLiteral("%1，%2").arg(*closed, what));
}

bool LedgerStore::fail(const QString &what)
{
    m_error = QStringLiteral("账目：%1").arg(what);
    return false;
}

WriteResult LedgerStore::bill(const QString &month, const QVector<Bill> &children,
                              const QString &clerk, const QString &host, const QDateTime &at,
                              QVector<LedgerEntry> *written)
{
    m_error.clear();
    WriteResult begun;
    const auto tx = beginLocked(QStringLiteral("账目没有写入"), &begun);
    if (!tx)
        return begun;
    QSqlDatabase db = m_db.connection();
    auto failed = [&](const QSqlError &e) {
        tx->rollback();
        return m_db.unreachable(e);
    };
    if (WriteResult r = refuseClosed(month, QStringLiteral("不能再生成应收")); !r)
        return r;
    // Who the children are is stored with what they are charged. Only a
    // class whose children get their identity stored now is claimed (as a
    // save claims it): billing disturbs no other PC's editing otherwise.
    QHash<qint64, QString> stored;
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SELECT student_id, child_id FROM child_identity")))
            return failed(q.lastError());
        while (q.next())
            stored.insert(q.value(0).toLongLong(), q.value(1).toString());
    }
    QVector<ChildRecord> unstored;
    QStringList claimed;
    for (const Bill &b : children) {
        const auto it = stored.constFind(b.child.id);
        if (it == stored.constEnd()) {
            unstored << b.child;
            if (!claimed.contains(b.child.className))
                claimed << b.child.className;
        } else if (*it != b.child.childId) {
            // Another PC stored who this row is since this one read it.
            tx->rollback();
            const QString text =
                QStringLiteral("载入班级“%1”之后，另一台电脑已更新了它").arg(b.child.className);
            WriteResult r = WriteResult::failure(WriteResult::Conflict, text, text);
            r.conflictClass = b.child.className;
            return r;
        }
    }
    RevisionClaim claim(m_db);
    WriteResult result = claim.claimClasses(claimed);
    if (result)
        result = RosterStore(m_db).insertIdentities(unstored);
    if (!result) {
        tx->rollback();
        return result;
    }
    // What the month already charges each child, per item, and each
    // reduction on its own.
    QHash<QString, QMap<QString, qint64>> charged;
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.prepare(QStringLiteral(
            "SELECT child_id, item, reason, SUM(amount_fen) FROM ledger_entry WHERE month = ? AND "
            "kind IN ('应收', '调整') GROUP BY child_id, item, reason"));
        q.addBindValue(month);
        if (!q.exec())
            return failed(q.lastError());
        while (q.next())
            charged[q.value(0).toString()]
                   [Reductions::key(q.value(1).toString(), q.value(2).toString())] +=
                q.value(3).toLongLong();
    }
    // The reductions each child is granted this month and its days in the
    // kindergarten, as the database holds them now.
    QStringList ids;
    for (const Bill &b : children)
        ids << b.child.childId;
    QString termsError;
    const auto terms = StayStore::terms(m_db, ids, month, &termsError);
    if (!terms) {
        tx->rollback();
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("账目没有写入"),
                                    termsError);
    }
    QVector<LedgerEntry> done;
    done.reserve(children.size() * 5);
    for (const Bill &b : children) {
        const auto it = charged.constFind(b.child.childId);
        const bool first = it == charged.constEnd();
        const auto t = terms->constFind(b.child.childId);
        // A child not in the kindergarten that month is not charged for it;
        // what was charged before its dates were known is taken back.
        const bool absent = t != terms->cend() && t->absent;
        if (absent && first)
            continue;
        QVector<QPair<QString, qint64>> wanted;
        if (!absent) {
            wanted = b.charges;
            if (t != terms->cend())
                wanted += PartMonth::adjustments(*t, b.bases);
        }
        const auto diff = Ledger::differences(wanted, first ? QMap<QString, qint64>() : *it);
        for (const auto &d : diff) {
            const auto [item, reduction] = Reductions::split(d.first);
            LedgerEntry e;
            e.kind = first && reduction.isEmpty() ? LedgerEntry::Charge : LedgerEntry::Adjustment;
            e.childId = b.child.childId;
            e.className = b.child.className;
            e.childName = b.child.text(Roster::Name);
            e.month = month;
            e.item = item;
            e.amount = d.second;
            e.reason = !reduction.isEmpty() ? reduction
                       : first              ? QString()
                       : absent             ? PartMonth::notThere()
                                            : Ledger::rosterChanged();
            e.clerk = clerk;
            e.host = host;
            e.at = at;
            done << e;
        }
    }
    if (const auto error =
            SqlDialect::sendsArrays(m_db.config()) ? insertArrays(db, done) : insertMany(db, done))
        return failed(*error);
    qint64 amount = 0;
    QSet<QString> billedChildren;
    for (const LedgerEntry &e : std::as_const(done)) {
        amount += e.amount;
        billedChildren.insert(e.childId);
    }
    tx->audit(AuditLog::billed(), QStringLiteral("%1：%2 名儿童，%3 条，%4 元")
                                      .arg(month)
                                      .arg(billedChildren.size())
                                      .arg(done.size())
                                      .arg(Journal::yuan(amount)));
    if (!tx->commit())
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("账目没有写入"),
                                    tx->errorString());
    claim.commit();
    m_db.announceSave();
    if (written)
        *written = done;
    return WriteResult::success();
}

std::optional<QString> LedgerStore::identityOf(Database &db, qint64 studentId,
                                               const QString &childId, QString *error)
{
    if (studentId <= 0 || childId.isEmpty())
        return childId;
    // A stored row printed before its identity was stored gets it now, so
    // that the account outlives the roster's unsaved state; if another PC
    // stored one first, that one is the child's.
    QSqlQuery q(db.connection());
    q.prepare(QStringLiteral(
        "INSERT INTO child_identity (student_id, child_id) SELECT CAST(? AS BIGINT), ? WHERE NOT "
        "EXISTS (SELECT 1 FROM child_identity WHERE student_id = CAST(? AS BIGINT))"));
    q.addBindValue(studentId);
    q.addBindValue(childId);
    q.addBindValue(studentId);
    if (!q.exec()) {
        *error = q.lastError().text();
        return std::nullopt;
    }
    q.prepare(QStringLiteral("SELECT child_id FROM child_identity WHERE student_id = ?"));
    q.addBindValue(studentId);
    if (!q.exec()) {
        *error = q.lastError().text();
        return std::nullopt;
    }
    return q.next() ? q.value(0).toString() : childId;
}

std::optional<Account::ChildMonth> LedgerStore::childMonth(Database &db, const QString &childId,
                                                           const QString &month, QString *error)
{
    if (childId.isEmpty())
        return Account::ChildMonth();
    const auto months = childMonths(db, {childId}, month, error);
    if (!months)
        return std::nullopt;
    return months->value(childId);
}

std::optional<QHash<QString, Account::ChildMonth>>
LedgerStore::childMonths(Database &db, const QStringList &childIds, const QString &month,
                         QString *error)
{
    QHash<QString, Account::ChildMonth> months;
    QStringList ids;
    QSet<QString> seen;
    for (const QString &id : childIds)
        if (!id.isEmpty() && !seen.contains(id)) {
            seen.insert(id);
            ids << id;
        }
    if (ids.isEmpty())
        return months;
    // A print command's children in three statements a few hundred children
    // at a time: on a server each statement is a round trip.
    constexpr int chunk = 500;
    QSqlQuery q(db.connection());
    q.setForwardOnly(true);
    const QString charge = LedgerEntry::kindText(LedgerEntry::Charge);
    const QString adjustment = LedgerEntry::kindText(LedgerEntry::Adjustment);
    const QSet<QString> money = {LedgerEntry::kindText(LedgerEntry::Payment),
                                 LedgerEntry::kindText(LedgerEntry::Void),
                                 LedgerEntry::kindText(LedgerEntry::Refund)};
    for (int from = 0; from < ids.size(); from += chunk) {
        const QStringList part = ids.mid(from, chunk);
        const QString in = QStringList(part.size(), QStringLiteral("?")).join(QLatin1Char(','));
        auto run = [&](const QString &sql) {
            q.prepare(sql.arg(in));
            for (const QString &id : part)
                q.addBindValue(id);
            q.addBindValue(month);
            if (q.exec())
                return true;
            *error = q.lastError().text();
            return false;
        };
        // Reasons apart only for adjustments: a reduction is one of them.
        if (!run(QStringLiteral(
                "SELECT child_id, kind, item, CASE WHEN kind = '调整' THEN reason END, "
                "SUM(amount_fen) FROM ledger_entry WHERE child_id IN (%1) AND month = ? GROUP BY "
                "child_id, kind, item, CASE WHEN kind = '调整' THEN reason END")))
            return std::nullopt;
        while (q.next()) {
            Account::ChildMonth &m = months[q.value(0).toString()];
            const QString kind = q.value(1).toString();
            const qint64 fen = q.value(4).toLongLong();
            if (kind == charge || kind == adjustment) {
                const QString item = q.value(2).toString();
                m.charged[item] += fen;
                if (const QString key = Reductions::key(item, q.value(3).toString()); key != item)
                    m.reductions[key] += fen;
            } else {
                m.settled += fen;
            }
            if (money.contains(kind))
                m.received -= fen;
        }
        if (!run(QStringLiteral("SELECT child_id, SUM(amount_fen) FROM ledger_entry WHERE "
                                "child_id IN (%1) AND month < ? GROUP BY child_id")))
            return std::nullopt;
        while (q.next())
            months[q.value(0).toString()].credit = qMax(qint64(0), -q.value(1).toLongLong());
        if (!run(QStringLiteral(
                "SELECT child_id, receipt_serial, id FROM ledger_entry p WHERE child_id IN (%1) "
                "AND month = ? AND kind = '实收' AND NOT EXISTS (SELECT 1 FROM ledger_entry v "
                "WHERE v.child_id = p.child_id AND v.kind = '作废' AND v.corrects = p.id) "
                "ORDER BY id")))
            return std::nullopt;
        while (q.next())
            months[q.value(0).toString()].lastReceipt = q.value(1).toString();
    }
    return months;
}

std::optional<QHash<qint64, QString>>
LedgerStore::storedIdentities(Database &db, const QVector<qint64> &students, QString *error)
{
    QHash<qint64, QString> ids;
    if (students.isEmpty())
        return ids;
    QSqlQuery q(db.connection());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT student_id, child_id FROM child_identity WHERE student_id IN "
                             "(%1)")
                  .arg(QStringList(students.size(), QStringLiteral("?")).join(QLatin1Char(','))));
    for (qint64 s : students)
        q.addBindValue(s);
    if (!q.exec()) {
        *error = q.lastError().text();
        return std::nullopt;
    }
    while (q.next())
        ids.insert(q.value(0).toLongLong(), q.value(1).toString());
    return ids;
}

bool LedgerStore::addPayments(Database &db, const QVector<JournalEntry> &receipts, QString *error)
{
    if (!lock(db, error))
        return false;
    // The entries go in a few statements at the end, or before a read that
    // must see them.
    QVector<LedgerEntry> pending;
    auto flush = [&] {
        if (pending.isEmpty())
            return true;
        const auto failure = SqlDialect::sendsArrays(db.config())
                                 ? insertArrays(db.connection(), pending)
                                 : insertMany(db.connection(), pending);
        pending.clear();
        if (failure)
            *error = failure->text();
        return !failure;
    };
    QSqlQuery read(db.connection());
    read.setForwardOnly(true);
    auto failed = [&](const QSqlQuery &query) {
        *error = query.lastError().text();
        return false;
    };
    QSet<QString> open;
    for (const JournalEntry &r : receipts) {
        if (r.isReprint())
            continue;
        QString month = r.belongsTo();
        QString closedNote;
        // A decided receipt had its month checked in the same transaction
        // and was refused before printing. One printed while the database
        // was away, its month closed since, is paper handed out and money
        // taken: booked in the open month, naming its own.
        std::optional<QString> closed = QString();
        if (!r.accountRead && !open.contains(month))
            closed = closing(db, month);
        if (!closed) {
            *error = db.connection().lastError().text();
            return false;
        }
        if (closed->isEmpty()) {
            open.insert(month);
        } else {
            closedNote = QStringLiteral("%1 的收据，该月已月结").arg(month);
            month = Journal::month(Clock::now());
            if (const auto alsoClosed = closing(db, month); !alsoClosed || !alsoClosed->isEmpty()) {
                *error = alsoClosed ? QStringLiteral("%1，不能再记收款").arg(*alsoClosed)
                                    : db.connection().lastError().text();
                return false;
            }
        }
        auto entry = [&](LedgerEntry::Kind kind, const QString &m, qint64 amount) {
            LedgerEntry e;
            e.kind = kind;
            e.childId = r.childId;
            e.className = r.className;
            e.childName = r.name;
            e.month = m;
            e.amount = amount;
            e.receiptSerial = r.serial;
            e.reason = closedNote;
            e.clerk = r.clerk;
            e.host = r.host;
            e.at = r.printedAt;
            return e;
        };
        // The month's charges become the fees the receipt was printed from:
        // a month nobody billed is charged, one billed at other fees is
        // adjusted by the difference.
        if (!r.childId.isEmpty() && !r.charges.isEmpty()) {
            QMap<QString, qint64> charged = r.chargedBefore;
            bool billed = !charged.isEmpty();
            if (!r.accountRead) {
                if (!flush())
                    return false;
                read.prepare(QStringLiteral(
                    "SELECT item, reason, SUM(amount_fen) FROM ledger_entry WHERE child_id = ? AND "
                    "month = ? AND kind IN ('应收', '调整') GROUP BY item, reason"));
                read.addBindValue(r.childId);
                read.addBindValue(r.belongsTo());
                if (!read.exec())
                    return failed(read);
                while (read.next()) {
                    billed = true;
                    charged[Reductions::key(read.value(0).toString(), read.value(1).toString())] +=
                        read.value(2).toLongLong();
                }
                read.finish();
            }
            for (const auto &c : Ledger::differences(r.charges, charged)) {
                const auto [item, reduction] = Reductions::split(c.first);
                LedgerEntry e = entry(billed || !reduction.isEmpty() ? LedgerEntry::Adjustment
                                                                     : LedgerEntry::Charge,
                                      month, c.second);
                e.item = item;
                e.reason = !reduction.isEmpty() ? reduction
                           : billed             ? Ledger::rosterChanged()
                                                : Ledger::chargedByReceipt();
                if (!closedNote.isEmpty())
                    e.reason += QStringLiteral("（%1）").arg(closedNote);
                e.receiptSerial.clear();
                pending << e;
            }
        }
        // Credit from earlier months moves onto this one, as much of it as
        // the account still holds now.
        if (!r.childId.isEmpty() && r.credit > 0) {
            if (!flush())
                return false;
            read.prepare(QStringLiteral("SELECT month, SUM(amount_fen) FROM ledger_entry WHERE "
                                        "child_id = ? AND month < ? GROUP BY month"));
            read.addBindValue(r.childId);
            read.addBindValue(month);
            if (!read.exec())
                return failed(read);
            QVector<QPair<QString, qint64>> balances;
            while (read.next())
                balances.append({read.value(0).toString(), read.value(1).toLongLong()});
            qint64 net = 0;
            for (const auto &b : balances)
                net += b.second;
            qint64 used = 0;
            for (const auto &t : Ledger::takeCredit(balances, qMin(r.credit, -net))) {
                pending << entry(LedgerEntry::CreditUsed, t.first, t.second);
                used += t.second;
            }
            if (used > 0)
                pending << entry(LedgerEntry::CreditUsed, month, -used);
        }
        LedgerEntry e;
        e.kind = LedgerEntry::Payment;
        e.childId = r.childId;
        e.className = r.className;
        e.childName = r.name;
        e.month = month;
        e.reason = closedNote;
        e.amount = -(r.paid > r.total ? r.paid : r.total);
        e.method = r.method.isEmpty() ? Ledger::unrecordedMethod() : r.method;
        e.reference = r.reference;
        e.receiptSerial = r.serial;
        e.clerk = r.clerk;
        e.host = r.host;
        e.at = r.printedAt;
        pending << e;
    }
    return flush();
}

bool LedgerStore::voidPayments(Database &db, const QStringList &serials, const QString &reason,
                               const QString &clerk, const QDateTime &at, QString *error)
{
    if (!lock(db, error))
        return false;
    QSqlQuery q(db.connection());
    if (!q.prepare(QStringLiteral(
            "INSERT INTO ledger_entry (kind, child_id, class_name, child_name, month, item, "
            "amount_fen, method, reference, receipt_serial, corrects, reason, clerk, host, "
            "recorded_at) SELECT '作废', child_id, class_name, child_name, CASE WHEN EXISTS "
            "(SELECT 1 FROM month_closing c WHERE c.month = p.month) THEN ? ELSE p.month END, "
            "item, -amount_fen - (SELECT COALESCE(SUM(r.amount_fen), 0) FROM ledger_entry r "
            "WHERE r.kind = '退款' AND r.corrects = p.id), method, reference, receipt_serial, "
            "id, CASE WHEN EXISTS (SELECT 1 FROM month_closing c WHERE c.month = p.month) THEN "
            "? || '（原属已月结的 ' || p.month || '）' ELSE ? END, ?, host, ? FROM ledger_entry "
            "p WHERE p.kind IN ('实收', '预收抵扣') AND p.receipt_serial = ? AND NOT EXISTS "
            "(SELECT 1 FROM ledger_entry v WHERE v.child_id = p.child_id AND v.kind = '作废' "
            "AND v.corrects = p.id)"))) {
        *error = q.lastError().text();
        return false;
    }
    // A void takes back only what the receipt still holds (money already
    // handed back is not reversed twice); entries of a closed month are
    // booked in the open month, naming it.
    for (const QString &serial : serials) {
        q.bindValue(0, Journal::month(at));
        q.bindValue(1, reason);
        q.bindValue(2, reason);
        q.bindValue(3, clerk);
        q.bindValue(4, at.toString(timeFormat));
        q.bindValue(5, serial);
        if (!q.exec()) {
            *error = q.lastError().text();
            return false;
        }
    }
    return true;
}

std::optional<QVector<Ledger::MonthBalance>> LedgerStore::balances()
{
    m_error.clear();
    QSqlQuery q(m_db.connection());
    q.setForwardOnly(true);
    // Read from the index of the months not paid in full alone.
    if (!q.exec(QStringLiteral("SELECT child_id, month, balance_fen, last_id FROM ledger_balance "
                               "WHERE balance_fen <> 0"))) {
        fail(q.lastError().text());
        return std::nullopt;
    }
    QVector<Ledger::MonthBalance> list;
    while (q.next())
        list.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toLongLong(),
                     q.value(3).toLongLong()});
    return list;
}

std::optional<QHash<qint64, QPair<QString, QString>>> LedgerStore::names(const QVector<qint64> &ids)
{
    m_error.clear();
    QHash<qint64, QPair<QString, QString>> names;
    constexpr int chunk = 500;
    for (int start = 0; start < ids.size(); start += chunk) {
        const int count = int(qMin<qsizetype>(chunk, ids.size() - start));
        QSqlQuery q(m_db.connection());
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT id, class_name, child_name FROM ledger_entry WHERE id IN "
                                 "(%1)")
                      .arg(QStringList(count, QStringLiteral("?")).join(QLatin1Char(','))));
        for (int i = 0; i < count; ++i)
            q.addBindValue(ids.at(start + i));
        if (!q.exec()) {
            fail(q.lastError().text());
            return std::nullopt;
        }
        while (q.next())
            names.insert(q.value(0).toLongLong(), {q.value(1).toString(), q.value(2).toString()});
    }
    return names;
}

std::optional<QHash<QString, QPair<QString, QString>>>
LedgerStore::currentNames(const QStringList &childIds)
{
    m_error.clear();
    QHash<QString, QPair<QString, QString>> names;
    constexpr int chunk = 500;
    for (int start = 0; start < childIds.size(); start += chunk) {
        const int count = int(qMin<qsizetype>(chunk, childIds.size() - start));
        QSqlQuery q(m_db.connection());
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT child_id, cls, nm FROM %1 cur WHERE child_id IN (%2)")
                      .arg(currentChildren(m_db),
                           QStringList(count, QStringLiteral("?")).join(QLatin1Char(','))));
        for (int i = 0; i < count; ++i)
            q.addBindValue(childIds.at(start + i));
        if (!q.exec()) {
            fail(q.lastError().text());
            return std::nullopt;
        }
        while (q.next())
            names.insert(q.value(0).toString(), {q.value(1).toString(), q.value(2).toString()});
    }
    return names;
}

std::optional<QVector<LedgerEntry>> LedgerStore::entries(const QString &childId)
{
    return read(QStringLiteral("child_id = ?"), {childId});
}

std::optional<QVector<LedgerEntry>> LedgerStore::refunds(const QString &month)
{
    return read(QStringLiteral("kind = '退款' AND month = ?"), {month});
}

std::optional<QVector<LedgerEntry>> LedgerStore::dayRefunds(const QDate &day)
{
    return read(QStringLiteral("kind = '退款' AND recorded_at >= ? AND recorded_at < ?"),
                {day.toString(QStringLiteral("yyyy-MM-dd")),
                 day.addDays(1).toString(QStringLiteral("yyyy-MM-dd"))});
}

std::optional<QVector<LedgerEntry>> LedgerStore::read(const QString &where,
                                                      const QVariantList &values)
{
    m_error.clear();
    QSqlQuery q(m_db.connection());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT id, kind, class_name, child_name, month, item, amount_fen, "
                             "method, reference, receipt_serial, corrects, reason, clerk, host, "
                             "recorded_at, own_serial, child_id FROM ledger_entry WHERE %1 ORDER "
                             "BY id")
                  .arg(where));
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec()) {
        fail(q.lastError().text());
        return std::nullopt;
    }
    QVector<LedgerEntry> list;
    while (q.next()) {
        LedgerEntry e;
        e.id = q.value(0).toLongLong();
        e.kind = LedgerEntry::kindFromText(q.value(1).toString()).value_or(LedgerEntry::Charge);
        e.className = q.value(2).toString();
        e.childName = q.value(3).toString();
        e.month = q.value(4).toString();
        e.item = q.value(5).toString();
        e.amount = q.value(6).toLongLong();
        e.method = q.value(7).toString();
        e.reference = q.value(8).toString();
        e.receiptSerial = q.value(9).toString();
        e.corrects = q.value(10).toLongLong();
        e.reason = q.value(11).toString();
        e.clerk = q.value(12).toString();
        e.host = q.value(13).toString();
        e.at = QDateTime::fromString(q.value(14).toString(), timeFormat);
        e.ownSerial = q.value(15).toString();
        e.childId = q.value(16).toString();
        list << e;
    }
    return list;
}

WriteResult LedgerStore::refund(const QString &receipt, qint64 amountFen, const QString &method,
                                const QString &reason, const QString &clerk, const QString &host,
                                const QDateTime &at, QString *serial)
{
    m_error.clear();
    auto refused = [](const QString &text) {
        return WriteResult::failure(WriteResult::Refused, text);
    };
    if (reason.trimmed().isEmpty())
        return refused(QStringLiteral("退款必须填写原因"));
    if (amountFen <= 0)
        return refused(QStringLiteral("退款金额必须大于 0"));
    WriteResult begun;
    const auto tx = beginLocked(QStringLiteral("退款没有记录"), &begun);
    if (!tx)
        return begun;
    QSqlDatabase db = m_db.connection();
    auto failed = [&](const QSqlError &e) {
        tx->rollback();
        return m_db.unreachable(e);
    };
    // The payment the money came with, still standing, and what was
    // handed back of it already.
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "SELECT p.id, p.child_id, p.class_name, p.child_name, p.month, -p.amount_fen, "
        "(SELECT COALESCE(SUM(r.amount_fen), 0) FROM ledger_entry r WHERE r.kind = '退款' AND "
        "r.corrects = p.id) FROM ledger_entry p WHERE p.kind = '实收' AND p.receipt_serial = ? AND "
        "NOT EXISTS (SELECT 1 FROM ledger_entry v WHERE v.kind = '作废' AND v.corrects = p.id)"));
    q.addBindValue(receipt);
    if (!q.exec())
        return failed(q.lastError());
    if (!q.next()) {
        tx->rollback();
        return refused(
            QStringLiteral("收据 %1 没有可退的款（没有收款记录，或已作废）").arg(receipt));
    }
    LedgerEntry e;
    e.kind = LedgerEntry::Refund;
    e.corrects = q.value(0).toLongLong();
    e.childId = q.value(1).toString();
    e.className = q.value(2).toString();
    e.childName = q.value(3).toString();
    e.month = q.value(4).toString();
    const qint64 left = q.value(5).toLongLong() - q.value(6).toLongLong();
    q.finish();
    // A closed month is never written again: money handed back for one of
    // its receipts is booked in the month it is handed back, naming it.
    QString closedNote;
    if (const auto closed = closing(m_db, e.month); !closed)
        return failed(db.lastError());
    else if (!closed->isEmpty()) {
        closedNote = QStringLiteral("（原收据属已月结的 %1）").arg(e.month);
        e.month = Journal::month(at);
    }
    if (amountFen > left) {
        tx->rollback();
        return refused(
            QStringLiteral("收据 %1 最多还能退 %2 元").arg(receipt, Journal::yuan(left)));
    }
    // The refund's own serial: the counter row is locked until the commit.
    QSqlError serialError;
    e.ownSerial = nextRefundSerial(db, at.date().year(), &serialError);
    if (e.ownSerial.isEmpty())
        return failed(serialError);
    e.amount = amountFen;
    e.method = method;
    e.receiptSerial = receipt;
    e.reason = reason.trimmed() + closedNote;
    e.clerk = clerk;
    e.host = host;
    e.at = at;
    // Written once, whole: the refund with its own serial.
    QSqlQuery ins(db);
    if (!ins.prepare(QStringLiteral(
            "INSERT INTO ledger_entry (kind, child_id, class_name, child_name, month, "
            "amount_fen, method, receipt_serial, corrects, reason, clerk, host, recorded_at, "
            "own_serial) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")))
        return failed(ins.lastError());
    const QVariantList values = {LedgerEntry::kindText(e.kind),
                                 e.childId,
                                 e.className,
                                 e.childName,
                                 e.month,
                                 e.amount,
                                 text(e.method),
                                 e.receiptSerial,
                                 e.corrects,
                                 e.reason,
                                 text(e.clerk),
                                 text(e.host),
                                 e.at.toString(timeFormat),
                                 e.ownSerial};
    for (int i = 0; i < values.size(); ++i)
        ins.bindValue(i, values.at(i));
    if (!ins.exec())
        return failed(ins.lastError());
    tx->audit(AuditLog::refunded(),
              QStringLiteral("%1 退 %2 元（收据 %3，%4）：%5")
                  .arg(e.ownSerial, Journal::yuan(e.amount), receipt, e.childName, e.reason));
    if (!tx->commit())
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("退款没有记录"),
                                    tx->errorString());
    if (serial)
        *serial = e.ownSerial;
    return WriteResult::success();
}

std::optional<QString> LedgerStore::childOfReceipt(const QString &serial)
{
    QSqlQuery q(m_db.connection());
    q.prepare(QStringLiteral(
        "SELECT child_id FROM ledger_entry WHERE kind = '实收' AND receipt_serial = ?"));
    q.addBindValue(serial);
    if (!q.exec()) {
        fail(q.lastError().text());
        return std::nullopt;
    }
    return q.next() ? q.value(0).toString() : QString();
}

std::optional<int> LedgerStore::standingPayments(const QString &childId, const QString &month)
{
    QSqlQuery q(m_db.connection());
    q.prepare(QStringLiteral("SELECT count(*) FROM ledger_entry p WHERE p.kind = '实收' AND "
                             "p.child_id = ? AND p.month = ? AND NOT EXISTS (SELECT 1 FROM "
                             "ledger_entry v WHERE v.kind = '作废' AND v.corrects = p.id)"));
    q.addBindValue(childId);
    q.addBindValue(month);
    if (!q.exec() || !q.next()) {
        fail(q.lastError().text());
        return std::nullopt;
    }
    return q.value(0).toInt();
}

std::optional<qint64> LedgerStore::monthTotal(const QString &month)
{
    QSqlQuery q(m_db.connection());
    q.prepare(
        QStringLiteral("SELECT COALESCE(SUM(amount_fen), 0) FROM ledger_entry WHERE month = ?"));
    q.addBindValue(month);
    if (!q.exec() || !q.next()) {
        fail(q.lastError().text());
        return std::nullopt;
    }
    return q.value(0).toLongLong();
}

std::optional<QString> LedgerStore::closing(Database &db, const QString &month)
{
    QSqlQuery q(db.connection());
    q.prepare(QStringLiteral("SELECT clerk, closed_at FROM month_closing WHERE month = ?"));
    q.addBindValue(month);
    if (!q.exec())
        return std::nullopt;
    if (!q.next())
        return QString();
    const QString clerk = q.value(0).toString();
    return QStringLiteral("%1 已于 %2 月结%3")
        .arg(month, q.value(1).toString().left(16),
             clerk.isEmpty() ? QString() : QStringLiteral("（经办人 %1）").arg(clerk));
}

WriteResult LedgerStore::closeMonth(const QString &month, const QString &clerk, const QString &host,
                                    const QDateTime &now)
{
    m_error.clear();
    static const QRegularExpression form(QStringLiteral("^[0-9]{4}-(0[1-9]|1[0-2])$"));
    if (!form.match(month).hasMatch())
        return WriteResult::failure(WriteResult::Refused,
                                    QStringLiteral("“%1”不是月份（应为 2026-11 这样）").arg(month));
    if (month >= Journal::month(now))
        return WriteResult::failure(
            WriteResult::Refused,
            QStringLiteral("%1 还没有结束，不能月结：月结只能在下个月进行").arg(month));
    WriteResult begun;
    const auto tx = beginLocked(QStringLiteral("没有月结"), &begun);
    if (!tx)
        return begun;
    QSqlDatabase db = m_db.connection();
    const auto closed = closing(m_db, month);
    if (!closed) {
        const QSqlError e = db.lastError();
        tx->rollback();
        return m_db.unreachable(e);
    }
    if (!closed->isEmpty()) {
        tx->rollback();
        return WriteResult::failure(WriteResult::Refused, *closed);
    }
    // The balances kept beside the entries must be the sums of the
    // entries before a month is closed on them.
    QSqlQuery check(db);
    check.prepare(QStringLiteral(
        "SELECT (SELECT count(*) FROM (SELECT child_id, CAST(SUM(amount_fen) AS BIGINT) FROM "
        "ledger_entry WHERE month = ? AND child_id <> '' GROUP BY child_id EXCEPT SELECT "
        "child_id, balance_fen FROM ledger_balance WHERE month = ?) a) + (SELECT count(*) FROM "
        "(SELECT child_id, balance_fen FROM ledger_balance WHERE month = ? EXCEPT SELECT "
        "child_id, CAST(SUM(amount_fen) AS BIGINT) FROM ledger_entry WHERE month = ? AND "
        "child_id <> '' GROUP BY child_id) b)"));
    for (int i = 0; i < 4; ++i)
        check.addBindValue(month);
    if (!check.exec() || !check.next()) {
        const QSqlError e = check.lastError();
        tx->rollback();
        return m_db.unreachable(e);
    }
    if (const qint64 wrong = check.value(0).toLongLong(); wrong > 0) {
        tx->rollback();
        return WriteResult::failure(
            WriteResult::Refused,
            QStringLiteral("%1 有 %2 名儿童的账目余额与分录之和不符，没有月结。数据库可能被"
                           "别的程序改过，请联系维护人员核对。")
                .arg(month)
                .arg(wrong));
    }
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "INSERT INTO month_closing (month, clerk, host, closed_at) VALUES (?, ?, ?, ?)"));
    q.addBindValue(month);
    q.addBindValue(text(clerk));
    q.addBindValue(text(host));
    q.addBindValue(now.toString(timeFormat));
    if (!q.exec())
        return m_db.unreachable(q.lastError());
    tx->audit(AuditLog::monthClosed(), month);
    if (!tx->commit())
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("没有月结"),
                                    tx->errorString());
    return WriteResult::success();
}

std::optional<QVector<LedgerStore::Closing>> LedgerStore::closings()
{
    m_error.clear();
    QSqlQuery q(m_db.connection());
    if (!q.exec(QStringLiteral(
            "SELECT month, clerk, host, closed_at FROM month_closing ORDER BY month DESC"))) {
        fail(q.lastError().text());
        return std::nullopt;
    }
    QVector<Closing> list;
    while (q.next())
        list.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                     q.value(3).toString()});
    return list;
}

WriteResult LedgerStore::applyAbsenceRefunds(const QString &month,
                                             const QVector<AbsenceRefund> &refunds, bool payOut,
                                             const QString &method, const QString &clerk,
                                             const QString &host, const QDateTime &at,
                                             QVector<LedgerEntry> *written)
{
    m_error.clear();
    WriteResult begun;
    const auto tx = beginLocked(QStringLiteral("退费没有记录"), &begun);
    if (!tx)
        return begun;
    QSqlDatabase db = m_db.connection();
    auto failed = [&](const QSqlError &e) {
        tx->rollback();
        return m_db.unreachable(e);
    };
    if (WriteResult r = refuseClosed(month, QStringLiteral("不能再记缺勤退费")); !r)
        return r;
    // What each child was given back for the month already, per item
    // (伙食费 for meals, 保教费 for tuition back).
    const QString meals = QStringLiteral("伙食费"), tuition = QStringLiteral("保教费");
    QHash<QString, QHash<QString, qint64>> given;
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT child_id, COALESCE(item, ''), SUM(amount_fen) FROM "
                                 "ledger_entry WHERE month = ? AND kind = '缺勤退费' GROUP BY "
                                 "child_id, COALESCE(item, '')"));
        q.addBindValue(month);
        if (!q.exec())
            return failed(q.lastError());
        while (q.next())
            given[q.value(0).toString()].insert(q.value(1).toString(), -q.value(2).toLongLong());
    }
    QVector<LedgerEntry> done;
    for (const AbsenceRefund &r : refunds) {
        if (r.childId.isEmpty())
            continue;
        for (const QString &item : {meals, tuition}) {
            const bool isMeals = item == meals;
            const qint64 wanted = isMeals ? r.fen : r.tuitionFen;
            const auto before = given.value(r.childId);
            const qint64 diff = wanted - before.value(item);
            if (diff == 0)
                continue;
            const QString reason = isMeals ? r.reason : r.tuitionReason;
            LedgerEntry e;
            e.kind = LedgerEntry::AbsenceRefund;
            e.childId = r.childId;
            e.className = r.className;
            e.childName = r.childName;
            e.month = month;
            e.item = item;
            e.amount = -diff;
            e.reason = before.contains(item) ? QStringLiteral("%1（更正）").arg(reason) : reason;
            e.clerk = clerk;
            e.host = host;
            e.at = at;
            done << e;
            // Meals handed out now: the credit leaves the account as money.
            // Tuition back always stays as credit.
            if (isMeals && payOut && diff > 0) {
                LedgerEntry out = e;
                out.kind = LedgerEntry::Refund;
                out.item.clear();
                out.amount = diff;
                out.method = method;
                out.reason = QStringLiteral("缺勤退费当即退还");
                QSqlError serialError;
                out.ownSerial = nextRefundSerial(db, at.date().year(), &serialError);
                if (out.ownSerial.isEmpty())
                    return failed(serialError);
                done << out;
            }
        }
    }
    if (const auto error = insertWithSerials(db, done))
        return failed(*error);
    qint64 credited = 0, paidOut = 0;
    for (const LedgerEntry &e : std::as_const(done))
        (e.kind == LedgerEntry::Refund ? paidOut : credited) += e.amount;
    QString what = QStringLiteral("%1：%2 条，记入账上 %3 元")
                       .arg(month)
                       .arg(done.size())
                       .arg(Journal::yuan(-credited));
    if (payOut)
        what += QStringLiteral("，当即退还 %1 元（%2）").arg(Journal::yuan(paidOut), method);
    tx->audit(AuditLog::absenceRefunds(), what);
    if (!tx->commit())
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("退费没有记录"),
                                    tx->errorString());
    if (written)
        *written = done;
    return WriteResult::success();
}

WriteResult LedgerStore::settleLeaving(const QString &month, const QString &childId,
                                       const QString &className, const QString &childName,
                                       const QString &method, const QString &clerk,
                                       const QString &host, const QDateTime &at,
                                       Settlement *settled)
{
    m_error.clear();
    const QString unwritten = QStringLiteral("退园结算没有记录");
    if (childId.isEmpty())
        return WriteResult::failure(
            WriteResult::Refused,
            QStringLiteral("“%1”还没有保存到数据库，没有账目可以结算").arg(childName));
    WriteResult begun;
    const auto tx = beginLocked(unwritten, &begun);
    if (!tx)
        return begun;
    QSqlDatabase db = m_db.connection();
    auto failed = [&](const QSqlError &e) {
        tx->rollback();
        return m_db.unreachable(e);
    };
    if (WriteResult r = refuseClosed(month, QStringLiteral("不能再办理退园结算")); !r)
        return r;
    QVector<QPair<QString, qint64>> balances;
    qint64 total = 0;
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT month, SUM(amount_fen) FROM ledger_entry WHERE child_id "
                                 "= ? GROUP BY month ORDER BY month"));
        q.addBindValue(childId);
        if (!q.exec())
            return failed(q.lastError());
        while (q.next()) {
            balances.append({q.value(0).toString(), q.value(1).toLongLong()});
            total += balances.last().second;
        }
    }
    if (total > 0) {
        tx->rollback();
        return WriteResult::failure(
            WriteResult::Refused,
            QStringLiteral("“%1”还欠 %2 元：请先收费（打印收据），再办理退园结算")
                .arg(childName, Journal::yuan(total)));
    }
    auto entry = [&](LedgerEntry::Kind kind, const QString &m, qint64 amount,
                     const QString &reason) {
        LedgerEntry e;
        e.kind = kind;
        e.childId = childId;
        e.className = className;
        e.childName = childName;
        e.month = m;
        e.amount = amount;
        e.reason = reason;
        e.clerk = clerk;
        e.host = host;
        e.at = at;
        return e;
    };
    // Each open month's balance moves onto the settling month; a closed
    // month is never written again, and what it holds is settled in this
    // one, naming it.
    QVector<LedgerEntry> done;
    QStringList closedMonths;
    qint64 moved = 0;
    for (const auto &[m, balance] : std::as_const(balances)) {
        if (m == month || balance == 0)
            continue;
        const auto closed = closing(m_db, m);
        if (!closed)
            return failed(db.lastError());
        if (!closed->isEmpty()) {
            closedMonths << m;
            continue;
        }
        done << entry(LedgerEntry::CreditUsed, m, -balance,
                      QStringLiteral("退园结算：转入 %1").arg(month));
        moved += balance;
    }
    if (moved != 0)
        done << entry(LedgerEntry::CreditUsed, month, moved,
                      QStringLiteral("退园结算：各月余额转入"));
    Settlement out;
    if (total < 0) {
        QString reason = QStringLiteral("退园结算：退还预收余额");
        if (!closedMonths.isEmpty())
            reason +=
                QStringLiteral("（含已月结的 %1）").arg(closedMonths.join(QStringLiteral("、")));
        LedgerEntry e = entry(LedgerEntry::Refund, month, -total, reason);
        e.method = method;
        QSqlError serialError;
        e.ownSerial = nextRefundSerial(db, at.date().year(), &serialError);
        if (e.ownSerial.isEmpty())
            return failed(serialError);
        out.refunded = -total;
        out.serial = e.ownSerial;
        done << e;
    }
    if (done.isEmpty()) {
        // Already at zero in every month: nothing to write.
        tx->rollback();
        if (settled)
            *settled = out;
        return WriteResult::success();
    }
    if (const auto error = insertWithSerials(db, done))
        return failed(*error);
    QString what = QStringLiteral("%1 %2：").arg(className, childName);
    what += out.refunded > 0 ? QStringLiteral("退还 %1 元（%2，%3）")
                                   .arg(Journal::yuan(out.refunded), method, out.serial)
                             : QStringLiteral("没有要退还的钱");
    if (moved != 0)
        what += QStringLiteral("，各月余额转入 %1").arg(month);
    tx->audit(AuditLog::stay(), QStringLiteral("退园结算 ") + what);
    if (!tx->commit())
        return WriteResult::failure(WriteResult::Unreachable, unwritten, tx->errorString());
    if (settled)
        *settled = out;
    return WriteResult::success();
}

std::optional<LedgerStore::DayMoney> LedgerStore::dayMoney(const QDate &day, const QString &clerk)
{
    m_error.clear();
    QSqlQuery q(m_db.connection());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT kind, receipt_serial, method, amount_fen, clerk FROM "
                             "ledger_entry WHERE recorded_at >= ? AND recorded_at < ? AND kind IN "
                             "('实收', '退款')"));
    q.addBindValue(day.toString(QStringLiteral("yyyy-MM-dd")));
    q.addBindValue(day.addDays(1).toString(QStringLiteral("yyyy-MM-dd")));
    if (!q.exec()) {
        fail(q.lastError().text());
        return std::nullopt;
    }
    DayMoney m;
    const QString payment = LedgerEntry::kindText(LedgerEntry::Payment);
    while (q.next()) {
        if (q.value(0).toString() == payment) {
            auto &p = m.payments[q.value(1).toString()];
            p.first = q.value(2).toString();
            p.second += -q.value(3).toLongLong();
        } else if (q.value(2).toString() == QStringLiteral("现金") &&
                   (clerk.isEmpty() || q.value(4).toString() == clerk)) {
            m.refundedCash += q.value(3).toLongLong();
        }
    }
    return m;
}

std::optional<QVector<MonthReport::LedgerSum>> LedgerStore::monthSums(const QString &month,
                                                                      QHash<QString, qint64> *paid)
{
    m_error.clear();
    QSqlQuery q(m_db.connection());
    q.setForwardOnly(true);
    // A void of a credit moved onto a receipt (it has no way of payment)
    // is a credit move too, not money.
    q.prepare(QStringLiteral("SELECT COALESCE(cur.cls, e.class_name) AS c, CASE WHEN e.kind = "
                             "'作废' AND e.method = '' THEN '预收抵扣' ELSE e.kind END AS k, "
                             "e.item, SUM(e.amount_fen) FROM ledger_entry e LEFT JOIN %1 cur ON "
                             "cur.child_id = e.child_id WHERE e.month = ? GROUP BY "
                             "COALESCE(cur.cls, e.class_name), CASE WHEN e.kind = '作废' AND "
                             "e.method = '' THEN '预收抵扣' ELSE e.kind END, e.item")
                  .arg(currentChildren(m_db)));
    q.addBindValue(month);
    if (!q.exec()) {
        fail(q.lastError().text());
        return std::nullopt;
    }
    QVector<MonthReport::LedgerSum> sums;
    while (q.next())
        sums.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                     q.value(3).toLongLong()});
    // The reductions among the adjustments, by the type their reason names.
    q.prepare(QStringLiteral("SELECT COALESCE(cur.cls, e.class_name), e.reason, SUM(e.amount_fen) "
                             "FROM ledger_entry e LEFT JOIN %1 cur ON cur.child_id = e.child_id "
                             "WHERE e.month = ? AND e.kind = '调整' AND e.reason LIKE ? GROUP BY "
                             "COALESCE(cur.cls, e.class_name), e.reason")
                  .arg(currentChildren(m_db)));
    q.addBindValue(month);
    q.addBindValue(Reductions::reason(QString()) + QLatin1Char('%'));
    if (!q.exec()) {
        fail(q.lastError().text());
        return std::nullopt;
    }
    QMap<QPair<QString, QString>, qint64> reduced;
    while (q.next())
        if (const auto type = Reductions::typeOf(q.value(1).toString()))
            reduced[{q.value(0).toString(), *type}] += q.value(2).toLongLong();
    for (auto it = reduced.cbegin(); it != reduced.cend(); ++it)
        if (it.value() != 0)
            sums.append({it.key().first, QStringLiteral("减免"), it.key().second, it.value()});
    q.prepare(QStringLiteral("SELECT receipt_serial, -SUM(amount_fen) FROM ledger_entry WHERE "
                             "month = ? AND kind = '实收' GROUP BY receipt_serial"));
    q.addBindValue(month);
    if (!q.exec()) {
        fail(q.lastError().text());
        return std::nullopt;
    }
    while (q.next())
        paid->insert(q.value(0).toString(), q.value(1).toLongLong());
    return sums;
}
