// Part months and leaving: the share of a month a child joining or leaving
// pays under each rule, across a holiday and a make-up day (amounts worked
// by hand in the table); then through the window on both databases: dates
// and the rule recorded, billing writing the part month as adjustments of
// their own and only the difference when the rule changes, the receipt
// net of them, and leaving settled with credit, with debt and with both.

#include "absence.h"
#include "attendancestore.h"
#include "clock.h"
#include "database.h"
#include "journal.h"
#include "ledgerstore.h"
#include "mainwindow.h"
#include "officesession.h"
#include "partmonth.h"
#include "reductionstore.h"
#include "rosterpage.h"
#include "staydialog.h"
#include "staystore.h"
#include "testsupport.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QSpinBox>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

using PartMonth::Kind;

namespace
{
QStringList child(const QString &name, const QString &tuition, const QString &className)
{
    return {name, "4", tuition, "", "10", "", "", "", "", "0", "李", "否", className};
}

qint64 number(const DbConfig &config, const QString &sql)
{
    Database db(config);
    if (!db.open())
        return -1;
    QSqlQuery q(db.connection());
    if (!q.exec(sql) || !q.next())
        return -1;
    return q.value(0).toLongLong();
}

// December 2026 begins on a Tuesday: 23 weekdays. The 24th and 25th are
// holidays, Saturday the 19th is a make-up working day: 22 school days.
Absence::Calendar december()
{
    Absence::Calendar c;
    c.holidays = {QDate(2026, 12, 24), QDate(2026, 12, 25)};
    c.workdays = {QDate(2026, 12, 19)};
    return c;
}

QDate dec(int day)
{
    return QDate(2026, 12, day);
}
} // namespace

class TestPartMonths : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

    void printRow(RosterPage *page, int row, const QString &received = {})
    {
        page->tableView->setCurrentIndex(page->document()->index(row, 0));
        w->paymentReceived = received;
        w->questionAnswers = {QMessageBox::Yes, QMessageBox::Yes};
        page->toolButton(QStringLiteral("printSelected"))->click();
    }
    static qint64 balance(const DbConfig &config, const QString &childId)
    {
        return number(config, QStringLiteral("SELECT COALESCE(SUM(amount_fen), 0) FROM "
                                             "ledger_entry WHERE child_id = '%1'")
                                  .arg(childId));
    }

private slots:
    void init()
    {
        w = new TestWorld;
        Clock::setFixed(QDateTime(dec(20), QTime(10, 0)));
    }
    void cleanup()
    {
        Clock::reset();
        delete w;
        w = nullptr;
    }

    // Tuition 1200.00 and meals 220.00 (10.00 a school day) of a month of
    // 22 school days; what a stay takes off each, rounded half up.
    void shares_data()
    {
        QTest::addColumn<QDate>("joined");
        QTest::addColumn<QDate>("left");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("fullFrom");
        QTest::addColumn<int>("halfFrom");
        QTest::addColumn<int>("days");
        QTest::addColumn<qint64>("tuitionOff");
        QTest::addColumn<qint64>("mealsOff");
        QTest::addColumn<QString>("reason");
        const int full = int(Kind::Full), byDays = int(Kind::ByDays), steps = int(Kind::Thresholds);
        // From the 15th: 15–18 (4), the make-up 19th (1), 21–23 (3), 28–31
        // (4) = 12 days. By days 120000 × 12 / 22 = 65454.5 → 65455, so
        // 54545 off; meals 22000 × 12 / 22 = 12000, so 10000 off.
        const QString from15 = QStringLiteral("12月15日插班，在园 12 天 / 共 22 天");
        QTest::newRow("by-days") << dec(15) << QDate() << byDays << 0 << 0 << 12 << qint64(54545)
                                 << qint64(10000) << from15;
        // Full: tuition stays, meals still by the days.
        QTest::newRow("full") << dec(15) << QDate() << full << 0 << 0 << 12 << qint64(0)
                              << qint64(10000) << from15;
        // Full from 15 days, half from 8: 12 days is half, 60000 off.
        QTest::newRow("half") << dec(15) << QDate() << steps << 15 << 8 << 12 << qint64(60000)
                              << qint64(10000) << from15;
        // At the threshold (12) it is the whole month; one day short, half.
        QTest::newRow("at-threshold")
            << dec(15) << QDate() << steps << 12 << 8 << 12 << qint64(0) << qint64(10000) << from15;
        QTest::newRow("one-day-short") << dec(15) << QDate() << steps << 13 << 8 << 12
                                       << qint64(60000) << qint64(10000) << from15;
        // Without a half month, under 15 days is nothing: all 120000 off.
        QTest::newRow("none") << dec(15) << QDate() << steps << 15 << 0 << 12 << qint64(120000)
                              << qint64(10000) << from15;
        // Joined on the holiday of the 24th: only 28–31, 4 days. 120000 ×
        // 4 / 22 = 21818.18 → 21818, 98182 off; meals 4000, 18000 off.
        QTest::newRow("joined-on-holiday")
            << dec(24) << QDate() << byDays << 0 << 0 << 4 << qint64(98182) << qint64(18000)
            << QStringLiteral("12月24日插班，在园 4 天 / 共 22 天");
        // Left on the make-up Saturday: 1–4 (4), 7–11 (5), 14–18 (5) and
        // the 19th = 15 days. 120000 × 15 / 22 = 81818.18 → 81818, 38182
        // off; meals 15000, 7000 off.
        QTest::newRow("left-on-make-up-day")
            << QDate(2026, 9, 1) << dec(19) << byDays << 0 << 0 << 15 << qint64(38182)
            << qint64(7000) << QStringLiteral("12月19日退园，在园 15 天 / 共 22 天");
        // Joined the 15th, left the 23rd: 15–19 (5) and 21–23 (3) = 8.
        // Half from 8: 60000 off; meals 8000, 14000 off.
        QTest::newRow("joined-and-left")
            << dec(15) << dec(23) << steps << 15 << 8 << 8 << qint64(60000) << qint64(14000)
            << QStringLiteral("12月15日插班，12月23日退园，在园 8 天 / 共 22 天");
    }
    void shares()
    {
        QFETCH(QDate, joined);
        QFETCH(QDate, left);
        QFETCH(int, kind);
        QFETCH(int, fullFrom);
        QFETCH(int, halfFrom);
        QFETCH(int, days);
        QFETCH(qint64, tuitionOff);
        QFETCH(qint64, mealsOff);
        QFETCH(QString, reason);
        const auto part =
            PartMonth::part({joined, left}, Absence::schoolDays(2026, 12, december()));
        QVERIFY(part);
        QCOMPARE(part->days, days);
        QCOMPARE(part->of, 22);
        QCOMPARE(part->reason, reason);
        PartMonth::Rule rule{Kind(kind), fullFrom, halfFrom};
        QVERIFY(PartMonth::problem(rule).isEmpty());
        QVector<Reductions::Base> bases{{QStringLiteral("保教费"), 120000, 120000, 1.0},
                                        {QStringLiteral("伙食费"), 22000, 22000, 1.0},
                                        {QStringLiteral("意外保险费"), 5000, 5000, 1.0}};
        const auto lines = PartMonth::lines(rule, *part, &bases);
        QHash<QString, qint64> off;
        for (const auto &l : lines) {
            const auto [item, why] = Reductions::split(l.first);
            QCOMPARE(why, PartMonth::reason(reason));
            QCOMPARE(Reductions::key(item, why), l.first);
            off[item] -= l.second;
        }
        QCOMPARE(off.value(QStringLiteral("保教费")), tuitionOff);
        QCOMPARE(off.value(QStringLiteral("伙食费")), mealsOff);
        QVERIFY(!off.contains(QStringLiteral("意外保险费")));
        // What is left is what a reduction is then taken from.
        QCOMPARE(bases.at(0).charged, 120000 - tuitionOff);
        QCOMPARE(bases.at(1).charged, 22000 - mealsOff);
    }

    // Stays that cover the month, or miss it; rules that cannot be kept; a
    // reduction taken from what the part month leaves.
    void wholeMonthsAndRules()
    {
        const auto days = Absence::schoolDays(2026, 12, december());
        // Joined before the first school day (the 1st is one), or on a
        // weekend before it: the whole month.
        QVERIFY(!PartMonth::part({dec(1), QDate()}, days));
        QVERIFY(!PartMonth::part({QDate(2026, 11, 20), dec(31)}, days));
        QVERIFY(PartMonth::part({dec(2), QDate()}, days));
        QVERIFY(PartMonth::inMonth({dec(31), QDate()}, QStringLiteral("2026-12")));
        QVERIFY(!PartMonth::inMonth({QDate(2027, 1, 4), QDate()}, QStringLiteral("2026-12")));
        QVERIFY(!PartMonth::inMonth({QDate(2026, 9, 1), QDate(2026, 11, 30)},
                                    QStringLiteral("2026-12")));
        QVERIFY(PartMonth::inMonth({QDate(2026, 9, 1), dec(1)}, QStringLiteral("2026-12")));
        QVERIFY(!PartMonth::problem({Kind::Thresholds, 0, 0}).isEmpty());
        QVERIFY(!PartMonth::problem({Kind::Thresholds, 10, 10}).isEmpty());
        QVERIFY(!PartMonth::problem({Kind::Thresholds, 32, 8}).isEmpty());
        // 50 % off tuition from the 15th, by days: 50 % of 65455 = 32727.5
        // → 32728, after the part month's 54545.
        PartMonth::Terms terms;
        terms.rule = {Kind::ByDays, 0, 0};
        terms.part = PartMonth::part({dec(15), QDate()}, days);
        terms.reductions = {{1,
                             QStringLiteral("二孩"),
                             {QStringLiteral("保教费")},
                             Reductions::Kind::Percent,
                             5000,
                             Reductions::Order::AfterDiscount,
                             0}};
        const auto lines =
            PartMonth::adjustments(terms, {{QStringLiteral("保教费"), 120000, 120000, 1.0}});
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0).second, qint64(-54545));
        QCOMPARE(lines.at(1).second, qint64(-32728));
        // The receipt says only the reduction as 已减免.
        Receipt full;
        addFeeEntry(full, ReceiptText::childcareLabel(), 1200.0f, 0);
        full.entryCount = 1;
        full.total = 120000;
        const Receipt net = Reductions::net(full, lines);
        QCOMPARE(net.total, 120000 - 54545 - 32728);
        QCOMPARE(net.reduced, 32728);
    }

    void throughTheWindow_data()
    {
        QTest::addColumn<bool>("postgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgres") << true;
    }
    void throughTheWindow()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        w->setSetting(QStringLiteral("c"), QStringLiteral("10"));
        const DbConfig config = postgres ? freshPostgres() : DbConfig::sqlite(w->databasePath());
        // Each child 2200.00 of tuition and 100.00 of meals.
        seedDatabase(config, {"A"},
                     {child("甲", "2200", "A"), child("乙", "2200", "A"), child("丙", "2200", "A"),
                      child("丁", "2200", "A"), child("戊", "2200", "A")});
        {
            Database db(config);
            QVERIFY(db.open());
            QVERIFY(AttendanceStore(db).saveCalendar(QStringLiteral("2026-12"), december()));
        }
        // 丁 paid ahead in November: 5000.00 for a 2300.00 receipt.
        Clock::setFixed(QDateTime(QDate(2026, 11, 20), QTime(10, 0)));
        QString ding;
        {
            MainWindow november(config);
            ding = november.page(0)->document()->record(3).childId;
            w->printToPdf = w->path(QStringLiteral("n.pdf"));
            printRow(november.page(0), 3, QStringLiteral("5000"));
            QVERIFY2(w->messages.isEmpty(), qPrintable(w->messages.value(0).text));
            QVERIFY(november.onButtonSaveDB());
        }
        QCOMPARE(balance(config, ding), -270000);
        Clock::setFixed(QDateTime(dec(20), QTime(10, 0)));

        MainWindow mw(config);
        const QString jia = mw.page(0)->document()->record(0).childId;
        const QString yi = mw.page(0)->document()->record(1).childId;
        const QString bing = mw.page(0)->document()->record(2).childId;
        mw.toolAction(QStringLiteral("stays"))->trigger();
        auto *d = mw.findChild<StayDialog *>();
        QVERIFY(d && d->isVisible());
        QCOMPARE(d->table()->rowCount(), 0);

        // 甲 joined on the 15th; a date that is none is refused.
        w->textAnswers = {QStringLiteral("甲"), QStringLiteral("12月的某天")};
        QVERIFY(!d->recordJoining());
        QVERIFY(w->messages.last().text.contains(QStringLiteral("不是日期")));
        w->textAnswers = {QStringLiteral("甲"), QStringLiteral("2026-12-15")};
        QVERIFY(d->recordJoining());
        QCOMPARE(d->table()->rowCount(), 1);
        QCOMPARE(d->table()->item(0, 2)->text(), QStringLiteral("2026-12-15"));
        // The same again is refused: nothing changed.
        w->textAnswers = {QStringLiteral("甲"), QStringLiteral("2026/12/15")};
        QVERIFY(!d->recordJoining());
        QVERIFY(w->messages.last().text.contains(QStringLiteral("没有变化")));
        // By days attended.
        d->ruleBox()->setCurrentIndex(int(Kind::ByDays));
        QVERIFY(!d->fullBox()->isEnabled());
        QVERIFY(d->saveRule());
        QVERIFY(d->summary()->text().contains(QStringLiteral("按在园天数")));

        // Billing: 甲's 12 of 22 days. 220000 × 12 / 22 = 120000, so 100000
        // off; meals 10000 × 12 / 22 = 5454.5 → 5455, so 4545 off.
        QVERIFY(mw.session().accounts().billMonth({QStringLiteral("A")}).result);
        const QString why = QStringLiteral("不足月：12月15日插班，在园 12 天 / 共 22 天");
        QCOMPARE(number(config, QStringLiteral("SELECT SUM(amount_fen) FROM ledger_entry WHERE "
                                               "kind = '调整' AND item = '保教费' AND reason = "
                                               "'%1'")
                                    .arg(why)),
                 -100000);
        QCOMPARE(number(config, QStringLiteral("SELECT SUM(amount_fen) FROM ledger_entry WHERE "
                                               "kind = '调整' AND item = '伙食费' AND reason = "
                                               "'%1'")
                                    .arg(why)),
                 -4545);
        QCOMPARE(balance(config, jia), 125455);
        const qint64 entries = number(config, "SELECT count(*) FROM ledger_entry");
        QVERIFY(mw.session().accounts().billMonth({QStringLiteral("A")}).result);
        QCOMPARE(number(config, "SELECT count(*) FROM ledger_entry"), entries);

        // The rule changed to full from 15 days, half from 8: billing
        // writes only the difference, 10000 more off 甲's tuition.
        d->ruleBox()->setCurrentIndex(int(Kind::Thresholds));
        d->fullBox()->setValue(15);
        d->halfBox()->setValue(8);
        QVERIFY(d->saveRule());
        QVERIFY(mw.session().accounts().billMonth({QStringLiteral("A")}).result);
        QCOMPARE(number(config, "SELECT count(*) FROM ledger_entry"), entries + 1);
        QCOMPARE(balance(config, jia), 115455);

        // 甲's receipt is the part month: 1100.00 + 54.55.
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        w->messages.clear();
        printRow(mw.page(0), 0);
        QVERIFY2(w->messages.isEmpty(), qPrintable(w->messages.value(0).text));
        QCOMPARE(
            number(config, "SELECT total_fen FROM receipt_journal ORDER BY number DESC LIMIT 1"),
            115455);
        QCOMPARE(balance(config, jia), 0);
        // 乙 pays the whole month.
        printRow(mw.page(0), 1);
        QVERIFY2(w->messages.isEmpty(), qPrintable(w->messages.value(0).text));
        QCOMPARE(balance(config, yi), 0);
        QVERIFY(mw.onButtonSaveDB());

        // 乙 leaves after the 18th (14 days: half the tuition, meals 10000 ×
        // 14 / 22 = 6363.6 → 6364): 110000 + 3636 paid ahead goes back.
        w->textAnswers = {QStringLiteral("乙"), QStringLiteral("2026-12-18")};
        w->questionAnswers = {QMessageBox::Yes};
        w->printToPdf = w->path(QStringLiteral("s.pdf"));
        QVERIFY2(d->settleLeaving(), qPrintable(w->messages.value(w->messages.size() - 1).text));
        QVERIFY(d->lastSettlement().contains(QStringLiteral("退还 1136.36 元")));
        QCOMPARE(balance(config, yi), 0);
        QCOMPARE(number(config, QStringLiteral("SELECT amount_fen FROM ledger_entry WHERE kind = "
                                               "'退款' AND child_id = '%1' AND own_serial <> ''")
                                    .arg(yi)),
                 113636);
        // The statement came out, ending at zero.
        QVERIFY(pdfText(w->printToPdf).contains(QStringLiteral("期末")));
        QCOMPARE(d->table()->rowCount(), 2);

        // 丙 owes the part month: refused with what is owed, the date kept.
        w->textAnswers = {QStringLiteral("丙"), QStringLiteral("2026-12-18")};
        w->questionAnswers = {QMessageBox::Yes};
        QVERIFY(!d->settleLeaving());
        QVERIFY2(w->messages.last().text.contains(QStringLiteral("还欠 1163.64 元")),
                 qPrintable(w->messages.last().text));
        QCOMPARE(balance(config, bing), 116364);
        // Paid, then settled: nothing goes back, the account at zero.
        printRow(mw.page(0), 2);
        QCOMPARE(balance(config, bing), 0);
        QVERIFY(mw.onButtonSaveDB());
        w->textAnswers = {QStringLiteral("丙"), QStringLiteral("2026-12-18")};
        w->questionAnswers = {QMessageBox::Yes};
        QVERIFY(d->settleLeaving());
        QVERIFY(d->lastSettlement().contains(QStringLiteral("没有要退还的钱")));

        // 丁 has both: 2700.00 paid ahead in November, 1163.64 owed in
        // December. The credit pays the debt, 1536.36 goes back, and both
        // months stand at zero.
        w->textAnswers = {QStringLiteral("丁"), QStringLiteral("2026-12-18")};
        w->questionAnswers = {QMessageBox::Yes};
        QVERIFY2(d->settleLeaving(), qPrintable(w->messages.value(w->messages.size() - 1).text));
        QVERIFY(d->lastSettlement().contains(QStringLiteral("退还 1536.36 元")));
        QCOMPARE(balance(config, ding), 0);
        QCOMPARE(number(config, QStringLiteral("SELECT COALESCE(SUM(amount_fen), 0) FROM "
                                               "ledger_entry WHERE child_id = '%1' AND month = "
                                               "'2026-11'")
                                    .arg(ding)),
                 0);
        // 戊 left in November, which never charged it: November is not
        // charged afresh, December's charges are taken back.
        const QString wu = mw.page(0)->document()->record(4).childId;
        QCOMPARE(balance(config, wu), 230000);
        w->textAnswers = {QStringLiteral("戊"), QStringLiteral("2026-11-20")};
        w->questionAnswers = {QMessageBox::Yes};
        QVERIFY2(d->settleLeaving(), qPrintable(w->messages.value(w->messages.size() - 1).text));
        QCOMPARE(balance(config, wu), 0);
        QCOMPARE(number(config, QStringLiteral("SELECT count(*) FROM ledger_entry WHERE child_id = "
                                               "'%1' AND month = '2026-11'")
                                    .arg(wu)),
                 0);
        QCOMPARE(number(config, QStringLiteral("SELECT count(*) FROM ledger_entry WHERE child_id = "
                                               "'%1' AND reason = '本月不在园'")
                                    .arg(wu)),
                 2);
        const auto arrears = mw.session().reports().arrears();
        QVERIFY(arrears);
        QVERIFY(arrears->isEmpty());

        // January: those who left are not billed; 甲 is, the whole month.
        Clock::setFixed(QDateTime(QDate(2027, 1, 6), QTime(10, 0)));
        QVERIFY(mw.session().accounts().billMonth({QStringLiteral("A")}).result);
        QCOMPARE(number(config, "SELECT COUNT(DISTINCT child_id) FROM ledger_entry WHERE month = "
                                "'2027-01'"),
                 1);
        QCOMPARE(balance(config, jia), 230000);
        // A receipt for one who left is refused before any paper.
        w->messages.clear();
        printRow(mw.page(0), 1);
        QVERIFY(!w->messages.isEmpty());
        QVERIFY(w->messages.last().text.contains(QStringLiteral("不在园")) ||
                w->messages.last().informative.contains(QStringLiteral("不在园")));
        QCOMPARE(balance(config, yi), 0);
        // 甲's date, the rule twice, 乙's date and settlement, 丙's date (its
        // settlement wrote nothing), 丁's date and settlement, 戊's date.
        QCOMPARE(number(config, "SELECT count(*) FROM audit_log WHERE kind = '在园'"), 9);
        Database db(config);
        QVERIFY(db.open());
        QSqlQuery q(db.connection());
        QVERIFY(!q.exec(QStringLiteral("DELETE FROM child_stay")));
        QVERIFY(!q.exec(QStringLiteral("UPDATE part_month_rule SET kind = 'full'")));
    }

    // A grant without an end holds past a month's closing: the closed month
    // keeps what it was charged, the next one is billed with the reduction,
    // and the part month only in the month it falls in.
    void reductionKeptAcrossClosing()
    {
        w->setSetting(QStringLiteral("c"), QStringLiteral("10"));
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"}, {child("甲", "1000", "A")});
        MainWindow mw(config);
        const QString jia = mw.page(0)->document()->record(0).childId;
        {
            Database db(config);
            QVERIFY(db.open());
            QVERIFY(AttendanceStore(db).saveCalendar(QStringLiteral("2026-12"), december()));
            ReductionStore store(db);
            qint64 id = 0;
            QVERIFY(store.saveType({0,
                                    QStringLiteral("教职工子女"),
                                    {QStringLiteral("保教费")},
                                    Reductions::Kind::Percent,
                                    3000,
                                    Reductions::Order::AfterDiscount,
                                    0},
                                   &id));
            ReductionStore::Grant g;
            g.childId = jia;
            g.childName = QStringLiteral("甲");
            g.className = QStringLiteral("A");
            g.typeId = id;
            g.fromMonth = QStringLiteral("2026-12");
            g.reason = QStringLiteral("本园教师子女");
            QVERIFY(store.grant(g));
            StayStore stays(db);
            QVERIFY(stays.saveRule({Kind::ByDays, 0, 0}));
            StayStore::Row row;
            row.childId = jia;
            row.childName = QStringLiteral("甲");
            row.className = QStringLiteral("A");
            row.stay.joined = dec(15);
            QVERIFY(stays.record(row));
        }
        // December: 12 of 22 days, 100000 × 12 / 22 = 54545.45 → 54545,
        // then 30 % of it, 16363.5 → 16364, off.
        QVERIFY(mw.session().accounts().billMonth({QStringLiteral("A")}).result);
        QCOMPARE(number(config, "SELECT SUM(amount_fen) FROM ledger_entry WHERE month = '2026-12' "
                                "AND item = '保教费'"),
                 54545 - 16364);
        const qint64 december = number(config, "SELECT SUM(amount_fen) FROM ledger_entry WHERE "
                                               "month = '2026-12'");
        Clock::setFixed(QDateTime(QDate(2027, 1, 6), QTime(10, 0)));
        QVERIFY(mw.session().accounts().closeMonth(QStringLiteral("2026-12")));
        QVERIFY(mw.session().accounts().billMonth({QStringLiteral("A")}).result);
        // January: the whole month, 30 % off; December as it was.
        QCOMPARE(number(config, "SELECT SUM(amount_fen) FROM ledger_entry WHERE month = '2027-01' "
                                "AND item = '保教费'"),
                 70000);
        QCOMPARE(number(config, "SELECT count(*) FROM ledger_entry WHERE month = '2027-01' AND "
                                "reason LIKE '不足月%'"),
                 0);
        QCOMPARE(number(config, "SELECT SUM(amount_fen) FROM ledger_entry WHERE month = '2026-12'"),
                 december);
    }
};

QTEST_MAIN(TestPartMonths)
#include "test_partmonths.moc"
