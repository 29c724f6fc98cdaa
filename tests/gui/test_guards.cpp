// Paths where a wrong answer or a lost child would otherwise pass without a
// word: exports, classes, older databases, settings, imports and receipts.
#include "configview.h"
#include "mainwindow.h"
#include "officesession.h"
#include "querywindow.h"
#include "receiptbatch.h"
#include "rosterexchange.h"
#include "rosterpage.h"
#include "testsupport.h"
#include "workbook.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QStandardItemModel>
#include <QStringEncoder>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <sys/stat.h>
#include <zip.h>

namespace
{
QStringList child(const QString &name, const QString &cls,
                  const QString &status = QStringLiteral("否"))
{
    return {name,      QStringLiteral("4"), QStringLiteral("1"), QString(), QString(), QString(),
            QString(), QString(),           QStringLiteral("1"), QString(), QString(), status,
            cls};
}

mode_t modeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// A zip of the given number of tiny entries (no workbook parts needed: the
// count alone must refuse it).
void writeManyEntryZip(const QString &path, int entries)
{
    zipFile zf = zipOpen64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    QVERIFY(zf);
    for (int i = 0; i < entries; ++i) {
        const QByteArray name = "e" + QByteArray::number(i);
        QCOMPARE(zipOpenNewFileInZip64(zf, name.constData(), nullptr, nullptr, 0, nullptr, 0,
                                       nullptr, 0, 0, 0),
                 ZIP_OK);
        zipCloseFileInZip(zf);
    }
    zipClose(zf, nullptr);
}

// Where pdftotext puts the first word equal to text, in points.
QPointF wordPosition(const QString &pdf, const QString &text)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    p.waitForFinished(30000);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    const QRegularExpression re(
        QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>%1<")
            .arg(QRegularExpression::escape(text)));
    const auto m = re.match(out);
    return m.hasMatch() ? QPointF(m.captured(1).toDouble(), m.captured(2).toDouble())
                        : QPointF(-1, -1);
}

} // namespace

class TestGuards : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

    void importInto(RosterPage &page, const QString &file, const QString &to)
    {
        w->openFileAnswers << file;
        page.toolButton(QStringLiteral("openExcel"))->click();
        page.readColumnEdit->setText(QStringLiteral("1"));
        page.readFromEdit->setText(QStringLiteral("1"));
        page.readToEdit->setText(to);
        if (page.readRangeDialog->isVisible())
            QTest::mousePress(page.readRangeDialog->okButton, Qt::LeftButton);
    }

private slots:
    void init() { w = new TestWorld; }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    // ------------------------------------------------------------ exports

    void unprintedExportHoldsExactlyTheCurrentRows()
    {
        seedDatabase(w->databasePath(), {"A", "B"},
                     {child("甲", "A"), child("乙", "A"), child("丙", "B"), child("丁", "B")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        const QString file = w->path(QStringLiteral("202605未打印发票打印副本.xlsx"));
        w->directoryAnswers << w->path(QString());
        mw.toolAction(QStringLiteral("exportUnprinted"))->trigger();
        QCOMPARE(readWithOpenpyxl(file).size(), 4);
        // Two receipts printed in between: the second export lists only the
        // two children still without one, each once.
        w->printToPdf = w->path(QStringLiteral("two.pdf"));
        for (int tab : {0, 1}) {
            RosterPage *p = mw.page(tab);
            p->tableView->setCurrentIndex(p->document()->index(tab, 0));
            p->printSelectedReceipt();
        }
        w->directoryAnswers << w->path(QString());
        mw.toolAction(QStringLiteral("exportUnprinted"))->trigger();
        const auto rows = readWithOpenpyxl(file);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0).at(Roster::Name), QStringLiteral("乙"));
        QCOMPARE(rows.at(1).at(Roster::Name), QStringLiteral("丙"));
        QVERIFY(mw.statusText().contains(QStringLiteral("2 名儿童")));
    }

    void exportKeepsPermissionsAndRefusesReadOnly()
    {
        const mode_t old = ::umask(022);
        TestPage t(QStringLiteral("大一班"));
        RosterPage &page = t.page;
        t.add({QStringLiteral("甲")});
        const QString file = w->path(QStringLiteral("202605大一班发票打印副本.xlsx"));
        w->directoryAnswers << w->path(QString());
        page.onButtonSaveExcel();
        QCOMPARE(modeOf(file), mode_t(0644));
        // An existing file keeps its bits when replaced.
        QVERIFY(::chmod(QFile::encodeName(file).constData(), 0660) == 0);
        w->directoryAnswers << w->path(QString());
        page.onButtonSaveExcel();
        QCOMPARE(modeOf(file), mode_t(0660));
        QVERIFY(w->messages.isEmpty());
        // A read-only file is not replaced, and the clerk is told.
        QVERIFY(::chmod(QFile::encodeName(file).constData(), 0444) == 0);
        const QByteArray before = bytesOf(file);
        t.add({QStringLiteral("乙")});
        w->directoryAnswers << w->path(QString());
        page.onButtonSaveExcel();
        ::umask(old);
        QCOMPARE(w->messages.size(), 1);
        QVERIFY(w->messages.at(0).text.contains(QStringLiteral("只读")));
        QCOMPARE(bytesOf(file), before);
    }

    // ------------------------------------------------------------ classes, schema

    void addedClassShowsItsStoredChildren()
    {
        // Children stored under a class the class table lost.
        seedDatabase(w->databasePath(), {"A"},
                     {child("甲", "A"), child("乙", "X"), child("丙", "X")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        mw.onButtonAddclass();
        mw.addclassEdit->setText(QStringLiteral("X"));
        mw.onButtonAddclassOK();
        RosterPage *x = mw.page(1);
        QCOMPARE(x->document()->size(), 2);
        QCOMPARE(cell(*x, 0, Roster::Name), QStringLiteral("乙"));
        QVERIFY(!x->document()->isModified());
        QVERIFY(mw.onButtonSaveDB());
        QCOMPARE(storedStudents(w->databasePath()).size(), 3);
    }

    void incompleteSchema_data()
    {
        QTest::addColumn<QString>("create");
        QTest::addColumn<QString>("named");
        QTest::newRow("class without 班级")
            << QStringLiteral("CREATE TABLE \"class\" (id INTEGER PRIMARY KEY, name TEXT)")
            << QStringLiteral("班级");
        QTest::newRow("student without 保教费")
            << QStringLiteral("CREATE TABLE student (id INTEGER PRIMARY KEY, \"儿童姓名\" TEXT, "
                              "\"班级\" TEXT)")
            << QStringLiteral("保教费");
    }
    void incompleteSchema()
    {
        QFETCH(QString, create);
        QFETCH(QString, named);
        seedDatabase(w->databasePath(), {"A"}, {child("甲", "A")});
        {
            Database db(DbConfig::sqlite(w->databasePath()));
            QVERIFY(db.open());
            QSqlQuery q(db.connection());
            const QString table =
                create.contains(QStringLiteral("\"class\"")) ? "\"class\"" : "student";
            QVERIFY(q.exec(QStringLiteral("DROP TABLE %1").arg(table)));
            QVERIFY(q.exec(create));
        }
        const QByteArray before = bytesOf(w->databasePath());
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        QCOMPARE(w->messages.size(), 1);
        QVERIFY(w->messages.at(0).text.contains(named));
        // Never a class named after the column itself.
        for (RosterPage *p : mw.pages())
            QVERIFY(p->objectName() != QStringLiteral("班级"));
        QVERIFY(!mw.onButtonSaveDB());
        QCOMPARE(w->messages.size(), 2);
        QVERIFY(w->messages.at(1).text.contains(named));
        QCOMPARE(bytesOf(w->databasePath()), before);
    }

    void classesReadInTheirOwnKeyOrder()
    {
        {
            Database db(DbConfig::sqlite(w->databasePath()));
            QVERIFY(db.open());
            QSqlQuery q(db.connection());
            QVERIFY(q.exec(QStringLiteral("DROP TABLE \"class\"")));
            QVERIFY(q.exec(QStringLiteral(
                "CREATE TABLE \"class\" (\"编号\" INTEGER PRIMARY KEY, \"班级\" TEXT)")));
            QVERIFY(q.exec(
                QStringLiteral("INSERT INTO \"class\" VALUES (3, 'C'), (1, 'A'), (2, 'B')")));
        }
        Database db(DbConfig::sqlite(w->databasePath()));
        QVERIFY(db.open());
        QCOMPARE(readClassNames(db), (QStringList{"A", "B", "C"}));
    }

    // ------------------------------------------------------------ settings

    void childcareListWrittenWithoutQuotes()
    {
        QFile ini(w->path(QStringLiteral("user/invoiceconfig.ini")));
        QVERIFY(QDir().mkpath(w->path(QStringLiteral("user"))));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[General]\nbjcombox=800,900,1000,\n");
        ini.close();
        configView view;
        view.loadSettings();
        QCOMPARE(view.childcareFees(), (QStringList{"800", "900", "1000"}));
        // Tuition 1 is the second entry, not an amount of 1.
        TestPage t;
        t.add({QStringLiteral("甲"), QStringLiteral("4"), QStringLiteral("1")});
        t.setFees(view.settings().mirror());
        QCOMPARE(cell(t.page, 0, Roster::Total), QStringLiteral("900"));
        // Saving writes the quoted form.
        button(&view, "saveSettings")->click();
        QVERIFY(bytesOf(ini.fileName()).contains("bjcombox=\"800,900,1000,\""));
    }

    void handWrittenValuesWithAComma()
    {
        QFile ini(w->path(QStringLiteral("user/invoiceconfig.ini")));
        QVERIFY(QDir().mkpath(w->path(QStringLiteral("user"))));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[General]\nname=张三,李四\na=0,9\nb=1,200\nc=10\n");
        ini.close();
        configView view;
        QSignalSpy shown(&view, &configView::expensesChange);
        view.loadSettings();
        QCOMPARE(view.clerkName(), QStringLiteral("张三,李四"));
        QCOMPARE(view.settings().texts[FeeSettings::Discount], QStringLiteral("0,9"));
        QCOMPARE(view.settings().texts[FeeSettings::Accommodation], QStringLiteral("1,200"));
        // Not a number: shown red, and fees are refused, never charged as 0.
        QCOMPARE(view.settings().firstInvalid(), FeeSettings::Discount);
        for (int row : {1, 2})
            QVERIFY(view.tableModel()->item(row, 1)->background().style() != Qt::NoBrush);
        QVERIFY(view.tableModel()->item(3, 1)->background().style() == Qt::NoBrush);
        QCOMPARE(shown.count(), 1);
    }

    void priceThatIsNotANumber_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("letters") << QStringLiteral("b") << QStringLiteral("abc");
        QTest::newRow("decimal comma") << QStringLiteral("a") << QStringLiteral("0,9");
        QTest::newRow("nan") << QStringLiteral("a") << QStringLiteral("nan");
        QTest::newRow("inf") << QStringLiteral("c") << QStringLiteral("inf");
        QTest::newRow("beyond float") << QStringLiteral("b") << QStringLiteral("1e308");
    }
    void priceThatIsNotANumber()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        w->setSetting(QStringLiteral("a"), QStringLiteral("0.9"));
        w->setSetting(QStringLiteral("b"), QStringLiteral("300"));
        w->setSetting(QStringLiteral("c"), QStringLiteral("10"));
        w->setSetting(key, value);
        seedDatabase(w->databasePath(), {"A"},
                     {{"甲", "4", "1000", "2", "20", "", "", "", "777", "1", "", "否", "A"}});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        const int row = configView::settingKeys().indexOf(key);
        const QString caption = configView::settingCaptions().at(row);
        // The panel marks the value; the clerk is told which setting.
        QVERIFY(mw.configview->tableModel()->item(row, 1)->background().color() != Qt::white);
        QVERIFY(mw.configview->tableModel()->item(row, 1)->background().style() != Qt::NoBrush);
        QCOMPARE(w->messages.size(), 1);
        QVERIFY(w->messages.at(0).text.contains(caption));
        // Not recomputed with the price as 0: the stored total stays.
        RosterPage *a = mw.page(0);
        QCOMPARE(cell(*a, 0, Roster::Total), QStringLiteral("777"));
        // Printing and previewing are refused, naming the setting.
        w->printToPdf = w->path(QStringLiteral("x.pdf"));
        a->tableView->setCurrentIndex(a->document()->index(0, 0));
        a->toolButton(QStringLiteral("printSelected"))->click();
        a->printReceiptRange(1, 1);
        a->toolButton(QStringLiteral("preview"))->click();
        QCOMPARE(w->printDialogs, 0);
        QVERIFY(w->previews.isEmpty());
        QCOMPARE(w->messages.size(), 4);
        for (const auto &m : w->messages)
            QVERIFY(m.text.contains(caption));
        QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("否"));
    }

    void discountOutsideOneAsksFirst()
    {
        configView view;
        view.loadSettings();
        view.tableModel()->item(1, 1)->setText(QStringLiteral("90"));
        w->questionAnswer = QMessageBox::No;
        button(&view, "saveSettings")->click();
        QCOMPARE(w->questions, 1);
        QCOMPARE(SettingsStore::open()->value(QStringLiteral("a")).toString(), QString());
        QCOMPARE(view.tableModel()->item(1, 1)->text(), QStringLiteral("90"));
        w->questionAnswer = QMessageBox::Yes;
        button(&view, "saveSettings")->click();
        QCOMPARE(SettingsStore::open()->value(QStringLiteral("a")).toString(),
                 QStringLiteral("90"));
        // A factor within (0, 1] is not asked about.
        view.tableModel()->item(1, 1)->setText(QStringLiteral("0.9"));
        button(&view, "saveSettings")->click();
        QCOMPARE(w->questions, 2);
    }

    void failedSettingsSaveKeepsWhatWasTyped()
    {
        configView view;
        view.loadSettings();
        // The store's file cannot be written: a directory stands in its way.
        QVERIFY(QDir().mkpath(w->path(QStringLiteral("user/invoiceconfig.ini"))));
        view.tableModel()->item(0, 1)->setText(QStringLiteral("王会计"));
        view.tableModel()->item(2, 1)->setText(QStringLiteral("350"));
        QSignalSpy spy(&view, &configView::expensesChange);
        button(&view, "saveSettings")->click();
        QCOMPARE(w->messages.size(), 1);
        QVERIFY(w->messages.at(0).text.contains(QStringLiteral("设置保存失败")));
        QCOMPARE(view.tableModel()->item(0, 1)->text(), QStringLiteral("王会计"));
        QCOMPARE(view.tableModel()->item(2, 1)->text(), QStringLiteral("350"));
        QCOMPARE(spy.count(), 0);
    }

    // ------------------------------------------------------------ imports

    void csvEncodings_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("names");
        const QByteArray utf8 = QStringLiteral("张三\n李四\n").toUtf8();
        QTest::newRow("utf-8") << utf8 << QStringList{"张三", "李四"};
        QTest::newRow("gb18030") << QByteArray(QStringEncoder("GB18030").encode(
                                        QStringLiteral("张三\n李四\n")))
                                 << QStringList{"张三", "李四"};
        QTest::newRow("utf-8 with a bad byte") << (utf8 + "\xff\n") << QStringList();
    }
    void csvEncodings()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, names);
        const QString file = w->path(QStringLiteral("名单.csv"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        TestPage t;
        RosterPage &page = t.page;
        importInto(page, file, QStringLiteral("3"));
        if (names.isEmpty()) {
            QCOMPARE(t.doc.size(), 0);
            QCOMPARE(w->messages.size(), 1);
            QVERIFY(w->messages.at(0).text.contains(QStringLiteral("名单.csv")));
            QVERIFY(w->messages.at(0).text.contains(QStringLiteral("GB18030")));
            return;
        }
        QVERIFY(w->messages.isEmpty());
        QCOMPARE(t.doc.size(), 2);
        QCOMPARE(cell(page, 0, Roster::Name), names.at(0));
        QCOMPARE(cell(page, 1, Roster::Name), names.at(1));
    }

    void cellsThatAreNotNames()
    {
        const QString file = w->path(QStringLiteral("hostile.csv"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("ok\n" + QByteArray(101, 'x') + "\n\"a\x01b\"\nfine\n\"tab\there\"\n");
        f.close();
        TestPage t;
        RosterPage &page = t.page;
        QSignalSpy status(&page, &RosterPage::statusMessage);
        importInto(page, file, QStringLiteral("6"));
        QCOMPARE(t.doc.size(), 0);
        QCOMPARE(w->messages.size(), 1);
        QVERIFY(w->messages.at(0).text.contains(QStringLiteral("第 2、3、5 行")));
        QCOMPARE(status.count(), 0);
    }

    void oversizedWorkbooksRefusedBeforeReading()
    {
        const QString zip = w->path(QStringLiteral("many.xlsx"));
        writeManyEntryZip(zip, 10001);
        Sheet sheet;
        QString error;
        QVERIFY(!Workbook::read(zip, 1, sheet, &error));
        QVERIFY(error.contains(QStringLiteral("10001")));
        const QString big = w->path(QStringLiteral("big.csv"));
        QFile f(big);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(Workbook::MaxFileBytes + 1));
        f.close();
        QVERIFY(!Workbook::read(big, 1, sheet, &error));
        QVERIFY(error.contains(QStringLiteral("64 MiB")));
    }

    void readRangeAfterAnExportReadsTheFileAgain()
    {
        const QString file = w->path(QStringLiteral("名单.csv"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("张三\n李四\n");
        f.close();
        TestPage t(QStringLiteral("A"));
        RosterPage &page = t.page;
        w->openFileAnswers << file;
        page.toolButton(QStringLiteral("openExcel"))->click();
        QVERIFY(page.readRangeDialog->isVisible());
        // The clerk exports the roster with the dialog still open.
        w->directoryAnswers << w->path(QString());
        page.toolButton(QStringLiteral("saveExcel"))->click();
        page.readColumnEdit->setText(QStringLiteral("1"));
        page.readFromEdit->setText(QStringLiteral("1"));
        page.readToEdit->setText(QStringLiteral("3"));
        QTest::mousePress(page.readRangeDialog->okButton, Qt::LeftButton);
        QCOMPARE(t.doc.size(), 2);
        QCOMPARE(cell(page, 1, Roster::Name), QStringLiteral("李四"));
        // The file gone before a second confirmation: said, not "已读取 0 名".
        QVERIFY(QFile::remove(file));
        QSignalSpy status(&page, &RosterPage::statusMessage);
        page.onreadExcelButtonOK();
        QCOMPARE(t.doc.size(), 2);
        QCOMPARE(w->messages.size(), 1);
        QVERIFY(w->messages.at(0).text.contains(QStringLiteral("名单.csv")));
        QCOMPARE(status.count(), 0);
    }

    // ------------------------------------------------------------ receipts

    void eightDigitTotalsRefusedInARange()
    {
        TestPage t(QStringLiteral("A"));
        RosterPage &page = t.page;
        // 123456 yuan: the hundred-thousands capital would fall off the sheet.
        t.add({QStringLiteral("甲"), QStringLiteral("4"), QStringLiteral("123456")});
        t.add({QStringLiteral("乙"), QStringLiteral("4"), QStringLiteral("99999")});
        w->printToPdf = w->path(QStringLiteral("range.pdf"));
        page.printReceiptRange(1, 2);
        QCOMPARE(pdfPageCount(w->printToPdf), 1);
        QCOMPARE(cell(page, 0, Roster::PrintStatus), QStringLiteral("否"));
        QCOMPARE(cell(page, 1, Roster::PrintStatus), QStringLiteral("05已打印"));
        QCOMPARE(w->messages.size(), 1);
        QVERIFY(w->messages.at(0).text.contains(QStringLiteral("123456.00")));
        // The same amount prints for the selected child, whose capitals
        // follow the amount's length.
        ReceiptBatch selected(t.doc.fees(), CapitalPlacement::LeftAligned);
        QVERIFY(selected.add(0, t.doc.cells(0)));
    }

    void feesWithoutALineAreAskedAbout()
    {
        TestPage t(QStringLiteral("A"));
        RosterPage &page = t.page;
        FeeMirror fees;
        for (int k = 0; k < 6; ++k)
            fees.feePrices[k] = 10;
        fees.feePrices[0] = 1;
        t.setFees(fees);
        // Meals, bedding, bus and insurance: the form has lines for two.
        t.add({"甲", "4", "100", "0", "1", "1", "1", "1"});
        t.add({"乙", "4", "100", "0", "1", "1", "0", "0"});
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        w->questionAnswer = QMessageBox::No;
        page.printReceiptRange(1, 2);
        QCOMPARE(w->questions, 1);
        QVERIFY(!QFile::exists(w->printToPdf));
        QCOMPARE(cell(page, 0, Roster::PrintStatus), QStringLiteral("否"));
        QCOMPARE(cell(page, 1, Roster::PrintStatus), QStringLiteral("否"));
        w->questionAnswer = QMessageBox::Yes;
        page.tableView->setCurrentIndex(t.doc.index(0, 0));
        page.toolButton(QStringLiteral("printSelected"))->click();
        QCOMPARE(w->questions, 2);
        QCOMPARE(cell(page, 0, Roster::PrintStatus), QStringLiteral("05已打印"));
        // A child whose fees all fit is not asked about.
        page.tableView->setCurrentIndex(t.doc.index(1, 0));
        page.toolButton(QStringLiteral("printSelected"))->click();
        QCOMPARE(w->questions, 2);
    }

    void positionsFromThePrintableArea()
    {
        TestPage t(QStringLiteral("A"));
        RosterPage &page = t.page;
        t.add({QStringLiteral("Zhang"), QStringLiteral("4"), QStringLiteral("100")});
        page.tableView->setCurrentIndex(t.doc.index(0, 0));
        w->printToPdf = w->path(QStringLiteral("plain.pdf"));
        page.printSelectedReceipt();
        const QPointF plain = wordPosition(w->printToPdf, QStringLiteral("2026"));
        QVERIFY(plain.x() > 0);
        // A printer that cannot print the outer 10 mm left and 6 mm top.
        w->printerMargins = QMarginsF(10, 6, 5, 5);
        w->printToPdf = w->path(QStringLiteral("margins.pdf"));
        page.printSelectedReceipt();
        const QPointF shifted = wordPosition(w->printToPdf, QStringLiteral("2026"));
        const double mm = 72 / 25.4;
        QVERIFY2(qAbs(shifted.x() - plain.x() - 10 * mm) < 1,
                 qPrintable(QStringLiteral("%1 → %2").arg(plain.x()).arg(shifted.x())));
        QVERIFY(qAbs(shifted.y() - plain.y() - 6 * mm) < 1);
    }
};

QTEST_MAIN(TestGuards)
#include "test_guards.moc"
