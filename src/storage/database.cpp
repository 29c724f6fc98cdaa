#include "database.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>

#include "journalstore.h"
#include "roster.h"

#include <sys/stat.h>

namespace
{
QAtomicInt connectionCounter;

// A PostgreSQL array literal of texts: every element quoted, with quotes and
// backslashes escaped.
QString arrayLiteral(const QStringList &texts)
{
    QString out = QStringLiteral("{");
    for (int i = 0; i < texts.size(); ++i) {
        if (i > 0)
            out += QLatin1Char(',');
        QString v = texts.at(i);
        v.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
            .replace(QLatin1Char('"'), QStringLiteral("\\\""));
        out += QLatin1Char('"') + v + QLatin1Char('"');
    }
    return out + QLatin1Char('}');
}

QString quoted(const QString &identifier)
{
    QString s = identifier;
    s.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

// Roster cells without text are stored as empty text, not NULL.
QString nonNull(const QString &s)
{
    return s.isNull() ? QString(QLatin1String("")) : s;
}

QString errorText(const QSqlError &e)
{
    const QString t = e.text().trimmed();
    return t.isEmpty() ? QStringLiteral("未知错误") : t;
}
} // namespace

QString DbConfig::defaultSqlitePath()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return base + QStringLiteral("/feeoffice/feeoffice.sqlite");
}

DbConfig DbConfig::fromSettings(QSettings &s)
{
    DbConfig c;
    s.beginGroup(QStringLiteral("database"));
    c.driver = s.value(QStringLiteral("driver"), c.driver).toString().trimmed().toUpper();
    c.path = s.value(QStringLiteral("path")).toString();
    c.host = s.value(QStringLiteral("host")).toString();
    c.port = s.value(QStringLiteral("port"), c.port).toInt();
    c.name = s.value(QStringLiteral("name")).toString();
    c.user = s.value(QStringLiteral("user")).toString();
    c.options = s.value(QStringLiteral("options")).toString();
    c.odbc = s.value(QStringLiteral("odbc")).toString();
    s.endGroup();
    if (c.driver.isEmpty())
        c.driver = QStringLiteral("QSQLITE");
    if (c.driver == QLatin1String("QSQLITE") && c.path.isEmpty())
        c.path = defaultSqlitePath();
    return c;
}

DbConfig DbConfig::sqlite(const QString &file)
{
    DbConfig c;
    c.path = file;
    return c;
}

QString DbConfig::describe() const
{
    if (driver == QLatin1String("QPSQL"))
        return QStringLiteral("%1 %2@%3:%4/%5").arg(driver, user, host).arg(port).arg(name);
    if (driver == QLatin1String("QODBC"))
        return QStringLiteral("%1 %2").arg(driver, odbc);
    return QStringLiteral("%1 %2").arg(driver, QDir::toNativeSeparators(path));
}

QStringList Database::studentColumns()
{
    return {QStringLiteral("儿童姓名"),   QStringLiteral("儿童年龄"),
            QStringLiteral("保教费"),     QStringLiteral("住宿费"),
            QStringLiteral("伙食费"),     QStringLiteral("床上用品费"),
            QStringLiteral("校车接送费"), QStringLiteral("意外伤害保险费"),
            QStringLiteral("合计金额"),   QStringLiteral("折扣"),
            QStringLiteral("经办人"),     QStringLiteral("打印状态"),
            QStringLiteral("班级")};
}

Database::Database(const DbConfig &config)
    : m_config(config),
      m_connectionName(QStringLiteral("feeoffice-%1").arg(connectionCounter.fetchAndAddRelaxed(1)))
{
}

Database::~Database()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        if (db.isValid()) {
            if (m_inRewrite)
                db.rollback();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

QSqlDatabase Database::connection() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

bool Database::isOpen() const
{
    return connection().isOpen();
}

bool Database::fail(const QString &what, const QString &detail)
{
    m_error = QStringLiteral("数据库 %1：%2").arg(what, detail);
    return false;
}

bool Database::open()
{
    if (!connect() || !createSchema())
        return false;
    m_fileId = fileIdentity();
    checkSchema();
    return refreshRevision();
}

bool Database::reconnect()
{
    m_error.clear();
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        if (db.isValid())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
    m_inRewrite = false;
    // What this PC loaded is still what it loaded: the known revisions stay,
    // so a save after the reconnection is checked against them.
    // A database file replaced or removed meanwhile is not silently
    // swapped for a new, empty one.
    if (m_config.driver == QLatin1String("QSQLITE") && fileIdentity() != m_fileId)
        return fail(m_config.describe(), QStringLiteral("数据库文件已被删除或替换"));
    if (!connect() || !createSchema())
        return false;
    checkSchema();
    return true;
}

bool Database::ping()
{
    QSqlQuery q(connection());
    return connection().isOpen() && q.exec(QStringLiteral("SELECT 1")) && q.next();
}

bool Database::connect()
{
    m_error.clear();
    if (!QSqlDatabase::isDriverAvailable(m_config.driver))
        return fail(m_config.describe(),
                    QStringLiteral("没有安装数据库驱动 %1").arg(m_config.driver));
    QSqlDatabase db = QSqlDatabase::addDatabase(m_config.driver, m_connectionName);
    if (m_config.driver == QLatin1String("QSQLITE")) {
        // A new user has no data directory yet.
        const QFileInfo info(m_config.path);
        if (!m_config.path.isEmpty() && m_config.path != QLatin1String(":memory:"))
            QDir().mkpath(info.absolutePath());
        db.setDatabaseName(m_config.path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    } else if (m_config.driver == QLatin1String("QPSQL")) {
        db.setHostName(m_config.host);
        db.setPort(m_config.port);
        db.setDatabaseName(m_config.name);
        db.setUserName(m_config.user);
        db.setConnectOptions(m_config.options);
    } else {
        db.setDatabaseName(m_config.odbc);
    }
    if (!db.open())
        return fail(m_config.describe(), errorText(db.lastError()));
    if (m_config.driver == QLatin1String("QSQLITE")) {
        // Refuse to treat a file that is not a database as an empty one.
        QSqlQuery probe(db);
        if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
            return fail(m_config.describe(), errorText(probe.lastError()));
    }
    return true;
}

bool Database::createSchema()
{
    QSqlDatabase db = connection();
    const bool pg = m_config.driver == QLatin1String("QPSQL");
    const QString key =
        pg ? QStringLiteral("id INTEGER GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY")
           : QStringLiteral("id INTEGER PRIMARY KEY AUTOINCREMENT");
    QStringList studentCols;
    for (const QString &c : studentColumns())
        studentCols << quoted(c) + QStringLiteral(" TEXT");
    const QStringList statements = {
        QStringLiteral("CREATE TABLE IF NOT EXISTS \"class\" (%1, \"班级\" TEXT)").arg(key),
        QStringLiteral("CREATE TABLE IF NOT EXISTS student (%1, %2)")
            .arg(key, studentCols.join(QStringLiteral(", "))),
        QStringLiteral("CREATE INDEX IF NOT EXISTS student_class ON student (\"班级\")"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS feeoffice_revision (id INTEGER PRIMARY KEY, "
                       "revision BIGINT NOT NULL, saved_at TEXT)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS feeoffice_class_revision (\"班级\" TEXT PRIMARY "
                       "KEY, revision BIGINT NOT NULL, saved_at TEXT)"),
    };
    const QStringList statementsAndJournal = statements + JournalStore::schema();
    const QStringList existing = db.tables();
    const bool haveAll =
        existing.contains(QStringLiteral("class"), Qt::CaseInsensitive) &&
        existing.contains(QStringLiteral("student"), Qt::CaseInsensitive) &&
        existing.contains(QStringLiteral("feeoffice_revision"), Qt::CaseInsensitive) &&
        existing.contains(QStringLiteral("feeoffice_class_revision"), Qt::CaseInsensitive) &&
        existing.contains(QStringLiteral("receipt_journal"), Qt::CaseInsensitive) &&
        existing.contains(QStringLiteral("receipt_serial"), Qt::CaseInsensitive);
    if (!haveAll) {
        QSqlQuery q(db);
        for (const QString &sql : statementsAndJournal) {
            if (!q.exec(sql))
                return fail(m_config.describe(),
                            QStringLiteral("无法创建数据表：%1").arg(errorText(q.lastError())));
        }
    }
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT count(*) FROM feeoffice_revision")) || !q.next())
        return fail(m_config.describe(), errorText(q.lastError()));
    if (q.value(0).toLongLong() == 0) {
        QSqlQuery ins(db);
        // Two PCs starting at once may both try; the second insert failing
        // on the key is harmless.
        ins.exec(QStringLiteral("INSERT INTO feeoffice_revision (id, revision, saved_at) VALUES "
                                "(1, 0, '')"));
    }
    return true;
}

void Database::checkSchema()
{
    QSqlDatabase db = connection();
    m_schemaError.clear();
    m_missingStudentColumns.clear();
    const QSqlRecord student = db.record(QStringLiteral("student"));
    const QSqlRecord cls = db.record(QStringLiteral("class"));
    if (!student.isEmpty())
        m_keyColumn = student.fieldName(0);
    // Each table is read in the order of its own key.
    const QSqlIndex classKey = db.primaryIndex(QStringLiteral("class"));
    m_classKeyColumn = !classKey.isEmpty() ? classKey.fieldName(0)
                       : !cls.isEmpty()    ? cls.fieldName(0)
                                           : QStringLiteral("id");
    QStringList missing;
    m_classColumnMissing = !cls.contains(QStringLiteral("班级"));
    if (m_classColumnMissing)
        missing << QStringLiteral("表 class 缺少列“班级”");
    for (const QString &c : studentColumns())
        if (!student.contains(c))
            m_missingStudentColumns << c;
    if (!m_missingStudentColumns.isEmpty())
        missing << QStringLiteral("表 student 缺少列“%1”")
                       .arg(m_missingStudentColumns.join(QStringLiteral("”、“")));
    // Saving into such tables would drop every child: the window shows what
    // it can and saving waits until the database is mended.
    if (!missing.isEmpty())
        m_schemaError = QStringLiteral("数据库 %1 的结构不完整：%2。为免丢失儿童，保存已停用；"
                                       "请修复数据库后重新启动。")
                            .arg(m_config.describe(), missing.join(QStringLiteral("；")));
}

bool Database::schemaUsable()
{
    if (m_schemaError.isEmpty())
        return true;
    m_error = m_schemaError;
    return false;
}

QString Database::fileIdentity() const
{
    if (m_config.driver != QLatin1String("QSQLITE"))
        return {};
    struct stat st;
    if (::stat(QFile::encodeName(m_config.path).constData(), &st) != 0)
        return QStringLiteral("missing");
    return QStringLiteral("%1:%2").arg(st.st_dev).arg(st.st_ino);
}

bool Database::fileStillThere()
{
    // A file deleted or replaced behind the program's back would take the
    // writes and lose them at the next start.
    if (m_config.driver == QLatin1String("QSQLITE") && fileIdentity() != m_fileId)
        return fail(m_config.describe(), QStringLiteral("数据库文件已被删除或替换"));
    return true;
}

bool Database::refreshRevision()
{
    const auto table = classTableRevision();
    const auto classes = readClassRevisions();
    if (!table || !classes)
        return false;
    m_knownRevision = *table;
    m_classRevisions.clear();
    for (auto it = classes->cbegin(); it != classes->cend(); ++it)
        m_classRevisions.insert(it.key(), it->revision);
    return true;
}

std::optional<qint64> Database::classTableRevision()
{
    QSqlQuery q(connection());
    if (!q.exec(QStringLiteral("SELECT revision FROM feeoffice_revision WHERE id = 1")) ||
        !q.next()) {
        fail(m_config.describe(), errorText(q.lastError()));
        return std::nullopt;
    }
    return q.value(0).toLongLong();
}

std::optional<QHash<QString, Database::ClassRevision>> Database::readClassRevisions()
{
    QSqlQuery q(connection());
    q.setForwardOnly(true);
    if (!q.exec(
            QStringLiteral("SELECT \"班级\", revision, saved_at FROM feeoffice_class_revision"))) {
        fail(m_config.describe(), errorText(q.lastError()));
        return std::nullopt;
    }
    QHash<QString, ClassRevision> revisions;
    while (q.next())
        revisions.insert(q.value(0).toString(),
                         ClassRevision{q.value(1).toLongLong(), q.value(2).toString()});
    return revisions;
}

bool Database::refreshClassTableRevision()
{
    const auto table = classTableRevision();
    if (table)
        m_knownRevision = *table;
    return table.has_value();
}

qint64 Database::knownClassRevision(const QString &className) const
{
    return m_classRevisions.value(className, 0);
}

std::optional<QStringList> Database::readClasses()
{
    // Without its column the name would be read as a text literal.
    if (m_classColumnMissing)
        return QStringList();
    QSqlQuery q(connection());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT \"班级\" FROM \"class\" ORDER BY %1")
                    .arg(quoted(m_classKeyColumn)))) {
        fail(m_config.describe(), errorText(q.lastError()));
        return std::nullopt;
    }
    QStringList names;
    while (q.next())
        names << q.value(0).toString();
    return names;
}

std::optional<QHash<QString, QVector<QStringList>>>
Database::selectStudents(const QString *className)
{
    // A missing column reads as empty text, never as its own name.
    QStringList cols;
    for (const QString &c : studentColumns())
        cols << (m_missingStudentColumns.contains(c) ? QStringLiteral("''") : quoted(c));
    QSqlQuery q(connection());
    q.setForwardOnly(true);
    // A class name is bound, never pasted into the statement.
    q.prepare(QStringLiteral("SELECT %1 FROM student %2 ORDER BY %3")
                  .arg(cols.join(QStringLiteral(", ")),
                       className ? QStringLiteral("WHERE \"班级\" = ?") : QString(),
                       quoted(m_keyColumn)));
    if (className)
        q.addBindValue(nonNull(*className));
    if (!q.exec()) {
        fail(m_config.describe(), errorText(q.lastError()));
        return std::nullopt;
    }
    QHash<QString, QVector<QStringList>> byClass;
    while (q.next()) {
        QStringList row;
        row.reserve(12);
        for (int i = 0; i < 12; ++i)
            row << q.value(i).toString();
        byClass[q.value(12).toString()] << row;
    }
    return byClass;
}

std::optional<QVector<QStringList>> Database::readStudents(const QString &className)
{
    // The revision first: a save in between makes it older than the rows,
    // which can only refuse a save, never let one undo another PC's.
    const auto revisions = readClassRevisions();
    if (!revisions)
        return std::nullopt;
    const auto rows = selectStudents(&className);
    if (rows)
        m_classRevisions.insert(className, revisions->value(className).revision);
    if (!rows)
        return std::nullopt;
    return rows->value(nonNull(className));
}

std::optional<QHash<QString, QVector<QStringList>>> Database::readAllStudents()
{
    return selectStudents(nullptr);
}

bool Database::commitOrRollBack()
{
    QSqlDatabase db = connection();
    if (db.commit())
        return true;
    fail(m_config.describe(), errorText(db.lastError()));
    db.rollback();
    return false;
}

bool Database::claimRevision()
{
    m_conflict = false;
    m_conflictSavedAt.clear();
    QSqlDatabase db = connection();
    const QString now =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "UPDATE feeoffice_revision SET revision = revision + 1, saved_at = ? WHERE id = 1 AND "
        "revision = ?"));
    q.addBindValue(now);
    q.addBindValue(m_knownRevision);
    if (!q.exec())
        return fail(m_config.describe(), errorText(q.lastError()));
    if (q.numRowsAffected() != 1) {
        m_conflict = true;
        QSqlQuery who(db);
        if (who.exec(QStringLiteral("SELECT saved_at FROM feeoffice_revision WHERE id = 1")) &&
            who.next())
            m_conflictSavedAt = who.value(0).toString();
        return fail(m_config.describe(), QStringLiteral("载入班级列表之后，另一台电脑已保存过"));
    }
    return true;
}

bool Database::classConflict(const QString &className)
{
    m_conflict = true;
    m_conflictClass = className;
    m_conflictSavedAt.clear();
    QSqlQuery who(connection());
    who.prepare(QStringLiteral("SELECT saved_at FROM feeoffice_class_revision WHERE \"班级\" = ?"));
    who.addBindValue(nonNull(className));
    if (who.exec() && who.next())
        m_conflictSavedAt = who.value(0).toString();
    return fail(m_config.describe(),
                QStringLiteral("载入班级“%1”之后，另一台电脑已保存过它").arg(className));
}

bool Database::claimClass(const QString &className)
{
    if (m_claimed.contains(className))
        return true;
    const qint64 known = knownClassRevision(className);
    const QString now =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QSqlQuery q(connection());
    if (known > 0) {
        q.prepare(QStringLiteral("UPDATE feeoffice_class_revision SET revision = revision + 1, "
                                 "saved_at = ? WHERE \"班级\" = ? AND revision = ?"));
        q.addBindValue(now);
        q.addBindValue(nonNull(className));
        q.addBindValue(known);
        if (!q.exec())
            return fail(m_config.describe(), errorText(q.lastError()));
        if (q.numRowsAffected() != 1)
            return classConflict(className);
    } else {
        // Never saved when this PC loaded it: it must still be unsaved.
        q.prepare(
            QStringLiteral("SELECT count(*) FROM feeoffice_class_revision WHERE \"班级\" = ?"));
        q.addBindValue(nonNull(className));
        if (!q.exec() || !q.next())
            return fail(m_config.describe(), errorText(q.lastError()));
        if (q.value(0).toLongLong() != 0)
            return classConflict(className);
        QSqlQuery ins(connection());
        ins.prepare(QStringLiteral("INSERT INTO feeoffice_class_revision (\"班级\", revision, "
                                   "saved_at) VALUES (?, 1, ?)"));
        ins.addBindValue(nonNull(className));
        ins.addBindValue(now);
        if (!ins.exec())
            return fail(m_config.describe(), errorText(ins.lastError()));
    }
    m_claimed.insert(className, known + 1);
    return true;
}

bool Database::claimClassesTogether(const QStringList &classes)
{
    QStringList known, revisions, unsaved;
    for (const QString &c : classes) {
        if (m_claimed.contains(c))
            continue;
        const qint64 k = knownClassRevision(c);
        if (k > 0)
            known << c, revisions << QString::number(k);
        else
            unsaved << c;
    }
    const QString now =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    auto run = [&](const QString &sql, const QVariantList &binds,
                   const QStringList &expected) -> bool {
        if (expected.isEmpty())
            return true;
        QSqlQuery q(connection());
        q.setForwardOnly(true);
        if (!q.prepare(sql))
            return fail(m_config.describe(), errorText(q.lastError()));
        for (const QVariant &b : binds)
            q.addBindValue(b);
        if (!q.exec())
            return fail(m_config.describe(), errorText(q.lastError()));
        QSet<QString> claimed;
        while (q.next())
            claimed.insert(q.value(0).toString());
        for (const QString &c : expected)
            if (!claimed.contains(c))
                return classConflict(c);
        return true;
    };
    const bool ok =
        run(QStringLiteral("UPDATE feeoffice_class_revision AS r SET revision = r.revision + 1, "
                           "saved_at = ? FROM unnest(?::text[], ?::bigint[]) AS k(c, rev) WHERE "
                           "r.\"班级\" = k.c AND r.revision = k.rev RETURNING r.\"班级\""),
            {now, arrayLiteral(known),
             QStringLiteral("{%1}").arg(revisions.join(QLatin1Char(',')))},
            known) &&
        run(QStringLiteral("INSERT INTO feeoffice_class_revision (\"班级\", revision, saved_at) "
                           "SELECT c, 1, ? FROM unnest(?::text[]) AS k(c) ON CONFLICT DO NOTHING "
                           "RETURNING \"班级\""),
            {now, arrayLiteral(unsaved)}, unsaved);
    if (!ok)
        return false;
    for (const QString &c : classes)
        if (!m_claimed.contains(c))
            m_claimed.insert(c, knownClassRevision(c) + 1);
    return true;
}

bool Database::claimEveryClass()
{
    // A whole-table rewrite replaces every class: each must be as loaded,
    // and no class may have been saved that this PC never saw.
    const auto current = readClassRevisions();
    if (!current)
        return false;
    for (auto it = current->cbegin(); it != current->cend(); ++it)
        if (!m_classRevisions.contains(it.key()))
            return classConflict(it.key());
    const QStringList known = m_classRevisions.keys();
    for (const QString &c : known)
        if (!claimClass(c))
            return false;
    return true;
}

bool Database::rewriteClasses(const QStringList &names)
{
    m_error.clear();
    m_conflict = false;
    if (!schemaUsable() || !fileStillThere())
        return false;
    QSqlDatabase db = connection();
    if (!db.transaction())
        return fail(m_config.describe(), errorText(db.lastError()));
    if (!claimRevision()) {
        db.rollback();
        return false;
    }
    QSqlQuery q(db);
    bool ok = q.exec(QStringLiteral("DELETE FROM \"class\"")) &&
              q.prepare(QStringLiteral("INSERT INTO \"class\" (\"班级\") VALUES (?)"));
    for (int i = 0; ok && i < names.size(); ++i) {
        q.bindValue(0, nonNull(names.at(i)));
        ok = q.exec();
    }
    if (!ok) {
        fail(m_config.describe(), errorText(q.lastError()));
        db.rollback();
        return false;
    }
    if (!commitOrRollBack())
        return false;
    ++m_knownRevision;
    announceSave();
    return true;
}

bool Database::beginStudentRewrite(const std::optional<QStringList> &classes)
{
    m_error.clear();
    m_conflict = false;
    m_conflictClass.clear();
    m_claimed.clear();
    if (!schemaUsable() || !fileStillThere())
        return false;
    QSqlDatabase db = connection();
    if (!db.transaction())
        return fail(m_config.describe(), errorText(db.lastError()));
    m_inRewrite = true;
    bool ok = true;
    QSqlQuery q(db);
    if (!classes) {
        ok = claimEveryClass();
        if (ok && !q.exec(QStringLiteral("DELETE FROM student")))
            ok = fail(m_config.describe(), errorText(q.lastError()));
    } else if (m_config.driver == QLatin1String("QPSQL")) {
        // Every statement is a round trip to the server: the classes go as
        // arrays, a few statements for any number of them.
        ok = claimClassesTogether(*classes);
        if (ok) {
            ok = q.prepare(QStringLiteral("DELETE FROM student WHERE \"班级\" = ANY(?::text[])"));
            q.addBindValue(arrayLiteral(*classes));
            ok = (ok && q.exec()) || fail(m_config.describe(), errorText(q.lastError()));
        }
    } else {
        ok = q.prepare(QStringLiteral("DELETE FROM student WHERE \"班级\" = ?")) ||
             fail(m_config.describe(), errorText(q.lastError()));
        for (int i = 0; ok && i < classes->size(); ++i) {
            ok = claimClass(classes->at(i));
            q.bindValue(0, nonNull(classes->at(i)));
            if (ok && !q.exec())
                ok = fail(m_config.describe(), errorText(q.lastError()));
        }
    }
    if (!ok)
        abandonStudentRewrite();
    return ok;
}

namespace
{
// A PostgreSQL array literal of texts: every element quoted, with quotes and
// backslashes escaped.
QString textArray(const QVector<QStringList> &rows, int start, int count, int column)
{
    QString out = QStringLiteral("{");
    for (int r = 0; r < count; ++r) {
        if (r > 0)
            out += QLatin1Char(',');
        QString v = rows.at(start + r).value(column);
        v.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
            .replace(QLatin1Char('"'), QStringLiteral("\\\""));
        out += QLatin1Char('"') + v + QLatin1Char('"');
    }
    return out + QLatin1Char('}');
}
} // namespace

bool Database::appendStudents(const QVector<QStringList> &rows)
{
    if (!m_inRewrite)
        return fail(m_config.describe(), QStringLiteral("没有正在进行的保存"));
    for (const QStringList &row : rows) {
        const QString refusal = Roster::controlCharacterRefusal(row);
        if (!refusal.isEmpty())
            return fail(m_config.describe(), refusal);
        m_written.insert(row.value(Roster::ColumnCount));
    }
    QStringList cols;
    for (const QString &c : studentColumns())
        cols << quoted(c);
    const int width = int(cols.size());
    const QString columnList = cols.join(QStringLiteral(", "));
    QSqlQuery q(connection());

    if (m_config.driver == QLatin1String("QPSQL")) {
        // Every statement is a round trip to the server: the rows go as
        // thirteen arrays, unnested in key order, a few thousand at a time.
        QStringList arrays;
        for (int i = 0; i < width; ++i)
            arrays << QStringLiteral("?::text[]");
        QStringList aliases;
        for (int i = 0; i < width; ++i)
            aliases << QStringLiteral("c%1").arg(i);
        const QString aliasList = aliases.join(QStringLiteral(", "));
        if (!q.prepare(QStringLiteral("INSERT INTO student (%1) SELECT %2 FROM unnest(%3) WITH "
                                      "ORDINALITY AS t(%2, ord) ORDER BY ord")
                           .arg(columnList, aliasList, arrays.join(QStringLiteral(", ")))))
            return fail(m_config.describe(), errorText(q.lastError()));
        const int batch = 5000;
        for (int start = 0; start < rows.size(); start += batch) {
            const int count = int(qMin<qsizetype>(batch, rows.size() - start));
            for (int i = 0; i < width; ++i)
                q.bindValue(i, textArray(rows, start, count, i));
            if (!q.exec())
                return fail(m_config.describe(), errorText(q.lastError()));
        }
        return true;
    }

    // In-process engines: one prepared row at a time is fastest.
    if (!q.prepare(
            QStringLiteral("INSERT INTO student (%1) VALUES (%2)")
                .arg(columnList, QStringList(width, QStringLiteral("?")).join(QLatin1Char(',')))))
        return fail(m_config.describe(), errorText(q.lastError()));
    for (const QStringList &row : rows) {
        for (int i = 0; i < width; ++i)
            q.bindValue(i, nonNull(i < row.size() ? row.at(i) : QString()));
        if (!q.exec())
            return fail(m_config.describe(), errorText(q.lastError()));
    }
    return true;
}

bool Database::finishStudentRewrite()
{
    // Rows of a class not yet claimed (a whole-table rewrite bringing a new
    // class) claim it now.
    for (const QString &c : std::as_const(m_written)) {
        if (!claimClass(c)) {
            abandonStudentRewrite();
            return false;
        }
    }
    m_written.clear();
    m_inRewrite = false;
    if (!commitOrRollBack())
        return false;
    for (auto it = m_claimed.cbegin(); it != m_claimed.cend(); ++it)
        m_classRevisions.insert(it.key(), it.value());
    m_claimed.clear();
    announceSave();
    return true;
}

void Database::abandonStudentRewrite()
{
    m_claimed.clear();
    m_written.clear();
    if (!m_inRewrite)
        return;
    m_inRewrite = false;
    connection().rollback();
}

namespace
{
const QString savedChannel = QStringLiteral("feeoffice_saved");
} // namespace

void Database::announceSave()
{
    // Other PCs listening hear of the save at once; the others look a few
    // times a minute.
    if (m_config.driver == QLatin1String("QPSQL"))
        QSqlQuery(connection()).exec(QStringLiteral("NOTIFY ") + savedChannel);
}

bool Database::watchSaves(QObject *context, const std::function<void()> &onSave)
{
    QSqlDriver *driver = connection().driver();
    if (!driver || !driver->hasFeature(QSqlDriver::EventNotifications))
        return false;
    if (!driver->subscribedToNotifications().contains(savedChannel) &&
        !driver->subscribeToNotification(savedChannel))
        return false;
    QObject::connect(
        driver, &QSqlDriver::notification, context,
        [onSave](const QString &name, QSqlDriver::NotificationSource source, const QVariant &) {
            if (name == savedChannel && source != QSqlDriver::SelfSource)
                onSave();
        });
    return true;
}
