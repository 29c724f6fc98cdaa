#include "clock.h"
#include "mainwindow.h"
#include "officesession.h"
#include "querywindow.h"
#include "rosterdialogs.h"
#include "rosterexchange.h"
#include "rosterpage.h"
#include "testsupport.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QStringEncoder>
#include <QTest>
#include <QToolButton>

namespace
{
const QString data = QStringLiteral(FEEOFFICE_TEST_DATA);

QStringList child(const QString &name, const QString &cls,
                  const QString &status = QStringLiteral("否"))
{
    return {name,
            QStringLiteral("4"),
            QStringLiteral("1"),
            QString(),
            QStringLiteral("20"),
            QString(),
            QString(),
            QString(),
            QStringLiteral("1200"),
            QString(),
            QStringLiteral("李"),
            status,
            cls};
}
} // namespace

class TestExchange : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;
    TestPage *t = nullptr;
    RosterPage *page = nullptr;

    void import(const QString &file, const QString &column, const QString &from, const QString &to)
    {
        w->openFileAnswers << file;
        page->toolButton(QStringLiteral("openExcel"))->click();
        QVERIFY(page->readRangeDialog->isVisible());
        page->readColumnEdit->setText(column);
        page->readFromEdit->setText(from);
        page->readToEdit->setText(to);
        // Said before reading: the rows and how many names.
        QCOMPARE(page->readRangeDialog->summary->text(), ReadRangeDialog::summaryFor(from, to));
        QTest::mousePress(button(page->readRangeDialog, "readRangeOk"), Qt::LeftButton);
    }

private slots:
    void rangeSummary_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("said");
        QTest::newRow("six") << "2"
                             << "8" << QStringLiteral("将读取第 2–7 行，共 6 个");
        QTest::newRow("one") << "3"
                             << "4" << QStringLiteral("将读取第 3 行，共 1 个");
        QTest::newRow("end first")
            << "5"
            << "5" << QStringLiteral("结束编号那一行不读入：请让结束编号大于起始编号");
        QTest::newRow("not typed yet") << "2"
                                       << "" << QString();
    }

    void rangeSummary()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, said);
        ReadRangeDialog dialog(nullptr);
        dialog.fromEdit->setText(from);
        dialog.toEdit->setText(to);
        QCOMPARE(dialog.summary->text(), said);
    }

    void init()
    {
        w = new TestWorld;
        t = new TestPage(QStringLiteral("大一班"));
        page = &t->page;
    }
    void cleanup()
    {
        delete t;
        delete w;
    }

    void importFormats_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("xlsx") << QStringLiteral("odd.xlsx") << QStringLiteral("2")
                              << QStringList{"王小明", "李&小红", ""};
        QTest::newRow("numbers as text")
            << QStringLiteral("odd.xlsx") << QStringLiteral("3") << QStringList{"12", "3.5", ""};
        QTest::newRow("xls") << QStringLiteral("names.xls") << QStringLiteral("2")
                             << QStringList{"王小明", "李小红", ""};
        QTest::newRow("gbk csv") << QStringLiteral("names.csv") << QStringLiteral("1")
                                 << QStringList{"王小明", "李小红", "𠮷"};
    }
    void importFormats()
    {
        QFETCH(QString, file);
        QFETCH(QString, column);
        QFETCH(QStringList, names);
        QString path = w->path(file);
        if (file.endsWith(QStringLiteral(".csv"))) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            // GB18030 keeps the rare character that GBK lacks.
            f.write(QStringEncoder("GB18030").encode(QStringLiteral("姓名\n王小明\n李小红\n𠮷\n")));
        } else {
            QVERIFY(QFile::copy(data + QLatin1Char('/') + file, path));
        }
        const QByteArray before = bytesOf(path);
        FeeMirror fees;
        fees.clerkName = QStringLiteral("李老师");
        t->setFees(fees);
        page->addRow();
        import(path, column, QStringLiteral("2"), QStringLiteral("5"));
        QVERIFY(!page->readRangeDialog->isVisible());
        QCOMPARE(page->document()->size(), 4);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(cell(*page, i + 1, Roster::Name), names.at(i));
            QCOMPARE(cell(*page, i + 1, Roster::PrintStatus), QStringLiteral("否"));
            QCOMPARE(t->doc.record(i + 1).className, QStringLiteral("大一班"));
            for (int c = 1; c < Roster::Clerk; ++c)
                QCOMPARE(cell(*page, i + 1, c), QStringLiteral("<absent>"));
            // Read by the clerk at work, as a typed row is.
            QCOMPARE(cell(*page, i + 1, Roster::Clerk), QStringLiteral("李老师"));
        }
        // One command: undone, the names are gone again.
        t->doc.undoStack()->undo();
        QCOMPARE(t->doc.size(), 1);
        // The source was only read.
        QCOMPARE(bytesOf(path), before);
        QVERIFY(!page->exchange().hasSource());
        QVERIFY(w->messages.isEmpty());
    }

    void importRefusals()
    {
        // File dialog cancelled.
        page->onButtonOpenExcel();
        QVERIFY(!page->readRangeDialog->isVisible());
        // A file that cannot be read says so, naming it.
        const QString bad = w->path(QStringLiteral("名单.xlsx"));
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("%PDF-1.7");
        f.close();
        w->openFileAnswers << bad;
        page->onButtonOpenExcel();
        QVERIFY(!page->readRangeDialog->isVisible());
        QCOMPARE(w->messages.size(), 1);
        QVERIFY(w->messages.at(0).text.contains(QStringLiteral("名单.xlsx")));
        // Column 0 or first row 0 add nothing and say why.
        for (const auto &range : {QStringList{"0", "1", "5"}, QStringList{"1", "0", "5"}}) {
            import(data + QStringLiteral("/odd.xlsx"), range[0], range[1], range[2]);
            QCOMPARE(page->document()->size(), 0);
            QCOMPARE(w->messages.last().kind, QStringLiteral("warning"));
            QTest::mousePress(button(page->readRangeDialog, "readRangeCancel"), Qt::LeftButton);
            QVERIFY(!page->readRangeDialog->isVisible());
            QVERIFY(!page->exchange().hasSource());
        }
        // End not after the start: nothing, but everything closes.
        import(data + QStringLiteral("/odd.xlsx"), "2", "5", "5");
        QCOMPARE(page->document()->size(), 0);
        QVERIFY(!page->readRangeDialog->isVisible());
    }

    void exportAndSecondExport()
    {
        for (const char16_t *n : {u"甲", u"乙", u"丙"}) {
            page->addRow();
            page->document()->setText(page->document()->size() - 1, 0, (QString::fromUtf16(n)));
        }
        page->document()->setText(1, Roster::Age, (QStringLiteral("0350")));
        QSignalSpy status(page, &RosterPage::statusMessage);
        w->directoryAnswers << w->path(QString());
        page->toolButton(QStringLiteral("saveExcel"))->click();
        const QString file = w->path(QStringLiteral("202605大一班发票打印副本.xlsx"));
        QVERIFY(QFile::exists(file));
        QVERIFY(status.last().at(0).toString().contains(
            QStringLiteral("202605大一班发票打印副本.xlsx")));
        auto rows = readWithOpenpyxl(file);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(0).size(), 12);
        QCOMPARE(rows.at(0).at(0), QStringLiteral("甲"));
        QCOMPARE(rows.at(1).at(Roster::Age), QStringLiteral("0350"));
        QCOMPARE(rows.at(2).at(Roster::PrintStatus), QStringLiteral("否"));
        QCOMPARE(rows.at(2).at(3), QString());
        // A shorter roster later in the month: exactly its rows, nothing
        // left from the longer copy.
        t->doc.removeRows({0, 1});
        page->document()->setText(0, Roster::Name, QStringLiteral("丁"));
        w->directoryAnswers << w->path(QString());
        page->onButtonSaveExcel();
        rows = readWithOpenpyxl(file);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.at(0).at(0), QStringLiteral("丁"));
        QCOMPARE(QDir(w->path(QString())).entryList({QStringLiteral("*发票打印副本*")}).size(), 1);
        // Another month, another file.
        Clock::setFixed(QDateTime(QDate(2027, 1, 3), QTime(9, 0)));
        w->directoryAnswers << w->path(QString());
        page->onButtonSaveExcel();
        QVERIFY(QFile::exists(w->path(QStringLiteral("202701大一班发票打印副本.xlsx"))));
        // Round trip back into a roster.
        TestPage other;
        w->openFileAnswers << file;
        other.page.onButtonOpenExcel();
        other.page.readColumnEdit->setText("1");
        other.page.readFromEdit->setText("1");
        other.page.readToEdit->setText("2");
        other.page.onreadExcelButtonOK();
        QCOMPARE(other.doc.size(), 1);
        QCOMPARE(cell(other.page, 0, Roster::Name), QStringLiteral("丁"));
    }

    void exportEmptyAndFailed()
    {
        w->directoryAnswers << w->path(QString());
        page->onButtonSaveExcel();
        QVERIFY(QFile::exists(w->path(QStringLiteral("202605大一班发票打印副本.xlsx"))));
        QVERIFY(
            readWithOpenpyxl(w->path(QStringLiteral("202605大一班发票打印副本.xlsx"))).isEmpty());
        page->onButtonSaveExcel(); // cancelled directory choice
        QVERIFY(w->messages.isEmpty());
        w->directoryAnswers << w->path(QStringLiteral("gone"));
        page->onButtonSaveExcel();
        QCOMPARE(w->messages.size(), 1);
        QVERIFY(w->messages.at(0).text.contains(QStringLiteral("发票打印副本")));
    }

    void unprintedList()
    {
        seedDatabase(w->databasePath(), {"A", "B", "C"},
                     {child("甲", "A"), child("乙", "A", "05已打印"), child("丙", "B", "05已打印"),
                      child("丁", "C"), child("戊", "C", ""), child("己", "C")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        // Loading turns an empty status into "否"; one emptied by hand is
        // not "否" and is not listed.
        mw.page(2)->document()->setText(1, Roster::PrintStatus, QString());
        w->directoryAnswers << w->path(QString());
        mw.toolAction(QStringLiteral("exportUnprinted"))->trigger();
        const QString file = w->path(QStringLiteral("202605未打印发票打印副本.xlsx"));
        // Complete on disk right away.
        auto rows = readWithOpenpyxl(file);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(0).size(), 13);
        QCOMPARE(rows.at(0).at(0), QStringLiteral("甲"));
        QCOMPARE(rows.at(0).at(12), QStringLiteral("A"));
        QCOMPARE(rows.at(1).at(0), QStringLiteral("丁"));
        QCOMPARE(rows.at(2).at(0), QStringLiteral("己"));
        QCOMPARE(rows.at(2).at(Roster::PrintStatus), QStringLiteral("否"));
        QCOMPARE(rows.at(2).at(8), QStringLiteral("1")); // recomputed: no fee list, tuition 1
        QVERIFY(mw.statusText().contains(QStringLiteral("202605未打印发票打印副本.xlsx")));
        // A second export in the same run, after everything was printed.
        w->printToPdf = w->path(QStringLiteral("all.pdf"));
        for (RosterPage *p : mw.pages())
            p->printReceiptRange(1, p->document()->size());
        QVERIFY(QDir().mkpath(w->path(QStringLiteral("later"))));
        w->directoryAnswers << w->path(QStringLiteral("later"));
        mw.onButtonSaveUnprint();
        QVERIFY(readWithOpenpyxl(w->path(QStringLiteral("later/202605未打印发票打印副本.xlsx")))
                    .isEmpty());
        QCOMPARE(readWithOpenpyxl(file).size(), 3);
        // Cancelled: nothing.
        mw.onButtonSaveUnprint();
        // Unwritable: a message naming the file.
        w->directoryAnswers << w->path(QStringLiteral("missing"));
        mw.onButtonSaveUnprint();
        QCOMPARE(w->messages.size(), 1);
        QVERIFY(w->messages.at(0).text.contains(QStringLiteral("未打印发票打印副本")));
    }
};

QTEST_MAIN(TestExchange)
#include "test_exchange.moc"
