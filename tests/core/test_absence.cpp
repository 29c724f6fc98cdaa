// Meal refunds for days absent: school days from the calendar, runs of
// consecutive school days, the threshold and leave rules, and the reason
// the clerk reads.
#include "absence.h"

#include <QTest>

using namespace Absence;

namespace
{
QDate dec(int day)
{
    return QDate(2026, 12, day);
}
// "3,4,7L": days of December 2026, L for leave asked.
QVector<Absent> days(const QString &list)
{
    QVector<Absent> out;
    for (QString d : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        Absent a;
        a.leave = d.endsWith(QLatin1Char('L'));
        if (a.leave)
            d.chop(1);
        if (d.startsWith(QLatin1Char('n'))) {
            a.count = d.mid(1).toInt();
        } else {
            a.day = dec(d.toInt());
        }
        out << a;
    }
    return out;
}
} // namespace

class TestAbsence : public QObject
{
    Q_OBJECT

    // December 2026: the 25th a holiday, Saturday the 26th a make-up day.
    QVector<QDate> december() const
    {
        Calendar c;
        c.holidays << dec(25);
        c.workdays << dec(26);
        return schoolDays(2026, 12, c);
    }

private slots:
    void calendar()
    {
        const QVector<QDate> d = december();
        // 23 weekdays, less the 25th, plus the 26th.
        QCOMPARE(d.size(), 23);
        QVERIFY(!d.contains(dec(25)));
        QVERIFY(d.contains(dec(26)));
        QVERIFY(!d.contains(dec(5)));
        QCOMPARE(d.first(), dec(1));
        QVERIFY(std::is_sorted(d.begin(), d.end()));
        QVERIFY(schoolDays(2026, 13, {}).isEmpty());
    }

    void refunds_data()
    {
        QTest::addColumn<QString>("absent");
        QTest::addColumn<int>("minDays");
        QTest::addColumn<bool>("leaveRequired");
        QTest::addColumn<qint64>("cap");
        QTest::addColumn<qint64>("fen");
        QTest::addColumn<QString>("reason");
        // 15.00 a day throughout.
        QTest::newRow("six days over a weekend, with leave")
            << "3L,4L,7L,8L,9L,10L" << 5 << true << qint64(-1) << qint64(9000)
            << "缺勤 6 天（12月3日–12月10日，已请假），满 5 天，按每天 15.00 元退 90.00 元";
        QTest::newRow("four days: under five")
            << "7,8,9,10" << 5 << false << qint64(-1) << qint64(0)
            << "缺勤 4 天（12月7日–12月10日，未请假，不满 5 天），不退";
        QTest::newRow("the holiday does not break the run")
            << "24,26,28,29,30" << 5 << false << qint64(-1) << qint64(7500)
            << "缺勤 5 天（12月24日–12月30日，未请假），满 5 天，按每天 15.00 元退 75.00 元";
        QTest::newRow("present on the make-up Saturday breaks it")
            << "22,23,24,28,29" << 3 << false << qint64(-1) << qint64(4500)
            << "缺勤 5 天（12月22日–12月24日，未请假；12月28日–12月29日，未请假，不满 3 天），满 "
               "3 天，按每天 15.00 元退 45.00 元（3 天）";
        QTest::newRow("a school day present breaks it")
            << "1,2,4,7,8" << 3 << false << qint64(-1) << qint64(4500)
            << "缺勤 5 天（12月1日–12月2日，未请假，不满 3 天；12月4日–12月8日，未请假），满 3 "
               "天，按每天 15.00 元退 45.00 元（3 天）";
        QTest::newRow("every day counts at 0")
            << "1,15" << 0 << false << qint64(-1) << qint64(3000)
            << "缺勤 2 天（12月1日，未请假；12月15日，未请假），按每天 15.00 元退 30.00 元";
        QTest::newRow("leave required: a day without leave splits the run")
            << "14L,15L,16,17L,18L" << 2 << true << qint64(-1) << qint64(6000)
            << "缺勤 5 天（12月14日–12月15日，已请假；12月16日，未请假，须请假才退；12月17日–"
               "12月18日，已请假），满 2 天，按每天 15.00 元退 60.00 元（4 天）";
        QTest::newRow("leave not required: the same days are one run")
            << "14L,15L,16,17L,18L" << 5 << false << qint64(-1) << qint64(7500)
            << "缺勤 5 天（12月14日–12月18日，4 天请假），满 5 天，按每天 15.00 元退 75.00 元";
        QTest::newRow("the make-up Saturday joins the run")
            << "24,26,28" << 3 << false << qint64(-1) << qint64(4500)
            << "缺勤 3 天（12月24日–12月28日，未请假），满 3 天，按每天 15.00 元退 45.00 元";
        QTest::newRow("never more than the meals charged")
            << "1,2,3,4,7,8,9,10" << 5 << false << qint64(10000) << qint64(10000)
            << "缺勤 8 天（12月1日–12月10日，未请假），满 5 天，按每天 15.00 元退 120.00 "
               "元，以本月伙食费 100.00 元为限，退 100.00 元";
        QTest::newRow("a count from a list") << "n6L" << 5 << true << qint64(-1) << qint64(9000)
                                             << "缺勤 6 天（按天数记，已请假），满 5 天，按每天 "
                                                "15.00 元退 90.00 元";
        QTest::newRow("nothing") << "" << 5 << false << qint64(-1) << qint64(0) << "没有缺勤";
    }
    void refunds()
    {
        QFETCH(QString, absent);
        QFETCH(int, minDays);
        QFETCH(bool, leaveRequired);
        QFETCH(qint64, cap);
        QFETCH(qint64, fen);
        QFETCH(QString, reason);
        Rule rule;
        rule.minDays = minDays;
        rule.leaveRequired = leaveRequired;
        const Refund r = compute(days(absent), december(), rule, 1500, cap);
        QCOMPARE(r.reason, reason);
        QCOMPARE(r.fen, fen);
        QVERIFY(r.errors.isEmpty());
    }

    // Tuition back (保教费退还): rule 10 days, half of 1200.00 unless said.
    // December 2026 as above: the 25th a holiday, Saturday the 26th a
    // make-up school day.
    void tuitionBack_data()
    {
        QTest::addColumn<QString>("absent");
        QTest::addColumn<int>("minDays");
        QTest::addColumn<int>("share");
        QTest::addColumn<qint64>("tuition");
        QTest::addColumn<qint64>("fen");
        QTest::addColumn<int>("run");
        QTest::addColumn<QString>("reason");
        // 1–4, 7–11 and 14 are ten school days in a row (weekends between):
        // at the threshold, 1200.00 × 50% = 600.00.
        QTest::newRow("at the threshold")
            << "1L,2L,3L,4L,7L,8L,9L,10L,11L,14L" << 10 << 50 << qint64(120000) << qint64(60000)
            << 10
            << "请假连续缺勤 10 天（12月1日–12月14日），满 10 天，退本月保教费 1200.00 元的 "
               "50%：600.00 元";
        // Without the 14th: nine days, one short.
        QTest::newRow("one day short")
            << "1L,2L,3L,4L,7L,8L,9L,10L,11L" << 10 << 50 << qint64(120000) << qint64(0) << 0
            << "请假连续缺勤最长 9 天（12月1日–12月11日），不满 10 天，保教费不退";
        // A day without leave in the middle breaks the run: 5 + 4.
        QTest::newRow("a day without leave breaks it")
            << "1L,2L,3L,4L,7L,8,9L,10L,11L,14L" << 5 << 50 << qint64(120000) << qint64(60000) << 5
            << "请假连续缺勤 5 天（12月1日–12月7日），满 5 天，退本月保教费 1200.00 元的 "
               "50%：600.00 "
               "元";
        // Days absent without leave never count.
        QTest::newRow("no leave asked") << "1,2,3,4,7,8,9,10,11,14" << 5 << 50 << qint64(120000)
                                        << qint64(0) << 0 << "没有请假缺勤";
        // 21–24, (25th holiday), 26 (make-up), 28–31: nine school days in a
        // row across the holiday and the make-up Saturday. 30% of 1080.00
        // (a discounted 1200.00) = 324.00.
        QTest::newRow("across the holiday and the make-up day")
            << "21L,22L,23L,24L,26L,28L,29L,30L,31L" << 9 << 30 << qint64(108000) << qint64(32400)
            << 9
            << "请假连续缺勤 9 天（12月21日–12月31日），满 9 天，退本月保教费 1080.00 元的 "
               "30%：324.00 元";
        // Present on the make-up Saturday: 21–24 (4) and 28–31 (4).
        QTest::newRow("present on the make-up day")
            << "21L,22L,23L,24L,28L,29L,30L,31L" << 5 << 30 << qint64(108000) << qint64(0) << 0
            << "请假连续缺勤最长 4 天（12月21日–12月24日），不满 5 天，保教费不退";
        // 1333.33 × 1/3 … shares are whole percents: 1333.33 × 33% =
        // 439.9989, rounded to 440.00.
        QTest::newRow("rounded to the fen")
            << "n12L" << 12 << 33 << qint64(133333) << qint64(44000) << 12
            << "请假连续缺勤 12 天（按天数记），满 12 天，退本月保教费 1333.33 元的 33%：440.00 元";
        QTest::newRow("off") << "n20L" << 0 << 50 << qint64(120000) << qint64(0) << 0 << "";
    }
    void tuitionBack()
    {
        QFETCH(QString, absent);
        QFETCH(int, minDays);
        QFETCH(int, share);
        QFETCH(qint64, tuition);
        QFETCH(qint64, fen);
        QFETCH(int, run);
        QFETCH(QString, reason);
        TuitionRule rule;
        rule.minDays = minDays;
        rule.sharePercent = share;
        const Refund r = Absence::tuitionBack(days(absent), december(), rule, tuition);
        QCOMPARE(r.reason, reason);
        QCOMPARE(r.fen, fen);
        QCOMPARE(r.refunded, run);
    }

    void tuitionRuleValues_data()
    {
        QTest::addColumn<QString>("minDays");
        QTest::addColumn<QString>("share");
        QTest::addColumn<bool>("usable");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("off, empty") << ""
                                    << "" << true << false;
        QTest::newRow("off, 0") << "0"
                                << "abc" << true << false;
        QTest::newRow("ten days, half") << "10"
                                        << "50" << true << true;
        QTest::newRow("share missing") << "10"
                                       << "" << false << false;
        QTest::newRow("share above 100") << "10"
                                         << "120" << false << false;
        QTest::newRow("days not a number") << "十"
                                           << "50" << false << false;
        QTest::newRow("more days than a month has") << "24"
                                                    << "50" << false << false;
    }
    void tuitionRuleValues()
    {
        QFETCH(QString, minDays);
        QFETCH(QString, share);
        QFETCH(bool, usable);
        QFETCH(bool, enabled);
        QString why;
        const auto rule = TuitionRule::fromTexts(minDays, share, &why);
        QCOMPARE(bool(rule), usable);
        QCOMPARE(why.isEmpty(), usable);
        if (rule)
            QCOMPARE(rule->enabled(), enabled);
    }

    // A weekend, a holiday or a day of another month is no school day: said,
    // never counted.
    void daysThatAreNoSchoolDays()
    {
        QVector<Absent> a = days("5,25,7");
        a << Absent{QDate(2026, 11, 30), 1, false};
        const Refund r = compute(a, december(), Rule{0, false, {}, false, true}, 1500, -1);
        QCOMPARE(r.errors, (QStringList{"12月5日不是本月的上学日", "12月25日不是本月的上学日",
                                        "11月30日不是本月的上学日"}));
        QCOMPARE(r.days, 1);
        QCOMPARE(r.fen, qint64(1500));
    }

    void daysAsListsWriteThem_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("day"); // 0: outside the month; -1: no date
        QTest::newRow("iso") << "2026-12-03" << 3;
        QTest::newRow("slashes") << "2026/12/3" << 3;
        QTest::newRow("chinese") << "12月3日" << 3;
        QTest::newRow("month-day") << "12-31" << 31;
        QTest::newRow("day number") << "7" << 7;
        QTest::newRow("spreadsheet date number") << "46359" << 3;
        QTest::newRow("another month") << "2026-11-30" << 0;
        QTest::newRow("no such day") << "2026-12-32" << 0;
        QTest::newRow("word") << "周三" << -1;
    }
    void daysAsListsWriteThem()
    {
        QFETCH(QString, text);
        QFETCH(int, day);
        const auto d = parseDay(text, 2026, 12);
        QCOMPARE(bool(d), day >= 0);
        if (d)
            QCOMPARE(*d, day > 0 ? dec(day) : QDate());
    }

    // Names with dates or with a count; a row that cannot be read is said
    // and left out whole.
    void attendanceLists()
    {
        QStringList errors;
        const auto dated = readList({{"姓名", "日期", "日期", "备注"},
                                     {"甲", "2026-12-03", "12月4日", "请假"},
                                     {"乙", "7", "", ""},
                                     {"丙", "2026-11-30", "8", ""},
                                     {"丁", "下周", "", ""},
                                     {"", "3", "", ""}},
                                    2026, 12, &errors);
        QCOMPARE(dated.size(), 2);
        QCOMPARE(dated.at(0).name, QStringLiteral("甲"));
        QCOMPARE(dated.at(0).days.size(), 2);
        QVERIFY(dated.at(0).days.at(1).leave);
        QCOMPARE(dated.at(0).days.at(1).day, dec(4));
        QCOMPARE(dated.at(1).days.size(), 1);
        QVERIFY(!dated.at(1).days.at(0).leave);
        QCOMPARE(errors, (QStringList{"第 4 行：丙 的“2026-11-30”不在 2026 年 12 月",
                                      "第 5 行：丁 的“下周”不是日期"}));
        errors.clear();
        const auto counted = readList({{"姓名", "缺勤天数", "请假"},
                                       {"甲", "6", "是"},
                                       {"乙", "6.5", ""},
                                       {"丙", "3", "请假"}},
                                      2026, 12, &errors);
        QCOMPARE(counted.size(), 2);
        QCOMPARE(counted.at(0).days.at(0).count, 6);
        QVERIFY(!counted.at(0).days.at(0).day.isValid());
        QVERIFY(counted.at(1).days.at(0).leave);
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors.at(0).contains(QStringLiteral("第 3 行：乙")));
        // Without a header, the first row is a child.
        errors.clear();
        QCOMPARE(readList({{"甲", "3"}}, 2026, 12, &errors).size(), 1);
    }

    void ruleValues_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("why"); // empty: accepted
        QTest::newRow("defaults") << QStringList{"", "", "", "", ""} << "";
        QTest::newRow("all set") << QStringList{"3", "是", "12.5", "否", "否"} << "";
        QTest::newRow("days not a number") << QStringList{"五", "", "", "", ""} << "不是 0 到 31";
        QTest::newRow("days too many") << QStringList{"40", "", "", "", ""} << "不是 0 到 31";
        QTest::newRow("negative days") << QStringList{"-1", "", "", "", ""} << "不是 0 到 31";
        QTest::newRow("amount not money") << QStringList{"", "", "十五", "", ""} << "不是金额";
        QTest::newRow("amount with three decimals")
            << QStringList{"", "", "15.001", "", ""} << "不是金额";
        QTest::newRow("yes/no that is neither")
            << QStringList{"", "也许", "", "", ""} << "是”或“否";
    }
    void ruleValues()
    {
        QFETCH(QStringList, texts);
        QFETCH(QString, why);
        QString reason;
        const auto rule = Rule::fromTexts(texts.at(0), texts.at(1), texts.at(2), texts.at(3),
                                          texts.at(4), &reason);
        QCOMPARE(bool(rule), why.isEmpty());
        if (!rule) {
            QVERIFY2(reason.contains(why), qPrintable(reason));
            return;
        }
        if (texts.at(0) == QLatin1String("3")) {
            QCOMPARE(rule->minDays, 3);
            QVERIFY(rule->leaveRequired);
            QCOMPARE(*rule->perDayFen, qint64(1250));
            QVERIFY(!rule->creditNextMonth);
        } else {
            QCOMPARE(rule->minDays, 5);
            QVERIFY(!rule->perDayFen);
            QVERIFY(rule->creditNextMonth);
        }
    }
};

QTEST_GUILESS_MAIN(TestAbsence)
#include "test_absence.moc"
