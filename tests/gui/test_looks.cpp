// What the clerk sees: Chinese throughout, titled dialogs, live totals, the
// query page's commands, an empty window's hint, the preview of the real
// form and names with rare characters on paper.
#include "calibrationdialog.h"
#include "chinese.h"
#include "invoice.h"
#include "layout.h"
#include "mainwindow.h"
#include "receiptprinter.h"
#include "rostermodel.h"
#include "testsupport.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>

class TestLooks : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

private slots:
    void init() { w = new TestWorld; }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    void qtSpeaksChinese()
    {
        QVERIFY(installChineseTranslations(*QCoreApplication::instance()));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "OK"), QStringLiteral("确定"));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
        // FEEOFFICE_SHOTS=DIR keeps pictures of a message box and the window.
        if (qEnvironmentVariableIsSet("FEEOFFICE_SHOTS")) {
            QMessageBox box(QMessageBox::Warning, Prompts::title(),
                            QStringLiteral("“3 至 2”没有选中任何一行"), QMessageBox::Ok);
            box.setInformativeText(QStringLiteral("可以打印第 1 至第 4 行。"));
            box.show();
            box.grab().save(qEnvironmentVariable("FEEOFFICE_SHOTS") +
                            QStringLiteral("/message.png"));
            seedDatabase(
                w->databasePath(), {"大一班", "大二班"},
                {{"王小明", "4", "1500", "", "21", "", "", "", "", "", "", "否", "大一班"}});
            w->setSetting(QStringLiteral("c"), QStringLiteral("12.5"));
            MainWindow mw(DbConfig::sqlite(w->databasePath()));
            mw.resize(1200, 600);
            mw.show();
            mw.grab().save(qEnvironmentVariable("FEEOFFICE_SHOTS") + QStringLiteral("/window.png"));
        }
    }

    void everyDialogHasATitle()
    {
        seedDatabase(w->databasePath(), {"A"},
                     {{"甲", "4", "1", "", "", "", "", "", "1", "", "", "否", "A"},
                      {"乙", "4", "1", "", "", "", "", "", "1", "", "", "否", "A"}});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        mw.toolAction(QStringLiteral("addClass"))->trigger();
        QCOMPARE(mw.addclassWidget->windowTitle(), QStringLiteral("添加班级"));
        mw.toolAction(QStringLiteral("query"))->trigger();
        QVERIFY(mw.selectWidget->windowTitle().contains(QStringLiteral("查询")));
        QVERIFY(mw.selectWidget->width() >= 1200);
        Invoice *a = mw.page(0);
        a->toolButton(QStringLiteral("printRange"))->click();
        QCOMPARE(a->printRangeDialog->windowTitle(), QStringLiteral("打印区间"));
        a->tableView->selectRow(0);
        a->toolButton(QStringLiteral("classChange"))->click();
        QVERIFY(a->classChangeDialog->windowTitle().contains(QStringLiteral("1 名儿童")));
        QVERIFY(a->classChangeDialog->windowTitle().contains(QStringLiteral("“A”")));
        const QString file = w->path(QStringLiteral("大班名单.csv"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("甲\n");
        f.close();
        w->openFileAnswers << file;
        a->toolButton(QStringLiteral("openExcel"))->click();
        QVERIFY(a->readRangeDialog->windowTitle().contains(QStringLiteral("大班名单.csv")));
        CalibrationDialog calibration;
        QVERIFY(!calibration.windowTitle().isEmpty());
    }

    void totalFollowsTheTyping()
    {
        Invoice page;
        page.feePrices[Fees::MealPrice] = 10;
        page.feePrices[Fees::DiscountFactor] = 1;
        page.tuitionPrices = {QStringLiteral("800"), QStringLiteral("900")};
        page.toolButton(QStringLiteral("addRow"))->click();
        QCOMPARE(cell(page, 0, Roster::Total), QStringLiteral("0"));
        // Typed in the table: the total is the settings' formula at once.
        QVERIFY(page.model->setData(page.model->index(0, Roster::Tuition), QStringLiteral("1")));
        QCOMPARE(cell(page, 0, Roster::Total), QStringLiteral("900"));
        QVERIFY(page.model->setData(page.model->index(0, Roster::Meals), QStringLiteral("20")));
        QCOMPARE(cell(page, 0, Roster::Total), QStringLiteral("1100"));
    }

    void queryPageShowsItsCommands()
    {
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        mw.toolAction(QStringLiteral("query"))->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(mw.selectWidget));
        const QStringList shown{"printSelected", "printRange", "preview", "saveExcel"};
        for (QToolButton *b : mw.selectPage->toolButtons())
            QCOMPARE(b->isVisible(), shown.contains(b->objectName()));
    }

    void emptyWindowSaysHowToStart()
    {
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        auto *hint = mw.findChild<QLabel *>(QStringLiteral("emptyHint"));
        QVERIFY(hint);
        QVERIFY(hint->isVisibleTo(&mw));
        QVERIFY(hint->text().contains(QStringLiteral("添加班级")));
        mw.addclassEdit->setText(QStringLiteral("大一班"));
        mw.onButtonAddclassOK();
        QVERIFY(!hint->isVisibleTo(&mw));
    }

    void previewShowsTheWholeForm()
    {
        Invoice page;
        page.toolButton(QStringLiteral("addRow"))->click();
        page.model->setItem(0, Roster::Name, new QStandardItem(QStringLiteral("王小明")));
        page.model->setItem(0, Roster::Age, new QStandardItem(QStringLiteral("4")));
        page.model->setItem(0, Roster::Tuition, new QStandardItem(QStringLiteral("1500")));
        page.model->setItem(0, Roster::Meals, new QStandardItem(QStringLiteral("21")));
        page.model->setItem(0, Roster::Clerk, new QStandardItem(QStringLiteral("李老师")));
        page.feePrices[Fees::MealPrice] = 12.5f;
        page.tableView->setCurrentIndex(page.model->index(0, 0));
        page.toolButton(QStringLiteral("preview"))->click();
        QCOMPARE(w->previews.size(), 1);
        const QImage shown = w->previews.at(0).at(0);
        // FEEOFFICE_PREVIEW_PNG=FILE keeps the preview, for the README.
        if (qEnvironmentVariableIsSet("FEEOFFICE_PREVIEW_PNG"))
            shown.scaledToWidth(900, Qt::SmoothTransformation)
                .save(qEnvironmentVariable("FEEOFFICE_PREVIEW_PNG"));
        // The whole 205 × 100 mm form, and the form's boxes behind the print.
        QVERIFY(qAbs(double(shown.width()) / shown.height() - 2.05) < 0.05);
        const QImage bare = ReceiptPrinter::render({}, 200);
        const QImage form = ReceiptPrinter::render({}, 200, {}, ReceiptLayout::formOutline());
        QVERIFY(bare != form);
        // Nothing of the form is ever printed.
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        page.printSelectedReceipt();
        QVERIFY(!programOutput(QStringLiteral("pdftotext"), {w->printToPdf, QStringLiteral("-")})
                     .contains(QStringLiteral("经办人")));
    }

    void rareNamesPrint()
    {
        Invoice page;
        page.toolButton(QStringLiteral("addRow"))->click();
        const QString name = QString::fromUcs4(U"\U00020BB7小明");
        page.model->setItem(0, Roster::Name, new QStandardItem(name));
        page.tableView->setCurrentIndex(page.model->index(0, 0));
        w->printToPdf = w->path(QStringLiteral("rare.pdf"));
        page.printSelectedReceipt();
        // The character is drawn from a font that has it: the common Chinese
        // font lacks it, and only the rare characters' font is embedded for
        // it. (Qt's PDF writer maps no character outside the basic plane
        // back to text, so the text layer cannot tell.)
        QVERIFY(programOutput(QStringLiteral("pdftotext"), {w->printToPdf, QStringLiteral("-")})
                    .contains(QStringLiteral("小明")));
        QVERIFY(programOutput(QStringLiteral("pdffonts"), {w->printToPdf})
                    .contains(QStringLiteral("HanaMin")));
        QVERIFY(QFontDatabase::families().contains(QStringLiteral("HanaMinA")));
        // A name of common characters needs no such font.
        page.model->item(0, Roster::Name)->setText(QStringLiteral("王小明"));
        w->printToPdf = w->path(QStringLiteral("plain.pdf"));
        page.printSelectedReceipt();
        QVERIFY(!programOutput(QStringLiteral("pdffonts"), {w->printToPdf})
                     .contains(QStringLiteral("HanaMin")));
    }
};

QTEST_MAIN(TestLooks)
#include "test_looks.moc"
