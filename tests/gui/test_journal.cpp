// The receipt journal: every printed receipt on record with a serial number,
// nothing for previews or cancelled prints, the month's totals, the export,
// printing again from the journal, and a journal write that fails.
#include "clock.h"
#include "database.h"
#include "journaldialog.h"
#include "journalstore.h"
#include "mainwindow.h"
#include "officesession.h"
#include "pendingjournal.h"
#include "querywindow.h"
#include "rosterpage.h"
#include "testsupport.h"

#include <QFont>
#include <QPushButton>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QChartView>
#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <QThread>
#include <QToolButton>
#include <QValueAxis>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>

namespace
{
QStringList child(const QString &name, const QString &cls, const QString &tuition)
{
    return {name, "4", tuition, "", "", "", "", "", "", "", "李", "否", cls};
}

QVector<JournalEntry> journalOf(const DbConfig &config, const QString &month = "2026-05")
{
    Database db(config);
    if (!db.open())
        return {};
    return JournalStore(db).month(month).value_or(QVector<JournalEntry>());
}
} // namespace

class TestJournal : public QObject
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

    void twoWindowsShareOneNumbering_data()
    {
        QTest::addColumn<bool>("postgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgres") << true;
    }
    void twoWindowsShareOneNumbering()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        if (postgres) {
            Database admin(config);
            QVERIFY(admin.open());
            QSqlQuery(admin.connection())
                .exec(QStringLiteral("DELETE FROM receipt_journal; DELETE FROM receipt_serial"));
        }
        seedDatabase(config, {"A", "B"},
                     {child("甲", "A", "1500"), child("乙", "A", "1200"), child("丙", "B", "900")});
        MainWindow pcA(config), pcB(config);
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        pcA.page(0)->printReceiptRange(1, 2);
        pcB.page(1)->printReceiptRange(1, 1);
        // 甲 again, from the other PC: a reprint of the first.
        pcB.page(0)->printReceiptRange(1, 1);
        const auto entries = journalOf(config);
        QCOMPARE(entries.size(), 4);
        for (int i = 0; i < entries.size(); ++i)
            QCOMPARE(entries.at(i).serial, Journal::serial(2026, i + 1));
        QCOMPARE(entries.at(0).name, QStringLiteral("甲"));
        QCOMPARE(entries.at(0).total, 150000);
        Database db(config);
        QVERIFY(db.open());
        const auto first = JournalStore(db).entry(entries.at(0).serial);
        QVERIFY(first);
        QCOMPARE(first->labels[0], QStringLiteral("保 教 费"));
        QCOMPARE(first->amounts[0], 150000);
        QCOMPARE(entries.at(2).className, QStringLiteral("B"));
        QVERIFY(!entries.at(0).isReprint());
        QCOMPARE(entries.at(3).reprintOf, entries.at(0).serial);
        const auto reprint = JournalStore(db).entry(entries.at(3).serial);
        QVERIFY(!reprint->host.isEmpty());
        QVERIFY(reprint->printer.contains(QStringLiteral("r.pdf")));
    }

    void numbersNeverRepeatUnderConcurrentPrinting_data() { twoWindowsShareOneNumbering_data(); }
    void numbersNeverRepeatUnderConcurrentPrinting()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        {
            Database db(config);
            QVERIFY(db.open());
            if (postgres)
                QSqlQuery(db.connection())
                    .exec(
                        QStringLiteral("DELETE FROM receipt_journal; DELETE FROM receipt_serial"));
        }
        // Two PCs record receipts at the same time, each on its own connection.
        auto printing = [config](const QString &cls) {
            return QThread::create([config, cls] {
                Database db(config);
                if (!db.open())
                    return;
                for (int i = 0; i < 15; ++i) {
                    JournalEntry e;
                    e.printedAt = QDateTime(QDate(2026, 5, 14), QTime(10, 0));
                    e.className = cls;
                    e.name = QStringLiteral("儿童%1").arg(i);
                    e.total = 100;
                    QVector<JournalEntry> one{e};
                    JournalStore(db).record(one);
                }
            });
        };
        QThread *a = printing(QStringLiteral("A"));
        QThread *b = printing(QStringLiteral("B"));
        a->start();
        b->start();
        QVERIFY(a->wait(60000));
        QVERIFY(b->wait(60000));
        delete a;
        delete b;
        const auto entries = journalOf(config);
        QCOMPARE(entries.size(), 30);
        for (int i = 0; i < entries.size(); ++i)
            QCOMPARE(entries.at(i).serial, Journal::serial(2026, i + 1));
        // Each receipt's payment once, with it.
        Database db(config);
        QVERIFY(db.open());
        QSqlQuery q(db.connection());
        QVERIFY(q.exec(QStringLiteral("SELECT count(*), count(DISTINCT receipt_serial), "
                                      "sum(amount_fen) FROM ledger_entry WHERE kind = '实收'")));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 30);
        QCOMPARE(q.value(1).toInt(), 30);
        QCOMPARE(q.value(2).toLongLong(), qint64(-3000));
    }

    void previewsAndCancelledPrintsLeaveNothing()
    {
        seedDatabase(w->databasePath(), {"A"}, {child("甲", "A", "1500")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        RosterPage *a = mw.page(0);
        a->tableView->setCurrentIndex(a->document()->index(0, 0));
        a->toolButton(QStringLiteral("preview"))->click();
        QCOMPARE(w->previews.size(), 1);
        w->printToPdf.clear(); // the print dialog is cancelled
        a->toolButton(QStringLiteral("printSelected"))->click();
        a->printReceiptRange(1, 1);
        QCOMPARE(w->printDialogs, 2);
        QVERIFY(journalOf(DbConfig::sqlite(w->databasePath())).isEmpty());
    }

    void monthWindowTotalsChartAndExport()
    {
        seedDatabase(w->databasePath(), {"A", "B"},
                     {child("甲", "A", "1500"), child("乙", "A", "1200"), child("丙", "B", "900")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        w->paymentMethod = QStringLiteral("微信");
        for (int r = 0; r < 2; ++r) {
            // One child at a time: a number is asked for one payment.
            w->paymentReference = QStringLiteral("WX420000%1").arg(r + 1);
            mw.page(0)->tableView->setCurrentIndex(mw.page(0)->document()->index(r, 0));
            mw.page(0)->toolButton(QStringLiteral("printSelected"))->click();
        }
        w->paymentMethod = QStringLiteral("现金");
        w->paymentReference.clear();
        mw.page(1)->printReceiptRange(1, 1);
        mw.toolAction(QStringLiteral("journal"))->trigger();
        auto *dialog = mw.findChild<JournalDialog *>();
        QVERIFY(dialog);
        QAbstractItemModelTester tester(dialog->tableModel(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(dialog->tableModel()->entries().size(), qsizetype(3));
        // The table's last row sums it up, amounts on the right.
        QCOMPARE(dialog->tableModel()->rowCount(), 3 + 1);
        const QModelIndex sum = dialog->tableModel()->index(3, 4);
        QCOMPARE(dialog->tableModel()->index(3, 0).data().toString(), QStringLiteral("合计"));
        QCOMPARE(sum.data().toString(), QStringLiteral("3600.00"));
        QVERIFY(sum.data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight);
        QVERIFY(qvariant_cast<QFont>(sum.data(Qt::FontRole)).bold());
        // The total row is no receipt: nothing to void or print again.
        dialog->table()->setCurrentIndex(sum);
        button(dialog, "journalReprint")->click();
        QVERIFY(w->messages.last().text.contains(QStringLiteral("请先在表中选中")));
        // The foot: the month's count and total per class and in all.
        const QString foot = dialog->totals()->text();
        QVERIFY2(foot.contains(QStringLiteral("共 3 张收据，合计 3600.00 元")), qPrintable(foot));
        QVERIFY(foot.contains(QStringLiteral("A：2 张，2700.00 元")));
        QVERIFY(foot.contains(QStringLiteral("B：1 张，900.00 元")));
        auto *series = qobject_cast<QBarSeries *>(dialog->chart()->chart()->series().value(0));
        QVERIFY(series);
        QCOMPARE(series->barSets().at(0)->count(), 2);
        QCOMPARE(series->barSets().at(0)->at(0), 2700.0);
        auto *axis =
            qobject_cast<QValueAxis *>(dialog->chart()->chart()->axes(Qt::Vertical).value(0));
        QVERIFY(axis);
        QCOMPARE(axis->max(), 3000.0);
        QCOMPARE(axis->tickCount(), 4);
        // Filters.
        dialog->classFilter()->setCurrentText(QStringLiteral("B"));
        QCOMPARE(dialog->tableModel()->entries().size(), qsizetype(1));
        dialog->classFilter()->setCurrentIndex(0);
        dialog->nameFilter()->setText(QStringLiteral("乙"));
        QCOMPARE(dialog->tableModel()->entries().size(), qsizetype(1));
        // How each was paid, and a transaction number found by part of it.
        const QAbstractItemModel *m = dialog->tableModel();
        QCOMPARE(m->headerData(7, Qt::Horizontal).toString(), QStringLiteral("收款方式"));
        QCOMPARE(m->headerData(8, Qt::Horizontal).toString(), QStringLiteral("交易单号"));
        dialog->nameFilter()->setText(QStringLiteral("wx4200002"));
        QCOMPARE(m->rowCount(), 1 + 1);
        QCOMPARE(m->index(0, 3).data().toString(), QStringLiteral("乙"));
        QCOMPARE(m->index(0, 7).data().toString(), QStringLiteral("微信"));
        QCOMPARE(m->index(0, 8).data().toString(), QStringLiteral("WX4200002"));
        dialog->nameFilter()->clear();
        QCOMPARE(m->index(2, 7).data().toString(), QStringLiteral("现金"));
        QCOMPARE(m->index(2, 8).data().toString(), QString());
        // Another month is empty.
        dialog->showMonth(QDate(2026, 4, 1));
        QCOMPARE(dialog->tableModel()->entries().size(), qsizetype(0));
        dialog->showMonth(QDate(2026, 5, 1));
        // The export: both sheets, read back by another program.
        w->directoryAnswers << w->path(QString());
        dialog->exportMonth();
        const QString file = w->path(QStringLiteral("202605收据记录.xlsx"));
        QVERIFY(dialog->totals()->text().contains(QStringLiteral("已导出到")));
        const auto receipts = readWithOpenpyxl(file, 0);
        QCOMPARE(receipts.size(), 4);
        QCOMPARE(receipts.at(1).at(0), QStringLiteral("2026-000001"));
        QCOMPARE(receipts.at(1).at(4), QStringLiteral("1500.00"));
        QCOMPARE(receipts.at(0).mid(7), (QStringList{"收款方式", "交易单号"}));
        QCOMPARE(receipts.at(1).mid(7), (QStringList{"微信", "WX4200001"}));
        const auto classes = readWithOpenpyxl(file, 1);
        QCOMPARE(classes.last(), (QStringList{"全部", "3", "3600.00", "0"}));
    }

    void reprintFromTheJournalKeepsTheAmounts()
    {
        seedDatabase(w->databasePath(), {"A"}, {child("甲", "A", "1500")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        mw.page(0)->printReceiptRange(1, 1);
        // Prices change afterwards; the reprint still says 1500.00.
        mw.page(0)->document()->setText(0, Roster::Tuition, QStringLiteral("2000"));
        JournalDialog dialog(mw.session(), nullptr);
        dialog.table()->setCurrentIndex(dialog.tableModel()->index(0, 0));
        w->printToPdf = w->path(QStringLiteral("again.pdf"));
        dialog.reprintSelected();
        const auto entries = journalOf(DbConfig::sqlite(w->databasePath()));
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.at(1).total, 150000);
        QCOMPARE(entries.at(1).reprintOf, entries.at(0).serial);
        QCOMPARE(pdfPageCount(w->printToPdf), 1);
    }

    void reprintsAreListedButCountedOnce()
    {
        seedDatabase(w->databasePath(), {"A"}, {child("甲", "A", "1500"), child("乙", "A", "900")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        mw.page(0)->printReceiptRange(1, 2);
        // 甲's receipt printed again, from the roster and from the journal.
        mw.page(0)->printReceiptRange(1, 1);
        JournalDialog dialog(mw.session(), nullptr);
        dialog.table()->setCurrentIndex(dialog.tableModel()->index(0, 0));
        dialog.reprintSelected();
        QCOMPARE(dialog.tableModel()->entries().size(), qsizetype(4));
        const QString foot = dialog.totals()->text();
        QVERIFY2(foot.contains(QStringLiteral("共 2 张收据，合计 2400.00 元（补打 2 张不计）")),
                 qPrintable(foot));
        QVERIFY(foot.contains(QStringLiteral("A：2 张，2400.00 元（另补打 2 张）")));
        w->directoryAnswers << w->path(QString());
        dialog.exportMonth();
        const auto classes = readWithOpenpyxl(w->path(QStringLiteral("202605收据记录.xlsx")), 1);
        QCOMPARE(classes.first(), (QStringList{"班级", "张数", "合计（元）", "补打张数"}));
        QCOMPARE(classes.at(1), (QStringList{"A", "2", "2400.00", "2"}));
        QCOMPARE(classes.last(), (QStringList{"全部", "2", "2400.00", "2"}));
    }

    void failedJournalWriteIsSaidAndWrittenAtTheNextSave()
    {
        seedDatabase(w->databasePath(), {"A"}, {child("甲", "A", "1500")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        QSqlQuery q(mw.session().database().connection());
        QVERIFY(q.exec(QStringLiteral("ALTER TABLE receipt_journal RENAME TO journal_away")));
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        mw.page(0)->printReceiptRange(1, 1);
        QCOMPARE(w->messages.size(), 1);
        QVERIFY(w->messages.at(0).text.contains(QStringLiteral("甲")));
        QCOMPARE(cell(*mw.page(0), 0, Roster::PrintStatus), QStringLiteral("05已打印"));
        QVERIFY(q.exec(QStringLiteral("ALTER TABLE journal_away RENAME TO receipt_journal")));
        QVERIFY(mw.onButtonSaveDB());
        const auto entries = journalOf(DbConfig::sqlite(w->databasePath()));
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.at(0).name, QStringLiteral("甲"));
        // Its payment came along, on the child's account, with its way.
        const auto account =
            mw.session().reports().account(mw.page(0)->document()->record(0).childId);
        QVERIFY(account);
        // (the month was not billed: the receipt charged it, and paid it).
        QCOMPARE(account->size(), 2);
        QCOMPARE(account->at(0).kind, LedgerEntry::Charge);
        QCOMPARE(account->at(0).amount, qint64(150000));
        QCOMPARE(account->at(1).kind, LedgerEntry::Payment);
        QCOMPARE(account->at(1).amount, qint64(-150000));
        QCOMPARE(account->at(1).method, QStringLiteral("现金"));
        QCOMPARE(account->at(1).receiptSerial, entries.at(0).serial);
    }

    void childrenSharingANameEachHaveTheirOwnReceipt()
    {
        // Two children of one class named alike: neither's receipt is the
        // other's reprint, printed together or apart.
        seedDatabase(
            w->databasePath(), {"A"},
            {child("王芳", "A", "1500"), child("王芳", "A", "900"), child("王芳", "A", "1200")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        mw.page(0)->printReceiptRange(1, 2);
        mw.page(0)->printReceiptRange(3, 3);
        auto entries = journalOf(DbConfig::sqlite(w->databasePath()));
        QCOMPARE(entries.size(), 3);
        for (const JournalEntry &e : entries)
            QVERIFY2(!e.isReprint(), qPrintable(e.serial));
        // The first child's receipt again, from its own row: a reprint.
        mw.page(0)->printReceiptRange(1, 1);
        entries = journalOf(DbConfig::sqlite(w->databasePath()));
        QCOMPARE(entries.size(), 4);
        QCOMPARE(entries.at(3).reprintOf, entries.at(0).serial);
        JournalDialog dialog(mw.session(), nullptr);
        QVERIFY2(dialog.totals()->text().contains(QStringLiteral("共 3 张收据，合计 3600.00 元")),
                 qPrintable(dialog.totals()->text()));
    }

    void aCopyBelongsToTheMonthOfTheReceiptItCopies()
    {
        seedDatabase(w->databasePath(), {"A"}, {child("甲", "A", "1500")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        mw.page(0)->printReceiptRange(1, 1);
        // In June the clerk copies May's receipt from the journal.
        Clock::setFixed(QDateTime(QDate(2026, 6, 2), QTime(9, 0)));
        JournalDialog dialog(mw.session(), nullptr);
        dialog.showMonth(QDate(2026, 5, 1));
        dialog.table()->setCurrentIndex(dialog.tableModel()->index(0, 0));
        dialog.reprintSelected();
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        QVERIFY(journalOf(config, QStringLiteral("2026-06")).isEmpty());
        auto may = journalOf(config);
        QCOMPARE(may.size(), 2);
        QCOMPARE(may.at(1).reprintOf, may.at(0).serial);
        // A copy of the copy names the first receipt too.
        dialog.showMonth(QDate(2026, 5, 1));
        dialog.table()->setCurrentIndex(dialog.tableModel()->index(1, 0));
        dialog.reprintSelected();
        may = journalOf(config);
        QCOMPARE(may.size(), 3);
        QCOMPARE(may.at(2).reprintOf, may.at(0).serial);
        dialog.showMonth(QDate(2026, 5, 1));
        QVERIFY2(dialog.totals()->text().contains(QStringLiteral("共 1 张收据，合计 1500.00 元")),
                 qPrintable(dialog.totals()->text()));
    }

    // The chart's axis in round steps of 1, 2 or 5 times a power of ten.
    void roundTicks_data()
    {
        QTest::addColumn<double>("highest");
        QTest::addColumn<double>("top");
        QTest::addColumn<int>("ticks");
        QTest::newRow("nothing taken") << 0.0 << 100.0 << 6;     // 0, 20 … 100
        QTest::newRow("exactly round") << 1000.0 << 1000.0 << 6; // steps of 200
        QTest::newRow("2700") << 2700.0 << 3000.0 << 4;          // steps of 1000
        QTest::newRow("3600") << 3600.0 << 4000.0 << 5;
        QTest::newRow("a large school") << 123456.78 << 150000.0 << 4; // steps of 50000
    }
    void roundTicks()
    {
        QFETCH(double, highest);
        QFETCH(double, top);
        QFETCH(int, ticks);
        const RoundAxis axis = roundAxis(highest);
        QCOMPARE(axis.top, top);
        QCOMPARE(axis.ticks, ticks);
        QVERIFY(axis.top >= highest);
    }
    // The waiting-receipts file is JSON written by hand: every text comes
    // back as it went in, whatever it holds, and the file is JSON any
    // reader takes.
    void waitingFileKeepsEveryText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("chinese") << QStringLiteral("王小明（大一班）");
        QTest::newRow("quote-and-backslash") << QStringLiteral("a\"b\\c\\\"");
        QTest::newRow("controls") << QStringLiteral("x\ny\tz\r") + QChar(1) + QChar(0x1f);
        QTest::newRow("beyond-bmp") << QString::fromUtf8("\xF0\xA0\x80\x80\xF0\x9F\x98\x80");
        QTest::newRow("empty") << QString();
    }
    void waitingFileKeepsEveryText()
    {
        QFETCH(QString, text);
        JournalEntry e;
        e.printedAt = QDateTime(QDate(2026, 12, 3), QTime(9, 30, 5));
        e.serial = QStringLiteral("2026-000123");
        e.className = text;
        e.name = text + QStringLiteral("甲");
        e.age = text;
        e.labels[0] = QStringLiteral("保 教 费") + text;
        e.amounts[0] = 120000;
        e.labels[1] = QStringLiteral("伙食费");
        e.amounts[1] = -5;
        e.total = 119995;
        e.clerk = text;
        e.reference = text;
        e.method = QStringLiteral("微信");
        e.childId = QStringLiteral("c-1");
        e.paid = 119995;
        e.credit = 7;
        e.reduced = 300;
        e.studentId = 42;
        e.charges = {{QStringLiteral("保教费"), 120000},
                     {QStringLiteral("伙食费\x1f减免：") + text, -5}};
        const QString json = PendingJournal::toText(e);
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(doc.object().value(QStringLiteral("name")).toString(), e.name);
        const JournalEntry back = PendingJournal::fromText(json);
        QCOMPARE(back.printedAt, e.printedAt);
        QCOMPARE(back.serial, e.serial);
        QCOMPARE(back.className, text.isNull() ? QString("") : text);
        QCOMPARE(back.name, e.name);
        QCOMPARE(back.labels[0], e.labels[0]);
        QCOMPARE(back.amounts[1], -5);
        QCOMPARE(back.total, e.total);
        QCOMPARE(back.reference, e.reference.isNull() ? QString("") : e.reference);
        QCOMPARE(back.paid, e.paid);
        QCOMPARE(back.credit, e.credit);
        QCOMPARE(back.reduced, e.reduced);
        QCOMPARE(back.studentId, e.studentId);
        QCOMPARE(back.charges, e.charges);
    }
};

QTEST_MAIN(TestJournal)
#include "test_journal.moc"
