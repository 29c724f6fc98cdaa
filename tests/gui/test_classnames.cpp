// A class's name is typed by one clerk and read by every window, message
// and file name: it never reaches outside the chosen folder, never turns a
// title around, and a class whose adding failed is stored with its children.
#include "database.h"
#include "journaldialog.h"
#include "mainwindow.h"
#include "officesession.h"
#include "rosterpage.h"
#include "testsupport.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

namespace
{
QStringList child(const QString &name, const QString &cls)
{
    return {name, "4", "1000", "", "", "", "", "", "", "", "李", "否", cls};
}

QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
}
} // namespace

class TestClassNames : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

    void add(MainWindow &mw, const QString &name)
    {
        mw.addclassWidget->show();
        mw.addclassEdit->setText(name);
        mw.onButtonAddclassOK();
    }

private slots:
    void init() { w = new TestWorld; }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    void typedNames_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored"); // empty: refused
        QTest::addColumn<QString>("reason");
        QTest::newRow("trimmed") << QStringLiteral("  大班 ") << QStringLiteral("大班")
                                 << QString();
        QTest::newRow("ampersand") << QStringLiteral("a&b") << QStringLiteral("a&b") << QString();
        QTest::newRow("percent signs")
            << QStringLiteral("%s%n%x%1") << QStringLiteral("%s%n%x%1") << QString();
        QTest::newRow("dot") << QStringLiteral("大班.1") << QStringLiteral("大班.1") << QString();
        QTest::newRow("path") << QStringLiteral("/../../outside/pwned") << QString()
                              << QStringLiteral("“/”");
        QTest::newRow("backslash") << QStringLiteral("a\\b") << QString() << QStringLiteral("“\\”");
        QTest::newRow("nul") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << QString()
                             << QStringLiteral("U+0000");
        QTest::newRow("tab") << QStringLiteral("a\tb") << QString() << QStringLiteral("U+0009");
        QTest::newRow("right-to-left override")
            << QStringLiteral("班") + QChar(0x202E) + QStringLiteral("fdp.exe") << QString()
            << QStringLiteral("U+202E");
        QTest::newRow("blank") << QStringLiteral("   ") << QString() << QStringLiteral("不能为空");
        QTest::newRow("too long") << QString(51, QChar(0x73ED)) << QString()
                                  << QStringLiteral("太长");
        QTest::newRow("duplicate after trimming")
            << QStringLiteral(" A") << QString() << QStringLiteral("已经有");
    }
    void typedNames()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(QString, reason);
        seedDatabase(w->databasePath(), {"A"}, {child("甲", "A")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        if (typed.contains(QChar(0))) {
            // The line edit drops a NUL; a pasted one reaches the office
            // layer through other ways (an import, another program).
            const WriteResult r = mw.session().addClass(typed);
            QCOMPARE(r.kind, WriteResult::Refused);
            QVERIFY2(r.text.contains(reason), qPrintable(r.text));
            QCOMPARE(storedClasses(w->databasePath()), QStringList{"A"});
            return;
        }
        add(mw, typed);
        if (stored.isEmpty()) {
            QCOMPARE(w->messages.size(), 1);
            QVERIFY2(w->messages.at(0).text.contains(reason), qPrintable(w->messages.at(0).text));
            QCOMPARE(mw.tabWidget->count(), 1);
            QCOMPARE(storedClasses(w->databasePath()), QStringList{"A"});
            QVERIFY(mw.addclassWidget->isVisible());
            return;
        }
        QVERIFY(w->messages.isEmpty());
        QCOMPARE(storedClasses(w->databasePath()), (QStringList{"A", stored}));
        // The tab shows the name itself: no mnemonic underline.
        QCOMPARE(mw.tabWidget->tabText(1).replace(QStringLiteral("&&"), QStringLiteral("&")),
                 stored);
        // Its export is an .xlsx in the folder chosen, named after it.
        RosterPage *page = mw.page(1);
        page->addRow();
        w->directoryAnswers << w->path(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(w->path(QStringLiteral("out"))));
        page->toolButton(QStringLiteral("saveExcel"))->click();
        QCOMPARE(
            filesIn(w->path(QStringLiteral("out"))),
            QStringList{QStringLiteral("202605") + stored + QStringLiteral("发票打印副本.xlsx")});
        // The journal's totals line keeps the name as it is.
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        page->printReceiptRange(1, 1);
        JournalDialog journal(mw.session(), nullptr);
        QVERIFY2(journal.totals()->text().contains(stored + QStringLiteral("：1 张，")),
                 qPrintable(journal.totals()->text()));
    }

    void storedNamesNeverLeaveTheFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("parent folders")
            << QStringLiteral("/../../outside/pwned") << QStringLiteral("“/”");
        QTest::newRow("only dots") << QStringLiteral("/..") << QStringLiteral("“/”");
        QTest::newRow("too long for a file name")
            << QString(90, QChar(0x73ED)) << QStringLiteral("太长");
    }
    void storedNamesNeverLeaveTheFolder()
    {
        // Written by another program or an older version: the list is read
        // as it is, but no file is made from such a name.
        QFETCH(QString, name);
        QFETCH(QString, reason);
        seedDatabase(w->databasePath(), {name}, {child("甲", name)});
        const QString out = w->path(QStringLiteral("a/b/out"));
        QVERIFY(QDir().mkpath(out));
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        w->directoryAnswers << out;
        mw.page(0)->toolButton(QStringLiteral("saveExcel"))->click();
        QCOMPARE(w->messages.size(), 1);
        QVERIFY2(w->messages.at(0).text.contains(reason), qPrintable(w->messages.at(0).text));
        QVERIFY(filesIn(out).isEmpty());
        QVERIFY(filesIn(w->path(QStringLiteral("a"))).isEmpty());
        QVERIFY(!QDir(w->path(QStringLiteral("outside"))).exists());
        QVERIFY(!QDir(w->path(QStringLiteral("a/outside"))).exists());
    }

    void classWhoseAddingFailedIsStoredWithItsChildren_data()
    {
        QTest::addColumn<bool>("postgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgres") << true;
    }
    void classWhoseAddingFailedIsStoredWithItsChildren()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = postgres ? freshPostgres() : DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"}, {child("甲", "A")});
        MainWindow mw(config);
        QSqlQuery q(mw.session().database().connection());
        // The class table refuses new rows for a while.
        if (postgres) {
            QVERIFY(q.exec(QStringLiteral(
                "CREATE OR REPLACE FUNCTION no_class() RETURNS trigger AS $$ BEGIN RAISE "
                "EXCEPTION 'class table locked'; END $$ LANGUAGE plpgsql")));
            QVERIFY(q.exec(QStringLiteral("CREATE TRIGGER no_class BEFORE INSERT ON \"class\" FOR "
                                          "EACH ROW EXECUTE FUNCTION no_class()")));
        } else {
            QVERIFY(q.exec(QStringLiteral("CREATE TRIGGER no_class BEFORE INSERT ON \"class\" "
                                          "BEGIN SELECT RAISE(ABORT, 'class table locked'); END")));
        }
        add(mw, QStringLiteral("B"));
        QCOMPARE(w->messages.size(), 1);
        QCOMPARE(w->messages.at(0).text, QStringLiteral("班级保存失败"));
        QCOMPARE(storedClasses(config), QStringList{"A"});
        // Children typed into the new tab ...
        RosterPage *b = mw.page(1);
        b->addRow();
        b->document()->setText(0, Roster::Name, QStringLiteral("乙"));
        // ... are not saved without their class ...
        QVERIFY(!mw.onButtonSaveDB());
        QCOMPARE(storedStudents(config).size(), 1);
        // ... and are, with it, once the list can be written.
        QVERIFY(q.exec(postgres ? QStringLiteral("DROP TRIGGER no_class ON \"class\"")
                                : QStringLiteral("DROP TRIGGER no_class")));
        QVERIFY(mw.onButtonSaveDB());
        QCOMPARE(storedClasses(config), (QStringList{"A", "B"}));
        MainWindow again(config);
        QCOMPARE(again.tabWidget->count(), 2);
        QCOMPARE(cell(*again.page(1), 0, Roster::Name), QStringLiteral("乙"));
    }

    void odbcPasswordIsNeverShown_data()
    {
        QTest::addColumn<QString>("connection");
        QTest::newRow("PWD") << QStringLiteral("DRIVER={X};UID=clerk;PWD=s3cret;DATABASE=fees");
        QTest::newRow("braced") << QStringLiteral("DSN=fees;pwd={s3c;ret};UID=clerk");
        QTest::newRow("Password, last") << QStringLiteral("DSN=fees;Password = s3cret");
    }
    void odbcPasswordIsNeverShown()
    {
        QFETCH(QString, connection);
        DbConfig config;
        config.driver = QStringLiteral("QODBC");
        config.odbc = connection;
        QVERIFY(!config.describe().contains(QStringLiteral("s3c")));
        QVERIFY(config.describe().contains(QStringLiteral("***")));
        QVERIFY(config.describe().contains(QStringLiteral("UID=clerk")) ||
                !connection.contains(QStringLiteral("UID")));
        // Whatever the driver says when the connection fails.
        Database db(config);
        QVERIFY(!db.open());
        QVERIFY2(!db.errorString().contains(QStringLiteral("s3c")), qPrintable(db.errorString()));
    }
};

QTEST_MAIN(TestClassNames)
#include "test_classnames.moc"
