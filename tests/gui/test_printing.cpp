#include "calibration.h"
#include "calibrationdialog.h"
#include "clock.h"
#include "layout.h"
#include "mainwindow.h"
#include "officesession.h"
#include "queryresults.h"
#include "querywindow.h"
#include "receiptprinter.h"
#include "rosterpage.h"
#include "testsupport.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QToolButton>

namespace
{
ChildRecord child(const QString &name, const QString &tuition,
                  const QString &accommodation = QStringLiteral("0"))
{
    ChildRecord r;
    r.className = QStringLiteral("大一班");
    r.set(Roster::Name, name);
    r.set(Roster::Age, QStringLiteral("4"));
    r.set(Roster::Tuition, tuition);
    r.set(Roster::Accommodation, accommodation);
    r.set(Roster::Clerk, QStringLiteral("李老师"));
    r.set(Roster::PrintStatus, QStringLiteral("否"));
    return r;
}

QString pdfInfo(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {pdf});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The words of a PDF's first page with where they start, in millimetres
// from the page's top-left corner, as poppler's pdftotext reads them.
struct Word {
    QString text;
    double x = 0, bottom = 0;
};
QVector<Word> pdfWords(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-bbox"), QStringLiteral("-f"), QStringLiteral("1"),
             QStringLiteral("-l"), QStringLiteral("1"), pdf, QStringLiteral("-")});
    p.waitForFinished(30000);
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"[\\d.]+\" xMax=\"[\\d.]+\" "
                       "yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QVector<Word> out;
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        const double mm = 25.4 / 72.0;
        out.append({m.captured(3), m.captured(1).toDouble() * mm, m.captured(2).toDouble() * mm});
    }
    return out;
}

// The word that begins with text, or an empty one.
Word wordStarting(const QVector<Word> &words, const QString &text)
{
    for (const Word &w : words)
        if (w.text.startsWith(text))
            return w;
    return {};
}

QStringList seededChild(const QString &name)
{
    return {name, "4", "1000", "", "10", "", "", "", "", "0", "李", "否", "大一班"};
}
} // namespace

class TestPrinting : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;
    RosterDocument *doc = nullptr;
    RosterPage *page = nullptr;
    QVector<ChildRecord> children;

    // The fee settings as the page's mirror holds them: no clerk, so that
    // the rows keep theirs.
    void load()
    {
        FeeMirror fees;
        fees.tuitionPrices = {QStringLiteral("1200"), QStringLiteral("1500")};
        fees.feePrices[1] = 300;
        fees.clerkName = QStringLiteral("李老师");
        doc->setFees(fees, QString());
        doc->load(children, Clock::now());
    }

private slots:
    void init()
    {
        w = new TestWorld;
        doc = new RosterDocument(QStringLiteral("大一班"));
        children.clear();
        for (const char16_t *name : {u"王小明", u"李小红", u"张三", u"赵四"})
            children << child(QString::fromUtf16(name), QStringLiteral("1"), QStringLiteral("1"));
        load();
        page = new RosterPage(doc);
    }
    void cleanup()
    {
        delete page;
        delete doc;
        delete w;
    }

    // A recorded receipt says its serial and way of payment, a part payment
    // what it leaves owed, and a copy that it is one and of which receipt,
    // each where the form is blank.
    void receiptSaysWhatItIs()
    {
        w->setSetting(QStringLiteral("a"), QStringLiteral("0.9"));
        w->setSetting(QStringLiteral("b"), QStringLiteral("100"));
        for (const char *k : {"c", "d", "e", "f"})
            w->setSetting(QLatin1String(k), QStringLiteral("10"));
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"大一班"}, {seededChild("甲"), seededChild("乙")});
        MainWindow mw(config);
        w->questionAnswers = {QMessageBox::Yes};
        mw.toolAction(QStringLiteral("billMonth"))->trigger();
        RosterPage *a = mw.page(0);
        // 甲 pays 500 of 1100 by WeChat.
        w->paymentMethod = QStringLiteral("微信");
        w->paymentReference = QStringLiteral("WX9");
        w->paymentReceived = QStringLiteral("500");
        w->printToPdf = w->path(QStringLiteral("part.pdf"));
        a->tableView->setCurrentIndex(a->document()->index(0, 0));
        a->toolButton(QStringLiteral("printSelected"))->click();
        const QVector<Word> part = pdfWords(w->printToPdf);
        const SheetLayout sheet;
        struct Expect {
            QString text;
            QPointF at;
        };
        const QVector<Expect> first = {
            {QStringLiteral("编号"), ReceiptLayout::serialAt(sheet)},
            {QStringLiteral("2026-000001"), {}},
            {QStringLiteral("微信支付"), ReceiptLayout::methodAt(sheet)},
            {QStringLiteral("WX9"), {}},
            {QStringLiteral("部分缴费，尚欠"), ReceiptLayout::noteAt(sheet)},
            {QStringLiteral("600.00"), {}}};
        for (const Expect &e : first) {
            const Word found = wordStarting(part, e.text);
            QVERIFY2(!found.text.isEmpty(), qPrintable(e.text));
            if (e.at.isNull())
                continue;
            // Starts where laid out; the baseline is just above the word's bottom.
            QVERIFY2(qAbs(found.x - e.at.x()) < 1.0, qPrintable(QString::number(found.x)));
            QVERIFY2(found.bottom > e.at.y() - 0.5 && found.bottom < e.at.y() + 2.0,
                     qPrintable(QString::number(found.bottom)));
        }
        // 乙 pays in full in cash, then the receipt is printed again: a copy.
        w->paymentMethod = QStringLiteral("现金");
        w->paymentReference.clear();
        w->paymentReceived.clear();
        a->tableView->setCurrentIndex(a->document()->index(1, 0));
        w->printToPdf = w->path(QStringLiteral("full.pdf"));
        a->toolButton(QStringLiteral("printSelected"))->click();
        const QVector<Word> full = pdfWords(w->printToPdf);
        QVERIFY(!wordStarting(full, QStringLiteral("现金支付")).text.isEmpty());
        QVERIFY(wordStarting(full, QStringLiteral("部分缴费")).text.isEmpty());
        QVERIFY(wordStarting(full, QStringLiteral("补打")).text.isEmpty());
        w->printToPdf = w->path(QStringLiteral("copy.pdf"));
        a->toolButton(QStringLiteral("printSelected"))->click();
        const QVector<Word> copy = pdfWords(w->printToPdf);
        const Word again = wordStarting(copy, QStringLiteral("补打"));
        QCOMPARE(again.text, QStringLiteral("补打（原收据"));
        QVERIFY(!wordStarting(copy, QStringLiteral("2026-000002）")).text.isEmpty());
        QVERIFY(qAbs(again.x - ReceiptLayout::noteAt(sheet).x()) < 1.0);
        QVERIFY(wordStarting(copy, QStringLiteral("现金支付")).text.isEmpty());
        QVERIFY(!wordStarting(copy, QStringLiteral("2026-000003")).text.isEmpty());
    }

    void printSelected()
    {
        w->printToPdf = w->path(QStringLiteral("one.pdf"));
        page->tableView->setCurrentIndex(doc->index(1, 0));
        // A total typed over is what the receipt charges again at once.
        page->document()->setText(1, Roster::Total, (QStringLiteral("0")));
        QCOMPARE(cell(*page, 1, Roster::Total), QStringLiteral("1800"));
        page->toolButton(QStringLiteral("printSelected"))->click();
        QCOMPARE(w->printDialogs, 1);
        QCOMPARE(cell(*page, 1, Roster::PrintStatus), QStringLiteral("05已打印"));
        QCOMPARE(doc->record(1).className, QStringLiteral("大一班"));
        QCOMPARE(cell(*page, 0, Roster::PrintStatus), QStringLiteral("否"));
        QCOMPARE(cell(*page, 1, Roster::Total), QStringLiteral("1800"));
        QCOMPARE(pdfPageCount(w->printToPdf), 1);
        const QString info = pdfInfo(w->printToPdf);
        // 205 × 100 mm in points.
        QVERIFY2(
            QRegularExpression(QStringLiteral("Page size:\\s+581(\\.\\d+)? x 283(\\.\\d+)? pts"))
                .match(info)
                .hasMatch(),
            qPrintable(info));
        const QString text = pdfText(w->printToPdf);
        QVERIFY2(text.contains(QStringLiteral("李小红")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("1800.00")));
        QVERIFY(text.contains(QStringLiteral("1500.00")));
        QVERIFY(text.contains(QStringLiteral("壹")));
        QVERIFY(w->messages.isEmpty());
    }

    void cancelMarksNothing()
    {
        page->tableView->setCurrentIndex(doc->index(0, 0));
        page->onButtonPrint();
        QCOMPARE(w->printDialogs, 1);
        QCOMPARE(cell(*page, 0, Roster::PrintStatus), QStringLiteral("否"));
        // The total is rewritten while the receipt is built, before the dialog.
        QCOMPARE(cell(*page, 0, Roster::Total), QStringLiteral("1800"));
        page->printFromEdit->setText(QStringLiteral("1"));
        page->printToEdit->setText(QStringLiteral("4"));
        page->onButtonPrintOK();
        for (int r = 0; r < 4; ++r)
            QCOMPARE(cell(*page, r, Roster::PrintStatus), QStringLiteral("否"));
    }

    // 打印 in the preview prints what was shown, as the print command would.
    void previewPrintsOnRequest()
    {
        w->previewPrints = true;
        w->printToPdf = w->path(QStringLiteral("previewed.pdf"));
        page->tableView->setCurrentIndex(doc->index(0, 0));
        page->toolButton(QStringLiteral("preview"))->click();
        QCOMPARE(w->previews.size(), 1);
        QCOMPARE(w->printDialogs, 1);
        QCOMPARE(pdfPageCount(w->printToPdf), 1);
        QCOMPARE(cell(*page, 0, Roster::PrintStatus), QStringLiteral("05已打印"));
        QCOMPARE(cell(*page, 1, Roster::PrintStatus), QStringLiteral("否"));
    }

    void noCurrentRowDoesNothing()
    {
        page->onButtonPrint();
        QCOMPARE(w->printDialogs, 0);
    }

    void ranges_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("printed"); // one flag per row
        QTest::newRow("middle") << "2"
                                << "3"
                                << "0110";
        QTest::newRow("past the end") << "3"
                                      << "10"
                                      << "0011";
        QTest::newRow("from zero") << "0"
                                   << "1"
                                   << "1000";
        QTest::newRow("start after end") << "3"
                                         << "2"
                                         << "0000";
        QTest::newRow("not numbers") << "abc"
                                     << "x"
                                     << "0000";
        QTest::newRow("negative") << "-5"
                                  << "-1"
                                  << "0000";
        QTest::newRow("absurd") << "-2000000000"
                                << "2000000000"
                                << "1111";
    }
    void ranges()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, printed);
        w->printToPdf = w->path(QStringLiteral("range.pdf"));
        page->toolButton(QStringLiteral("printRange"))->click();
        QVERIFY(page->printRangeDialog->isVisible());
        page->printFromEdit->setText(from);
        page->printToEdit->setText(to);
        QTest::mousePress(button(page->printRangeDialog, "printRangeOk"), Qt::LeftButton);
        // Numbers that select no row are said instead of printing nothing.
        const bool any = printed.contains(QLatin1Char('1'));
        QCOMPARE(w->printDialogs, any ? 1 : 0);
        if (!any) {
            QCOMPARE(w->messages.size(), 1);
            QVERIFY(w->messages.at(0).informative.contains(QStringLiteral("第 1 至第 4 行")));
        }
        QVERIFY(!page->printRangeDialog->isVisible());
        for (int r = 0; r < 4; ++r)
            QCOMPARE(cell(*page, r, Roster::PrintStatus), printed.at(r) == QLatin1Char('1')
                                                              ? QStringLiteral("05已打印")
                                                              : QStringLiteral("否"));
        const int pages = printed.count(QLatin1Char('1'));
        QCOMPARE(pdfPageCount(w->printToPdf), pages == 0 ? -1 : pages);
    }

    void thirtyChildRangeIsOneDocument()
    {
        for (int i = 0; i < 26; ++i)
            children << child(QStringLiteral("孩子%1").arg(i), QStringLiteral("0"));
        load();
        w->printToPdf = w->path(QStringLiteral("thirty.pdf"));
        page->printReceiptRange(1, 30);
        QCOMPARE(pdfPageCount(w->printToPdf), 30);
        const QString text = pdfText(w->printToPdf);
        QVERIFY(text.contains(QStringLiteral("王小明")));
        QVERIFY(text.contains(QStringLiteral("孩子25")));
    }

    void unwritableTotalRefused()
    {
        // A negative total and a nine-digit one cannot go into the boxes.
        page->document()->setText(1, Roster::Accommodation, (QStringLiteral("-10")));
        page->document()->setText(2, Roster::Tuition, (QStringLiteral("2000000")));
        w->printToPdf = w->path(QStringLiteral("refused.pdf"));
        page->tableView->setCurrentIndex(doc->index(1, 0));
        page->onButtonPrint();
        QCOMPARE(w->printDialogs, 0);
        QCOMPARE(w->messages.size(), 1);
        QVERIFY2(w->messages.at(0).text.contains(QStringLiteral("李小红")),
                 qPrintable(w->messages.at(0).text));
        QCOMPARE(cell(*page, 1, Roster::PrintStatus), QStringLiteral("否"));
        page->printReceiptRange(1, 4);
        QCOMPARE(pdfPageCount(w->printToPdf), 2);
        QCOMPARE(w->messages.size(), 2);
        QVERIFY(w->messages.at(1).text.contains(QStringLiteral("李小红")));
        QVERIFY(w->messages.at(1).text.contains(QStringLiteral("张三")));
        QVERIFY(w->messages.at(1).text.contains(QStringLiteral("2000000.00")));
        QCOMPARE(cell(*page, 0, Roster::PrintStatus), QStringLiteral("05已打印"));
        QCOMPARE(cell(*page, 2, Roster::PrintStatus), QStringLiteral("否"));
        QCOMPARE(cell(*page, 3, Roster::PrintStatus), QStringLiteral("05已打印"));
    }

    void previewMarksNothing()
    {
        const int commands = doc->undoStack()->count();
        QSignalSpy changed(doc, &RosterDocument::dataChanged);
        page->tableView->setCurrentIndex(doc->index(0, 0));
        page->toolButton(QStringLiteral("preview"))->click();
        QCOMPARE(w->previews.size(), 1);
        QCOMPARE(w->previews.at(0).size(), 1);
        const QImage &img = w->previews.at(0).at(0);
        QVERIFY(qAbs(double(img.width()) / img.height() - 2.05) < 0.02);
        QCOMPARE(cell(*page, 0, Roster::Total), QStringLiteral("1800"));
        QCOMPARE(cell(*page, 0, Roster::PrintStatus), QStringLiteral("否"));
        QCOMPARE(w->printDialogs, 0);
        // With the range dialog open, the range is previewed.
        page->showPrintallWidget();
        page->printFromEdit->setText(QStringLiteral("2"));
        page->printToEdit->setText(QStringLiteral("9"));
        page->onButtonPreview();
        QCOMPARE(w->previews.size(), 2);
        QCOMPARE(w->previews.at(1).size(), 3);
        QCOMPARE(changed.size(), 0);
        QCOMPARE(doc->undoStack()->count(), commands);
        for (int r = 0; r < 4; ++r)
            QCOMPARE(cell(*page, r, Roster::PrintStatus), QStringLiteral("否"));
    }

    void resultPrintMarksThatChildOnly()
    {
        auto child = [](const QString &name, const QString &cls) {
            return QStringList{name, "4", "0", "", "", "", "", "", "", "", "", "否", cls};
        };
        seedDatabase(w->databasePath(), {"A", "B"},
                     {child("甲", "A"), child("乙", "A"), child("甲", "A"), child("甲", "B")});
        w->setSetting(QStringLiteral("bjcombox"), QStringLiteral("1000,"));
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        RosterPage *a = mw.page(0);
        // An unsaved move of one of them stays as it is.
        a->document()->moveToClass({2}, QStringLiteral("B"));
        mw.selectEdit->setText(QStringLiteral("甲"));
        mw.onButtonSelect();
        QueryWindow *query = mw.selectWidget;
        QCOMPARE(query->results()->rowCount(), 3);
        // Cancelled: nothing marked.
        query->tableView()->setCurrentIndex(query->results()->index(0, 0));
        query->toolButton(QStringLiteral("printSelected"))->click();
        QCOMPARE(w->printDialogs, 1);
        QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("否"));
        w->printToPdf = w->path(QStringLiteral("result.pdf"));
        query->printSelectedReceipt();
        QCOMPARE(pdfPageCount(w->printToPdf), 1);
        QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("05已打印"));
        QCOMPARE(cell(*a, 1, Roster::PrintStatus), QStringLiteral("否"));
        // The other 甲 of class A is another child: not marked.
        QCOMPARE(cell(*a, 2, Roster::PrintStatus), QStringLiteral("否"));
        QCOMPARE(a->document()->record(2).className, QStringLiteral("B"));
        QCOMPARE(cell(*mw.page(1), 0, Roster::PrintStatus), QStringLiteral("否"));
        // The result row shows the mark too.
        QCOMPARE(query->results()->texts(0).at(Roster::PrintStatus), QStringLiteral("05已打印"));
        // The third result is the child of class B.
        query->tableView()->setCurrentIndex(query->results()->index(2, 0));
        query->printSelectedReceipt();
        QCOMPARE(cell(*mw.page(1), 0, Roster::PrintStatus), QStringLiteral("05已打印"));
        QCOMPARE(cell(*a, 2, Roster::PrintStatus), QStringLiteral("否"));
    }

    void calibration()
    {
        const QString printer = ReceiptPrinter::defaultPrinterName();
        QCOMPARE(Calibration::offsetFor(printer), QPointF(0, 0));
        CalibrationDialog dialog;
        dialog.xSpin()->setValue(1.3);
        dialog.ySpin()->setValue(-0.7);
        w->printToPdf = w->path(QStringLiteral("calibration.pdf"));
        button(&dialog, "printCalibrationPage")->click();
        QCOMPARE(pdfPageCount(w->printToPdf), 1);
        QVERIFY(pdfText(w->printToPdf).contains(QStringLiteral("经办人")));
        dialog.save();
        QCOMPARE(Calibration::offsetFor(printer), QPointF(1.3, -0.7));
        QCOMPARE(Calibration::offsetFor(QStringLiteral("other printer")), QPointF(0, 0));
        // The print-range dialog opens it too.
        QTest::mousePress(button(page->printRangeDialog, "printRangeCalibrate"), Qt::LeftButton);
        auto *opened = page->findChild<CalibrationDialog *>();
        QVERIFY(opened);
        QCOMPARE(opened->xSpin()->value(), 1.3);
    }

    void deviceConversionTruncates()
    {
        const float scale = ReceiptPrinter::scaleOf(1200);
        QCOMPARE(scale, 1200.0f / 25.4f);
        QCOMPARE(ReceiptPrinter::toDevice(67, scale), 3165);
        QCOMPARE(ReceiptPrinter::toDevice(93.5, scale), 4417);
        QCOMPARE(ReceiptPrinter::toDevice(-3, scale), -141);
    }
};

QTEST_MAIN(TestPrinting)
#include "test_printing.moc"
