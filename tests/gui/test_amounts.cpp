// Nothing counts as 0 without the clerk being told: a cell that holds no
// whole number, a childcare entry that is no whole number of yuan, a
// discount that is not set or not a multiplier, and a print that never
// reached the paper or the file.
#include "configview.h"
#include "database.h"
#include "journalstore.h"
#include "mainwindow.h"
#include "officesession.h"
#include "rosterdocument.h"
#include "rosterpage.h"
#include "testsupport.h"

#include <QComboBox>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QToolButton>

namespace
{
// A child of class A: name, tuition, meals, total, discount flag.
QStringList child(const QString &name, const QString &tuition, const QString &meals,
                  const QString &total, const QString &discount)
{
    return {name, "4", tuition, "", meals, "", "", "", total, discount, "李", "否", "A"};
}

int journalSize(const QString &databasePath)
{
    Database db(DbConfig::sqlite(databasePath));
    if (!db.open())
        return -1;
    return int(
        JournalStore(db).month(QStringLiteral("2026-05")).value_or(QVector<JournalEntry>()).size());
}
} // namespace

class TestAmounts : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

    void prices(const QString &discount)
    {
        w->setSetting(QStringLiteral("a"), discount);
        w->setSetting(QStringLiteral("c"), QStringLiteral("10"));
    }
    void print(RosterPage *page, int row)
    {
        page->tableView->setCurrentIndex(page->document()->index(row, 0));
        page->toolButton(QStringLiteral("printSelected"))->click();
    }

private slots:
    void init()
    {
        w = new TestWorld;
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
    }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    void cellsThatAreNoWholeNumber_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption"); // empty: counts as written
        QTest::addColumn<QString>("total");   // the total afterwards
        QTest::newRow("full-width meal days")
            << int(Roster::Meals) << QStringLiteral("１２") << QString() << "1120";
        QTest::newRow("discount flag 是")
            << int(Roster::Discount) << QStringLiteral("是") << QStringLiteral("享受折扣") << "777";
        QTest::newRow("tuition with unit") << int(Roster::Tuition) << QStringLiteral("1500元")
                                           << QStringLiteral("保教费（月）") << "777";
        QTest::newRow("half a meal day")
            << int(Roster::Meals) << QStringLiteral("3.5") << QStringLiteral("伙食费") << "777";
        QTest::newRow("empty meals") << int(Roster::Meals) << QString() << QString() << "1000";
    }
    void cellsThatAreNoWholeNumber()
    {
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(QString, caption);
        QFETCH(QString, total);
        prices(QStringLiteral("0.9"));
        QStringList row = child(QStringLiteral("王芳"), "1000", "", "777", "0");
        row[column] = text;
        seedDatabase(w->databasePath(), {"A"}, {row});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        RosterPage *a = mw.page(0);
        RosterDocument *doc = a->document();
        const QModelIndex at = doc->index(0, column);
        // Shown red with its reason, and the total is not made from a 0.
        QCOMPARE(doc->data(at, Qt::BackgroundRole).isValid(), !caption.isEmpty());
        QCOMPARE(doc->data(at, Qt::ToolTipRole).toString(),
                 caption.isEmpty() ? QString() : QStringLiteral("不是整数，按 0 计"));
        QCOMPARE(cell(*a, 0, Roster::Total), total);
        print(a, 0);
        if (caption.isEmpty()) {
            QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("05已打印"));
            QCOMPARE(journalSize(w->databasePath()), 1);
            return;
        }
        // Refused, naming the child and the column, until the cell is mended.
        QCOMPARE(w->printDialogs, 0);
        QCOMPARE(w->messages.size(), 1);
        QVERIFY(w->messages.at(0).text.contains(QStringLiteral("王芳")));
        QVERIFY2(w->messages.at(0).text.contains(caption), qPrintable(w->messages.at(0).text));
        QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("否"));
        QCOMPARE(journalSize(w->databasePath()), 0);
        doc->setText(0, column, QStringLiteral("1"));
        QVERIFY(!doc->data(at, Qt::BackgroundRole).isValid());
        print(a, 0);
        QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("05已打印"));
    }

    // A range names the rows it could not print by their roster row.
    void rangeRefusalsNameTheRosterRow()
    {
        prices(QStringLiteral("0.9"));
        QVector<QStringList> rows;
        for (const char *n : {"甲", "乙", "丙", "丁", "戊"})
            rows << child(QString::fromUtf8(n), "1000", "", "", "0");
        rows[4][Roster::Meals] = QStringLiteral("3.5");
        seedDatabase(w->databasePath(), {"A"}, rows);
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        RosterPage *a = mw.page(0);
        a->printReceiptRange(4, 5);
        QCOMPARE(cell(*a, 3, Roster::PrintStatus), QStringLiteral("05已打印"));
        QCOMPARE(cell(*a, 4, Roster::PrintStatus), QStringLiteral("否"));
        QVERIFY(!w->messages.isEmpty());
        const QString said = w->messages.last().text;
        QVERIFY2(said.contains(QStringLiteral("第 5 行：")), qPrintable(said));
        QVERIFY(said.contains(QStringLiteral("戊")));
    }

    void childcareEntriesThatAreNoWholeYuan()
    {
        prices(QStringLiteral("0.9"));
        w->setSetting(QStringLiteral("bjcombox"), QStringLiteral("1200.00,1500元,900,"));
        seedDatabase(w->databasePath(), {"A"},
                     {child("甲", "0", "", "777", "0"), child("乙", "2", "", "777", "0"),
                      child("丙", "1", "", "777", "0")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        // The panel marks the two entries.
        QComboBox *combo = mw.configview->childcareCombo();
        QCOMPARE(combo->count(), 3);
        QVERIFY(combo->itemData(0, Qt::BackgroundRole).isValid());
        QVERIFY(combo->itemData(1, Qt::BackgroundRole).isValid());
        QVERIFY(!combo->itemData(2, Qt::BackgroundRole).isValid());
        // Rows that use them keep their totals; the one that does not is computed.
        RosterPage *a = mw.page(0);
        QCOMPARE(cell(*a, 0, Roster::Total), QStringLiteral("777"));
        QCOMPARE(cell(*a, 1, Roster::Total), QStringLiteral("900"));
        QCOMPARE(cell(*a, 2, Roster::Total), QStringLiteral("777"));
        QVERIFY(a->document()
                    ->data(a->document()->index(0, Roster::Total), Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("1200.00")));
        // A range prints the one that can, and names the entries of the others.
        a->printReceiptRange(1, 3);
        QCOMPARE(pdfPageCount(w->printToPdf), 1);
        QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("否"));
        QCOMPARE(cell(*a, 1, Roster::PrintStatus), QStringLiteral("05已打印"));
        QCOMPARE(cell(*a, 2, Roster::PrintStatus), QStringLiteral("否"));
        QCOMPARE(w->messages.size(), 1);
        QVERIFY(w->messages.at(0).text.contains(QStringLiteral("“1200.00”")));
        QVERIFY(w->messages.at(0).text.contains(QStringLiteral("“1500元”")));
        QCOMPARE(journalSize(w->databasePath()), 1);
        // 应用并保存 recomputes what it can and says what it could not.
        button(mw.configview, "saveSettings")->click();
        QCOMPARE(w->messages.size(), 2);
        QVERIFY2(w->messages.at(1).text.startsWith(QStringLiteral("2 名儿童的费用没有重新计算")),
                 qPrintable(w->messages.at(1).text));
        QVERIFY(w->messages.at(1).informative.contains(QStringLiteral("丙")));
    }

    void discountNotSet()
    {
        // An empty discount was a factor of 0: discounted children paid nothing.
        prices(QString());
        seedDatabase(w->databasePath(), {"A"},
                     {child("甲", "1000", "2", "777", "1"), child("乙", "1000", "2", "777", "0")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        RosterPage *a = mw.page(0);
        QCOMPARE(cell(*a, 0, Roster::Total), QStringLiteral("777"));
        QCOMPARE(cell(*a, 1, Roster::Total), QStringLiteral("1020"));
        print(a, 0);
        QCOMPARE(w->printDialogs, 0);
        QCOMPARE(w->messages.size(), 1);
        QVERIFY2(w->messages.at(0).text.contains(QStringLiteral("填写折扣")),
                 qPrintable(w->messages.at(0).text));
        QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("否"));
        print(a, 1);
        QCOMPARE(cell(*a, 1, Roster::PrintStatus), QStringLiteral("05已打印"));
        // Set, the discounted child is computed and prints.
        mw.configview->tableModel()->item(FeeSettings::Discount, 1)->setText(QStringLiteral("0.9"));
        button(mw.configview, "saveSettings")->click();
        QCOMPARE(cell(*a, 0, Roster::Total), QStringLiteral("918"));
        print(a, 0);
        QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("05已打印"));
        QCOMPARE(journalSize(w->databasePath()), 2);
    }

    void discountThatIsNoMultiplier_data()
    {
        QTest::addColumn<QString>("discount");
        QTest::addColumn<bool>("questioned");
        QTest::newRow("90 per cent") << "90" << true;
        QTest::newRow("zero") << "0" << true;
        QTest::newRow("above one") << "1.5" << true;
        QTest::newRow("0.9") << "0.9" << false;
        QTest::newRow("1") << "1" << false;
    }
    void discountThatIsNoMultiplier()
    {
        QFETCH(QString, discount);
        QFETCH(bool, questioned);
        prices(discount);
        seedDatabase(w->databasePath(), {"A"},
                     {child("甲", "1000", "", "", "1"), child("乙", "1000", "", "", "0")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        // Found in the file at start: red, and said to be a multiplier.
        QStandardItem *item = mw.configview->tableModel()->item(FeeSettings::Discount, 1);
        QCOMPARE(item->background().style() != Qt::NoBrush, questioned);
        QCOMPARE(item->toolTip().contains(QStringLiteral("0.9 = 九折")), questioned);
        RosterPage *a = mw.page(0);
        // The child without the discount is never asked about.
        print(a, 1);
        QCOMPARE(w->questions, 0);
        QCOMPARE(cell(*a, 1, Roster::PrintStatus), QStringLiteral("05已打印"));
        w->questionAnswer = QMessageBox::No;
        print(a, 0);
        QCOMPARE(w->questions, questioned ? 1 : 0);
        QCOMPARE(cell(*a, 0, Roster::PrintStatus),
                 questioned ? QStringLiteral("否") : QStringLiteral("05已打印"));
        if (!questioned)
            return;
        QVERIFY(w->questionTexts.last().contains(QStringLiteral("甲")));
        QVERIFY(w->questionTexts.last().contains(discount));
        w->questionAnswer = QMessageBox::Yes;
        a->printReceiptRange(1, 2);
        QCOMPARE(w->questions, 2);
        QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("05已打印"));
    }

    // A total changes with its cells and the prices, never by printing:
    // not before the questions, not when the clerk stops at one. A
    // discounted boarder with four further fees shows, from the start, what
    // its two forms charge.
    void printingWritesNoTotal_data()
    {
        QTest::addColumn<QString>("stop");
        QTest::newRow("two forms answered no") << "forms";
        QTest::newRow("payment cancelled") << "payment";
        QTest::newRow("printed") << "";
    }
    void printingWritesNoTotal()
    {
        QFETCH(QString, stop);
        prices(QStringLiteral("0.9"));
        w->setSetting(QStringLiteral("b"), QStringLiteral("300"));
        w->setSetting(QStringLiteral("d"), QStringLiteral("80"));
        w->setSetting(QStringLiteral("e"), QStringLiteral("100"));
        w->setSetting(QStringLiteral("f"), QStringLiteral("50"));
        seedDatabase(w->databasePath(), {"A"},
                     {{"甲", "4", "1000", "1", "20", "1", "1", "1", "", "1", "李", "否", "A"}});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        RosterPage *a = mw.page(0);
        // 900 + 270 + 180 + 80 + 100 + 50
        QCOMPARE(cell(*a, 0, Roster::Total), QStringLiteral("1580"));
        a->document()->markSaved();
        w->questionAnswer = stop == QLatin1String("forms") ? QMessageBox::No : QMessageBox::Yes;
        w->paymentCancelled = stop == QLatin1String("payment");
        print(a, 0);
        QCOMPARE(cell(*a, 0, Roster::Total), QStringLiteral("1580"));
        QCOMPARE(a->document()->undoStack()->count(), 0);
        Database db(DbConfig::sqlite(w->databasePath()));
        QVERIFY(db.open());
        const QVector<JournalEntry> month =
            JournalStore(db).month(QStringLiteral("2026-05")).value_or(QVector<JournalEntry>());
        if (!stop.isEmpty()) {
            QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("否"));
            QVERIFY(month.isEmpty());
            return;
        }
        qint64 charged = 0;
        for (const JournalEntry &e : month)
            charged += e.total;
        QCOMPARE(charged, 158000);
    }

    // The printed mark is the journal's: a receipt on record shows as
    // printed after the roster was thrown away unsaved, and one taken back
    // does not.
    void printedMarkIsTheJournals()
    {
        prices(QStringLiteral("0.9"));
        seedDatabase(w->databasePath(), {"A"},
                     {child("甲", "1000", "2", "", "0"), child("乙", "1000", "2", "", "0"),
                      child("甲", "900", "2", "", "0")});
        {
            MainWindow mw(DbConfig::sqlite(w->databasePath()));
            RosterPage *a = mw.page(0);
            print(a, 0);
            print(a, 1);
            QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("05已打印"));
            QVERIFY(mw.session().accounts().voidReceipt(QStringLiteral("2026-000002"),
                                                        QStringLiteral("打错")));
            a->document()->markSaved(); // thrown away at closing
        }
        const QVector<QStringList> stored = storedStudents(w->databasePath());
        QCOMPARE(stored.size(), 3);
        for (const QStringList &row : stored)
            QCOMPARE(row.at(Roster::PrintStatus), QStringLiteral("否"));
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        RosterPage *a = mw.page(0);
        QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("05已打印"));
        QCOMPARE(cell(*a, 1, Roster::PrintStatus), QStringLiteral("否"));
        // The other 甲 has no receipt of her own.
        QCOMPARE(cell(*a, 2, Roster::PrintStatus), QStringLiteral("否"));
        QVERIFY(!a->document()->isModified());
    }

    void outputThatWasNotWritten_data()
    {
        QTest::addColumn<QString>("output");
        QTest::newRow("full disk") << QStringLiteral("/dev/full");
        QTest::newRow("missing folder") << QStringLiteral("no/such/folder/r.pdf");
    }
    void outputThatWasNotWritten()
    {
        QFETCH(QString, output);
        prices(QStringLiteral("0.9"));
        seedDatabase(w->databasePath(), {"A"},
                     {child("甲", "1000", "", "", "0"), child("乙", "900", "", "", "0")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        RosterPage *a = mw.page(0);
        w->printToPdf = output.startsWith(QLatin1Char('/')) ? output : w->path(output);
        print(a, 0);
        a->printReceiptRange(1, 2);
        // Said as a failure; nothing marked, nothing on record.
        QCOMPARE(w->messages.size(), 2);
        for (const auto &m : w->messages)
            QVERIFY2(m.text.startsWith(QStringLiteral("打印失败")), qPrintable(m.text));
        QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("否"));
        QCOMPARE(cell(*a, 1, Roster::PrintStatus), QStringLiteral("否"));
        QVERIFY(!mw.session().hasUnsavedChanges());
        // On record before printing, so marked unprinted: no money counted.
        const auto month = mw.session().journal().journalMonth(QStringLiteral("2026-05"));
        QVERIFY(month);
        for (const JournalEntry &e : *month)
            QVERIFY2(e.unprinted, qPrintable(e.serial));
        QVERIFY(Journal::totalsByClass(*month).isEmpty() ||
                Journal::totalsByClass(*month).first().count == 0);
    }
};

QTEST_MAIN(TestAmounts)
#include "test_amounts.moc"
