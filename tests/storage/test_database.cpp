#include "database.h"
#include "rosterstore.h"
#include "testsupport.h"

#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <array>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
QStringList student(const QString &name, const QString &cls)
{
    return {name,
            QStringLiteral("4"),
            QStringLiteral("1"),
            QString(),
            QStringLiteral("20"),
            QString(),
            QString(),
            QString(),
            QStringLiteral("1450"),
            QStringLiteral("0"),
            QStringLiteral("李老师"),
            QStringLiteral("否"),
            cls};
}

// Makes inserting a row named "BAD" fail inside the database, to break a
// rewrite part-way through.
void installSaboteur(Database &db)
{
    QSqlQuery q(db.connection());
    if (db.config().driver == QLatin1String("QPSQL")) {
        QVERIFY(q.exec(
            QStringLiteral("CREATE OR REPLACE FUNCTION refuse_bad() RETURNS trigger AS $$ BEGIN "
                           "IF NEW.\"儿童姓名\" = 'BAD' THEN RAISE EXCEPTION 'refused'; END IF; "
                           "RETURN NEW; END $$ "
                           "LANGUAGE plpgsql")));
        QVERIFY(q.exec(QStringLiteral("CREATE TRIGGER refuse_bad BEFORE INSERT ON student FOR EACH "
                                      "ROW EXECUTE FUNCTION refuse_bad()")));
        QVERIFY(q.exec(QStringLiteral(
            "CREATE OR REPLACE FUNCTION refuse_bad_class() RETURNS trigger AS $$ BEGIN "
            "IF NEW.\"班级\" = 'BAD' THEN RAISE EXCEPTION 'refused'; END IF; RETURN NEW; END $$ "
            "LANGUAGE plpgsql")));
        QVERIFY(q.exec(QStringLiteral("CREATE TRIGGER refuse_bad_class BEFORE INSERT ON \"class\" "
                                      "FOR EACH ROW EXECUTE FUNCTION refuse_bad_class()")));
    } else {
        QVERIFY(q.exec(
            QStringLiteral("CREATE TRIGGER refuse_bad BEFORE INSERT ON student WHEN "
                           "NEW.\"儿童姓名\" = 'BAD' BEGIN SELECT RAISE(ABORT, 'refused'); END")));
        QVERIFY(q.exec(
            QStringLiteral("CREATE TRIGGER refuse_bad_class BEFORE INSERT ON \"class\" WHEN "
                           "NEW.\"班级\" = 'BAD' BEGIN SELECT RAISE(ABORT, 'refused'); END")));
    }
}
} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT
    TestWorld *m_world = nullptr;

    DbConfig config(const QString &backend)
    {
        if (backend == QLatin1String("postgres")) {
            // A clean database for every test.
            Database admin(postgresConfig());
            if (admin.open()) {
                QSqlQuery q(admin.connection());
                q.exec(QStringLiteral("DROP TABLE IF EXISTS student, \"class\", "
                                      "feeoffice_revision, feeoffice_class_revision, "
                                      "receipt_journal, receipt_serial, ledger_entry, "
                                      "ledger_balance, receipt_void, receipt_unprinted, "
                                      "audit_log, month_closing CASCADE"));
            }
            return postgresConfig();
        }
        if (backend == QLatin1String("odbc")) {
            DbConfig c;
            c.driver = QStringLiteral("QODBC");
            c.odbc = QStringLiteral("DRIVER={SQLite3};DATABASE=%1").arg(m_world->databasePath());
            return c;
        }
        return DbConfig::sqlite(m_world->databasePath());
    }

    void backends()
    {
        QTest::addColumn<QString>("backend");
        QTest::newRow("sqlite") << QStringLiteral("sqlite");
        QTest::newRow("postgres") << QStringLiteral("postgres");
        QTest::newRow("odbc") << QStringLiteral("odbc");
    }

    static bool odbcAvailable()
    {
        // unixODBC with the SQLite3 driver, as scripts/install-deps.sh sets it up.
        QFile drivers(QStringLiteral("/etc/odbcinst.ini"));
        return QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC")) &&
               drivers.open(QIODevice::ReadOnly) && drivers.readAll().contains("[SQLite3]");
    }

#define SKIP_UNAVAILABLE(backend)                                                                  \
    if ((backend) == QLatin1String("postgres") && !postgresAvailable())                            \
        QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");                           \
    if ((backend) == QLatin1String("odbc") && !odbcAvailable())                                    \
    QSKIP("no ODBC driver for SQLite (unixodbc, libsqliteodbc, libqt6sql6-odbc)")

private slots:
    void init()
    {
        m_world = new TestWorld;
    }
    void cleanup()
    {
        delete m_world;
        m_world = nullptr;
    }

    void schemaOnFirstUse_data()
    {
        backends();
    }
    void schemaOnFirstUse()
    {
        QFETCH(QString, backend);
        SKIP_UNAVAILABLE(backend);
        Database db(config(backend));
        QVERIFY2(db.open(), qPrintable(db.errorString()));
        const QSqlRecord students = db.connection().record(QStringLiteral("student"));
        QCOMPARE(students.count(), 14);
        QCOMPARE(students.fieldName(0), QStringLiteral("id"));
        for (int i = 0; i < 13; ++i)
            QCOMPARE(students.fieldName(i + 1), Database::studentColumns().at(i));
        const QSqlRecord classes = db.connection().record(QStringLiteral("class"));
        QCOMPARE(classes.count(), 2);
        QCOMPARE(classes.fieldName(1), QStringLiteral("班级"));
        QCOMPARE(readClassNames(db), QStringList());
        // Opening again keeps what is there.
        QVERIFY(writeClasses(db, {QStringLiteral("大一班")}));
        Database again(db.config());
        QVERIFY(again.open());
        QCOMPARE(readClassNames(again), QStringList{QStringLiteral("大一班")});
    }

    void defaultFileInDataDirectory()
    {
        const QString path = DbConfig::defaultSqlitePath();
        QVERIFY(path.endsWith(QStringLiteral("feeoffice/feeoffice.sqlite")));
        QVERIFY(QDir::isAbsolutePath(path));
    }

    void quotedClassNameLoadsOnlyItsOwn_data()
    {
        backends();
    }
    void quotedClassNameLoadsOnlyItsOwn()
    {
        QFETCH(QString, backend);
        SKIP_UNAVAILABLE(backend);
        Database db(config(backend));
        QVERIFY(db.open());
        const QString hostile = QStringLiteral("a' OR '1'='1");
        QVERIFY(saveRows(db, {student(QStringLiteral("甲"), QStringLiteral("大一班")),
                              student(QStringLiteral("乙"), hostile),
                              student(QStringLiteral("丙"), QStringLiteral("大一班")),
                              student(QStringLiteral("丁"), hostile)}));
        const auto rows = readRows(db, hostile);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0).at(0), QStringLiteral("乙"));
        QCOMPARE(rows.at(1).at(0), QStringLiteral("丁"));
        QCOMPARE(rows.at(0).size(), 12);
        const auto all = RosterStore(db).readAllStudents().value();
        QCOMPARE(all.value(QStringLiteral("大一班")).size(), 2);
        QCOMPARE(all.value(QStringLiteral("大一班")).at(1).text(0), QStringLiteral("丙"));
    }

    void failedClassRewriteKeepsOldRows_data()
    {
        backends();
    }
    void failedClassRewriteKeepsOldRows()
    {
        QFETCH(QString, backend);
        SKIP_UNAVAILABLE(backend);
        Database db(config(backend));
        QVERIFY(db.open());
        QVERIFY(writeClasses(db, {QStringLiteral("A"), QStringLiteral("B")}));
        installSaboteur(db);
        const WriteResult refused =
            writeClasses(db, {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("BAD")});
        QVERIFY(!refused);
        QCOMPARE(refused.kind, WriteResult::Unreachable);
        QVERIFY(refused.detail.contains(QStringLiteral("refused")));
        QCOMPARE(readClassNames(db), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
        // And the connection is usable afterwards.
        QVERIFY(writeClasses(db, {QStringLiteral("C")}));
        QCOMPARE(readClassNames(db), QStringList{QStringLiteral("C")});
    }

    void failedStudentRewriteKeepsOldRows_data()
    {
        backends();
    }
    void failedStudentRewriteKeepsOldRows()
    {
        QFETCH(QString, backend);
        SKIP_UNAVAILABLE(backend);
        Database db(config(backend));
        QVERIFY(db.open());
        QVERIFY(saveRows(db, {student(QStringLiteral("甲"), QStringLiteral("A"))}));
        installSaboteur(db);
        QVERIFY(!saveRows(db, {student(QStringLiteral("乙"), QStringLiteral("A")),
                               student(QStringLiteral("BAD"), QStringLiteral("B"))}));
        const auto rows = readRows(db, QStringLiteral("A"));
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.at(0).at(0), QStringLiteral("甲"));
    }

    void unopenable_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("not a database") << QStringLiteral("garbage");
        QTest::newRow("no such directory") << QStringLiteral("unreachable");
        QTest::newRow("no such driver") << QStringLiteral("driver");
    }
    void unopenable()
    {
        QFETCH(QString, kind);
        DbConfig c = DbConfig::sqlite(m_world->path(QStringLiteral("garbage.sqlite")));
        if (kind == QLatin1String("garbage")) {
            QFile f(c.path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, 'x'));
        } else if (kind == QLatin1String("unreachable")) {
            c.path = QStringLiteral("/proc/feeoffice-nowhere/rosters.sqlite");
        } else {
            c.driver = QStringLiteral("QNOSUCHDRIVER");
        }
        Database db(c);
        QVERIFY(!db.open());
        QVERIFY2(db.errorString().contains(c.driver), qPrintable(db.errorString()));
        QVERIFY(!db.isOpen() || !RosterStore(db).readClasses());
    }

    // Money, receipts and the audit log take new rows only, whichever
    // program sends the statement.
    void appendOnlyTablesRefuseChanges_data()
    {
        backends();
    }
    void appendOnlyTablesRefuseChanges()
    {
        QFETCH(QString, backend);
        SKIP_UNAVAILABLE(backend);
        const DbConfig c = config(backend);
        {
            Database db(c);
            QVERIFY2(db.open(), qPrintable(db.errorString()));
        }
        // Another program's connection, not the program's write path.
        QSqlDatabase other = QSqlDatabase::addDatabase(c.driver, QStringLiteral("sql client"));
        if (c.isPostgres()) {
            other.setHostName(c.host);
            other.setPort(c.port);
            other.setDatabaseName(c.name);
            other.setUserName(c.user);
        } else {
            other.setDatabaseName(c.isSqlite() ? c.path : c.odbc);
        }
        QVERIFY(other.open());
        {
            QSqlQuery q(other);
            const QList<std::array<QString, 3>> rows = {
                {"ledger_entry",
                 "(kind, child_id, month, amount_fen, recorded_at) VALUES ('实收', 'x', "
                 "'2026-05', -100, '2026-05-14 10:00:00')",
                 "amount_fen = 0"},
                {"receipt_journal",
                 "(serial, year, number, printed_at, month, total_fen) VALUES ('2099-000001', "
                 "2099, 1, '2099-05-14', '2099-05', 100)",
                 "total_fen = 0"},
                {"receipt_void", "(serial, reason, voided_at) VALUES ('2099-000001', 'x', 'x')",
                 "reason = 'y'"},
                {"receipt_unprinted", "(serial, noted_at) VALUES ('2099-000001', 'x')",
                 "reason = 'y'"},
                {"audit_log", "(at, kind, what) VALUES ('x', 'x', 'x')", "what = 'y'"},
                {"month_closing", "(month, closed_at) VALUES ('2099-05', 'x')", "clerk = 'y'"}};
            for (const auto &[table, values, change] : rows) {
                QVERIFY2(q.exec(QStringLiteral("INSERT INTO %1 %2").arg(table, values)),
                         qPrintable(table + q.lastError().text()));
                QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM %1").arg(table)) && q.next());
                const qint64 count = q.value(0).toLongLong();
                QVERIFY2(!q.exec(QStringLiteral("DELETE FROM %1").arg(table)), qPrintable(table));
                QVERIFY2(q.lastError().text().contains(QStringLiteral("只能添加")),
                         qPrintable(q.lastError().text()));
                QVERIFY2(!q.exec(QStringLiteral("UPDATE %1 SET %2").arg(table, change)),
                         qPrintable(table));
                if (c.isPostgres())
                    QVERIFY(!q.exec(QStringLiteral("TRUNCATE %1 CASCADE").arg(table)));
                QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM %1").arg(table)) && q.next());
                QCOMPARE(q.value(0).toLongLong(), count);
                // The database's own command-line client is refused too.
                for (const QString &statement :
                     {QStringLiteral("DELETE FROM %1").arg(table),
                      QStringLiteral("UPDATE %1 SET %2").arg(table, change)}) {
                    QProcess cli;
                    if (c.isPostgres())
                        cli.start(QStringLiteral("psql"),
                                  {QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                                   QStringLiteral("-h"), c.host, QStringLiteral("-p"),
                                   QString::number(c.port), QStringLiteral("-U"), c.user,
                                   QStringLiteral("-d"), c.name, QStringLiteral("-c"), statement});
                    else if (c.isSqlite())
                        cli.start(QStringLiteral("sqlite3"), {c.path, statement});
                    else
                        break;
                    QVERIFY2(cli.waitForFinished(30000), qPrintable(cli.errorString()));
                    QVERIFY2(cli.exitCode() != 0, qPrintable(statement));
                    QVERIFY2(QString::fromUtf8(cli.readAllStandardError())
                                 .contains(QStringLiteral("只能添加")),
                             qPrintable(statement));
                }
                QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM %1").arg(table)) && q.next());
                QCOMPARE(q.value(0).toLongLong(), count);
            }
        }
        other.close();
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("sql client"));
    }

    // A file the user may write in a folder the user may not: SQLite cannot
    // make its journal beside it. Root writes anywhere, so the user is
    // played by a child process that gives root up.
    void readOnlyFolderIsSaid()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to act as another user");
        const QString dir = m_world->path(QStringLiteral("locked-folder"));
        QVERIFY(QDir().mkpath(dir));
        // The other user must reach the folder through the test's own.
        QVERIFY(::chmod(QFile::encodeName(QFileInfo(dir).absolutePath()).constData(), 0711) == 0);
        const QString path = dir + QStringLiteral("/rosters.sqlite");
        seedDatabase(path, {QStringLiteral("A")}, {student(QStringLiteral("甲"), "A")});
        const uid_t nobody = 65534;
        QVERIFY(::chown(QFile::encodeName(dir).constData(), nobody, nobody) == 0);
        QVERIFY(::chown(QFile::encodeName(path).constData(), nobody, nobody) == 0);
        QVERIFY(::chmod(QFile::encodeName(dir).constData(), 0555) == 0);
        int fds[2];
        QVERIFY(::pipe(fds) == 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            QByteArray said;
            if (::setgid(nobody) == 0 && ::setuid(nobody) == 0) {
                Database db(DbConfig::sqlite(path));
                const bool opened = db.open();
                said = (opened ? QByteArray("opened\n") : db.errorString().toUtf8() + '\n') +
                       db.readOnlyReason().toUtf8() + '\n';
                QVector<ChildRecord> rows = storedRecords({student(QStringLiteral("乙"), "A")});
                const WriteResult r = RosterStore(db).replaceStudents(std::nullopt, rows);
                said += QByteArray::number(int(r.kind)) + '\n' + r.text.toUtf8() + '\n';
            }
            (void)!::write(fds[1], said.constData(), size_t(said.size()));
            ::_exit(0);
        }
        ::close(fds[1]);
        QByteArray got;
        char buf[4096];
        for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
            got.append(buf, n);
        ::close(fds[0]);
        ::waitpid(pid, nullptr, 0);
        ::chmod(QFile::encodeName(dir).constData(), 0755);
        const QStringList lines = QString::fromUtf8(got).split(QLatin1Char('\n'));
        QVERIFY2(lines.size() >= 4, got.constData());
        QCOMPARE(lines.at(0), QStringLiteral("opened"));
        // Said when the database is opened, and again when a write fails:
        // the folder, not an unanswering database.
        QVERIFY2(lines.at(1).contains(QStringLiteral("文件夹")), qPrintable(lines.at(1)));
        QCOMPARE(lines.at(2).toInt(), int(WriteResult::File));
        QVERIFY2(lines.at(3).contains(QStringLiteral("文件夹")), qPrintable(lines.at(3)));
        QCOMPARE(storedStudents(path).size(), 1);
    }

    void hostileTextStoredExactly_data()
    {
        backends();
    }
    void hostileTextStoredExactly()
    {
        QFETCH(QString, backend);
        SKIP_UNAVAILABLE(backend);
        Database db(config(backend));
        QVERIFY(db.open());
        const QStringList texts = {
            QStringLiteral("'; DROP TABLE student; --"),
            QStringLiteral("\"班级\" = '' OR 1=1"),
            QString(10000, QChar(0x738B)),
            QStringLiteral("del\x7f and more"),
            QString::fromUcs4(U"\U00020BB7\U0001F600 王"),
            QStringLiteral("  surrounding blanks  "),
            QStringLiteral("C:\\path\\\"quoted\" {a,b} NULL"),
            QString(),
        };
        QVector<QStringList> rows;
        for (const QString &t : texts) {
            QStringList r = student(t, t);
            r[10] = t;
            rows << r;
        }
        const WriteResult saved = saveRows(db, rows);
        QVERIFY2(saved, qPrintable(saved.oneLine()));
        QVERIFY(writeClasses(db, texts));
        QCOMPARE(readClassNames(db), texts);
        for (const QString &t : texts) {
            const auto back = readRows(db, t);
            QCOMPARE(back.size(), 1);
            QCOMPARE(back.at(0).at(0), t);
            QCOMPARE(back.at(0).at(10), t);
        }
    }

    void concurrentSaveRefused_data()
    {
        backends();
    }
    void concurrentSaveRefused()
    {
        QFETCH(QString, backend);
        SKIP_UNAVAILABLE(backend);
        const DbConfig c = config(backend);
        Database pcA(c), pcB(c);
        QVERIFY(pcA.open());
        QVERIFY(pcB.open());
        QVERIFY(saveRows(pcA, {student(QStringLiteral("甲"), QStringLiteral("A"))}));
        // B loaded before A saved: its save would silently undo A's.
        const WriteResult b = saveRows(pcB, {});
        QVERIFY(b.isConflict());
        QVERIFY(!b.savedAt.isEmpty());
        QCOMPARE(b.conflictClass, QStringLiteral("A"));
        // The class table has a revision of its own, untouched by A's save.
        QVERIFY(writeClasses(pcB, {QStringLiteral("X")}));
        const WriteResult a = writeClasses(pcA, {QStringLiteral("Y")});
        QVERIFY(a.isConflict());
        QVERIFY(a.conflictClass.isEmpty());
        QCOMPARE(readRows(pcA, QStringLiteral("A")).size(), 1);
        // After reloading B may save again, and then A is the stale one.
        QVERIFY(pcB.refreshRevision());
        QVERIFY(saveRows(pcB, {}));
        QVERIFY(saveRows(pcA, {}).isConflict());
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "test_database.moc"
