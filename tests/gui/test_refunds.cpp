// Meal fees given back for days absent, through the 缺勤退费 window: the
// month's grid and calendar, the rule from the settings panel, refunds shown
// with their reasons, applied once (then only differences), credited onto
// the next month's receipt; lists read from a spreadsheet; a closed month
// refuses them.
#include "absencedialog.h"
#include "busy.h"
#include "clock.h"
#include "configview.h"
#include "database.h"
#include "feesettings.h"
#include "ledger.h"
#include "ledgerstore.h"
#include "mainwindow.h"
#include "monthpicker.h"
#include "officesession.h"
#include "officesettings.h"
#include "rosterpage.h"
#include "testsupport.h"
#include "workbook.h"
#include <QStandardItemModel>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

namespace
{
QStringList child(const QString &name, const QString &meals, const QString &discount = "0")
{
    return {name, "4", "1000", "", meals, "", "", "", "", discount, "李", "否", "A"};
}

QVector<LedgerEntry> accountOf(const DbConfig &config, const QString &childId)
{
    Database db(config);
    if (!db.open())
        return {};
    return LedgerStore(db).entries(childId).value_or(QVector<LedgerEntry>());
}

qint64 refunded(const QVector<LedgerEntry> &entries)
{
    qint64 s = 0;
    for (const LedgerEntry &e : entries)
        s += e.kind == LedgerEntry::AbsenceRefund ? -e.amount : 0;
    return s;
}
} // namespace

class TestRefunds : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

    DbConfig backend(bool postgres)
    {
        return postgres ? freshPostgres() : DbConfig::sqlite(w->databasePath());
    }
    // Marks the child's days: "缺" once clicked, "假" twice.
    static void mark(AbsenceDialog *d, int row, const QList<int> &days, bool leave)
    {
        for (int day : days) {
            const QDate date(2026, 12, day);
            d->setMark(row, date, leave ? QStringLiteral("假") : QStringLiteral("缺"));
        }
    }

private slots:
    void init()
    {
        w = new TestWorld;
        Clock::setFixed(QDateTime(QDate(2026, 12, 14), QTime(10, 0)));
        w->setSetting(QStringLiteral("a"), QStringLiteral("0.8"));
        w->setSetting(QStringLiteral("c"), QStringLiteral("15"));
    }
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

    void refundsShownAppliedAndCredited_data() { backends_data(); }
    void refundsShownAppliedAndCredited()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        seedDatabase(config, {"A"}, {child("甲", "20"), child("乙", "20"), child("丙", "2", "1")});
        QString why;
        QVERIFY(OfficeSettings::setRefundRule({"5", "是", "", "否", "是"}, &why));
        MainWindow mw(config);
        const QString jia = mw.page(0)->document()->record(0).childId;
        const QString bing = mw.page(0)->document()->record(2).childId;
        mw.toolAction(QStringLiteral("absences"))->trigger();
        auto *d = mw.findChild<AbsenceDialog *>();
        QVERIFY(d && d->isVisible());
        // December 2026 with the 25th off and Saturday the 26th worked.
        d->holidaysEdit()->setText(QStringLiteral("25"));
        d->workdaysEdit()->setText(QStringLiteral("26"));
        QVERIFY(d->save());
        QCOMPARE(d->grid()->columnCount(), 23 + 1);
        QCOMPARE(d->grid()->rowCount(), 3);
        // A click marks 缺, a second 假.
        d->grid()->cellClicked(0, 2);
        QCOMPARE(d->grid()->item(0, 2)->text(), QStringLiteral("缺"));
        d->grid()->cellClicked(0, 2);
        QCOMPARE(d->grid()->item(0, 2)->text(), QStringLiteral("假"));
        mark(d, 0, {4, 7, 8, 9, 10}, true);
        mark(d, 1, {1, 2}, false);
        mark(d, 2, {14, 15, 16, 17, 18, 21, 22}, true);
        // Nothing is recorded before the clerk has seen the refunds.
        button(d, "absenceApply")->click();
        QVERIFY(w->messages.last().text.contains(QStringLiteral("请先“计算退费”")));
        QVERIFY(d->compute());
        QCOMPARE(d->results()->item(0, 1)->text(), QStringLiteral("90.00"));
        QCOMPARE(d->results()->item(0, 2)->text(),
                 QStringLiteral("缺勤 6 天（12月3日–12月10日，已请假），满 5 天，按每天 15.00 "
                                "元退 90.00 元"));
        QCOMPARE(d->results()->item(1, 1)->text(), QStringLiteral("0.00"));
        QCOMPARE(d->results()->item(1, 2)->text(),
                 QStringLiteral("缺勤 2 天（12月1日–12月2日，未请假，须请假才退），不退"));
        // 丙 eats two days a month, discounted: never more back than its 24.00.
        QCOMPARE(d->results()->item(2, 1)->text(), QStringLiteral("24.00"));
        QVERIFY(d->summary()->text().contains(QStringLiteral("退费合计 114.00 元")));
        w->questionAnswers = {QMessageBox::Yes};
        button(d, "absenceApply")->click();
        QVERIFY(w->questionTexts.last().contains(QStringLiteral("合计 114.00 元")));
        QVERIFY2(w->questionTexts.last().contains(QStringLiteral("应用 A 班 2026-12 的")),
                 qPrintable(w->questionTexts.last()));
        QCOMPARE(refunded(accountOf(config, jia)), qint64(9000));
        QCOMPARE(refunded(accountOf(config, bing)), qint64(2400));
        // Applied again: nothing new.
        const int entries = int(accountOf(config, jia).size());
        w->questionAnswers = {QMessageBox::Yes};
        QVERIFY(d->compute());
        button(d, "absenceApply")->click();
        QCOMPARE(accountOf(config, jia).size(), entries);
        QVERIFY(d->summary()->text().contains(QStringLiteral("已是最新")));
        // The 10th was a mistake: only the difference is recorded.
        d->setMark(0, QDate(2026, 12, 10), QString());
        QVERIFY(d->compute());
        QCOMPARE(d->results()->item(0, 1)->text(), QStringLiteral("75.00"));
        w->questionAnswers = {QMessageBox::Yes};
        button(d, "absenceApply")->click();
        const auto account = accountOf(config, jia);
        QCOMPARE(account.size(), entries + 1);
        QCOMPARE(account.last().amount, qint64(1500));
        QVERIFY(account.last().reason.contains(QStringLiteral("更正")));
        QCOMPARE(refunded(account), qint64(7500));
        // Stored: the window opened again shows the same month.
        d->close();
        mw.toolAction(QStringLiteral("absences"))->trigger();
        d = mw.findChild<AbsenceDialog *>();
        QCOMPARE(d->holidaysEdit()->text(), QStringLiteral("25"));
        QCOMPARE(d->grid()->item(0, 2)->text(), QStringLiteral("假"));

        // January: 甲's receipt is what the parent pays, the credit said.
        Clock::setFixed(QDateTime(QDate(2027, 1, 4), QTime(9, 0)));
        QVERIFY(mw.session().reload());
        RosterPage *a = mw.page(0);
        w->printToPdf = w->path(QStringLiteral("jan.pdf"));
        a->tableView->setCurrentIndex(a->document()->index(0, 0));
        a->toolButton(QStringLiteral("printSelected"))->click();
        // 1000.00 childcare and 20 days of meals at 15.00, less 75.00.
        QCOMPARE(w->paymentDue, qint64(130000 - 7500));
        QVERIFY(pdfText(w->printToPdf).contains(QStringLiteral("已用预收 75.00 元抵扣")));
        // December closed: its refunds cannot change any more.
        w->questionAnswers = {QMessageBox::Yes};
        mw.toolAction(QStringLiteral("closeMonth"))->trigger();
        QVERIFY(d->monthEdit()->setMonth(QStringLiteral("2026-12")));
        QVERIFY(d->load());
        d->setMark(1, QDate(2026, 12, 3), QStringLiteral("缺"));
        mark(d, 1, {4, 7, 8}, false);
        QVERIFY(d->compute());
        w->questionAnswers = {QMessageBox::Yes};
        button(d, "absenceApply")->click();
        QVERIFY2(w->messages.last().text.contains(QStringLiteral("月结，不能再记缺勤退费")),
                 qPrintable(w->messages.last().text));
        QCOMPARE(refunded(accountOf(config, mw.page(0)->document()->record(1).childId)), qint64(0));
    }

    // Handed out at once: a refund entry with its own serial beside the
    // credit, so that nothing is carried to the next month.
    void refundsPaidOutNow()
    {
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        QStringList jiaRow = child("甲", "20", "1");
        jiaRow.last() = QStringLiteral("大一班");
        seedDatabase(config, {"大一班"}, {jiaRow});
        QString why;
        // Every day counts, the discount applies, paid out now.
        QVERIFY(OfficeSettings::setRefundRule({"0", "否", "", "是", "否"}, &why));
        MainWindow mw(config);
        const QString jia = mw.page(0)->document()->record(0).childId;
        auto *d = new AbsenceDialog(mw.session(), QStringLiteral("大一班"), &mw);
        mark(d, 0, {1, 2}, false);
        QVERIFY(d->compute());
        // 15.00 × 0.8 = 12.00 a day.
        QCOMPARE(d->results()->item(0, 1)->text(), QStringLiteral("24.00"));
        w->questionAnswers = {QMessageBox::Yes};
        d->apply();
        QVERIFY(w->questionTexts.last().contains(QStringLiteral("当即退还")));
        // The class's own name is said once, without a second 班.
        QVERIFY2(w->questionTexts.last().contains(QStringLiteral("应用 大一班 2026-12 的")),
                 qPrintable(w->questionTexts.last()));
        const auto account = accountOf(config, jia);
        QCOMPARE(account.size(), 2);
        QCOMPARE(account.at(1).kind, LedgerEntry::Refund);
        QCOMPARE(account.at(1).ownSerial, QStringLiteral("2026-R000001"));
        QCOMPARE(account.at(0).amount + account.at(1).amount, qint64(0));
    }

    // A list read from a spreadsheet fills the grid; names not in the class,
    // names twice in it and days that are no school days are said, and
    // nothing of their rows is taken.
    void listsFromASpreadsheet()
    {
        seedDatabase(w->databasePath(), {"A"},
                     {child("甲", "20"), child("乙", "20"), child("乙", "20"), child("丙", "20"),
                      child("戊", "20"), child("己", "20")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        auto *d = new AbsenceDialog(mw.session(), QStringLiteral("A"), &mw);
        // 己 is marked by hand first: a row of hers that cannot be taken
        // leaves the mark alone.
        d->grid()->cellClicked(5, 0);
        Sheet sheet;
        const QList<QStringList> rows = {{"姓名", "日期", "日期", "请假"},
                                         {"甲", "2026-12-03", "12月4日", "是"},
                                         {"丁", "3", "", ""},
                                         {"乙", "7", "", ""},
                                         {"丙", "2026-12-05", "", ""},
                                         {"丙", "2026-11-05", "", ""},
                                         {"戊", "2026-12-03", "", ""},
                                         {"戊", "2026-12-04", "", ""},
                                         {"己", "2026-12-07", "2026-12-06", ""}};
        for (int r = 0; r < rows.size(); ++r)
            for (int c = 0; c < rows.at(r).size(); ++c)
                if (!rows.at(r).at(c).isEmpty())
                    sheet.setCell(r + 1, c + 1, rows.at(r).at(c));
        const QString file = w->path(QStringLiteral("缺勤.xlsx"));
        QString error;
        QVERIFY(Workbook::writeXlsx(file, sheet, &error));
        w->openFileAnswers << file;
        button(d, "absenceImport")->click();
        QCOMPARE(d->grid()->item(0, 2)->text(), QStringLiteral("假"));
        QCOMPARE(d->grid()->item(0, 3)->text(), QStringLiteral("假"));
        const QString said = w->messages.last().informative;
        QVERIFY2(said.contains(QStringLiteral("第 3 行：班级里没有“丁”")), qPrintable(said));
        QVERIFY(said.contains(QStringLiteral("第 4 行：班级里有 2 名“乙”")));
        QVERIFY(said.contains(QStringLiteral("第 5 行：丙 的 12月5日 不是上学日")));
        QVERIFY(said.contains(QStringLiteral("第 6 行：丙 的“2026-11-05”不在 2026 年 12 月")));
        // A name on two rows: the days of both.
        QCOMPARE(d->grid()->item(4, 2)->text(), QStringLiteral("缺"));
        QCOMPARE(d->grid()->item(4, 3)->text(), QStringLiteral("缺"));
        // One day that is no school day: nothing of the row, the grid as it was.
        QVERIFY(said.contains(QStringLiteral("第 9 行：己 的 12月6日 不是上学日")));
        QCOMPARE(d->grid()->item(5, 0)->text(), QStringLiteral("缺"));
        QVERIFY(!d->grid()->item(5, 4) || d->grid()->item(5, 4)->text().isEmpty());
        QVERIFY2(d->summary()->text().contains(QStringLiteral("已读入 2 名儿童")),
                 qPrintable(d->summary()->text()));
        // A first row with a typo in one date is a child's row, said and not
        // taken; a first row of no dates under another name is said too.
        for (const QList<QStringList> &list :
             {QList<QStringList>{{"乙", "2026-12-08", "2026-12-0x"}, {"甲", "2026-12-09"}},
              QList<QStringList>{{"丙", "12月3x"}, {"甲", "2026-12-09"}}}) {
            Sheet typo;
            for (int r = 0; r < list.size(); ++r)
                for (int c = 0; c < list.at(r).size(); ++c)
                    typo.setCell(r + 1, c + 1, list.at(r).at(c));
            QVERIFY(Workbook::writeXlsx(file, typo, &error));
            w->openFileAnswers << file;
            button(d, "absenceImport")->click();
            const QString told = w->messages.last().informative;
            QVERIFY2(told.startsWith(QStringLiteral("第 1 行：")), qPrintable(told));
            QCOMPARE(d->grid()->item(0, 6)->text(), QStringLiteral("缺"));
        }
    }

    // A long list is read with the window painting and a progress window
    // shown once the reading takes longer than it may (here: at once).
    void longListShowsProgress()
    {
        seedDatabase(w->databasePath(), {"A"}, {child("甲", "20"), child("乙", "20")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        auto *d = new AbsenceDialog(mw.session(), QStringLiteral("A"), &mw);
        QByteArray csv = "姓名,日期\n";
        for (int i = 0; i < 20000; ++i)
            csv += i % 2 ? "甲,2026-12-03\n" : "乙,2026-12-04\n";
        const QString file = w->path(QStringLiteral("缺勤.csv"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(csv);
        f.close();
        const int shownBefore = Busy::shownCount();
        const int delay = Busy::delayMs();
        Busy::delayMs() = 0;
        w->openFileAnswers << file;
        button(d, "absenceImport")->click();
        Busy::delayMs() = delay;
        QCOMPARE(Busy::shownCount(), shownBefore + 1);
        QVERIFY(mw.isEnabled());
        QCOMPARE(d->grid()->item(0, 2)->text(), QStringLiteral("缺"));
        QCOMPARE(d->grid()->item(1, 3)->text(), QStringLiteral("缺"));
        QVERIFY2(d->summary()->text().contains(QStringLiteral("已读入 2 名儿童")),
                 qPrintable(d->summary()->text()));
    }

    // Tuition back after a long absence, set in the panel: shown beside the
    // meal refund with its reason, credited (never handed out, even where
    // meals are), applied once, then only the difference when the share
    // changes; a share that is not usable is refused and nothing stored.
    void tuitionBackForLongAbsence_data() { backends_data(); }
    void tuitionBackForLongAbsence()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        // Tuition 1000.00; 丙 discounted (0.8): 800.00.
        seedDatabase(config, {"A"}, {child("甲", "20"), child("乙", "20"), child("丙", "20", "1")});
        QString why;
        QVERIFY(OfficeSettings::setRefundRule({"5", "是", "", "否", "否"}, &why));
        MainWindow mw(config);
        configView *panel = mw.findChild<configView *>();
        auto *days = panel->findChild<QLineEdit *>(QStringLiteral("tuitionBackDays"));
        auto *share = panel->findChild<QLineEdit *>(QStringLiteral("tuitionBackShare"));
        QVERIFY(days && share);
        QCOMPARE(days->text(), QStringLiteral("0"));
        days->setText(QStringLiteral("10"));
        share->setText(QStringLiteral("150"));
        panel->saveAll();
        QVERIFY2(w->messages.last().text.contains(QStringLiteral("不是 1 到 100")),
                 qPrintable(w->messages.last().text));
        QCOMPARE(OfficeSettings::refundRuleTexts().at(5), QStringLiteral("0"));
        share->setText(QStringLiteral("50"));
        panel->saveAll();
        QCOMPARE(OfficeSettings::tuitionRule()->minDays, 10);
        QCOMPARE(OfficeSettings::tuitionRule()->sharePercent, 50);

        const QString jia = mw.page(0)->document()->record(0).childId;
        const QString yi = mw.page(0)->document()->record(1).childId;
        const QString bing = mw.page(0)->document()->record(2).childId;
        auto *d = new AbsenceDialog(mw.session(), QStringLiteral("A"), &mw);
        d->holidaysEdit()->setText(QStringLiteral("25"));
        d->workdaysEdit()->setText(QStringLiteral("26"));
        QVERIFY(d->save());
        // 甲: ten school days with leave (1–4, 7–11, 14); 乙: nine, one
        // short; 丙: Friday the 18th, 21–24, (the 25th off), Saturday the
        // 26th (made up), 28–31: ten in a row across the holiday.
        mark(d, 0, {1, 2, 3, 4, 7, 8, 9, 10, 11, 14}, true);
        mark(d, 1, {1, 2, 3, 4, 7, 8, 9, 10, 11}, true);
        mark(d, 2, {18, 21, 22, 23, 24, 26, 28, 29, 30, 31}, true);
        QVERIFY(d->compute());
        QVERIFY(!d->results()->isColumnHidden(3));
        QCOMPARE(d->results()->item(0, 3)->text(), QStringLiteral("500.00"));
        QCOMPARE(d->results()->item(0, 4)->text(),
                 QStringLiteral("请假连续缺勤 10 天（12月1日–12月14日），满 10 天，退本月保教费 "
                                "1000.00 元的 50%：500.00 元"));
        QCOMPARE(d->results()->item(1, 3)->text(), QStringLiteral("0.00"));
        QVERIFY(d->results()->item(1, 4)->text().contains(QStringLiteral("不满 10 天")));
        // 丙's tuition is discounted: 800.00 × 50%.
        QCOMPARE(d->results()->item(2, 3)->text(), QStringLiteral("400.00"));
        QCOMPARE(d->results()->item(2, 4)->text(),
                 QStringLiteral("请假连续缺勤 10 天（12月18日–12月31日），满 10 天，退本月保教费 "
                                "800.00 元的 50%：400.00 元"));
        QVERIFY2(d->summary()->text().contains(QStringLiteral("其中保教费退还 900.00 元")),
                 qPrintable(d->summary()->text()));
        w->questionAnswers = {QMessageBox::Yes};
        d->apply();
        auto tuitionOf = [&](const QString &id, int *paidOut) {
            qint64 back = 0;
            *paidOut = 0;
            for (const LedgerEntry &e : accountOf(config, id)) {
                if (e.kind == LedgerEntry::AbsenceRefund && e.item == QStringLiteral("保教费"))
                    back -= e.amount;
                if (e.kind == LedgerEntry::Refund)
                    ++*paidOut;
            }
            return back;
        };
        int paidOut = 0;
        QCOMPARE(tuitionOf(jia, &paidOut), qint64(50000));
        // The meals went out at once (one refund entry); the tuition did not.
        QCOMPARE(paidOut, 1);
        QCOMPARE(tuitionOf(yi, &paidOut), qint64(0));
        // Applied again: nothing new.
        const int before = int(accountOf(config, jia).size());
        QVERIFY(d->compute());
        w->questionAnswers = {QMessageBox::Yes};
        d->apply();
        QCOMPARE(int(accountOf(config, jia).size()), before);
        // A share of 30% instead: 甲's 500.00 becomes 300.00 by one entry of
        // the difference, said as a correction.
        share->setText(QStringLiteral("30"));
        panel->saveAll();
        QVERIFY(d->compute());
        w->questionAnswers = {QMessageBox::Yes};
        d->apply();
        QCOMPARE(tuitionOf(jia, &paidOut), qint64(30000));
        const auto account = accountOf(config, jia);
        QCOMPARE(account.last().amount, qint64(20000));
        QVERIFY(account.last().reason.endsWith(QStringLiteral("（更正）")));
        QCOMPARE(tuitionOf(bing, &paidOut), qint64(24000));
        // Off again: the columns go.
        days->setText(QStringLiteral("0"));
        panel->saveAll();
        QVERIFY(d->compute());
        QVERIFY(d->results()->isColumnHidden(3));
        QVERIFY(!d->summary()->text().contains(QStringLiteral("保教费退还")));
    }

    // The rule in the settings panel: checked as the prices are.
    void ruleInThePanel()
    {
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        configView *panel = mw.findChild<configView *>();
        QVERIFY(panel);
        auto *days = panel->findChild<QLineEdit *>(QStringLiteral("refundMinDays"));
        auto *perDay = panel->findChild<QLineEdit *>(QStringLiteral("refundPerDay"));
        auto *mode = panel->findChild<QComboBox *>(QStringLiteral("refundMode"));
        QCOMPARE(days->text(), QStringLiteral("5"));
        QCOMPARE(mode->currentText(), QStringLiteral("记入下月"));
        days->setText(QStringLiteral("五"));
        panel->saveAll();
        QVERIFY(w->messages.last().text.contains(QStringLiteral("不是 0 到 31")));
        QCOMPARE(OfficeSettings::refundRuleTexts().at(0), QStringLiteral("5"));
        days->setText(QStringLiteral("3"));
        perDay->setText(QStringLiteral("12.5"));
        panel->findChild<QCheckBox *>(QStringLiteral("refundLeave"))->setChecked(true);
        mode->setCurrentIndex(1);
        panel->saveAll();
        const auto rule = OfficeSettings::refundRule();
        QVERIFY(rule);
        QCOMPARE(rule->minDays, 3);
        QVERIFY(rule->leaveRequired);
        QCOMPARE(*rule->perDayFen, qint64(1250));
        QVERIFY(!rule->creditNextMonth);
        // The panel shows the rule just stored, and the next save (a
        // price) does not put the old one back.
        QCOMPARE(days->text(), QStringLiteral("3"));
        QCOMPARE(mode->currentIndex(), 1);
        panel->tableModel()->item(FeeSettings::Meals, 1)->setText(QStringLiteral("16"));
        panel->saveAll();
        QCOMPARE(OfficeSettings::refundRuleTexts().at(0), QStringLiteral("3"));
        QCOMPARE(OfficeSettings::refundRuleTexts().at(4), QStringLiteral("否"));
        // A way of payment chosen at printing stays when the panel saves.
        const QString chosen = Ledger::paymentMethods().at(1);
        QVERIFY(panel->paymentCombo()->currentText() != chosen);
        OfficeSettings::setPaymentMethod(chosen);
        panel->tableModel()->item(FeeSettings::Meals, 1)->setText(QStringLiteral("17"));
        panel->saveAll();
        QCOMPARE(OfficeSettings::paymentMethod(), chosen);
        QCOMPARE(panel->paymentCombo()->currentText(), chosen);
        // A stored value that is not usable shows red and refuses computing.
        w->setSetting(QStringLiteral("refund/perDay"), QStringLiteral("十五"));
        QString why;
        QVERIFY(!mw.session().attendance().refunds(QStringLiteral("A"), QStringLiteral("2026-12"),
                                                   &why));
    }
};

QTEST_MAIN(TestRefunds)
#include "test_refunds.moc"
