// The office's users: who may do what, passwords kept only as hashes, a
// wait after wrong passwords, and every change a row of its own.
#include "auditlog.h"
#include "clock.h"
#include "database.h"
#include "roles.h"
#include "testsupport.h"
#include "userstore.h"

#include <QSqlQuery>
#include <QTest>

class TestUsers : public QObject
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

    void backends_data()
    {
        QTest::addColumn<bool>("postgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgres") << true;
    }

    // The fee office's separation: the cashier takes money, money going
    // back and the month's books need the accountant, the office's own
    // rules the head.
    void whoMayDoWhat_data()
    {
        QTest::addColumn<int>("permission");
        QTest::addColumn<int>("least");
        QTest::newRow("print") << int(Roles::Print) << int(Roles::Cashier);
        QTest::newRow("bill") << int(Roles::BillMonth) << int(Roles::Cashier);
        QTest::newRow("own day") << int(Roles::OwnDayReport) << int(Roles::Cashier);
        QTest::newRow("void") << int(Roles::Void) << int(Roles::Accountant);
        QTest::newRow("refund") << int(Roles::Refund) << int(Roles::Accountant);
        QTest::newRow("close") << int(Roles::CloseMonth) << int(Roles::Accountant);
        QTest::newRow("every day") << int(Roles::AllDayReports) << int(Roles::Accountant);
        QTest::newRow("users") << int(Roles::Users) << int(Roles::Head);
        QTest::newRow("restore") << int(Roles::Restore) << int(Roles::Head);
        QTest::newRow("prices") << int(Roles::PricesAndRules) << int(Roles::Head);
    }
    void whoMayDoWhat()
    {
        QFETCH(int, permission);
        QFETCH(int, least);
        const auto p = Roles::Permission(permission);
        for (Roles::Role r : Roles::all())
            QCOMPARE(Roles::may(r, p), int(r) >= least);
        const QString tip = Roles::whoMay(p);
        QVERIFY2(tip.contains(Roles::name(Roles::Head)), qPrintable(tip));
        QCOMPARE(tip.startsWith(QStringLiteral("只有收费员")), least == Roles::Cashier);
        QCOMPARE(Roles::fromName(QStringLiteral("管理员")), std::optional(Roles::Head));
    }

    void usersAndPasswords_data() { backends_data(); }
    void usersAndPasswords()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        Database db(backend(postgres));
        QVERIFY(db.open());
        UserStore users(db);
        QVERIFY(users.isEmpty());
        const QDateTime now = Clock::now();
        QVERIFY(users.add(QStringLiteral(" 王园长 "), Roles::Head, QStringLiteral("秘密-123"), {}));
        QVERIFY(!users.isEmpty());
        // Never the plain text: an Argon2id hash with its own salt.
        QSqlQuery q(db.connection());
        QVERIFY(q.exec(QStringLiteral("SELECT name, pw_hash FROM user_entry")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("王园长"));
        QVERIFY(q.value(1).toString().startsWith(QStringLiteral("$argon2id$")));
        QVERIFY(!q.value(1).toString().contains(QStringLiteral("秘密")));
        QVERIFY(users.add(QStringLiteral("李"), Roles::Cashier, QStringLiteral("秘密-123"),
                          QStringLiteral("王园长")));
        QVERIFY(q.exec(QStringLiteral("SELECT pw_hash FROM user_entry ORDER BY id")) && q.next());
        const QString first = q.value(0).toString();
        QVERIFY(q.next());
        QVERIFY(q.value(0).toString() != first);
        const UserStore::SignIn ok =
            users.signIn(QStringLiteral("王园长"), QStringLiteral("秘密-123"), now);
        QVERIFY(ok.user);
        QCOMPARE(ok.user->role, Roles::Head);
        // Refused: a second user of the name, a short password, a wrong one.
        QCOMPARE(users.add(QStringLiteral("李"), Roles::Head, QStringLiteral("abcdefg"), {}).kind,
                 WriteResult::Refused);
        QCOMPARE(users.add(QStringLiteral("赵"), Roles::Head, QStringLiteral("abc"), {}).kind,
                 WriteResult::Refused);
        QVERIFY(!users.signIn(QStringLiteral("李"), QStringLiteral("秘密-124"), now).user);
        // A new password replaces the old; a user stopped signs in no more,
        // told in the same words as a wrong password.
        QVERIFY(users.setPassword(QStringLiteral("李"), QStringLiteral("新的密码-456"),
                                  QStringLiteral("王园长")));
        QVERIFY(!users.signIn(QStringLiteral("李"), QStringLiteral("秘密-123"), now).user);
        QVERIFY(users.signIn(QStringLiteral("李"), QStringLiteral("新的密码-456"), now).user);
        QVERIFY(users.setRole(QStringLiteral("李"), Roles::Accountant, QStringLiteral("王园长")));
        QVERIFY(users.setActive(QStringLiteral("李"), false, QStringLiteral("王园长")));
        const UserStore::SignIn stopped =
            users.signIn(QStringLiteral("李"), QStringLiteral("新的密码-456"), now);
        QVERIFY(!stopped.user);
        QCOMPARE(
            stopped.refusal,
            users.signIn(QStringLiteral("无此人"), QStringLiteral("新的密码-456"), now).refusal);
        const auto all = users.users();
        QVERIFY(all);
        QCOMPARE(all->size(), 2);
        const auto li = users.user(QStringLiteral("李"));
        QVERIFY(li && !li->active);
        QCOMPARE(li->role, Roles::Accountant);
        QCOMPARE(li->madeBy, QStringLiteral("王园长"));
        // Every change a row of its own, and in the audit log, with the
        // sign-in that ended a run of wrong passwords.
        QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM user_entry")) && q.next());
        QCOMPARE(q.value(0).toInt(), 5);
        QVERIFY(!q.exec(QStringLiteral("UPDATE user_entry SET role = '园长'")));
        const auto audit = AuditLog::read(db, now.date(), now.date(), {}, AuditLog::users());
        QVERIFY(audit);
        QCOMPARE(audit->size(), 6);
        // Newest first: the success after two wrong passwords, then the new one.
        QCOMPARE(audit->at(2).what, QStringLiteral("“李”登录成功，此前输错 2 次"));
        QCOMPARE(audit->at(3).what, QStringLiteral("重设“李”的密码"));
        QVERIFY(audit->last().what.contains(QStringLiteral("新建用户“王园长”（园长）")));
    }

    void wrongPasswordsWait_data() { backends_data(); }
    void wrongPasswordsWait()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        Database db(backend(postgres));
        QVERIFY(db.open());
        UserStore users(db);
        QVERIFY(
            users.add(QStringLiteral("李"), Roles::Cashier, QStringLiteral("正确的密码-789"), {}));
        QDateTime now = Clock::now();
        for (int i = 1; i <= 4; ++i) {
            const auto r = users.signIn(QStringLiteral("李"), QStringLiteral("错的"), now);
            QVERIFY(!r.user);
            QCOMPARE(r.waitSeconds, 0);
        }
        const auto fifth = users.signIn(QStringLiteral("李"), QStringLiteral("错的"), now);
        QCOMPARE(fifth.waitSeconds, 30);
        QVERIFY2(fifth.refusal.contains(QStringLiteral("30 秒")), qPrintable(fifth.refusal));
        // Meanwhile even the right password waits.
        now = now.addSecs(10);
        const auto early =
            users.signIn(QStringLiteral("李"), QStringLiteral("正确的密码-789"), now);
        QVERIFY(!early.user);
        QCOMPARE(early.waitSeconds, 20);
        // Another wrong one after the wait: twice as long.
        now = now.addSecs(25);
        QCOMPARE(users.signIn(QStringLiteral("李"), QStringLiteral("错的"), now).waitSeconds, 60);
        now = now.addSecs(61);
        QVERIFY(users.signIn(QStringLiteral("李"), QStringLiteral("正确的密码-789"), now).user);
        // The run is over: the next wrong one is the first again.
        QCOMPARE(users.signIn(QStringLiteral("李"), QStringLiteral("错的"), now).waitSeconds, 0);
        const auto refused =
            AuditLog::read(db, now.date(), now.date(), {}, AuditLog::signInRefused());
        QVERIFY(refused);
        QCOMPARE(refused->size(), 7);
        QVERIFY(refused->at(1).what.contains(QStringLiteral("连续第 6 次")));
        QCOMPARE(UserStore::waitAfter(40), 3600);
    }
};

QTEST_MAIN(TestUsers)
#include "test_users.moc"
