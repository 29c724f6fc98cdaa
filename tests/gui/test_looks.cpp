// What the clerk sees: Chinese throughout, titled dialogs, live totals, the
// query page's commands, an empty window's hint, the preview of the real
// form and names with rare characters on paper.
#include "calibrationdialog.h"
#include "chinese.h"
#include "configview.h"
#include "layout.h"
#include "mainwindow.h"
#include "officesession.h"
#include "paymentdialog.h"
#include "querywindow.h"
#include "receiptprinter.h"
#include "rosterpage.h"
#include "testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
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

    void programTextsInChinese()
    {
        QVERIFY(installChineseTranslations(*QCoreApplication::instance()));
        QCOMPARE(Prompts::title(), QStringLiteral("收费室"));
        configView view;
        view.loadSettings();
        QCOMPARE(view.tableModel()->horizontalHeaderItem(0)->text(), QStringLiteral("项目"));
        QCOMPARE(view.tableModel()->horizontalHeaderItem(1)->text(), QStringLiteral("数值"));
        QCOMPARE(view.tableModel()->item(2, 1)->toolTip(), QStringLiteral("双击此处修改"));
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
        RosterPage *a = mw.page(0);
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

    // The payment prompt shows what is due as a label that stays, every
    // hint whole, 尚欠 or 找零 as the amount is typed, the ways as keyed
    // buttons and the transaction number only for ways that have one.
    void paymentPromptShowsItsTextsWhole()
    {
        Prompts::Payment payment;
        payment.method = QStringLiteral("现金");
        payment.dueFen = 183000;
        QStringList seen;
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<PaymentDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            seen << dialog->dueLabel()->text();
            QLineEdit *received = dialog->receivedEdit();
            seen << QString::number(received->width() >= received->fontMetrics().horizontalAdvance(
                                                             received->placeholderText()));
            seen << QString::number(dialog->focusWidget() ==
                                    dialog->methodButton(QStringLiteral("现金")));
            seen << QString::number(dialog->referenceEdit()->isVisible());
            QTest::keyClicks(received, QStringLiteral("2000"));
            seen << dialog->changeLabel()->text();
            received->clear();
            QTest::keyClicks(received, QStringLiteral("1000"));
            seen << dialog->changeLabel()->text();
            // 2 is 微信, which has a number: the number field is next.
            dialog->methodButton(QStringLiteral("现金"))->setFocus();
            QTest::keyClick(dialog->methodButton(QStringLiteral("现金")), Qt::Key_2);
            seen << dialog->method() << QString::number(dialog->referenceEdit()->isVisible())
                 << QString::number(dialog->focusWidget() == dialog->referenceEdit());
            QTest::keyClicks(dialog->referenceEdit(), QStringLiteral("WX42"));
            if (qEnvironmentVariableIsSet("FEEOFFICE_SHOTS"))
                dialog->grab().save(qEnvironmentVariable("FEEOFFICE_SHOTS") +
                                    QStringLiteral("/payment.png"));
            QTest::keyClick(dialog->referenceEdit(), Qt::Key_Return);
        });
        QVERIFY(Prompts::standard().payment(nullptr, payment));
        QCOMPARE(seen, (QStringList{QStringLiteral("1830.00 元"), "1", "1", "0",
                                    QStringLiteral("找零 170.00 元"),
                                    QStringLiteral("部分缴费，尚欠 830.00 元"),
                                    QStringLiteral("微信"), "1", "1"}));
        QCOMPARE(payment.received, QStringLiteral("1000"));
        QCOMPARE(payment.method, QStringLiteral("微信"));
        QCOMPARE(payment.reference, QStringLiteral("WX42"));
    }

    // Cash handed over beyond what is due is change, unless kept as credit;
    // Esc cancels.
    void cashOverpaymentIsChange()
    {
        Prompts::Payment payment;
        payment.method = QStringLiteral("现金");
        payment.dueFen = 50000;
        PaymentDialog dialog(payment, nullptr);
        dialog.receivedEdit()->setText(QStringLiteral("600"));
        QCOMPARE(dialog.changeLabel()->text(), QStringLiteral("找零 100.00 元"));
        Prompts::Payment out = payment;
        dialog.fill(out);
        QVERIFY(out.received.isEmpty());
        dialog.creditBox()->setChecked(true);
        QCOMPARE(dialog.changeLabel()->text(), QStringLiteral("多收 100.00 元，记为预收"));
        dialog.fill(out);
        QCOMPARE(out.received, QStringLiteral("600"));
        dialog.choose(QStringLiteral("支付宝"));
        dialog.creditBox()->setChecked(false);
        dialog.fill(out);
        QCOMPARE(out.received, QStringLiteral("600"));
        QCOMPARE(dialog.okButton()->text(), QStringLiteral("打印收据"));
        QVERIFY(dialog.okButton()->isDefault());
        QTimer::singleShot(0, &dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    }

    void totalFollowsTheTyping()
    {
        TestPage t;
        RosterPage &page = t.page;
        FeeMirror fees;
        fees.feePrices[Fees::MealPrice] = 10;
        fees.feePrices[Fees::DiscountFactor] = 1;
        fees.tuitionPrices = {QStringLiteral("800"), QStringLiteral("900")};
        t.setFees(fees);
        page.toolButton(QStringLiteral("addRow"))->click();
        QCOMPARE(cell(page, 0, Roster::Total), QStringLiteral("0"));
        // Typed in the table: the total is the settings' formula at once.
        QVERIFY(t.doc.setData(t.doc.index(0, Roster::Tuition), QStringLiteral("1")));
        QCOMPARE(cell(page, 0, Roster::Total), QStringLiteral("900"));
        QVERIFY(t.doc.setData(t.doc.index(0, Roster::Meals), QStringLiteral("20")));
        QCOMPARE(cell(page, 0, Roster::Total), QStringLiteral("1100"));
    }

    void queryPageShowsItsCommands()
    {
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        mw.toolAction(QStringLiteral("query"))->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(mw.selectWidget));
        const QStringList shown{"printSelected", "printRange", "saveExcel", "preview"};
        QStringList names;
        for (QToolButton *b : mw.selectWidget->toolButtons()) {
            QVERIFY(b->isVisible());
            names << b->objectName();
        }
        QCOMPARE(names, shown);
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
        TestPage t;
        RosterPage &page = t.page;
        FeeMirror fees;
        fees.feePrices[Fees::MealPrice] = 12.5f;
        t.setFees(fees);
        t.add({QStringLiteral("王小明"), QStringLiteral("4"), QStringLiteral("1500"), QString(),
               QStringLiteral("21"), QString(), QString(), QString(), QString(), QString(),
               QStringLiteral("李老师")});
        t.select(0);
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
        TestPage t;
        RosterPage &page = t.page;
        page.toolButton(QStringLiteral("addRow"))->click();
        const QString name = QString::fromUcs4(U"\U00020BB7小明");
        t.doc.setText(0, Roster::Name, name);
        t.select(0);
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
        t.doc.setText(0, Roster::Name, QStringLiteral("王小明"));
        w->printToPdf = w->path(QStringLiteral("plain.pdf"));
        page.printSelectedReceipt();
        QVERIFY(!programOutput(QStringLiteral("pdffonts"), {w->printToPdf})
                     .contains(QStringLiteral("HanaMin")));
    }
};

QTEST_MAIN(TestLooks)
#include "test_looks.moc"
