// The office session without any window: several PCs' sessions on one
// database, children moved between classes, a class listed twice, absent
// cells, and the class list read while another PC changes it.
#include "database.h"
#include "officesession.h"
#include "rosterdocument.h"
#include "rosterstore.h"
#include "testsupport.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QTest>

namespace
{
QStringList child(const QString &name, const QString &cls)
{
    return {name, "4", "1", "", "", "", "", "", "1", "", "李", "否", cls};
}

int storedCount(const DbConfig &config, const QString &name)
{
    int n = 0;
    for (const QStringList &r : storedStudents(config))
        n += r.at(Roster::Name) == name;
    return n;
}
} // namespace

class TestSession : public QObject
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
        RosterStore::betweenReads() = nullptr;
        delete w;
        w = nullptr;
    }

    void backends_data()
    {
        QTest::addColumn<bool>("postgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgres") << true;
    }

    void movedChildLeavesItsOldRosterWhenSaved_data() { backends_data(); }
    void movedChildLeavesItsOldRosterWhenSaved()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        seedDatabase(config, {"A", "B"}, {child("甲", "A"), child("乙", "A"), child("丙", "B")});
        OfficeSession pc1(config), pc2(config);
        QVERIFY(pc1.open());
        QVERIFY(pc2.open());
        RosterDocument *a = pc1.document(QStringLiteral("A"));
        RosterDocument *b = pc1.document(QStringLiteral("B"));
        QAbstractItemModelTester ta(a, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester tb(b, QAbstractItemModelTester::FailureReportingMode::QtTest);
        a->moveToClass({0}, QStringLiteral("B"));
        QVERIFY(pc1.save());
        // At once on the new class's roster, and only there.
        QCOMPARE(a->size(), 1);
        QCOMPARE(b->size(), 2);
        QCOMPARE(cell(*b, 1, Roster::Name), QStringLiteral("甲"));
        QVERIFY(!a->isModified() && !b->isModified());
        // Another PC saves class B: this PC's clean roster of B reloads.
        pc2.checkForSaves();
        RosterDocument *b2 = pc2.document(QStringLiteral("B"));
        QCOMPARE(b2->size(), 2);
        b2->setText(0, Roster::Age, QStringLiteral("5"));
        QVERIFY(pc2.save());
        pc1.checkForSaves();
        QCOMPARE(b->size(), 2);
        QCOMPARE(cell(*b, 0, Roster::Age), QStringLiteral("5"));
        // The next saves store the child once.
        a->setText(0, Roster::Age, QStringLiteral("6"));
        b->setText(1, Roster::Age, QStringLiteral("6"));
        QVERIFY(pc1.save());
        QCOMPARE(storedCount(config, QStringLiteral("甲")), 1);
        QCOMPARE(storedStudents(config).size(), 3);
    }

    void classListedTwiceHasOneRoster_data() { backends_data(); }
    void classListedTwiceHasOneRoster()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        // A list written elsewhere may name a class twice: one roster. Adding
        // it once more is refused.
        seedDatabase(config, {"A", "A"}, {child("甲", "A"), child("乙", "A")});
        OfficeSession pc1(config), pc2(config);
        QVERIFY(pc1.open());
        QVERIFY(pc2.open());
        QCOMPARE(pc1.addClass(QStringLiteral(" A ")).kind, WriteResult::Refused);
        QCOMPARE(pc1.classes(), (QStringList{"A", "A"}));
        QCOMPARE(pc1.documents().size(), 1);
        // Another PC saves the class: it is read once, not once per entry.
        pc2.document(QStringLiteral("A"))->addRow();
        QVERIFY(pc2.save());
        pc1.checkForSaves();
        QCOMPARE(pc1.document(QStringLiteral("A"))->size(), 3);
        pc1.document(QStringLiteral("A"))->setText(0, Roster::Age, QStringLiteral("5"));
        QVERIFY(pc1.save());
        QCOMPARE(storedStudents(config).size(), 3);
        QCOMPARE(storedCount(config, QStringLiteral("甲")), 1);
    }

    void absentCellsStayAbsent_data() { backends_data(); }
    void absentCellsStayAbsent()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        w->setSetting(QStringLiteral("b"), QStringLiteral("300"));
        w->setSetting(QStringLiteral("bjcombox"), QStringLiteral("1000,"));
        seedDatabase(config, {"A"}, {});
        {
            OfficeSession s(config);
            QVERIFY(s.open());
            RosterDocument *a = s.document(QStringLiteral("A"));
            // No tuition cell: no tuition. An empty one: the first price.
            const int none = a->addRow();
            a->setText(none, Roster::Name, QStringLiteral("无"));
            a->setText(none, Roster::Accommodation, QStringLiteral("1"));
            const int empty = a->addRow();
            a->setText(empty, Roster::Name, QStringLiteral("空"));
            a->setText(empty, Roster::Tuition, QString(QLatin1String("")));
            QCOMPARE(cell(*a, none, Roster::Total), QStringLiteral("300"));
            QCOMPARE(cell(*a, empty, Roster::Total), QStringLiteral("1300"));
            QVERIFY(s.save());
        }
        OfficeSession again(config);
        QVERIFY(again.open());
        RosterDocument *a = again.document(QStringLiteral("A"));
        QCOMPARE(cell(*a, 0, Roster::Tuition), QStringLiteral("<absent>"));
        QCOMPARE(cell(*a, 0, Roster::Total), QStringLiteral("300"));
        QCOMPARE(cell(*a, 1, Roster::Tuition), QString());
        QCOMPARE(cell(*a, 1, Roster::Total), QStringLiteral("1300"));
        QVERIFY(!a->isModified());
    }

    void classAddedWhileTheListIsRead()
    {
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"}, {});
        OfficeSession pc1(config), pc2(config);
        QVERIFY(pc1.open());
        QVERIFY(pc2.open());
        QVERIFY(pc2.addClass(QStringLiteral("B")));
        // While this PC reads the changed list, the other adds one more.
        bool once = false;
        RosterStore::betweenReads() = [&] {
            if (once)
                return;
            once = true;
            QVERIFY(pc2.addClass(QStringLiteral("C")));
        };
        pc1.checkForSaves();
        RosterStore::betweenReads() = nullptr;
        QVERIFY(once);
        // This PC's own addition never drops the class added in between:
        // either it is refused (the list is stale) or it keeps C.
        const WriteResult r = pc1.addClass(QStringLiteral("D"));
        QVERIFY2(storedClasses(config).contains(QStringLiteral("C")),
                 qPrintable(storedClasses(config).join(QLatin1Char(','))));
        if (!r)
            QVERIFY(r.isConflict());
    }

    // Several PCs adding classes at once: each addition is merged into the
    // list as stored, as often as another PC gets in first.
    void classAddsMergeUntilStored_data() { backends_data(); }
    void classAddsMergeUntilStored()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        seedDatabase(config, {"A"}, {});
        OfficeSession pc1(config), pc2(config), pc3(config), pc4(config), pc5(config);
        for (OfficeSession *pc : {&pc1, &pc2, &pc3, &pc4, &pc5})
            QVERIFY(pc->open());
        QVERIFY(pc2.addClass(QStringLiteral("B")));
        // Whenever this PC reads, another PC stores a class of its own.
        const QList<QPair<OfficeSession *, QString>> others{
            {&pc3, QStringLiteral("C")}, {&pc4, QStringLiteral("E")}, {&pc5, QStringLiteral("F")}};
        int next = 0;
        bool inside = false;
        RosterStore::betweenReads() = [&] {
            if (inside || next == others.size())
                return;
            inside = true;
            const auto &[pc, name] = others.at(next++);
            QVERIFY(pc->addClass(name));
            inside = false;
        };
        const WriteResult r = pc1.addClass(QStringLiteral("D"));
        RosterStore::betweenReads() = nullptr;
        QVERIFY2(r, qPrintable(r.oneLine()));
        QStringList stored = storedClasses(config);
        stored.sort();
        QCOMPARE(stored, (QStringList{"A", "B", "C", "D", "E", "F"}));
        QStringList shown = pc1.classes();
        shown.sort();
        QCOMPARE(shown, stored);
    }

    void failuresNameTheirOwnCause()
    {
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"}, {child("甲", "A")});
        OfficeSession pc1(config), pc2(config);
        QVERIFY(pc1.open());
        QVERIFY(pc2.open());
        pc1.document(QStringLiteral("A"))->addRow();
        QVERIFY(pc1.save());
        QVERIFY(pc1.addClass(QStringLiteral("X")));
        pc2.document(QStringLiteral("A"))->addRow();
        const WriteResult save = pc2.save();
        QVERIFY(save.isConflict());
        QCOMPARE(save.conflictClass, QStringLiteral("A"));
        // The class list is stale too: the other PC's class is taken in,
        // not refused under the earlier refusal's name.
        const WriteResult add = pc2.addClass(QStringLiteral("Y"));
        QVERIFY2(add, qPrintable(add.text));
        QCOMPARE(storedClasses(config), (QStringList{"A", "X", "Y"}));
        QVERIFY(pc2.classes().contains(QStringLiteral("X")));
    }

    // Billing writes a row per child and item; the connection must not turn
    // each of them into an event for the window to work through afterwards
    // (SQLite's own-row notifications never told of another PC's save).
    void writesPostNoEventPerRow()
    {
        QVector<QStringList> rows;
        for (int i = 0; i < 200; ++i)
            rows << QStringList{QStringLiteral("儿童%1").arg(i),
                                "4",
                                "1000",
                                "",
                                "10",
                                "",
                                "",
                                "",
                                "",
                                "0",
                                "李",
                                "否",
                                "A"};
        seedDatabase(w->databasePath(), {"A"}, rows);
        OfficeSession s(DbConfig::sqlite(w->databasePath()));
        QVERIFY(s.open());
        QSqlDriver *driver = s.database().connection().driver();
        QVERIFY(driver);
        struct Counter : QObject {
            int calls = 0;
            bool eventFilter(QObject *, QEvent *e) override
            {
                if (e->type() == QEvent::MetaCall)
                    ++calls;
                return false;
            }
        } counter;
        driver->installEventFilter(&counter);
        const auto billed = s.accounts().billMonth({QStringLiteral("A")});
        QVERIFY(billed.result);
        QVERIFY(billed.entries >= 200);
        QCoreApplication::processEvents();
        QCOMPARE(counter.calls, 0);
        driver->removeEventFilter(&counter);
    }

    void reloadReplacesDocuments()
    {
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"}, {child("甲", "A")});
        OfficeSession s(config);
        QVERIFY(s.open());
        QPointer<RosterDocument> old = s.document(QStringLiteral("A"));
        const ChildRef ref{old, old->uid(0)};
        QVERIFY(ref.isValid());
        QSignalSpy replaced(&s, &OfficeSession::documentsReplaced);
        QVERIFY(s.reload());
        QCOMPARE(replaced.size(), 1);
        // Whoever still holds the old roster cannot act on it.
        QVERIFY(!ref.isValid());
        QVERIFY(s.document(QStringLiteral("A")) != old.data());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(old.isNull());
        QCOMPARE(s.find(QStringLiteral("甲")).size(), 1);
    }

    void childIdentitySurvivesSavesMovesAndRestarts_data() { backends_data(); }
    void childIdentitySurvivesSavesMovesAndRestarts()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        seedDatabase(config, {"A", "B"}, {child("甲", "A"), child("乙", "A")});
        QString jia, yi, bing;
        {
            OfficeSession s(config);
            QVERIFY(s.open());
            RosterDocument *a = s.document(QStringLiteral("A"));
            // Rows stored before identities were kept get one at once.
            jia = a->record(0).childId;
            yi = a->record(1).childId;
            QVERIFY(!jia.isEmpty() && !yi.isEmpty() && jia != yi);
            const int r = a->addRow();
            a->setText(r, Roster::Name, QStringLiteral("丙"));
            bing = a->record(r).childId;
            QVERIFY(!bing.isEmpty());
            a->moveToClass({1}, QStringLiteral("B"));
            QVERIFY(s.save());
            // Saved again (new keys): still the same children.
            a->setText(0, Roster::Age, QStringLiteral("6"));
            QVERIFY(s.save());
        }
        OfficeSession again(config);
        QVERIFY(again.open());
        RosterDocument *a = again.document(QStringLiteral("A"));
        RosterDocument *b = again.document(QStringLiteral("B"));
        QCOMPARE(a->size(), 2);
        QCOMPARE(a->record(0).childId, jia);
        QCOMPARE(a->record(1).childId, bing);
        QCOMPARE(b->record(0).childId, yi);
        // A child deleted takes its identity row along.
        a->removeRows({1});
        QVERIFY(again.save());
        Database db(config);
        QVERIFY(db.open());
        QSqlQuery q(db.connection());
        QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM child_identity")));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 2);
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "test_session.moc"
