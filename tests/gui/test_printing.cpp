#include "calibrationdialog.h"
#include "invoice.h"
#include "mainwindow.h"
#include "receiptprinter.h"
#include "rostermodel.h"
#include "testsupport.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QToolButton>

namespace
{
void addChild(Invoice &p, const QString &name, const QString &tuition,
              const QString &accommodation = QStringLiteral("0"))
{
    const int r = p.model->rowCount();
    p.model->setRowCount(r + 1);
    p.model->setItem(r, Roster::Name, new QStandardItem(name));
    p.model->setItem(r, Roster::Age, new QStandardItem(QStringLiteral("4")));
    p.model->setItem(r, Roster::Tuition, new QStandardItem(tuition));
    p.model->setItem(r, Roster::Accommodation, new QStandardItem(accommodation));
    p.model->setItem(r, Roster::Clerk, new QStandardItem(QStringLiteral("李老师")));
    auto *status = new QStandardItem(QStringLiteral("否"));
    status->setData(p.objectName(), Roster::ClassTagRole);
    p.model->setItem(r, Roster::PrintStatus, status);
}

QString pdfInfo(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {pdf});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString pdfText(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestPrinting : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;
    Invoice *page = nullptr;

private slots:
    void init()
    {
        w = new TestWorld;
        page = new Invoice;
        page->setObjectName(QStringLiteral("大一班"));
        page->tuitionPrices = {QStringLiteral("1200"), QStringLiteral("1500")};
        page->feePrices[1] = 300;
        for (const char16_t *name : {u"王小明", u"李小红", u"张三", u"赵四"})
            addChild(*page, QString::fromUtf16(name), QStringLiteral("1"), QStringLiteral("1"));
    }
    void cleanup()
    {
        delete page;
        delete w;
    }

    void printSelected()
    {
        w->printToPdf = w->path(QStringLiteral("one.pdf"));
        page->tableView->setCurrentIndex(page->model->index(1, 0));
        page->model->setItem(1, Roster::Total, new QStandardItem(QStringLiteral("0")));
        page->toolButton(QStringLiteral("printSelected"))->click();
        QCOMPARE(w->printDialogs, 1);
        QCOMPARE(cell(*page, 1, Roster::PrintStatus), QStringLiteral("05已打印"));
        QCOMPARE(page->model->item(1, Roster::PrintStatus)->data(Roster::ClassTagRole).toString(),
                 QStringLiteral("大一班"));
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
        page->tableView->setCurrentIndex(page->model->index(0, 0));
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
        QTest::mousePress(button(page->printRangeDialog, QStringLiteral("确认并打印")),
                          Qt::LeftButton);
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
            addChild(*page, QStringLiteral("孩子%1").arg(i), QStringLiteral("0"));
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
        page->model->setItem(1, Roster::Accommodation, new QStandardItem(QStringLiteral("-10")));
        page->model->setItem(2, Roster::Tuition, new QStandardItem(QStringLiteral("2000000")));
        w->printToPdf = w->path(QStringLiteral("refused.pdf"));
        page->tableView->setCurrentIndex(page->model->index(1, 0));
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
        page->model->setItem(0, Roster::Total, new QStandardItem(QStringLiteral("7")));
        QSignalSpy printed(page, &Invoice::isPrint);
        page->tableView->setCurrentIndex(page->model->index(0, 0));
        page->toolButton(QStringLiteral("preview"))->click();
        QCOMPARE(w->previews.size(), 1);
        QCOMPARE(w->previews.at(0).size(), 1);
        const QImage &img = w->previews.at(0).at(0);
        QVERIFY(qAbs(double(img.width()) / img.height() - 2.05) < 0.02);
        QCOMPARE(cell(*page, 0, Roster::Total), QStringLiteral("7"));
        QCOMPARE(cell(*page, 0, Roster::PrintStatus), QStringLiteral("否"));
        QCOMPARE(w->printDialogs, 0);
        // With the range dialog open, the range is previewed.
        page->showPrintallWidget();
        page->printFromEdit->setText(QStringLiteral("2"));
        page->printToEdit->setText(QStringLiteral("9"));
        page->onButtonPreview();
        QCOMPARE(w->previews.size(), 2);
        QCOMPARE(w->previews.at(1).size(), 3);
        QCOMPARE(printed.size(), 0);
        for (int r = 0; r < 4; ++r)
            QCOMPARE(cell(*page, r, Roster::PrintStatus), QStringLiteral("否"));
    }

    void resultPagePrintMarksClassPage()
    {
        auto child = [](const QString &name, const QString &cls) {
            return QStringList{name, "4", "0", "", "", "", "", "", "", "", "", "否", cls};
        };
        seedDatabase(w->databasePath(), {"A", "B"},
                     {child("甲", "A"), child("乙", "A"), child("甲", "A"), child("甲", "B")});
        w->setSetting(QStringLiteral("bjcombox"), QStringLiteral("1000,"));
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        Invoice *a = mw.page(0);
        // An unsaved move of one of them is undone by the marking.
        a->model->item(2, Roster::PrintStatus)->setData(QStringLiteral("B"), Roster::ClassTagRole);
        mw.selectEdit->setText(QStringLiteral("甲"));
        mw.onButtonSelect();
        QCOMPARE(mw.selectPage->model->rowCount(), 3);
        QSignalSpy printed(mw.selectPage, &Invoice::isPrint);
        // Cancelled: nothing reported, nothing marked.
        mw.selectPage->tableView->setCurrentIndex(mw.selectPage->model->index(0, 0));
        mw.selectPage->onButtonPrint();
        QCOMPARE(printed.size(), 0);
        QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("否"));
        w->printToPdf = w->path(QStringLiteral("result.pdf"));
        mw.selectPage->onButtonPrint();
        QCOMPARE(printed.size(), 1);
        QCOMPARE(printed.at(0).at(0).toString(), QStringLiteral("A"));
        QCOMPARE(printed.at(0).at(1).toString(), QStringLiteral("甲"));
        QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("05已打印"));
        QCOMPARE(cell(*a, 1, Roster::PrintStatus), QStringLiteral("否"));
        QCOMPARE(cell(*a, 2, Roster::PrintStatus), QStringLiteral("05已打印"));
        QCOMPARE(a->model->item(2, Roster::PrintStatus)->data(Roster::ClassTagRole).toString(),
                 QStringLiteral("A"));
        QCOMPARE(cell(*mw.page(1), 0, Roster::PrintStatus), QStringLiteral("否"));
        // A class page reports nothing.
        QSignalSpy classPage(a, &Invoice::isPrint);
        a->tableView->setCurrentIndex(a->model->index(1, 0));
        a->onButtonPrint();
        QCOMPARE(classPage.size(), 0);
        QCOMPARE(cell(*a, 1, Roster::PrintStatus), QStringLiteral("05已打印"));
    }

    void calibration()
    {
        const QString printer = CalibrationDialog::defaultPrinterName();
        QCOMPARE(CalibrationDialog::offsetFor(printer), QPointF(0, 0));
        CalibrationDialog dialog;
        dialog.xSpin()->setValue(1.3);
        dialog.ySpin()->setValue(-0.7);
        w->printToPdf = w->path(QStringLiteral("calibration.pdf"));
        button(&dialog, QStringLiteral("打印校准页"))->click();
        QCOMPARE(pdfPageCount(w->printToPdf), 1);
        QVERIFY(pdfText(w->printToPdf).contains(QStringLiteral("经办人")));
        dialog.save();
        QCOMPARE(CalibrationDialog::offsetFor(printer), QPointF(1.3, -0.7));
        QCOMPARE(CalibrationDialog::offsetFor(QStringLiteral("other printer")), QPointF(0, 0));
        // The print-range dialog opens it too.
        QTest::mousePress(button(page->printRangeDialog, QStringLiteral("校准…")), Qt::LeftButton);
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
