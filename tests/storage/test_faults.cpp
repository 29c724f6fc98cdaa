#include "database.h"
#include "journalstore.h"
#include "mainwindow.h"
#include "officesession.h"
#include "rosterpage.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTest>
#include <QThread>
#include <csignal>
#include <sys/stat.h>

namespace
{
const int Children = 4000;

QVector<QStringList> roster(const QStringList &classes)
{
    QVector<QStringList> rows;
    for (int i = 0; i < Children; ++i)
        rows << QStringList{QStringLiteral("儿童%1").arg(i),
                            "4",
                            "1",
                            "1",
                            "20",
                            "1",
                            "0",
                            "1",
                            "1800",
                            "0",
                            "李老师",
                            "否",
                            classes.at(i % classes.size())};
    return rows;
}

// Names of every stored child, and whether the set is the old or the new.
enum class State { Old, New, Mixed };
State storedState(const DbConfig &config, int *count)
{
    Database db(config);
    if (!db.open())
        return State::Mixed;
    QSqlQuery q(db.connection());
    q.exec(QStringLiteral("SELECT \"儿童姓名\" FROM student"));
    int renamed = 0, plain = 0;
    while (q.next())
        (q.value(0).toString().endsWith(QStringLiteral("新")) ? renamed : plain)++;
    *count = renamed + plain;
    if (plain == Children && renamed == 0)
        return State::Old;
    if (renamed == Children && plain == 0)
        return State::New;
    return State::Mixed;
}

// A client killed during its commit may still have the server finish that
// commit a moment later; the next round waits until its session is gone.
void waitForOtherSessions(const DbConfig &config)
{
    if (config.driver != QLatin1String("QPSQL"))
        return;
    Database admin(postgresConfig());
    QVERIFY(admin.open());
    QSqlQuery q(admin.connection());
    for (int i = 0; i < 200; ++i) {
        q.prepare(
            QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE datname = ? AND pid <> "
                           "pg_backend_pid()"));
        q.addBindValue(config.name);
        if (q.exec() && q.next() && q.value(0).toInt() == 0)
            return;
        QThread::msleep(50);
    }
}

void seed(const DbConfig &config)
{
    waitForOtherSessions(config);
    const QStringList classes{"大一班", "大二班", "中一班", "小一班"};
    Database db(config);
    QVERIFY2(db.open(), qPrintable(db.errorString()));
    QVERIFY(writeClasses(db, classes));
    QVERIFY(saveRows(db, roster(classes)));
}
} // namespace

class TestFaults : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

private slots:
    void init() { w = new TestWorld; }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    void killedDuringSave_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::newRow("sqlite") << QStringLiteral("sqlite");
        QTest::newRow("postgres") << QStringLiteral("postgres");
    }
    void killedDuringSave()
    {
        QFETCH(QString, backend);
        const bool pg = backend == QLatin1String("postgres");
        if (pg && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        DbConfig config = pg ? postgresConfig() : DbConfig::sqlite(w->databasePath());
        if (pg) {
            config.name = QStringLiteral("feeoffice_crash");
            Database admin(postgresConfig());
            QVERIFY(admin.open());
            QSqlQuery q(admin.connection());
            q.exec(QStringLiteral("DROP DATABASE IF EXISTS feeoffice_crash"));
            QVERIFY(q.exec(QStringLiteral("CREATE DATABASE feeoffice_crash")));
        }
        QStringList args{config.path};
        if (pg)
            args =
                QStringList{QString(),   config.driver, config.host, QString::number(config.port),
                            config.name, config.user};

        // How long one save takes, to spread the kills over it.
        seed(config);
        QElapsedTimer clock;
        QProcess probe;
        probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        probe.start(QStringLiteral(FEEOFFICE_CRASH_SAVER), args);
        QVERIFY(probe.waitForReadyRead(60000));
        clock.start();
        QVERIFY(probe.waitForFinished(60000));
        const qint64 saveMs = qMax<qint64>(clock.elapsed(), 20);
        int count = 0;
        QCOMPARE(storedState(config, &count), State::New);

#if defined(__SANITIZE_ADDRESS__)
        // Each round is several times slower under the sanitizers.
        const int killPoints = 24;
#else
        const int killPoints = 60;
#endif
        int sawOld = 0, sawNew = 0;
        for (int k = 0; k < killPoints; ++k) {
            seed(config);
            QProcess child;
            child.start(QStringLiteral(FEEOFFICE_CRASH_SAVER), args);
            QVERIFY(child.waitForStarted());
            QVERIFY(child.waitForReadyRead(60000));
            // From just after the save starts to a little after it should end.
            QThread::usleep(ulong(saveMs * 1100 * k / killPoints));
            ::kill(pid_t(child.processId()), SIGKILL);
            child.waitForFinished(10000);
            const State s = storedState(config, &count);
            QVERIFY2(s != State::Mixed,
                     qPrintable(QStringLiteral("kill point %1: %2 rows, mixed").arg(k).arg(count)));
            (s == State::Old ? sawOld : sawNew)++;
        }
        qInfo("%s: %d kill points over a %lld ms save: %d left the old rosters, %d the new",
              qPrintable(backend), killPoints, saveMs, sawOld, sawNew);
        QVERIFY(sawOld > 0);
    }

    void diskFullOrReadOnly_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("classesFail"); // a few class names still fit a full disk
        QTest::addColumn<QString>("said");
        QTest::newRow("disk full") << QStringLiteral("PRAGMA max_page_count = 1") << false
                                   << QStringLiteral("连接数据库失败");
        // A database that refuses writes is said to be read-only, not gone.
        QTest::newRow("read-only") << QStringLiteral("PRAGMA query_only = ON") << true
                                   << QStringLiteral("没有写入：数据库是只读的");
    }
    void diskFullOrReadOnly()
    {
        QFETCH(QString, fault);
        QFETCH(bool, classesFail);
        QFETCH(QString, said);
        const QStringList classes{"A", "B"};
        {
            Database db(DbConfig::sqlite(w->databasePath()));
            QVERIFY(db.open());
            QVERIFY(writeClasses(db, classes));
            QVERIFY(saveRows(db, roster(classes).mid(0, 200)));
        }
        const auto before = storedStudents(w->databasePath());
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        for (RosterPage *p : mw.pages())
            for (int i = 0; i < 300; ++i)
                p->addRow();
        const auto window =
            texts(mw.page(0)->document()->records()) + texts(mw.page(1)->document()->records());
        QSqlQuery q(mw.session().database().connection());
        q.exec(fault);
        QVERIFY(!mw.onButtonSaveDB());
        QCOMPARE(w->messages.size(), 1);
        QCOMPARE(w->messages.at(0).text, said);
        QVERIFY(!mw.statusText().isEmpty());
        QCOMPARE(texts(mw.page(0)->document()->records()) +
                     texts(mw.page(1)->document()->records()),
                 window);
        QCOMPARE(storedStudents(w->databasePath()), before);
        if (classesFail) {
            mw.addclassEdit->setText(QStringLiteral("C"));
            mw.onButtonAddclassOK();
            QCOMPARE(w->messages.last().text, QStringLiteral("班级保存失败"));
            QCOMPARE(storedClasses(w->databasePath()), classes);
        }
    }

    void databaseFileGone()
    {
        seedDatabase(w->databasePath(), {"A"},
                     {{"甲", "4", "", "", "", "", "", "", "", "", "", "否", "A"}});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        mw.page(0)->addRow();
        QVERIFY(QFile::remove(w->databasePath()));
        // Writing into the deleted file would look like success and lose
        // everything at the next start.
        QVERIFY(!mw.onButtonSaveDB());
        QCOMPARE(w->messages.size(), 1);
        QVERIFY(mw.statusText().contains(QStringLiteral("rosters.sqlite")));
        QCOMPARE(mw.page(0)->document()->size(), 2);
    }

    void serverGoneBetweenLoadAndSave()
    {
        if (!postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        DbConfig config = postgresConfig();
        config.name = QStringLiteral("feeoffice_gone");
        {
            Database admin(postgresConfig());
            QVERIFY(admin.open());
            QSqlQuery q(admin.connection());
            q.exec(QStringLiteral("DROP DATABASE IF EXISTS feeoffice_gone"));
            QVERIFY(q.exec(QStringLiteral("CREATE DATABASE feeoffice_gone")));
        }
        {
            Database db(config);
            QVERIFY(db.open());
            QVERIFY(writeClasses(db, {"A"}));
        }
        MainWindow mw(config);
        mw.page(0)->addRow();
        // The server drops this PC's connection, as a restart would.
        {
            Database admin(postgresConfig());
            QVERIFY(admin.open());
            QSqlQuery q(admin.connection());
            QVERIFY(q.exec(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                          "WHERE datname = 'feeoffice_gone'")));
        }
        // The save opens a fresh connection and goes through, unasked.
        QVERIFY(mw.onButtonSaveDB());
        QVERIFY(w->messages.isEmpty());
        QCOMPARE(mw.page(0)->document()->size(), 1);
        Database check(config);
        QVERIFY(check.open());
        QCOMPARE(readRows(check, QStringLiteral("A")).size(), 1);
    }

    void hostileTextThroughTheWindow()
    {
        const QStringList texts = {QStringLiteral("a' OR '1'='1"),
                                   QStringLiteral("'); DELETE FROM student; --"),
                                   QString(10000, QChar(0x738B)), QStringLiteral("del\x7f"),
                                   QString::fromUcs4(U"\U00020BB7\U0001F600")};
        // A class name longer than 50 characters or holding a control
        // character (DEL) is refused; every text is still a child's name.
        const QStringList classes = {texts.at(0), texts.at(1), texts.at(4)};
        {
            MainWindow mw(DbConfig::sqlite(w->databasePath()));
            for (const QString &t : classes) {
                mw.addclassEdit->setText(t);
                mw.onButtonAddclassOK();
                RosterDocument *d = mw.page(mw.tabWidget->count() - 1)->document();
                for (const QString &name : texts) {
                    const int r = d->addRow();
                    d->setText(r, 0, name);
                    d->setText(r, 1, name);
                }
            }
            QVERIFY(mw.onButtonSaveDB());
        }
        QVERIFY(w->messages.isEmpty());
        MainWindow again(DbConfig::sqlite(w->databasePath()));
        QCOMPARE(again.session().classes(), classes);
        for (int i = 0; i < classes.size(); ++i) {
            RosterPage *p = again.page(i);
            QCOMPARE(p->objectName(), classes.at(i));
            QCOMPARE(p->document()->size(), texts.size());
            for (int r = 0; r < texts.size(); ++r) {
                QCOMPARE(cell(*p, r, 0), texts.at(r));
                QCOMPARE(cell(*p, r, 1), texts.at(r));
            }
        }
    }

    void killedWhilePrinting_data()
    {
        killedDuringSave_data();
    }
    void killedWhilePrinting()
    {
        // The pages go to a printer that takes them slowly (a pipe nobody
        // reads): the program is killed while they go out. Every receipt on
        // paper must be in the journal already.
        QFETCH(QString, backend);
        const bool pg = backend == QLatin1String("postgres");
        if (pg && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = pg ? freshPostgres() : DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"},
                     {{"甲", "4", "1000", "", "", "", "", "", "", "", "李", "否", "A"},
                      {"乙", "4", "900", "", "", "", "", "", "", "", "李", "否", "A"}});
        QStringList args{config.path};
        if (pg)
            args =
                QStringList{QString(),   config.driver, config.host, QString::number(config.port),
                            config.name, config.user};
        const QString pipe = w->path(QStringLiteral("printer.pdf"));
        QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("FEEOFFICE_CRASH_PRINT_TO"), pipe);
        child.setProcessEnvironment(env);
        child.start(QStringLiteral(FEEOFFICE_CRASH_SAVER), args);
        QVERIFY(child.waitForReadyRead(60000));
        QVERIFY(child.readAll().contains("printing"));
        // Well past recording, blocked in handing out the pages.
        QThread::msleep(1500);
        QCOMPARE(child.state(), QProcess::Running);
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(10000));
        Database db(config);
        QVERIFY(db.open());
        // The helper runs on the real clock.
        const auto month = JournalStore(db).month(Journal::month(QDateTime::currentDateTime()));
        QVERIFY(month);
        QCOMPARE(month->size(), 2);
    }
};

QTEST_MAIN(TestFaults)
#include "test_faults.moc"
