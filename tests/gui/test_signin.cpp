// Signing in: the first administrator, the sign-in panel at start, 锁定
// (from the tool bar and when idle), 切换用户, one's own password and the
// administrator's users' window; every write of the office refused for the
// roles that may not use it, through the office layer and the windows; a
// 收费员's void and refund approved by a 会计 signing in on the spot; no
// password or hash anywhere the office can read.
#include "access.h"
#include "arrearsdialog.h"
#include "auditlog.h"
#include "clock.h"
#include "configview.h"
#include "database.h"
#include "journaldialog.h"
#include "journalstore.h"
#include "ledgerstore.h"
#include "mainwindow.h"
#include "officesession.h"
#include "officesettings.h"
#include "reportdialogs.h"
#include "rosterpage.h"
#include "signin.h"
#include "testsupport.h"
#include "userstore.h"
#include "writetransaction.h"

#include <QAction>
#include <QComboBox>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

namespace
{
QStringList child(const QString &name, const QString &meals)
{
    return {name, "4", "1000", "", meals, "", "", "", "", "0", "李", "否", "A"};
}

const QString headName = QStringLiteral("周园长"), headPass = QStringLiteral("head-pass-1");
const QString acctName = QStringLiteral("王会计"), acctPass = QStringLiteral("acct-pass-2");
const QString cashName = QStringLiteral("张收费"), cashPass = QStringLiteral("cash-pass-3");

// The office's three users, made straight in the store.
void addUsers(const DbConfig &config)
{
    Database db(config);
    QVERIFY(db.open());
    UserStore users(db);
    QVERIFY(users.add(headName, Roles::Head, headPass, {}));
    QVERIFY(users.add(acctName, Roles::Accountant, acctPass, headName));
    QVERIFY(users.add(cashName, Roles::Cashier, cashPass, headName));
}

QString passwordOf(const QString &name)
{
    return name == headName ? headPass : name == acctName ? acctPass : cashPass;
}

QString nameOf(Roles::Role role)
{
    return role == Roles::Head ? headName : role == Roles::Accountant ? acctName : cashName;
}

bool signInAs(MainWindow &mw, const QString &name, const QString &password)
{
    SignInPanel *panel = mw.signInPanel();
    for (int i = 0; i < panel->userList()->count(); ++i)
        if (panel->userList()->item(i)->data(Qt::UserRole).toString() == name)
            panel->userList()->setCurrentRow(i);
    panel->passwordEdit()->setText(password);
    QTest::mouseClick(panel->signInButton(), Qt::LeftButton);
    return !mw.isLocked();
}

QVector<AuditLog::Row> auditOf(const DbConfig &config, const QString &kind = {})
{
    Database db(config);
    if (!db.open())
        return {};
    return AuditLog::read(db, QDate(2020, 1, 1), QDate(2030, 12, 31), QString(), kind)
        .value_or(QVector<AuditLog::Row>());
}

QVector<JournalEntry> journalOf(const DbConfig &config)
{
    Database db(config);
    if (!db.open())
        return {};
    return JournalStore(db).month(QStringLiteral("2026-05")).value_or(QVector<JournalEntry>());
}
} // namespace

class TestSignIn : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

    DbConfig seeded()
    {
        w->setSetting(QStringLiteral("a"), QStringLiteral("0.9"));
        w->setSetting(QStringLiteral("b"), QStringLiteral("100"));
        w->setSetting(QStringLiteral("c"), QStringLiteral("10"));
        w->setSetting(QStringLiteral("d"), QStringLiteral("10"));
        w->setSetting(QStringLiteral("e"), QStringLiteral("10"));
        w->setSetting(QStringLiteral("f"), QStringLiteral("10"));
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"}, {child("甲", "1000"), child("乙", "900")});
        return config;
    }

private slots:
    void init()
    {
        w = new TestWorld;
        // Signed in for real, never as the tests' stand-in.
        Access::setStandIn({});
    }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    void firstStartMakesTheAdministrator()
    {
        const DbConfig config = seeded();
        MainWindow mw(config);
        // Covered, with every command off, until someone signs in.
        QVERIFY(mw.isLocked());
        QVERIFY(mw.signInPanel()->isFirstUser());
        for (QAction *a : mw.toolActions())
            QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
        QVERIFY(!mw.onButtonSaveDB());
        SignInPanel *panel = mw.signInPanel();
        panel->nameEdit()->setText(headName);
        panel->passwordEdit()->setText(headPass);
        panel->repeatEdit()->setText(QStringLiteral("other-pass"));
        QVERIFY(!panel->submit());
        QCOMPARE(panel->messageLabel()->text(), QStringLiteral("两次输入的密码不一样"));
        panel->passwordEdit()->setText(QStringLiteral("short"));
        panel->repeatEdit()->setText(QStringLiteral("short"));
        QVERIFY(!panel->submit());
        QCOMPARE(panel->messageLabel()->text(), QStringLiteral("密码至少要 6 个字符"));
        panel->passwordEdit()->setText(headPass);
        panel->repeatEdit()->setText(headPass);
        QVERIFY(panel->submit());
        QVERIFY(!mw.isLocked());
        QCOMPARE(mw.session().access().user()->role, Roles::Head);
        for (QAction *a : mw.toolActions())
            QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));
        // The signed-in user is the 经办人 of what is saved, and the panel
        // no longer takes a typed clerk.
        RosterDocument *doc = mw.page(0)->document();
        doc->setText(0, 1, QStringLiteral("5"));
        QVERIFY(mw.onButtonSaveDB());
        QCOMPARE(storedStudents(w->databasePath()).at(0).at(10), headName);
        QStandardItem *clerk = mw.configview->tableModel()->item(FeeSettings::Clerk, 1);
        QCOMPARE(clerk->text(), headName);
        QVERIFY(!clerk->isEditable());
        const auto saved = auditOf(config, AuditLog::savedClass());
        QCOMPARE(saved.first().clerk, headName);
        QCOMPARE(auditOf(config, AuditLog::users()).last().what,
                 QStringLiteral("新建用户“%1”（园长）").arg(headName));
        // The next start asks for a sign-in, not for an administrator.
        MainWindow again(config);
        QVERIFY(again.isLocked());
        QVERIFY(!again.signInPanel()->isFirstUser());
        QCOMPARE(again.signInPanel()->userList()->count(), 1);
        QVERIFY(!signInAs(again, headName, QStringLiteral("wrong-pass")));
        QCOMPARE(again.signInPanel()->messageLabel()->text(), QStringLiteral("用户名或密码不对"));
        QVERIFY(signInAs(again, headName, headPass));
    }

    void usersWindowLockAndSwitch()
    {
        const DbConfig config = seeded();
        addUsers(config);
        MainWindow mw(config);
        QVERIFY(signInAs(mw, headName, headPass));
        mw.toolAction(QStringLiteral("users"))->trigger();
        auto *users = mw.findChild<UsersDialog *>();
        QVERIFY(users);
        QCOMPARE(users->userTable()->rowCount(), 3);
        // The roles' table: what each may do, as checked.
        QCOMPARE(users->rolesTable()->rowCount(), int(Roles::permissions().size()));
        for (int i = 0; i < Roles::permissions().size(); ++i)
            for (int j = 0; j < Roles::all().size(); ++j)
                QCOMPARE(users->rolesTable()->item(i, j)->text().isEmpty(),
                         !Roles::may(Roles::all().at(j), Roles::permissions().at(i)));
        // A new cashier, her password reset, made 会计, stopped and started.
        users->nameEdit()->setText(QStringLiteral("李新"));
        users->roleBox()->setCurrentIndex(0);
        users->passwordEdit()->setText(QStringLiteral("new-one-1"));
        QVERIFY(users->addUser());
        QCOMPARE(users->userTable()->rowCount(), 4);
        int li = -1;
        for (int r = 0; r < 4; ++r)
            if (users->userTable()->item(r, 0)->text() == QStringLiteral("李新"))
                li = r;
        QVERIFY(li >= 0);
        users->userTable()->setCurrentCell(li, 0);
        users->passwordEdit()->setText(QStringLiteral("reset-it-2"));
        QVERIFY(users->resetPassword());
        users->roleBox()->setCurrentIndex(1);
        QVERIFY(users->changeRole());
        QCOMPARE(users->userTable()->item(li, 1)->text(), QStringLiteral("会计"));
        QVERIFY(users->toggleActive());
        QCOMPARE(users->userTable()->item(li, 2)->text(), QStringLiteral("已停用"));
        // The last 园长 cannot be made less, nor stop himself.
        for (int r = 0; r < users->userTable()->rowCount(); ++r)
            if (users->userTable()->item(r, 0)->text() == headName)
                users->userTable()->setCurrentCell(r, 0);
        users->roleBox()->setCurrentIndex(0);
        QVERIFY(!users->changeRole());
        QVERIFY(users->messageLabel()->text().contains(QStringLiteral("最后一位园长")));
        users->idleBox()->setValue(3);
        QVERIFY(users->saveIdle());
        QCOMPARE(UsersDialog::idleMinutes(), 3);
        users->close();

        // 锁定 with an unsaved roster: covered, nothing lost, not closed.
        RosterDocument *doc = mw.page(0)->document();
        doc->setText(1, 1, QStringLiteral("7"));
        mw.toolAction(QStringLiteral("lock"))->trigger();
        QVERIFY(mw.isLocked());
        QVERIFY(!mw.session().access().isSignedIn());
        QVERIFY(!mw.close());
        QVERIFY(mw.signInPanel()->messageLabel()->text().contains(QStringLiteral("未保存")));
        QVERIFY(doc->isModified());
        // The stopped user is not offered.
        QCOMPARE(mw.signInPanel()->userList()->count(), 3);
        // Another user signs in instead: the cashier, who may not close a month.
        QVERIFY(signInAs(mw, cashName, cashPass));
        QCOMPARE(cell(*mw.page(0), 1, 1), QStringLiteral("7"));
        QAction *close = mw.toolAction(QStringLiteral("closeMonth"));
        QVERIFY(!close->isEnabled());
        QCOMPARE(close->toolTip(), Roles::whoMay(Roles::CloseMonth));
        QVERIFY(mw.onButtonSaveDB());
        QCOMPARE(storedStudents(w->databasePath()).at(1).at(10), cashName);
        // Locking closes the other windows.
        mw.toolAction(QStringLiteral("journal"))->trigger();
        auto *open = mw.findChild<JournalDialog *>();
        QVERIFY(open && open->isVisible());
        mw.toolAction(QStringLiteral("lock"))->trigger();
        QVERIFY(!open->isVisible());
        QVERIFY(signInAs(mw, cashName, cashPass));
        // Idle: the timer set from the users' window locks the window.
        auto *idle = mw.findChild<QTimer *>(QStringLiteral("idleLock"));
        QVERIFY(idle);
        QVERIFY(idle->isActive());
        QCOMPARE(idle->interval(), 3 * 60 * 1000);
        idle->start(1);
        QTRY_VERIFY(mw.isLocked());
        QVERIFY(signInAs(mw, cashName, cashPass));

        // One's own password: the old one is needed.
        mw.toolAction(QStringLiteral("ownPassword"))->trigger();
        auto *own = mw.findChild<PasswordDialog *>();
        QVERIFY(own);
        own->oldEdit()->setText(QStringLiteral("not-it-at-all"));
        own->newEdit()->setText(QStringLiteral("changed-4"));
        own->repeatEdit()->setText(QStringLiteral("changed-4"));
        QVERIFY(!own->submit());
        QVERIFY(own->messageLabel()->text().startsWith(QStringLiteral("原密码不对")));
        own->oldEdit()->setText(cashPass);
        own->newEdit()->setText(QStringLiteral("changed-4"));
        own->repeatEdit()->setText(QStringLiteral("changed-4"));
        QVERIFY(own->submit());
        mw.toolAction(QStringLiteral("switchUser"))->trigger();
        QVERIFY(!signInAs(mw, cashName, cashPass));
        QVERIFY(signInAs(mw, cashName, QStringLiteral("changed-4")));
    }

    void fiveWrongPasswordsWait()
    {
        const DbConfig config = seeded();
        addUsers(config);
        MainWindow mw(config);
        for (int i = 1; i <= 5; ++i)
            QVERIFY(!signInAs(mw, acctName, QStringLiteral("guess-%1").arg(i)));
        QVERIFY2(mw.signInPanel()->messageLabel()->text().contains(QStringLiteral("秒后再试")),
                 qPrintable(mw.signInPanel()->messageLabel()->text()));
        // Even the right password waits now.
        QVERIFY(!signInAs(mw, acctName, acctPass));
        QCOMPARE(auditOf(config, AuditLog::signInRefused()).size(), 5);
        Clock::setFixed(Clock::now().addSecs(31));
        QVERIFY(signInAs(mw, acctName, acctPass));
    }

    void cashierVoidAndRefundNeedApproval()
    {
        const DbConfig config = seeded();
        addUsers(config);
        MainWindow mw(config);
        QVERIFY(signInAs(mw, headName, headPass));
        w->questionAnswers = {QMessageBox::Yes};
        mw.toolAction(QStringLiteral("billMonth"))->trigger();
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        mw.page(0)->printReceiptRange(1, 2);
        QCOMPARE(journalOf(config).size(), 2);
        QCOMPARE(journalOf(config).at(0).clerk, headName);
        mw.toolAction(QStringLiteral("switchUser"))->trigger();
        QVERIFY(signInAs(mw, cashName, cashPass));

        mw.toolAction(QStringLiteral("journal"))->trigger();
        auto *journal = mw.findChild<JournalDialog *>();
        QVERIFY(journal);
        QStringList offered;
        Prompts::Approval answer;
        int asked = 0;
        Prompts::current().approve = [&](QWidget *, const QString &, const QStringList &approvers) {
            ++asked;
            offered = approvers;
            return std::optional<Prompts::Approval>(answer);
        };
        // A wrong password approves nothing.
        journal->table()->setCurrentIndex(journal->tableModel()->index(0, 0));
        answer = {acctName, QStringLiteral("not-his")};
        w->textAnswers = {QStringLiteral("金额打错")};
        button(journal, "journalVoid")->click();
        QCOMPARE(asked, 1);
        QCOMPARE(offered, (QStringList{headName, acctName}));
        QVERIFY(w->messages.last().text.startsWith(QStringLiteral("没有批准")));
        QVERIFY(journalOf(config).at(0).voidReason.isEmpty());
        // The cashier cannot approve her own.
        answer = {cashName, cashPass};
        w->textAnswers = {QStringLiteral("金额打错")};
        button(journal, "journalVoid")->click();
        QVERIFY(w->messages.last().text.startsWith(QStringLiteral("没有批准")));
        // The accountant signs in on the spot: both names are kept.
        answer = {acctName, acctPass};
        w->textAnswers = {QStringLiteral("金额打错")};
        button(journal, "journalVoid")->click();
        const JournalEntry voided = journalOf(config).at(0);
        QCOMPARE(voided.voidReason, QStringLiteral("金额打错（批准：会计%1）").arg(acctName));
        const AuditLog::Row line = auditOf(config, AuditLog::voided()).first();
        QCOMPARE(line.clerk, cashName);
        QVERIFY(line.what.contains(acctName));

        // A refund the same way.
        journal->table()->setCurrentIndex(journal->tableModel()->index(1, 0));
        answer = {headName, headPass};
        w->textAnswers = {QStringLiteral("5"), QStringLiteral("少吃一天")};
        button(journal, "journalRefund")->click();
        const AuditLog::Row refund = auditOf(config, AuditLog::refunded()).first();
        QCOMPARE(refund.clerk, cashName);
        QVERIFY2(refund.what.contains(QStringLiteral("批准：园长%1").arg(headName)),
                 qPrintable(refund.what));
        QCOMPARE(asked, 4);
        // An accountant is asked nothing.
        journal->close();
        mw.toolAction(QStringLiteral("switchUser"))->trigger();
        QVERIFY(signInAs(mw, acctName, acctPass));
        mw.toolAction(QStringLiteral("journal"))->trigger();
        journal = mw.findChildren<JournalDialog *>().constLast();
        journal->table()->setCurrentIndex(journal->tableModel()->index(1, 0));
        w->textAnswers = {QStringLiteral("打错了")};
        button(journal, "journalVoid")->click();
        QCOMPARE(asked, 4);
        QCOMPARE(journalOf(config).at(1).voidReason, QStringLiteral("打错了"));
    }

    // Every write of the office, by the permission it needs: refused with
    // who may for the roles below it, and never refused for that reason to
    // the others; nobody signed in writes nothing.
    void officeLayerRefusesByRole_data()
    {
        QTest::addColumn<int>("role");
        QTest::newRow("nobody") << -1;
        QTest::newRow("收费员") << int(Roles::Cashier);
        QTest::newRow("会计") << int(Roles::Accountant);
        QTest::newRow("园长") << int(Roles::Head);
    }
    void officeLayerRefusesByRole()
    {
        QFETCH(int, role);
        const DbConfig config = seeded();
        addUsers(config);
        OfficeSession s(config);
        QVERIFY(s.open());
        if (role >= 0)
            QVERIFY(s.users()
                        .signIn(nameOf(Roles::Role(role)), passwordOf(nameOf(Roles::Role(role))))
                        .user);
        struct Write {
            const char *name;
            Roles::Permission needs;
            std::function<QString()> run; // why it was refused, or empty
        };
        auto text = [](const WriteResult &r) { return r ? QString() : r.text; };
        const QString month = QStringLiteral("2026-05");
        const QVector<Write> writes = {
            {"save", Roles::Rosters,
             [&] {
                 s.document(QStringLiteral("A"))->setText(0, 1, QStringLiteral("6"));
                 return text(s.save());
             }},
            {"addClass", Roles::Rosters, [&] { return text(s.addClass(QStringLiteral("B"))); }},
            {"billMonth", Roles::BillMonth,
             [&] { return text(s.accounts().billMonth({QStringLiteral("A")}).result); }},
            {"recordReceipts", Roles::Print,
             [&] {
                 QVector<JournalEntry> none{JournalEntry{}};
                 return text(s.journal().recordReceipts(none));
             }},
            {"receiptsNotPrinted", Roles::Print,
             [&] { return text(s.journal().receiptsNotPrinted({}, QStringLiteral("卡纸"))); }},
            {"answerInterruptedPrints", Roles::Print,
             [&] { return text(s.journal().answerInterruptedPrints({}, true)); }},
            {"saveCalendar", Roles::Calendar,
             [&] { return text(s.attendance().saveCalendar(month, {})); }},
            {"saveAbsences", Roles::Calendar,
             [&] { return text(s.attendance().saveAbsences(QStringLiteral("A"), month, {})); }},
            {"applyRefunds", Roles::AbsenceRefunds,
             [&] {
                 AttendanceService::RefundPlan plan;
                 plan.className = QStringLiteral("A");
                 plan.month = month;
                 return text(s.attendance().applyRefunds(plan));
             }},
            {"voidReceipt", Roles::Void,
             [&] { return text(s.accounts().voidReceipt(QStringLiteral("2026-000009"), "x")); }},
            {"refund", Roles::Refund,
             [&] { return text(s.accounts().refund(QStringLiteral("2026-000009"), "1", "x")); }},
            {"settleLeaving", Roles::Refund,
             [&] {
                 return text(s.accounts()
                                 .settleLeaving(QStringLiteral("A"), 0, QDate(2026, 5, 3), "现金")
                                 .result);
             }},
            {"recordStay", Roles::Rosters,
             [&] {
                 StayStore::Row row;
                 row.childId = QStringLiteral("x");
                 row.stay.joined = QDate(2026, 5, 3);
                 return text(s.stays().record(row));
             }},
            {"partMonthRule", Roles::PricesAndRules,
             [&] {
                 return text(s.stays().saveRule({PartMonth::Kind::ByDays, 0, 0}));
             }},
            {"closeMonth", Roles::CloseMonth,
             [&] { return text(s.accounts().closeMonth(QStringLiteral("2026-04"))); }},
            {"restore", Roles::Restore,
             [&] { return text(s.restore(w->path(QStringLiteral("none.sqlite")))); }},
            {"addUser", Roles::Users,
             [&] {
                 return text(s.users().add(QStringLiteral("新人"), Roles::Cashier, "pass-word"));
             }},
            {"resetPassword", Roles::Users,
             [&] { return text(s.users().resetPassword(cashName, "pass-word-2")); }},
            {"setRole", Roles::Users,
             [&] { return text(s.users().setRole(cashName, Roles::Cashier)); }},
            {"setActive", Roles::Users, [&] { return text(s.users().setActive(cashName, true)); }},
            {"prices", Roles::PricesAndRules,
             [&] {
                 FeeSettings fees = s.settings().fees();
                 fees.texts[FeeSettings::Meals] = QStringLiteral("11");
                 return s.settings().save(fees) ? QString() : s.settings().errorString();
             }},
            {"refundRule", Roles::PricesAndRules,
             [&] {
                 QString why;
                 QStringList rule = OfficeSettings::refundRuleTexts();
                 rule[0] = QStringLiteral("4");
                 s.settings().savePaymentAndRefundRule(OfficeSettings::paymentMethod(), rule, &why);
                 return why;
             }},
            {"everyDayReport", Roles::AllDayReports,
             [&] {
                 QString why;
                 s.reports().dayReport(Clock::now().date(), QString(), &why);
                 return why;
             }},
            {"monthReport", Roles::MonthReport,
             [&] {
                 QString why;
                 s.reports().monthReport(month, &why);
                 return why;
             }},
        };
        for (const Write &write : writes) {
            const QString why = write.run();
            const QString refusal =
                role < 0
                    ? QStringLiteral("还没有登录：请先登录再%1").arg(Roles::describe(write.needs))
                    : Roles::whoMay(write.needs);
            const bool may = role >= 0 && Roles::may(Roles::Role(role), write.needs);
            if (may)
                QVERIFY2(why != refusal && !why.contains(QStringLiteral("只有")),
                         qPrintable(QStringLiteral("%1: %2").arg(write.name, why)));
            else
                QVERIFY2(why == refusal, qPrintable(QStringLiteral("%1: %2").arg(write.name, why)));
        }
        // The users' writes as the stand-in sees them: an own-password change
        // of someone signed in goes through, the first administrator only once.
        QVERIFY(!s.users().addFirstAdministrator(QStringLiteral("再一位"), "pass-word"));
    }

    // A write no permission check allowed is not committed, whatever path
    // it took: the office's connection requires one.
    void writeWithoutCheckIsRefused()
    {
        const DbConfig config = seeded();
        OfficeSession s(config);
        QVERIFY(s.open());
        {
            WriteTransaction tx(s.database());
            QVERIFY(tx.isActive());
            tx.audit(AuditLog::setting(), QStringLiteral("无人允许"));
            QVERIFY(!tx.commit());
            QCOMPARE(tx.errorString(), QStringLiteral("这项更改没有经过权限检查，没有写入"));
        }
        QVERIFY(auditOf(config, AuditLog::setting()).isEmpty());
        // A plain connection (tools, tests) is not held to it.
        Database plain(config);
        QVERIFY(plain.open());
        WriteTransaction tx(plain);
        tx.audit(AuditLog::setting(), QStringLiteral("工具"));
        QVERIFY(tx.commit());
    }

    // The tool bar and the windows as each role sees them.
    void windowsShowWhatTheRoleMayUse_data()
    {
        QTest::addColumn<int>("role");
        QTest::newRow("收费员") << int(Roles::Cashier);
        QTest::newRow("会计") << int(Roles::Accountant);
        QTest::newRow("园长") << int(Roles::Head);
    }
    void windowsShowWhatTheRoleMayUse()
    {
        QFETCH(int, role);
        const auto r = Roles::Role(role);
        const DbConfig config = seeded();
        addUsers(config);
        MainWindow mw(config);
        QVERIFY(signInAs(mw, nameOf(r), passwordOf(nameOf(r))));
        int checked = 0;
        for (QAction *a : mw.toolActions()) {
            const auto needs = MainWindow::permissionOf(a->objectName());
            const bool may = !needs || Roles::may(r, *needs);
            QCOMPARE(a->isEnabled(), may);
            if (!may) {
                QCOMPARE(a->toolTip(), Roles::whoMay(*needs));
                ++checked;
            }
        }
        // A cashier: 月报, 月结, 用户, 催费单, 对账 and 减免; an accountant 用户
        // and 减免 (reductions are set with the prices, by the head).
        QCOMPARE(checked, r == Roles::Cashier ? 6 : r == Roles::Accountant ? 2 : 0);
        auto *calibrate = mw.findChild<QPushButton *>(QStringLiteral("calibrate"));
        QCOMPARE(calibrate->isEnabled(), r == Roles::Head);
        // Prices are the administrator's to change.
        QCOMPARE(mw.configview->tableModel()->item(FeeSettings::Meals, 1)->isEditable(),
                 r == Roles::Head);
        mw.toolAction(QStringLiteral("dayReport"))->trigger();
        auto *day = mw.findChild<DayReportDialog *>();
        QCOMPARE(comboItems(day->clerkBox()).size(), r == Roles::Cashier ? 1 : 2);
        QCOMPARE(day->clerkBox()->itemText(0), nameOf(r));
        mw.toolAction(QStringLiteral("arrears"))->trigger();
        auto *owing = mw.findChild<ArrearsDialog *>();
        QCOMPARE(button(owing, "arrearsExport")->isEnabled(), r != Roles::Cashier);
    }

    // Neither a password nor its hash reaches the audit log, a message, a
    // backup's name or the settings.
    void noPasswordAnywhere()
    {
        const DbConfig config = seeded();
        addUsers(config);
        {
            MainWindow mw(config);
            QVERIFY(!signInAs(mw, cashName, acctPass));
            QVERIFY(signInAs(mw, headName, headPass));
            mw.toolAction(QStringLiteral("users"))->trigger();
            auto *users = mw.findChild<UsersDialog *>();
            for (int r = 0; r < users->userTable()->rowCount(); ++r)
                if (users->userTable()->item(r, 0)->text() == cashName)
                    users->userTable()->setCurrentCell(r, 0);
            users->passwordEdit()->setText(QStringLiteral("secret-reset-9"));
            QVERIFY(users->resetPassword());
            QVERIFY(users->passwordEdit()->text().isEmpty());
            QVERIFY(!mw.session()
                         .backups()
                         .backupTo(w->path(QStringLiteral("copies")), nullptr)
                         .isEmpty());
        }
        const QStringList secrets = {headPass, acctPass, cashPass, QStringLiteral("secret-reset-9"),
                                     QStringLiteral("$argon2id$")};
        QStringList seen;
        for (const AuditLog::Row &row : auditOf(config))
            seen << row.what << row.clerk;
        for (const TestWorld::Message &m : w->messages)
            seen << m.text << m.informative << m.detailed;
        QDirIterator files(w->path({}), QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString file = files.next();
            seen << file;
            if (!file.endsWith(QStringLiteral(".sqlite")))
                seen << QString::fromUtf8(bytesOf(file));
        }
        for (const QString &secret : secrets)
            for (const QString &text : std::as_const(seen))
                QVERIFY2(!text.contains(secret), qPrintable(text.left(200)));
    }
};

QTEST_MAIN(TestSignIn)
#include "test_signin.moc"
