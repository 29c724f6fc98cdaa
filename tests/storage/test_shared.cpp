// Several PCs on one database: per-class saves, other PCs' saves seen as
// they happen, a connection that drops, text no database may hold, and the
// rosters kept locally when the database is away at closing time.
#include "accountservice.h"
#include "database.h"
#include "journalstore.h"
#include "mainwindow.h"
#include "officesession.h"
#include "queryresults.h"
#include "querywindow.h"
#include "rosterpage.h"
#include "rostersync.h"
#include "testsupport.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

namespace
{
QStringList child(const QString &name, const QString &cls)
{
    return {name, "4", "1", "", "", "", "", "", "1", "", "李", "否", cls};
}

const QString scripts = QStringLiteral(FEEOFFICE_TEST_DATA "/../../scripts");

// A PostgreSQL server of the test's own, which it may stop and start
// without disturbing the tests running beside it.
class PrivatePostgres
{
public:
    ~PrivatePostgres() { run(QStringLiteral("stop")); }
    bool start()
    {
        // A port someone else holds: try another.
        for (int attempt = 0; attempt < 3; ++attempt) {
            m_port = 40000 + int((QCoreApplication::applicationPid() + 977 * attempt) % 9000);
            if (run(QStringLiteral("start")))
                return true;
            run(QStringLiteral("stop"));
            QDir(m_dir.path() + QStringLiteral("/pg")).removeRecursively();
        }
        return false;
    }
    bool restart() { return run(QStringLiteral("restart")); }
    DbConfig config() const
    {
        DbConfig c;
        c.driver = QStringLiteral("QPSQL");
        c.host = QStringLiteral("127.0.0.1");
        c.port = m_port;
        c.user = QStringLiteral("feeoffice");
        c.name = QStringLiteral("feeoffice_test");
        return c;
    }

private:
    bool run(const QString &what)
    {
        if (m_port == 0)
            return false;
        QProcess p;
        p.start(QStringLiteral("bash"), {scripts + QStringLiteral("/pg-private-server.sh"), what,
                                         m_dir.path(), QString::number(m_port)});
        const bool ok = p.waitForFinished(60000) && p.exitCode() == 0;
        if (!ok)
            qWarning("private PostgreSQL %s failed: %s", qPrintable(what),
                     p.readAllStandardError().constData());
        return ok;
    }
    QTemporaryDir m_dir;
    int m_port = 0;
};

RosterDocument &doc(MainWindow &mw, int tab)
{
    return *mw.page(tab)->document();
}
} // namespace

class TestShared : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

    DbConfig backend(bool postgres)
    {
        return postgres ? freshPostgres() : DbConfig::sqlite(w->databasePath());
    }

private slots:
    void init() { w = new TestWorld; }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    void twoClerksTwoClasses_data()
    {
        QTest::addColumn<bool>("postgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgres") << true;
    }
    void twoClerksTwoClasses()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        seedDatabase(config, {"A", "B"}, {child("甲", "A"), child("乙", "B")});
        MainWindow pcA(config), pcB(config), pcC(config);
        // A third PC with unsaved edits in class B.
        doc(pcC, 1).setText(0, Roster::Age, QStringLiteral("5"));

        doc(pcA, 0).setText(0, Roster::Name, QStringLiteral("甲甲"));
        doc(pcB, 1).setText(0, Roster::Name, QStringLiteral("乙乙"));
        QVERIFY(pcA.onButtonSaveDB());
        QVERIFY(pcB.onButtonSaveDB());
        QVERIFY(w->messages.isEmpty());
        QCOMPARE(w->questions, 0);
        const auto stored = storedStudents(config);
        QCOMPARE(stored.size(), 2);
        QStringList names;
        for (const QStringList &r : stored)
            names << r.at(Roster::Name);
        names.sort();
        QCOMPARE(names, (QStringList{"乙乙", "甲甲"}));

        // The same class from a PC that loaded it before: refused, naming it.
        doc(pcB, 0).setText(0, Roster::Age, QStringLiteral("6"));
        w->questionAnswer = QMessageBox::Cancel;
        QVERIFY(!pcB.onButtonSaveDB());
        QCOMPARE(w->questions, 1);
        QVERIFY(w->questionTexts.at(0).contains(QStringLiteral("班级“A”")));
        QCOMPARE(cell(*pcB.page(0), 0, Roster::Age), QStringLiteral("6"));

        // The third PC hears of both saves without a restart: the tab
        // without edits is reloaded, the one with edits keeps them and says so.
        if (postgres)
            QTRY_COMPARE(cell(*pcC.page(0), 0, Roster::Name), QStringLiteral("甲甲"));
        else
            pcC.session().checkForSaves();
        QCOMPARE(cell(*pcC.page(0), 0, Roster::Name), QStringLiteral("甲甲"));
        QVERIFY(!doc(pcC, 0).isModified());
        QTRY_VERIFY(pcC.tabWidget->tabText(1).contains(QStringLiteral("他处已保存")));
        QCOMPARE(cell(*pcC.page(1), 0, Roster::Name), QStringLiteral("乙"));
        QCOMPARE(cell(*pcC.page(1), 0, Roster::Age), QStringLiteral("5"));
    }

    // The README's rights for the clerks' role: the program works under
    // them, and that role can neither change a row of money nor remove the
    // triggers that refuse it.
    void clerksRoleOnASharedServer()
    {
        if (!postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig owner = freshPostgres();
        {
            Database db(owner);
            QVERIFY2(db.open(), qPrintable(db.errorString()));
        }
        const QString clerk = QStringLiteral("fo_clerk_%1").arg(QCoreApplication::applicationPid());
        Database admin(owner);
        QVERIFY(admin.open());
        QSqlQuery a(admin.connection());
        a.exec(QStringLiteral("DROP OWNED BY %1").arg(clerk));
        a.exec(QStringLiteral("DROP ROLE IF EXISTS %1").arg(clerk));
        QVERIFY2(a.exec(QStringLiteral("CREATE ROLE %1 LOGIN").arg(clerk)),
                 qPrintable(a.lastError().text()));
        QFile script(QStringLiteral(FEEOFFICE_SCRIPTS "/pg-roles.sql"));
        QVERIFY(script.open(QIODevice::ReadOnly));
        QString sql;
        for (const QString &line : QString::fromUtf8(script.readAll()).split(QLatin1Char('\n')))
            if (!line.startsWith(QLatin1String("--")))
                sql += line + QLatin1Char('\n');
        sql.replace(QStringLiteral(":\"clerk\""), QStringLiteral("\"%1\"").arg(clerk));
        sql.replace(QStringLiteral(":\"DBNAME\""), QStringLiteral("\"%1\"").arg(owner.name));
        for (const QString &statement : sql.split(QLatin1Char(';'), Qt::SkipEmptyParts))
            if (!statement.trimmed().isEmpty())
                QVERIFY2(a.exec(statement), qPrintable(statement + a.lastError().text()));
        DbConfig asClerk = owner;
        asClerk.user = clerk;
        w->setSetting(QStringLiteral("a"), QStringLiteral("0.9"));
        w->setSetting(QStringLiteral("b"), QStringLiteral("100"));
        for (const char *k : {"c", "d", "e", "f"})
            w->setSetting(QLatin1String(k), QStringLiteral("10"));
        {
            OfficeSession pc(asClerk);
            QVERIFY2(pc.open(), qPrintable(pc.openError()));
            QVERIFY(pc.addClass(QStringLiteral("A")));
            RosterDocument *doc = pc.document(QStringLiteral("A"));
            const int r = doc->addRow();
            doc->setText(r, Roster::Name, QStringLiteral("甲"));
            doc->setText(r, Roster::Tuition, QStringLiteral("1000"));
            const WriteResult saved = pc.save();
            QVERIFY2(saved, qPrintable(saved.oneLine()));
            const auto billed = pc.accounts().billMonth({QStringLiteral("A")});
            QVERIFY2(billed.result, qPrintable(billed.result.oneLine()));
            QCOMPARE(billed.entries, 1);
            QSqlQuery q(pc.database().connection());
            for (const QString &refused :
                 {QStringLiteral("DELETE FROM ledger_entry"),
                  QStringLiteral("UPDATE audit_log SET what = ''"),
                  QStringLiteral("TRUNCATE ledger_entry"),
                  QStringLiteral("DROP TRIGGER keep_ledger_entry ON ledger_entry"),
                  QStringLiteral("ALTER TABLE ledger_entry DISABLE TRIGGER ALL")})
                QVERIFY2(!q.exec(refused), qPrintable(refused));
        }
        QVERIFY(a.exec(QStringLiteral("SELECT count(*) FROM ledger_entry")) && a.next());
        QCOMPARE(a.value(0).toInt(), 1);
        a.exec(QStringLiteral("DROP OWNED BY %1").arg(clerk));
        a.exec(QStringLiteral("DROP ROLE %1").arg(clerk));
    }

    void serverRestartsBetweenSaves()
    {
        if (!postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        PrivatePostgres server;
        QVERIFY(server.start());
        seedDatabase(server.config(), {"A"}, {child("甲", "A")});
        MainWindow mw(server.config());
        mw.page(0)->addRow();
        QVERIFY(mw.onButtonSaveDB());
        QVERIFY(server.restart());
        mw.page(0)->addRow();
        QVERIFY(mw.onButtonSaveDB());
        QVERIFY(w->messages.isEmpty());
        QCOMPARE(storedStudents(server.config()).size(), 3);
    }

    void bigDatabaseBuildsPagesWhenShown()
    {
        seedDatabase(w->databasePath(), {"A", "B", "C"},
                     {child("甲", "A"), child("乙", "B"), child("丙", "C")});
        MainWindow::setEagerLoadLimit(0);
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        MainWindow::setEagerLoadLimit(20000);
        QVERIFY(mw.page(0)->isBuilt());
        QVERIFY(!mw.page(1)->isBuilt());
        QVERIFY(!mw.page(1)->tableView);
        // The rosters themselves are all read.
        QCOMPARE(doc(mw, 1).size(), 1);
        QVERIFY(!mw.hasUnsavedChanges());
        // The query finds a child whose page is not built yet, with its
        // fees as they show.
        mw.selectEdit->setText(QStringLiteral("丙"));
        mw.onButtonSelect();
        QueryResults *results = mw.selectWidget->results();
        QCOMPARE(results->rowCount(), 1);
        QCOMPARE(results->texts(0).at(Roster::ResultClass), QStringLiteral("C"));
        QCOMPARE(results->texts(0).at(Roster::Clerk), QString());
        // The unprinted list holds every child.
        w->directoryAnswers << w->path(QString());
        mw.onButtonSaveUnprint();
        QCOMPARE(readWithOpenpyxl(w->path(QStringLiteral("202605未打印发票打印副本.xlsx"))).size(),
                 3);
        // Saving A leaves the others as stored.
        doc(mw, 0).setText(0, Roster::Name, QStringLiteral("甲甲"));
        QVERIFY(mw.onButtonSaveDB());
        QCOMPARE(storedStudents(w->databasePath()).size(), 3);
        // Showing a tab builds it.
        mw.tabWidget->setCurrentIndex(2);
        QVERIFY(mw.page(2)->tableView);
        QCOMPARE(cell(*mw.page(2), 0, Roster::Name), QStringLiteral("丙"));
        QVERIFY(!doc(mw, 2).isModified());
        // A receipt printed from the query marks the child on its roster.
        w->printToPdf = w->path(QStringLiteral("query.pdf"));
        mw.selectWidget->tableView()->setCurrentIndex(results->index(0, 0));
        mw.selectWidget->printSelectedReceipt();
        QCOMPARE(cell(doc(mw, 2), 0, Roster::PrintStatus), QStringLiteral("05已打印"));
        QVERIFY(!mw.page(1)->isBuilt());
    }

    void controlCharactersNeverStored()
    {
        seedDatabase(w->databasePath(), {"A"}, {child("甲", "A")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        RosterDocument &a = doc(mw, 0);
        // Typed or pasted into a cell: left out.
        QVERIFY(a.setData(a.index(0, Roster::Name),
                          QStringLiteral("张\t三\n") + QChar(0) + QStringLiteral("丰")));
        QCOMPARE(cell(a, 0, Roster::Name), QStringLiteral("张三丰"));
        QVERIFY(mw.onButtonSaveDB());
        // Put there some other way: the save is refused, naming the child.
        a.addRow();
        a.setText(1, Roster::Name, QStringLiteral("李") + QChar(0));
        const auto before = storedStudents(w->databasePath());
        QVERIFY(!mw.onButtonSaveDB());
        QCOMPARE(w->messages.size(), 1);
        QVERIFY(w->messages.at(0).text.contains(QStringLiteral("李")));
        QVERIFY(w->messages.at(0).text.contains(QStringLiteral("控制字符")));
        QCOMPARE(storedStudents(w->databasePath()), before);
    }

    void rostersKeptLocallyWhenTheDatabaseIsAway()
    {
        seedDatabase(w->databasePath(), {"A", "B"}, {child("甲", "A"), child("乙", "B")});
        // The configured database is the one the window opens.
        w->setSetting(QStringLiteral("database/path"), w->databasePath());
        QString kept;
        {
            MainWindow mw(DbConfig::sqlite(w->databasePath()));
            mw.page(1)->addRow();
            doc(mw, 1).setText(1, Roster::Name, QStringLiteral("新生"));
            const QString moved = w->path(QStringLiteral("away.sqlite"));
            QVERIFY(QFile::rename(w->databasePath(), moved));
            w->questionAnswers = {QMessageBox::Save, QMessageBox::Yes};
            QCloseEvent close;
            QCoreApplication::sendEvent(&mw, &close);
            QVERIFY(close.isAccepted());
            QCOMPARE(w->questions, 2);
            const auto &last = w->messages.last();
            const QString folder = RosterSync::keptCopyFolder();
            QVERIFY2(last.text.contains(folder), qPrintable(last.text));
            kept = QDir(folder).entryInfoList({QStringLiteral("*.sqlite")}).value(0).filePath();
            QVERIFY(!kept.isEmpty());
            QVERIFY(QFile::rename(moved, w->databasePath()));
        }
        // The copy holds everything the window held.
        QCOMPARE(storedClasses(kept), (QStringList{"A", "B"}));
        QCOMPARE(storedStudents(kept).size(), 3);
        // Opened on its own, it hands the rosters to the database.
        w->messages.clear();
        MainWindow copy(DbConfig::sqlite(kept));
        QAction *upload = copy.toolAction(QStringLiteral("uploadToServer"));
        QVERIFY(upload);
        w->questionAnswers = {QMessageBox::Yes};
        upload->trigger();
        QVERIFY(w->messages.isEmpty());
        const auto stored = storedStudents(w->databasePath());
        QCOMPARE(stored.size(), 3);
        QCOMPARE(stored.last().at(Roster::Name), QStringLiteral("新生"));
        // A window on the configured database has no such command.
        MainWindow normal(DbConfig::sqlite(w->databasePath()));
        QVERIFY(!normal.toolAction(QStringLiteral("uploadToServer")));
    }

    void keptCopyNeverRevertsAnotherPCsSave_data()
    {
        QTest::addColumn<bool>("postgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgres") << true;
    }
    void keptCopyNeverRevertsAnotherPCsSave()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        // The database the copy goes back to, as the settings name it.
        w->setSetting(QStringLiteral("database/driver"), config.driver);
        w->setSetting(QStringLiteral("database/path"), config.path);
        w->setSetting(QStringLiteral("database/host"), config.host);
        w->setSetting(QStringLiteral("database/port"), QString::number(config.port));
        w->setSetting(QStringLiteral("database/name"), config.name);
        w->setSetting(QStringLiteral("database/user"), config.user);
        seedDatabase(config, {"甲班", "乙班", "丙班"},
                     {child("甲", "甲班"), child("乙", "乙班"), child("丙", "丙班")});
        auto nameIn = [&](const QString &cls) {
            for (const QStringList &r : storedStudents(config))
                if (r.last() == cls)
                    return r.at(Roster::Name);
            return QString();
        };
        // PC1 edits 甲班, prints a receipt the journal cannot take, and
        // keeps its rosters in a local copy.
        QString kept;
        {
            OfficeSession pc1(config);
            QVERIFY(pc1.open());
            pc1.document(QStringLiteral("甲班"))
                ->setText(0, Roster::Name, QStringLiteral("本机旧改"));
            QSqlQuery q(pc1.database().connection());
            QVERIFY(q.exec(QStringLiteral("ALTER TABLE receipt_journal RENAME TO journal_away")));
            JournalEntry receipt;
            receipt.printedAt = QDateTime(QDate(2026, 5, 14), QTime(10, 0));
            receipt.className = QStringLiteral("丙班");
            receipt.name = QStringLiteral("丙");
            receipt.total = 90000;
            QVector<JournalEntry> entries{receipt};
            QVERIFY(!pc1.journal().recordReceipts(entries));
            QVERIFY(q.exec(QStringLiteral("ALTER TABLE journal_away RENAME TO receipt_journal")));
            QCOMPARE(pc1.journal().pendingJournalCount(), 1);
            WriteResult error;
            kept = pc1.keepLocalCopy(&error);
            QVERIFY2(!kept.isEmpty(), qPrintable(error.oneLine()));
            // The receipt moved into the copy: not written twice.
            QCOMPARE(pc1.journal().pendingJournalCount(), 0);
        }
        // PC2 saves 甲班 and 乙班 meanwhile.
        {
            OfficeSession pc2(config);
            QVERIFY(pc2.open());
            pc2.document(QStringLiteral("甲班"))
                ->setText(0, Roster::Name, QStringLiteral("他机新改"));
            pc2.document(QStringLiteral("乙班"))
                ->setText(0, Roster::Name, QStringLiteral("他机乙改"));
            QVERIFY(pc2.save());
        }
        OfficeSession copy(DbConfig::sqlite(kept));
        QVERIFY(copy.open());
        QCOMPARE(copy.uploadClasses(), QStringList{"甲班"});
        // 甲班 was saved there since: named with its time, the clerk keeps
        // the server's. 乙班 and 丙班, untouched here, are never written.
        QStringList asked;
        OfficeSession::UploadReport done;
        QVERIFY(copy.upload(
            [&](const QString &c, const QString &savedAt) {
                asked << c;
                return savedAt.isEmpty();
            },
            &done));
        QCOMPARE(asked, QStringList{"甲班"});
        QCOMPARE(done.kept, QStringList{"甲班"});
        QCOMPARE(done.receipts, 1);
        QCOMPARE(nameIn(QStringLiteral("甲班")), QStringLiteral("他机新改"));
        QCOMPARE(nameIn(QStringLiteral("乙班")), QStringLiteral("他机乙改"));
        QCOMPARE(nameIn(QStringLiteral("丙班")), QStringLiteral("丙"));
        // Chosen the other way, this PC's edit replaces it; still only 甲班.
        QVERIFY(copy.upload([](const QString &, const QString &) { return true; }, &done));
        QCOMPARE(done.written, QStringList{"甲班"});
        QCOMPARE(nameIn(QStringLiteral("甲班")), QStringLiteral("本机旧改"));
        QCOMPARE(nameIn(QStringLiteral("乙班")), QStringLiteral("他机乙改"));
        QCOMPARE(storedStudents(config).size(), 3);
        // The receipt was recorded once, with the first upload.
        QCOMPARE(done.receipts, 0);
        Database check(config);
        QVERIFY(check.open());
        const auto month = JournalStore(check).month(QStringLiteral("2026-05"));
        QVERIFY(month);
        QCOMPARE(month->size(), 1);
        QCOMPARE(month->at(0).name, QStringLiteral("丙"));
    }

    void keptCopyThroughTheWindows()
    {
        // As the clerk does it: the server goes away at closing, the copy is
        // kept, another PC saves meanwhile, the copy is opened and uploaded.
        w->setSetting(QStringLiteral("database/path"), w->databasePath());
        seedDatabase(w->databasePath(), {"甲班", "乙班"},
                     {child("甲", "甲班"), child("乙", "乙班")});
        const QString away = w->path(QStringLiteral("away.sqlite"));
        {
            MainWindow pc1(DbConfig::sqlite(w->databasePath()));
            pc1.page(0)->document()->setText(0, Roster::Name, QStringLiteral("本机旧改"));
            QVERIFY(QFile::rename(w->databasePath(), away));
            w->questionAnswers = {QMessageBox::Save, QMessageBox::Yes};
            QCloseEvent close;
            QCoreApplication::sendEvent(&pc1, &close);
            QVERIFY(close.isAccepted());
            QVERIFY(QFile::rename(away, w->databasePath()));
        }
        {
            MainWindow pc2(DbConfig::sqlite(w->databasePath()));
            pc2.page(0)->document()->setText(0, Roster::Name, QStringLiteral("他机新改"));
            pc2.page(1)->document()->setText(0, Roster::Name, QStringLiteral("他机乙改"));
            QVERIFY(pc2.onButtonSaveDB());
        }
        const QString kept = QDir(RosterSync::keptCopyFolder())
                                 .entryInfoList({QStringLiteral("*.sqlite")})
                                 .value(0)
                                 .filePath();
        QVERIFY(!kept.isEmpty());
        MainWindow copy(DbConfig::sqlite(kept));
        w->questions = 0;
        w->questionTexts.clear();
        // Upload: yes; 甲班, saved there since: keep the server's.
        w->questionAnswers = {QMessageBox::Yes, QMessageBox::No};
        copy.toolAction(QStringLiteral("uploadToServer"))->trigger();
        QCOMPARE(w->questions, 2);
        QVERIFY2(w->questionTexts.at(0).contains(QStringLiteral("甲班")) &&
                     !w->questionTexts.at(0).contains(QStringLiteral("乙班")),
                 qPrintable(w->questionTexts.at(0)));
        QVERIFY(w->questionTexts.at(1).contains(QStringLiteral("甲班")));
        QCOMPARE(storedStudents(w->databasePath()).at(0).at(Roster::Name),
                 QStringLiteral("他机新改"));
        QCOMPARE(storedStudents(w->databasePath()).at(1).at(Roster::Name),
                 QStringLiteral("他机乙改"));
    }
};

QTEST_MAIN(TestShared)
#include "test_shared.moc"
