#include "schema.h"

#include "childrecord.h"
#include "dbconfig.h"
#include "sqldialect.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>

using SqlDialect::quoted;

namespace Schema
{
QStringList studentColumns()
{
    QStringList cols;
    for (const Roster::ColumnName &c : Roster::columnNames())
        cols << QString::fromUtf16(c.stored);
    return cols << QStringLiteral("班级");
}

namespace
{
QStringList statements(const DbConfig &config)
{
    const QString key = SqlDialect::keyColumn(config);
    QStringList studentCols;
    for (const QString &c : studentColumns())
        studentCols << quoted(c) + QStringLiteral(" TEXT");
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS \"class\" (%1, \"班级\" TEXT)").arg(key),
        QStringLiteral("CREATE TABLE IF NOT EXISTS student (%1, %2)")
            .arg(key, studentCols.join(QStringLiteral(", "))),
        QStringLiteral("CREATE INDEX IF NOT EXISTS student_class ON student (\"班级\")"),
        // Who each stored row is: the key changes with every save, the
        // child does not.
        QStringLiteral("CREATE TABLE IF NOT EXISTS child_identity (student_id BIGINT PRIMARY KEY, "
                       "child_id TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS feeoffice_revision (id INTEGER PRIMARY KEY, "
                       "revision BIGINT NOT NULL, saved_at TEXT)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS feeoffice_class_revision (\"班级\" TEXT PRIMARY "
                       "KEY, revision BIGINT NOT NULL, saved_at TEXT)"),
        // The receipt journal: serials per year, and every receipt printed.
        QStringLiteral("CREATE TABLE IF NOT EXISTS receipt_serial (year INTEGER PRIMARY KEY, "
                       "last BIGINT NOT NULL)"),
        QStringLiteral(
            "CREATE TABLE IF NOT EXISTS receipt_journal (serial TEXT PRIMARY KEY, year INTEGER "
            "NOT NULL, number BIGINT NOT NULL, printed_at TEXT NOT NULL, month TEXT NOT NULL, "
            "class_name TEXT, child_name TEXT, age TEXT, label1 TEXT, amount1 BIGINT, label2 "
            "TEXT, amount2 BIGINT, label3 TEXT, amount3 BIGINT, label4 TEXT, amount4 BIGINT, "
            "total_fen BIGINT NOT NULL, clerk TEXT, printer TEXT, host TEXT, reprint_of TEXT)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS receipt_journal_month ON receipt_journal "
                       "(month, class_name, child_name)"),
        // A receipt is on record before its pages go to the printer; one
        // whose job then failed is marked here (its serial stays, unprinted).
        QStringLiteral("CREATE TABLE IF NOT EXISTS receipt_unprinted (serial TEXT PRIMARY KEY, "
                       "noted_at TEXT NOT NULL, reason TEXT)"),
        // The second form of a receipt with more lines than a form holds:
        // a receipt of the journal whose payment is booked under the first.
        QStringLiteral("CREATE TABLE IF NOT EXISTS receipt_second_form (serial TEXT PRIMARY KEY, "
                       "first_serial TEXT NOT NULL)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS receipt_second_form_first ON "
                       "receipt_second_form (first_serial)"),
        // A receipt taken back (作废): its serial stays, marked, with why.
        QStringLiteral("CREATE TABLE IF NOT EXISTS receipt_void (serial TEXT PRIMARY KEY, reason "
                       "TEXT NOT NULL, clerk TEXT, host TEXT, voided_at TEXT NOT NULL)"),
        // Every child's account: charges, adjustments, payments and their
        // voids, each written once. What is owed is always their sum.
        QStringLiteral("CREATE TABLE IF NOT EXISTS ledger_entry (%1, kind TEXT NOT NULL, child_id "
                       "TEXT NOT NULL, class_name TEXT, child_name TEXT, month TEXT NOT NULL, item "
                       "TEXT, amount_fen BIGINT NOT NULL, method TEXT, reference TEXT, "
                       "receipt_serial TEXT, corrects BIGINT, reason TEXT, clerk TEXT, host TEXT, "
                       "recorded_at TEXT NOT NULL, own_serial TEXT)")
            .arg(key),
        QStringLiteral("CREATE INDEX IF NOT EXISTS ledger_child ON ledger_entry (child_id, month, "
                       "amount_fen, id)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS ledger_serial ON ledger_entry (receipt_serial)"),
        // Money handed back has serials of its own, per year, gap-free.
        QStringLiteral("CREATE TABLE IF NOT EXISTS refund_serial (year INTEGER PRIMARY KEY, "
                       "last BIGINT NOT NULL)"),
        // A month closed (月结): nothing is charged, paid, voided or refunded
        // in it afterwards. Never reopened.
        QStringLiteral("CREATE TABLE IF NOT EXISTS month_closing (month TEXT PRIMARY KEY, clerk "
                       "TEXT, host TEXT, closed_at TEXT NOT NULL)"),
        // The office's calendar: holidays (假日) and make-up working days (补班).
        QStringLiteral("CREATE TABLE IF NOT EXISTS school_calendar (day TEXT PRIMARY KEY, kind "
                       "TEXT NOT NULL)"),
        // Days each child was absent, per class and month: a day, or a count
        // of days from a list that only counts (day empty).
        QStringLiteral("CREATE TABLE IF NOT EXISTS attendance (%1, class_name TEXT NOT NULL, "
                       "month TEXT NOT NULL, child_id TEXT NOT NULL, child_name TEXT, day TEXT, "
                       "days INTEGER NOT NULL, leave INTEGER NOT NULL, clerk TEXT, recorded_at "
                       "TEXT NOT NULL)")
            .arg(key),
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS attendance_month ON attendance (class_name, month)"),
        // Who changed what: rows only ever added.
        QStringLiteral("CREATE TABLE IF NOT EXISTS audit_log (%1, at TEXT NOT NULL, clerk TEXT, "
                       "host TEXT, kind TEXT NOT NULL, what TEXT NOT NULL)")
            .arg(key),
        // Whose receipt each one is, written with it: a recorded receipt
        // is never shown as unprinted, whatever the roster saved.
        QStringLiteral("CREATE TABLE IF NOT EXISTS receipt_child (serial TEXT PRIMARY KEY, "
                       "child_id TEXT NOT NULL, month TEXT NOT NULL)"),
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS receipt_child_month ON receipt_child (month, child_id)"),
        // Who may sign in: every change to a user is a row of its own with
        // the user's whole state after it (role, password hash, active).
        QStringLiteral("CREATE TABLE IF NOT EXISTS user_entry (%1, name TEXT NOT NULL, kind TEXT "
                       "NOT NULL, role TEXT NOT NULL, pw_hash TEXT NOT NULL, active INTEGER NOT "
                       "NULL, by_user TEXT, host TEXT, at TEXT NOT NULL)")
            .arg(key),
        QStringLiteral("CREATE INDEX IF NOT EXISTS user_entry_name ON user_entry (name, id)"),
        // Each wrong password, for the wait before the next try.
        QStringLiteral("CREATE TABLE IF NOT EXISTS sign_in_failure (%1, name TEXT NOT NULL, host "
                       "TEXT, at TEXT NOT NULL)")
            .arg(key),
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS sign_in_failure_name ON sign_in_failure (name, id)"),
        // The platforms' statements as imported, each row once per source,
        // and each row's link to the payment or refund of the books it is.
        // A link taken back is a new link naming it (corrects), to no entry.
        QStringLiteral("CREATE TABLE IF NOT EXISTS statement_row (%1, source TEXT NOT NULL, "
                       "row_key TEXT NOT NULL, at TEXT NOT NULL, amount_fen BIGINT NOT NULL, "
                       "fee_fen BIGINT NOT NULL, refund INTEGER NOT NULL, number TEXT, "
                       "merchant_number TEXT, remark TEXT, file_name TEXT, imported_at TEXT NOT "
                       "NULL, clerk TEXT, UNIQUE (source, row_key))")
            .arg(key),
        QStringLiteral("CREATE INDEX IF NOT EXISTS statement_row_at ON statement_row (source, at)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS statement_link (%1, row_id BIGINT NOT NULL, "
                       "entry_id BIGINT NOT NULL, how TEXT NOT NULL, corrects BIGINT, clerk TEXT, "
                       "at TEXT NOT NULL)")
            .arg(key),
        QStringLiteral("CREATE INDEX IF NOT EXISTS statement_link_row ON statement_link (row_id)"),
        // Families: a family is the id of its first row (family_id empty),
        // later rows name it; a child's last row of family_member says
        // which family it is in (0: none).
        QStringLiteral("CREATE TABLE IF NOT EXISTS family_entry (%1, family_id BIGINT, payer TEXT "
                       "NOT NULL, phone TEXT, clerk TEXT, at TEXT NOT NULL)")
            .arg(key),
        QStringLiteral("CREATE TABLE IF NOT EXISTS family_member (%1, family_id BIGINT NOT NULL, "
                       "child_id TEXT NOT NULL, child_name TEXT, class_name TEXT, clerk TEXT, at "
                       "TEXT NOT NULL)")
            .arg(key),
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS family_member_child ON family_member (child_id, id)"),
        // Reductions (减免): a type is the id of its first row (type_id
        // empty), later rows change or withdraw it; a grant gives a child a
        // type for a span of months, and a later row withdraws it.
        QStringLiteral("CREATE TABLE IF NOT EXISTS reduction_type (%1, type_id BIGINT, name TEXT "
                       "NOT NULL, items TEXT NOT NULL, kind TEXT NOT NULL, value BIGINT NOT NULL, "
                       "combine TEXT NOT NULL, sibling_from INTEGER NOT NULL, withdrawn INTEGER "
                       "NOT NULL, clerk TEXT, at TEXT NOT NULL)")
            .arg(key),
        QStringLiteral("CREATE TABLE IF NOT EXISTS reduction_grant (%1, child_id TEXT NOT NULL, "
                       "child_name TEXT, class_name TEXT, type_id BIGINT NOT NULL, from_month "
                       "TEXT NOT NULL, to_month TEXT, reason TEXT, granted_by TEXT, withdraws "
                       "BIGINT, at TEXT NOT NULL)")
            .arg(key),
        QStringLiteral("CREATE INDEX IF NOT EXISTS reduction_grant_withdraws ON reduction_grant "
                       "(withdraws)"),
        // What a receipt's lines were already reduced by, printed again on
        // a copy.
        QStringLiteral("CREATE TABLE IF NOT EXISTS receipt_reduction (serial TEXT PRIMARY KEY, "
                       "reduced_fen BIGINT NOT NULL)"),
        // When children joined and left: a child's newest row holds; and the
        // rule for a part month's tuition, the newest row holding.
        QStringLiteral("CREATE TABLE IF NOT EXISTS child_stay (%1, child_id TEXT NOT NULL, "
                       "child_name TEXT, class_name TEXT, joined_on TEXT, left_on TEXT, note "
                       "TEXT, clerk TEXT, at TEXT NOT NULL)")
            .arg(key),
        QStringLiteral("CREATE INDEX IF NOT EXISTS child_stay_child ON child_stay (child_id, id)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS part_month_rule (%1, kind TEXT NOT NULL, "
                       "full_from INTEGER NOT NULL, half_from INTEGER NOT NULL, clerk TEXT, at "
                       "TEXT NOT NULL)")
            .arg(key),
        // The day's closing reads one day of receipts and of payments.
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS receipt_journal_printed ON receipt_journal (printed_at)"),
    };
}

const char *const knownTables[] = {
    "class",           "student",         "feeoffice_revision", "feeoffice_class_revision",
    "receipt_journal", "receipt_serial",  "receipt_unprinted",  "child_identity",
    "ledger_entry",    "receipt_void",    "refund_serial",      "month_closing",
    "school_calendar", "attendance",      "audit_log",          "receipt_second_form",
    "ledger_balance",  "receipt_child",   "user_entry",         "sign_in_failure",
    "statement_row",   "statement_link",  "family_entry",       "family_member",
    "reduction_type",  "reduction_grant", "receipt_reduction",  "child_stay",
    "part_month_rule"};

// What each child's month stands at: the sum of its entries, kept in the
// transaction that writes them and proved against the entries at the
// month's closing. Only the months not paid in full are indexed. On
// PostgreSQL a trigger adds each statement's entries, whichever statement
// writes them.
QStringList balanceTables(const DbConfig &config)
{
    QStringList sql = {
        QStringLiteral("CREATE TABLE IF NOT EXISTS ledger_balance (child_id TEXT NOT NULL, month "
                       "TEXT NOT NULL, balance_fen BIGINT NOT NULL, last_id BIGINT NOT NULL, "
                       "PRIMARY KEY (child_id, month))"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS ledger_balance_owing ON ledger_balance "
                       "(child_id, month, balance_fen, last_id) WHERE balance_fen <> 0")};
    if (config.isPostgres())
        return sql
               << QStringLiteral(
                      "CREATE OR REPLACE FUNCTION ledger_balance_add() RETURNS trigger AS $$ BEGIN "
                      "INSERT INTO ledger_balance (child_id, month, balance_fen, last_id) SELECT "
                      "child_id, month, SUM(amount_fen), MAX(id) FROM new_entries WHERE child_id "
                      "<> '' GROUP BY child_id, month ON CONFLICT (child_id, month) DO UPDATE SET "
                      "balance_fen = ledger_balance.balance_fen + EXCLUDED.balance_fen, last_id = "
                      "GREATEST(ledger_balance.last_id, EXCLUDED.last_id); RETURN NULL; END $$ "
                      "LANGUAGE plpgsql")
               << QStringLiteral("CREATE OR REPLACE TRIGGER ledger_balance_add AFTER INSERT ON "
                                 "ledger_entry REFERENCING NEW TABLE AS new_entries FOR EACH "
                                 "STATEMENT EXECUTE FUNCTION ledger_balance_add()");
    // SQLite: added by each write before it commits (WriteTransaction).
    return sql;
}

// Rows of these are only ever added: money, receipts and who did what.
// A mistake is mended by a new row that names the old one.
const char *const appendOnly[] = {
    "ledger_entry",  "receipt_journal", "receipt_void",    "receipt_unprinted", "audit_log",
    "month_closing", "user_entry",      "sign_in_failure", "statement_row",     "statement_link",
    "family_entry",  "family_member",   "reduction_type",  "reduction_grant",   "receipt_reduction",
    "child_stay",    "part_month_rule"};

// The database refuses a change to them from any program, this one too.
// SQLite keeps each statement's text as written, which is how a copy's
// triggers are told from these.
QStringList guardStatements(const DbConfig &config)
{
    QStringList sql;
    if (config.isPostgres()) {
        sql << QStringLiteral(
            "CREATE OR REPLACE FUNCTION feeoffice_append_only() RETURNS trigger AS $$ BEGIN "
            "RAISE EXCEPTION '只能添加，不能修改或删除：%', TG_TABLE_NAME; END $$ LANGUAGE "
            "plpgsql");
        for (const char *t : appendOnly)
            sql << QStringLiteral("CREATE OR REPLACE TRIGGER keep_%1 BEFORE UPDATE OR DELETE ON %1 "
                                  "FOR EACH ROW EXECUTE FUNCTION feeoffice_append_only()")
                       .arg(QLatin1String(t))
                << QStringLiteral("CREATE OR REPLACE TRIGGER keep_%1_all BEFORE TRUNCATE ON %1 "
                                  "FOR EACH STATEMENT EXECUTE FUNCTION feeoffice_append_only()")
                       .arg(QLatin1String(t));
        return sql;
    }
    for (const char *t : appendOnly)
        for (const char *op : {"UPDATE", "DELETE"})
            sql << QStringLiteral("CREATE TRIGGER keep_%1_%2 BEFORE %3 ON %1 BEGIN SELECT "
                                  "RAISE(ABORT, '只能添加，不能修改或删除：%1'); END")
                       .arg(QLatin1String(t), QString::fromLatin1(op).toLower(), QLatin1String(op));
    return sql;
}

// The guards a database lacks, made; an error text, or empty. A database
// that takes no writes gets them when it next does.
QString guard(QSqlDatabase &db, const DbConfig &config)
{
    QSqlQuery q(db);
    QStringList have;
    if (!q.exec(config.isPostgres()
                    ? QStringLiteral("SELECT tgname FROM pg_trigger WHERE tgname LIKE 'keep\\_%'")
                    : QStringLiteral(
                          "SELECT name FROM sqlite_master WHERE type = 'trigger' AND name LIKE "
                          "'keep\\_%' ESCAPE '\\'")))
        return q.lastError().text().trimmed();
    while (q.next())
        have << q.value(0).toString();
    const QStringList sql = guardStatements(config);
    const int wanted = config.isPostgres() ? int(std::size(appendOnly)) * 2 : int(sql.size());
    if (have.size() >= wanted)
        return {};
    for (const QString &statement : sql) {
        const QString name = statement.section(QLatin1Char(' '), config.isPostgres() ? 4 : 2,
                                               config.isPostgres() ? 4 : 2);
        if (!config.isPostgres() && have.contains(name))
            continue;
        if (!q.exec(statement)) {
            if ((q.lastError().nativeErrorCode().toInt() & 0xff) == 8)
                return {};
            return QStringLiteral("无法建立账目保护：%1").arg(q.lastError().text().trimmed());
        }
    }
    return {};
}
} // namespace

QStringList tableNames()
{
    QStringList names;
    for (const char *t : knownTables)
        names << QLatin1String(t);
    return names;
}

QString create(QSqlDatabase &db, const DbConfig &config)
{
    const QStringList existing = db.tables();
    bool haveAll = true;
    for (const char *t : knownTables)
        haveAll = haveAll && existing.contains(QLatin1String(t), Qt::CaseInsensitive);
    if (!haveAll) {
        const bool hadLedger =
            existing.contains(QStringLiteral("ledger_entry"), Qt::CaseInsensitive);
        const bool hadJournal =
            existing.contains(QStringLiteral("receipt_journal"), Qt::CaseInsensitive);
        const bool hadBalance =
            existing.contains(QStringLiteral("ledger_balance"), Qt::CaseInsensitive);
        QSqlQuery q(db);
        for (const QString &sql : statements(config))
            if (!q.exec(sql))
                return QStringLiteral("无法创建数据表：%1").arg(q.lastError().text().trimmed());
        // The balances begin in one transaction with the sums of the
        // entries written before they were kept: the trigger holds off other
        // PCs' entries until the sums are in.
        if (!hadBalance) {
            bool ok = db.transaction();
            for (const QString &sql : balanceTables(config))
                ok = ok && q.exec(sql);
            ok = ok && q.exec(QStringLiteral(
                           "INSERT INTO ledger_balance (child_id, month, balance_fen, last_id) "
                           "SELECT child_id, month, SUM(amount_fen), MAX(id) FROM ledger_entry "
                           "WHERE child_id <> '' GROUP BY child_id, month ON CONFLICT (child_id, "
                           "month) DO NOTHING"));
            if (!ok || !db.commit()) {
                const QString error = q.lastError().text().trimmed();
                db.rollback();
                return QStringLiteral("无法创建数据表：%1").arg(error);
            }
        }
        // Receipts printed before the ledger was kept are payments whose way
        // nobody wrote down; whose account they belong to is not known.
        if (!hadLedger && hadJournal &&
            !q.exec(QStringLiteral(
                "INSERT INTO ledger_entry (kind, child_id, class_name, child_name, month, "
                "amount_fen, method, receipt_serial, reason, clerk, host, recorded_at) SELECT "
                "'实收', '', class_name, child_name, month, -total_fen, '未记录', serial, '', "
                "clerk, host, printed_at FROM receipt_journal WHERE reprint_of IS NULL")))
            return QStringLiteral("无法创建数据表：%1").arg(q.lastError().text().trimmed());
    }
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT count(*) FROM feeoffice_revision")) || !q.next())
        return q.lastError().text().trimmed();
    if (q.value(0).toLongLong() == 0) {
        // Two PCs starting at once may both try; the second insert failing
        // on the key is harmless.
        QSqlQuery(db).exec(QStringLiteral(
            "INSERT INTO feeoffice_revision (id, revision, saved_at) VALUES (1, 0, '')"));
    }
    return guard(db, config);
}

QStringList guards(const DbConfig &config)
{
    return guardStatements(config);
}

State inspect(QSqlDatabase &db, const DbConfig &config)
{
    State s;
    const QSqlRecord student = db.record(QStringLiteral("student"));
    const QSqlRecord cls = db.record(QStringLiteral("class"));
    if (!student.isEmpty())
        s.keyColumn = student.fieldName(0);
    // Each table is read in the order of its own key.
    const QSqlIndex classKey = db.primaryIndex(QStringLiteral("class"));
    s.classKeyColumn = !classKey.isEmpty() ? classKey.fieldName(0)
                       : !cls.isEmpty()    ? cls.fieldName(0)
                                           : QStringLiteral("id");
    QStringList missing;
    s.classColumnMissing = !cls.contains(QStringLiteral("班级"));
    if (s.classColumnMissing)
        missing << QStringLiteral("表 class 缺少列“班级”");
    for (const QString &c : studentColumns())
        if (!student.contains(c))
            s.missingStudentColumns << c;
    if (!s.missingStudentColumns.isEmpty())
        missing << QStringLiteral("表 student 缺少列“%1”")
                       .arg(s.missingStudentColumns.join(QStringLiteral("”、“")));
    // Saving into such tables would drop every child: the window shows what
    // it can and saving waits until the database is mended.
    if (!missing.isEmpty())
        s.error = QStringLiteral("数据库 %1 的结构不完整：%2。为免丢失儿童，保存已停用；"
                                 "请修复数据库后重新启动。")
                      .arg(config.describe(), missing.join(QStringLiteral("；")));
    return s;
}
} // namespace Schema
