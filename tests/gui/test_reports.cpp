// The day's closing (日结) and the month's report (月报): their totals are
// the journal's and the ledger's, printed on A4, previewed and exported.
#include "classname.h"
#include "clock.h"
#include "database.h"
#include "dayreport.h"
#include "journalstore.h"
#include "ledgerstore.h"
#include "mainwindow.h"
#include "monthpicker.h"
#include "officesession.h"
#include "reportdialogs.h"
#include "rosterpage.h"
#include "testsupport.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QStringEncoder>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

namespace
{
QStringList child(const QString &name, const QString &tuition, const QString &clerk)
{
    return {name, "4", tuition, "", "10", "", "", "", "", "0", clerk, "否", "A"};
}
} // namespace

class TestReports : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

    DbConfig backend(bool postgres)
    {
        return postgres ? freshPostgres() : DbConfig::sqlite(w->databasePath());
    }
    void printRow(RosterPage *a, int row, const QString &method, const QString &received)
    {
        a->tableView->setCurrentIndex(a->document()->index(row, 0));
        w->paymentMethod = method;
        w->paymentReceived = received;
        w->questionAnswers = {QMessageBox::Yes};
        a->toolButton(QStringLiteral("printSelected"))->click();
    }

private slots:
    void init()
    {
        w = new TestWorld;
        w->setSetting(QStringLiteral("name"), QStringLiteral("李"));
        w->setSetting(QStringLiteral("c"), QStringLiteral("20"));
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

    void dayReportIsTheJournalsDay_data() { backends_data(); }
    void dayReportIsTheJournalsDay()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        seedDatabase(config, {"A"},
                     {child("甲", "1000", "李"), child("乙", "900", "李"), child("丙", "800", "王"),
                      child("丁", "700", "李")});
        MainWindow mw(config);
        RosterPage *a = mw.page(0);
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        // 1200.00 cash; 乙 600.00 of 1100.00 by WeChat; then a receipt of
        // 王's at another PC; 丙 in cash; 丁 1000.00 for 900.00 (100.00
        // ahead); 甲 printed again (a copy).
        printRow(a, 0, QStringLiteral("现金"), QString());
        printRow(a, 1, QStringLiteral("微信"), QStringLiteral("600"));
        {
            Database other(config);
            QVERIFY(other.open());
            JournalEntry e;
            e.printedAt = Clock::now();
            e.className = QStringLiteral("B");
            e.name = QStringLiteral("戊");
            e.labels[0] = QStringLiteral("保 教 费");
            e.amounts[0] = 50000;
            e.total = 50000;
            e.clerk = QStringLiteral("王");
            e.method = QStringLiteral("现金");
            QVector<JournalEntry> entries{e};
            QVERIFY(JournalStore(other).record(entries));
        }
        printRow(a, 2, QStringLiteral("现金"), QString());
        printRow(a, 3, QStringLiteral("现金"), QStringLiteral("1000"));
        printRow(a, 0, QStringLiteral("现金"), QString());
        // 乙's receipt voided, 50.00 of 甲's handed back in cash.
        QVERIFY(mw.session().accounts().voidReceipt(QStringLiteral("2026-000002"),
                                                    QStringLiteral("打错")));
        QVERIFY(mw.session().accounts().refund(QStringLiteral("2026-000001"), QStringLiteral("50"),
                                               QStringLiteral("多收"), nullptr,
                                               QStringLiteral("现金")));
        // 20.00 of 丁's handed back by WeChat: listed, not off the cash.
        QVERIFY(mw.session().accounts().refund(QStringLiteral("2026-000005"), QStringLiteral("20"),
                                               QStringLiteral("少吃两天"), nullptr,
                                               QStringLiteral("微信")));
        mw.toolAction(QStringLiteral("dayReport"))->trigger();
        auto *d = mw.findChild<DayReportDialog *>();
        QVERIFY(d && d->isVisible());
        QVERIFY2(d->report(), qPrintable(d->shownText()));
        QCOMPARE(d->clerkBox()->currentText(), QStringLiteral("李"));
        const DayReport &r = *d->report();
        QCOMPARE(r.rows.size(), 5);
        QCOMPARE(r.firstSerial, QStringLiteral("2026-000001"));
        QCOMPARE(r.lastSerial, QStringLiteral("2026-000006"));
        QCOMPARE(r.others, 1);
        QVERIFY(r.missing.isEmpty());
        QCOMPARE(r.voids, QStringList{QStringLiteral("2026-000002 乙：打错")});
        // What the journal holds for 李 today, each first standing receipt
        // once, and the money taken beyond it.
        Database db(config);
        QVERIFY(db.open());
        qint64 journal = 0;
        const QVector<JournalEntry> today = JournalStore(db).day(QDate(2026, 5, 14)).value();
        for (const JournalEntry &e : today)
            if (e.clerk == QStringLiteral("李") && !e.voided && !e.isReprint())
                journal += e.total;
        QCOMPARE(r.received, journal + 10000);
        QCOMPARE(r.byMethod.value(QStringLiteral("现金")), qint64(120000 + 100000 + 100000));
        QVERIFY(!r.byMethod.contains(QStringLiteral("微信")));
        QCOMPARE(r.byItem.value(QStringLiteral("保教费")), qint64(100000 + 80000 + 70000));
        QCOMPARE(r.byItem.value(QStringLiteral("伙食费")), qint64(3 * 20000));
        QCOMPARE(r.byItem.value(QStringLiteral("预收")), qint64(10000));
        QCOMPARE(r.refundedCash, qint64(5000));
        QCOMPARE(r.refunds.size(), 2);
        QCOMPARE(r.refunds.at(1).serial, QStringLiteral("2026-R000002"));
        QCOMPARE(r.refunds.at(1).receipt, QStringLiteral("2026-000005"));
        QCOMPARE(r.refundsByMethod.value(QStringLiteral("现金")), qint64(5000));
        QCOMPARE(r.refundsByMethod.value(QStringLiteral("微信")), qint64(2000));
        QVERIFY(d->shownText().contains(QStringLiteral("2026-R000002")));
        // Three tables, amounts right-aligned, each summed in its last row.
        QCOMPARE(d->tables()->count(), 3);
        auto *receipts = qobject_cast<QTableWidget *>(d->tables()->widget(0));
        QVERIFY(receipts);
        QCOMPARE(receipts->rowCount(), 5 + 1);
        QCOMPARE(receipts->item(5, 0)->text(), QStringLiteral("合计"));
        QCOMPARE(receipts->item(5, 5)->text(), Journal::yuan(r.received));
        QVERIFY(receipts->item(5, 0)->font().bold());
        QVERIFY(receipts->item(0, 4)->textAlignment() & Qt::AlignRight);
        QVERIFY(!(receipts->item(0, 3)->textAlignment() & Qt::AlignRight));
        auto *refunds = qobject_cast<QTableWidget *>(d->tables()->widget(2));
        QCOMPARE(refunds->item(refunds->rowCount() - 1, 6)->text(), QStringLiteral("70.00"));
        QCOMPARE(r.cash, qint64(320000 - 5000));
        QVERIFY(d->shownText().contains(QStringLiteral("应交现金：3150.00 元")));
        QVERIFY(d->shownText().contains(QStringLiteral("没有缺号")));
        // Every clerk: 王's receipt too.
        d->clerkBox()->setCurrentIndex(1);
        QCOMPARE(d->report()->rows.size(), 6);
        QCOMPARE(d->report()->cash, qint64(320000 + 50000 - 5000));
        d->clerkBox()->setCurrentIndex(0);
        // Previewed, printed on A4 and exported.
        button(d, "dayReportPreview")->click();
        QCOMPARE(w->previews.size(), 1);
        QVERIFY(!w->previews.last().isEmpty());
        w->printToPdf = w->path(QStringLiteral("day.pdf"));
        QVERIFY(d->print());
        const QString printed = pdfText(w->printToPdf);
        QVERIFY2(printed.contains(QStringLiteral("应交现金")), qPrintable(printed));
        QVERIFY(printed.contains(QStringLiteral("2026-000006")));
        w->directoryAnswers << w->path(QString());
        button(d, "dayReportExport")->click();
        const QString file = w->path(QStringLiteral("20260514日结.xlsx"));
        const auto list = readWithOpenpyxl(file, 0);
        QCOMPARE(list.size(), 7);
        QCOMPARE(list.at(2).at(7), QStringLiteral("作废：打错"));
        QCOMPARE(list.last().first(), QStringLiteral("合计"));
        const auto back = readWithOpenpyxl(file, 2);
        QCOMPARE(back.size(), 4);
        QCOMPARE(back.at(2).at(5), QStringLiteral("微信"));
        const auto totals = readWithOpenpyxl(file, 1);
        QVERIFY(
            totals.contains(QStringList{QStringLiteral("应交现金"), QStringLiteral("3150.00")}));
    }

    // A child read from a list prints under the clerk at work, and her day
    // counts it: the receipt names who printed it, not the row's cell.
    void importedChildrenCountForTheClerk()
    {
        seedDatabase(w->databasePath(), {"A"}, {child("甲", "1000", "王")});
        const QString list = w->path(QStringLiteral("名单.csv"));
        {
            QFile f(list);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QStringEncoder("GB18030").encode(QStringLiteral("姓名\n乙\n")));
        }
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        RosterPage *a = mw.page(0);
        w->openFileAnswers << list;
        a->toolButton(QStringLiteral("openExcel"))->click();
        a->readColumnEdit->setText(QStringLiteral("1"));
        a->readFromEdit->setText(QStringLiteral("2"));
        a->readToEdit->setText(QStringLiteral("3"));
        QTest::mousePress(button(a->readRangeDialog, "readRangeOk"), Qt::LeftButton);
        QVERIFY2(w->messages.isEmpty(), qPrintable(w->messages.value(0).text));
        QCOMPARE(a->document()->size(), 2);
        a->document()->setText(1, Roster::Tuition, QStringLiteral("800"));
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        printRow(a, 1, QStringLiteral("现金"), QString());
        printRow(a, 0, QStringLiteral("现金"), QString());
        Database db(DbConfig::sqlite(w->databasePath()));
        QVERIFY(db.open());
        const QVector<JournalEntry> today = JournalStore(db).day(QDate(2026, 5, 14)).value();
        QCOMPARE(today.size(), 2);
        for (const JournalEntry &e : today)
            QCOMPARE(e.clerk, QStringLiteral("李"));
        QVERIFY(pdfText(w->printToPdf).contains(QStringLiteral("李")));
        mw.toolAction(QStringLiteral("dayReport"))->trigger();
        auto *d = mw.findChild<DayReportDialog *>();
        QVERIFY(d && d->report());
        QCOMPARE(d->clerkBox()->currentText(), QStringLiteral("李"));
        QCOMPARE(d->report()->rows.size(), 2);
        QCOMPARE(d->report()->cash, qint64(80000 + 100000 + 20000));
    }

    // Serials given out one after the other leave no hole; a hole is said.
    void holesInTheSerialsAreSaid()
    {
        QVector<JournalEntry> day;
        for (int n : {7, 8, 10}) {
            JournalEntry e;
            e.serial = Journal::serial(2026, n);
            e.clerk = QStringLiteral("李");
            e.total = 100;
            day << e;
        }
        const DayReport r = DayReport::build(QDate(2026, 5, 14), QString(), day, {}, 0);
        QCOMPARE(r.missing, QStringList{QStringLiteral("2026-000009")});
        QVERIFY(r.lines().join(QLatin1Char('\n')).contains(QStringLiteral("缺号：2026-000009")));
    }

    void monthReportIsTheLedgersMonth_data() { backends_data(); }
    void monthReportIsTheLedgersMonth()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        seedDatabase(config, {"A", "B"},
                     {child("甲", "1000", "李"),
                      child("乙", "900", "李"),
                      {"丙", "4", "800", "", "", "", "", "", "", "0", "李", "否", "B"}});
        MainWindow mw(config);
        w->questionAnswers = {QMessageBox::No};
        mw.toolAction(QStringLiteral("billMonth"))->trigger();
        RosterPage *a = mw.page(0);
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        printRow(a, 0, QStringLiteral("现金"), QString());
        printRow(a, 1, QStringLiteral("微信"), QStringLiteral("500"));
        QVERIFY(mw.session().accounts().refund(QStringLiteral("2026-000001"), QStringLiteral("20"),
                                               QStringLiteral("多收")));
        mw.toolAction(QStringLiteral("monthReport"))->trigger();
        auto *d = mw.findChild<MonthReportDialog *>();
        QVERIFY(d && d->isVisible());
        QVERIFY2(d->report(), qPrintable(d->shownText()));
        const MonthReport &r = *d->report();
        QCOMPARE(r.byClass.value(QStringLiteral("A")).charged, qint64(120000 + 110000));
        QCOMPARE(r.byClass.value(QStringLiteral("A")).received, qint64(120000 + 50000));
        QCOMPARE(r.byClass.value(QStringLiteral("A")).refunded, qint64(2000));
        QCOMPARE(r.byClass.value(QStringLiteral("B")).owed, qint64(80000));
        // What is owed is the ledger's sum of the month.
        Database db(config);
        QVERIFY(db.open());
        QCOMPARE(r.all.owed, *LedgerStore(db).monthTotal(QStringLiteral("2026-05")));
        QCOMPARE(r.all.owed, qint64(60000 + 2000 + 80000));
        QVERIFY(d->shownText().contains(QStringLiteral("还没有月结")));
        w->directoryAnswers << w->path(QString());
        button(d, "monthReportExport")->click();
        const QString file = w->path(QStringLiteral("202605月报.xlsx"));
        const auto classes = readWithOpenpyxl(file, 0);
        QCOMPARE(classes.at(1),
                 (QStringList{"A", "2300.00", "1700.00", "0.00", "20.00", "620.00"}));
        QCOMPARE(classes.last().first(), QStringLiteral("全部"));
        const auto items = readWithOpenpyxl(file, 1);
        QVERIFY(items.contains(QStringList{"A", "保教费", "1900.00", "1500.00", "0.00", "400.00"}));
        // The tables: classes as the tabs list them, 全部 last and bold.
        auto *byClass = qobject_cast<QTableWidget *>(d->tables()->widget(0));
        QVERIFY(byClass);
        QCOMPARE(byClass->item(0, 0)->text(), QStringLiteral("A"));
        QCOMPARE(byClass->item(byClass->rowCount() - 1, 0)->text(), QStringLiteral("全部"));
        QVERIFY(byClass->item(byClass->rowCount() - 1, 1)->font().bold());
        QVERIFY(byClass->item(0, 1)->textAlignment() & Qt::AlignRight);
        // Another month from the picker: nothing charged in it.
        QVERIFY(!d->monthEdit()->setMonth(QStringLiteral("2026-13")));
        QFrame *months = d->monthEdit()->showMonths();
        months->findChild<QToolButton *>(QStringLiteral("monthPickerYearBefore"))->click();
        button(months, "monthPickerMonth5")->click();
        QCOMPARE(d->monthEdit()->month(), QStringLiteral("2025-05"));
        QVERIFY(d->report());
        QCOMPARE(d->report()->all.charged, qint64(0));
    }

    // Reports list classes as the tabs do; a class no longer listed
    // (its children moved on) follows by name.
    void classesFollowTheTabs_data()
    {
        QTest::addColumn<QStringList>("classes");
        QTest::addColumn<QStringList>("tabs");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("tab order, not by name")
            << QStringList{"大班", "小班", "中班"} << QStringList{"小班", "中班", "大班"}
            << QStringList{"小班", "中班", "大班"};
        QTest::newRow("unlisted last, by name")
            << QStringList{"乙", "旧班", "甲", "A"} << QStringList{"甲", "乙"}
            << QStringList{"甲", "乙", "A", "旧班"};
        QTest::newRow("a tab listed twice, once")
            << QStringList{"甲"} << QStringList{"甲", "甲"} << QStringList{"甲"};
        QTest::newRow("tabs without figures left out")
            << QStringList{"乙"} << QStringList{"甲", "乙"} << QStringList{"乙"};
    }
    void classesFollowTheTabs()
    {
        QFETCH(QStringList, classes);
        QFETCH(QStringList, tabs);
        QFETCH(QStringList, expected);
        QCOMPARE(ClassName::inOrder(classes, tabs), expected);
        MonthReport r;
        for (const QString &c : classes)
            r.byClass[c].charged = 100;
        r.classOrder = tabs;
        QStringList listed;
        const auto sheets = r.sheets();
        for (int row = 1; row < sheets.first().second.size() - 1; ++row)
            listed << sheets.first().second.at(row).first();
        QCOMPARE(listed, expected);
        QCOMPARE(sheets.first().second.last().first(), QStringLiteral("全部"));
    }
};

QTEST_MAIN(TestReports)
#include "test_reports.moc"
