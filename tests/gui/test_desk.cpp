// The cashier's desk: a child found by part of the name or the initials of
// its reading, the card as the account says, 收款并打印 from the keyboard
// alone through the real payment window, and the commands a clerk finds in
// the menus, shortcuts and the window title.
#include "childsearch.h"
#include "chinese.h"
#include "clock.h"
#include "database.h"
#include "desk.h"
#include "journalstore.h"
#include "mainwindow.h"
#include "officesession.h"
#include "paymentdialog.h"
#include "rosterdelegate.h"
#include "rosterpage.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace
{
QStringList child(const QString &name, const QString &cls, const QString &meals = "10")
{
    return {name, "4", "1000", "", meals, "", "", "", "", "0", "李", "否", cls};
}
} // namespace

class TestDesk : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

    DbConfig seeded()
    {
        w->setSetting(QStringLiteral("a"), QStringLiteral("0.9"));
        w->setSetting(QStringLiteral("b"), QStringLiteral("100"));
        for (const char *k : {"c", "d", "e", "f"})
            w->setSetting(QLatin1String(k), QStringLiteral("10"));
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"大一班", "小二班"},
                     {child("张小明", "大一班"), child("李安", "大一班"), child("王晓明", "小二班"),
                      child("Amy陈", "小二班")});
        return config;
    }

private slots:
    void init() { w = new TestWorld; }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    void initialsFromTheReadings_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("initials");
        QTest::newRow("three characters") << QStringLiteral("张小明") << QStringLiteral("zxm");
        QTest::newRow("tone marks folded") << QStringLiteral("爱安") << QStringLiteral("aa");
        QTest::newRow("latin kept") << QStringLiteral("Amy陈") << QStringLiteral("amyc");
        QTest::newRow("space dropped") << QStringLiteral("李 安") << QStringLiteral("la");
    }
    void initialsFromTheReadings()
    {
        QFETCH(QString, name);
        QFETCH(QString, initials);
        QCOMPARE(ChildSearch::initials(name), initials);
    }

    void findAcrossClasses_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("part of a name")
            << QStringLiteral("小明") << QStringList{QStringLiteral("张小明（大一班）")};
        QTest::newRow("both classes")
            << QStringLiteral("明")
            << QStringList{QStringLiteral("张小明（大一班）"), QStringLiteral("王晓明（小二班）")};
        QTest::newRow("initials") << QStringLiteral("zxm")
                                  << QStringList{QStringLiteral("张小明（大一班）")};
        // Initials from the start first, then anywhere in the name.
        QTest::newRow("initials, start first")
            << QStringLiteral("XM")
            << QStringList{QStringLiteral("张小明（大一班）"), QStringLiteral("王晓明（小二班）")};
        QTest::newRow("latin name")
            << QStringLiteral("amy") << QStringList{QStringLiteral("Amy陈（小二班）")};
        QTest::newRow("spaces around")
            << QStringLiteral("  李安 ") << QStringList{QStringLiteral("李安（大一班）")};
        QTest::newRow("nobody") << QStringLiteral("赵")
                                << QStringList{QStringLiteral("没有找到“赵”")};
    }
    void findAcrossClasses()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, found);
        seeded();
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        Desk *desk = mw.desk();
        // As typed: one character after the other.
        for (const QChar c : typed)
            desk->searchEdit()->insert(QString(c));
        QStringList listed;
        for (int i = 0; i < desk->matchList()->count(); ++i)
            listed << desk->matchList()->item(i)->text();
        if (found.size() == 2 && typed == QStringLiteral("XM"))
            std::swap(found[0], found[1]);
        QCOMPARE(listed.size(), found.size());
        QCOMPARE(QSet<QString>(listed.begin(), listed.end()),
                 QSet<QString>(found.begin(), found.end()));
        // Esc clears.
        QTest::keyClick(desk->searchEdit(), Qt::Key_Escape);
        QVERIFY(desk->searchEdit()->text().isEmpty());
    }

    // A parent at the window, served from the keyboard alone: two
    // characters, Enter, Ctrl+P, 2 (微信) and the number, Enter.
    void parentServedFromTheKeyboard()
    {
        const DbConfig config = seeded();
        MainWindow mw(config);
        w->questionAnswers = {QMessageBox::No}; // 全部班级
        mw.toolAction(QStringLiteral("billMonth"))->trigger();
        Desk *desk = mw.desk();
        QCOMPARE(mw.focusWidget(), desk->searchEdit());
        // The initials of 王晓明; ↓ and ↑ move between matches.
        QTest::keyClicks(desk->searchEdit(), QStringLiteral("wx"));
        QCOMPARE(desk->matchList()->count(), 1);
        QTest::keyClick(desk->searchEdit(), Qt::Key_Down);
        QTest::keyClick(desk->searchEdit(), Qt::Key_Up);
        QCOMPARE(desk->matchList()->currentRow(), 0);
        QTest::keyClick(desk->searchEdit(), Qt::Key_Return);
        QCOMPARE(desk->shown().document->className(), QStringLiteral("小二班"));
        QVERIFY2(desk->card()->text().contains(QStringLiteral("尚欠 1100.00 元")),
                 qPrintable(desk->card()->text()));
        QAction *pay = mw.menuAction(QStringLiteral("deskPay"));
        QCOMPARE(pay->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
        // The real payment window, answered by keys.
        Prompts::current().payment = Prompts::standard().payment;
        QString due;
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<PaymentDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            due = dialog->dueLabel()->text();
            QTest::keyClick(dialog->focusWidget(), Qt::Key_2);
            QTest::keyClicks(dialog->focusWidget(), QStringLiteral("4200001"));
            QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
        });
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        pay->trigger();
        QCOMPARE(due, QStringLiteral("1100.00 元"));
        Database db(config);
        QVERIFY(db.open());
        const auto month = JournalStore(db).month(QStringLiteral("2026-05"));
        QVERIFY(month);
        QCOMPARE(month->size(), 1);
        QCOMPARE(month->first().name, QStringLiteral("王晓明"));
        QCOMPARE(month->first().method, QStringLiteral("微信"));
        QCOMPARE(month->first().reference, QStringLiteral("4200001"));
        // Ready for the next parent; today's figures follow.
        QCOMPARE(mw.focusWidget(), desk->searchEdit());
        QVERIFY(desk->searchEdit()->text().isEmpty());
        QTRY_VERIFY2(desk->today()->text().contains(QStringLiteral("收据 1 张，实收 1100.00 元")),
                     qPrintable(desk->today()->text()));
        QTRY_VERIFY2(desk->today()->text().contains(QStringLiteral("本月未缴清 3 名儿童")),
                     qPrintable(desk->today()->text()));
    }

    // A choice from the list is stored so that it reads as the amount
    // chosen, whatever the list's length.
    void tuitionCellReadsAsChosen_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<QString>("stored");
        QTest::newRow("an amount") << "1500" << QStringList{"1200", "1500"} << "1500";
        QTest::newRow("typed, not listed") << "1300" << QStringList{"1200", "1500"} << "1300";
        QTest::newRow("listed amount below the count")
            << "1" << QStringList{"2000", "1", "3000"} << "1";
        QTest::newRow("small amount at another place") << "0" << QStringList{"1200", "0"} << "1";
        QTest::newRow("an index stays") << " 2 " << QStringList{"2000", "1", "2"} << "2";
        QTest::newRow("blank") << "" << QStringList{"1200"} << "";
    }
    void tuitionCellReadsAsChosen()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, list);
        QFETCH(QString, stored);
        const QString cell = RosterDelegate::tuitionCell(typed, list);
        QCOMPARE(cell, stored);
        // What the fee rule makes of it is what was typed.
        if (!typed.trimmed().isEmpty())
            QCOMPARE(RosterDelegate::tuitionShown(cell, list), typed.trimmed());
    }

    // The 保教费 cell edits through the list; a month above 10,000 元 asks
    // once, and 取消 takes the edit back. Headers say what they count.
    void entryExplainsItself()
    {
        w->setSetting(QStringLiteral("bjcombox"), QStringLiteral("1200,1500,"));
        const DbConfig config = seeded();
        MainWindow mw(config);
        RosterPage *a = mw.page(0);
        RosterDocument *doc = a->document();
        const QModelIndex tuition = doc->index(0, Roster::Tuition);
        a->tableView->setCurrentIndex(tuition);
        a->tableView->edit(tuition);
        auto *box = a->tableView->findChild<QComboBox *>(QStringLiteral("tuitionEditor"));
        QVERIFY(box);
        QCOMPARE(box->count(), 2);
        QCOMPARE(box->currentText(), QStringLiteral("1000"));
        box->setCurrentIndex(1);
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(doc->cell(0, Roster::Tuition).value_or(QString()), QStringLiteral("1500"));
        QCOMPARE(doc->cell(0, Roster::Total).value_or(QString()), QStringLiteral("1600"));
        QCOMPARE(w->questions, 0);
        // 20,000 元: asked, 取消 puts 1500 back.
        const auto typeTuition = [&](const QString &text) {
            a->tableView->edit(tuition);
            auto *editor = qobject_cast<QComboBox *>(a->tableView->indexWidget(tuition));
            QVERIFY(editor);
            editor->setEditText(text);
            QTest::keyClick(editor->lineEdit(), Qt::Key_Return);
        };
        w->questionAnswers = {QMessageBox::No};
        typeTuition(QStringLiteral("20000"));
        QCOMPARE(w->questions, 1);
        QVERIFY2(w->questionTexts.last().contains(
                     QStringLiteral("张小明本月合计 20100 元，超过 10000 元")),
                 qPrintable(w->questionTexts.last()));
        QCOMPARE(w->confirmActions.last(), QStringLiteral("保留"));
        QCOMPARE(doc->cell(0, Roster::Tuition).value_or(QString()), QStringLiteral("1500"));
        // 保留 keeps it, and a further change above the line asks no more.
        w->questionAnswers = {QMessageBox::Yes};
        typeTuition(QStringLiteral("20000"));
        QCOMPARE(w->questions, 2);
        QCOMPARE(doc->cell(0, Roster::Total).value_or(QString()), QStringLiteral("20100"));
        typeTuition(QStringLiteral("21000"));
        QCOMPARE(w->questions, 2);
        QCOMPARE(doc->cell(0, Roster::Tuition).value_or(QString()), QStringLiteral("21000"));
        // What each quantity column counts, with today's price.
        QCOMPARE(doc->headerData(Roster::Meals, Qt::Horizontal, Qt::ToolTipRole).toString(),
                 QStringLiteral("在园吃饭的天数，每天 10.00 元"));
        QVERIFY(doc->headerData(Roster::Tuition, Qt::Horizontal, Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("1200、1500")));
        for (int c = Roster::Tuition; c < Roster::ColumnCount; ++c)
            QVERIFY2(!doc->headerData(c, Qt::Horizontal, Qt::ToolTipRole).toString().isEmpty(),
                     qPrintable(QString::number(c)));
    }

    // The preview names each page and offers 打印; Enter closes it.
    void previewOffersPrint()
    {
        const QVector<QImage> pages(2, QImage(205, 100, QImage::Format_RGB32));
        for (const bool print : {false, true}) {
            QStringList captions;
            QString byDefault;
            QTimer::singleShot(0, [&] {
                auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
                if (!dialog)
                    return;
                for (QLabel *l : dialog->findChildren<QLabel *>())
                    if (!l->text().isEmpty())
                        captions << l->text();
                for (QPushButton *b : dialog->findChildren<QPushButton *>())
                    if (b->isDefault())
                        byDefault = b->text();
                if (print)
                    dialog->findChild<QPushButton *>(QStringLiteral("previewPrint"))->click();
                else
                    QTest::keyClick(dialog, Qt::Key_Return);
            });
            QCOMPARE(Prompts::standard().preview(nullptr, QStringLiteral("打印预览"), pages),
                     print);
            QCOMPARE(captions, (QStringList{QStringLiteral("第 1 张，共 2 张"),
                                            QStringLiteral("第 2 张，共 2 张")}));
            QCOMPARE(byDefault, QStringLiteral("关闭"));
        }
    }

    // Questions name their buttons for what they do, and the default is the
    // harmless one: 取消, which Esc and Enter choose.
    void questionsNameTheirButtons()
    {
        QStringList texts;
        QString byDefault;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            for (QAbstractButton *b : box->buttons())
                texts << b->text();
            byDefault = box->defaultButton() ? box->defaultButton()->text() : QString();
            QTest::keyClick(box, Qt::Key_Return);
        });
        QCOMPARE(Prompts::standard().choose(nullptr, QStringLiteral("生成应收"),
                                            {QStringLiteral("本班"), QStringLiteral("全部班级")}),
                 -1);
        QCOMPARE(QSet<QString>(texts.begin(), texts.end()),
                 (QSet<QString>{QStringLiteral("本班"), QStringLiteral("全部班级"),
                                QStringLiteral("取消")}));
        QCOMPARE(byDefault, QStringLiteral("取消"));
        // 生成本月应收 offers exactly those.
        seeded();
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        w->questionAnswers = {QMessageBox::Cancel};
        mw.toolAction(QStringLiteral("billMonth"))->trigger();
        QCOMPARE(w->confirmActions.last(), QStringLiteral("本班/全部班级"));
        QVERIFY(w->questionTexts.last().contains(QStringLiteral("大一班")));
    }

    // Nothing cut off at a common office screen: the whole roster row, the
    // desk and the settings fit 1366 × 768; FEEOFFICE_SHOTS=DIR keeps the
    // pictures of the windows at both sizes.
    void fitsTheScreen_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::newRow("1366x768") << QSize(1366, 768);
        QTest::newRow("1920x1080") << QSize(1920, 1080);
    }
    void fitsTheScreen()
    {
        QFETCH(QSize, screen);
        seeded();
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        mw.resize(screen);
        mw.show();
        QVERIFY(QTest::qWaitForWindowExposed(&mw));
        QTest::keyClicks(mw.desk()->searchEdit(), QStringLiteral("zxm"));
        QTest::keyClick(mw.desk()->searchEdit(), Qt::Key_Return);
        QCoreApplication::processEvents();
        RosterPage *p = mw.page(0);
        QTableView *table = p->tableView;
        const int right = table->columnViewportPosition(Roster::PrintStatus) +
                          table->columnWidth(Roster::PrintStatus);
        QVERIFY2(right <= table->viewport()->width(),
                 qPrintable(QStringLiteral("%1 > %2").arg(right).arg(table->viewport()->width())));
        QVERIFY(mw.desk()->card()->height() >=
                mw.desk()->card()->heightForWidth(mw.desk()->card()->width()));
        if (qEnvironmentVariableIsSet("FEEOFFICE_SHOTS"))
            mw.grab().save(
                qEnvironmentVariable("FEEOFFICE_SHOTS") +
                QStringLiteral("/main-%1x%2.png").arg(screen.width()).arg(screen.height()));
    }

    // Every window the menus open fits a 1366 × 768 screen (less a task
    // bar) at the size it opens with; FEEOFFICE_SHOTS=DIR keeps each over
    // the main window, at both sizes.
    void everyWindowFitsTheScreen_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QSize>("screen");
        for (const char *command :
             {"query", "journal", "backups", "arrears", "absences", "dayReport", "monthReport",
              "auditLog", "users", "ownPassword", "calibrateMenu", "notices", "reminders",
              "reconcile", "families", "reductions", "stays"})
            for (const QSize &screen : {QSize(1366, 768), QSize(1920, 1080)})
                QTest::newRow(qPrintable(QStringLiteral("%1 %2x%3")
                                             .arg(QLatin1String(command))
                                             .arg(screen.width())
                                             .arg(screen.height())))
                    << QString::fromLatin1(command) << screen;
    }
    void everyWindowFitsTheScreen()
    {
        QFETCH(QString, command);
        QFETCH(QSize, screen);
        const DbConfig config = seeded();
        // The pictures show the program as the office sees it: in Chinese.
        static bool translated = false;
        if (qEnvironmentVariableIsSet("FEEOFFICE_SHOTS") && !translated)
            translated = installChineseTranslations(*QCoreApplication::instance());
        MainWindow mw(config);
        mw.resize(screen);
        mw.show();
        QVERIFY(QTest::qWaitForWindowExposed(&mw));
        w->questionAnswers = {QMessageBox::No}; // 全部班级
        mw.toolAction(QStringLiteral("billMonth"))->trigger();
        // A receipt in each class, for the windows to show.
        w->printToPdf = w->path(QStringLiteral("shots.pdf"));
        for (int p = 0; p < 2; ++p) {
            mw.page(p)->tableView->setCurrentIndex(mw.page(p)->document()->index(0, 0));
            mw.page(p)->toolButton(QStringLiteral("printSelected"))->click();
        }
        QSet<QWidget *> before;
        for (QWidget *t : QApplication::topLevelWidgets())
            if (t->isVisible())
                before << t;
        QAction *action = mw.toolAction(command) ? mw.toolAction(command) : mw.menuAction(command);
        QVERIFY(action);
        QVERIFY2(action->isEnabled(), qPrintable(action->toolTip()));
        action->trigger();
        QWidget *window = nullptr;
        for (QWidget *t : QApplication::topLevelWidgets())
            if (t->isVisible() && t != &mw && !before.contains(t) && !t->inherits("QMenu"))
                window = t;
        QVERIFY2(window, qPrintable(command));
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QSize room(1366, 768 - 40);
        for (const QSize &size : {window->size(), window->minimumSizeHint()})
            QVERIFY2(size.width() <= room.width() && size.height() <= room.height(),
                     qPrintable(QStringLiteral("%1: %2×%3")
                                    .arg(window->windowTitle())
                                    .arg(size.width())
                                    .arg(size.height())));
        QVERIFY2(w->messages.isEmpty(), qPrintable(w->messages.value(0).text));
        if (qEnvironmentVariableIsSet("FEEOFFICE_SHOTS")) {
            QPixmap shot = mw.grab();
            QPainter painter(&shot);
            const QPixmap front = window->grab();
            painter.fillRect(QRect(QPoint(0, 0), shot.size()), QColor(0, 0, 0, 60));
            painter.drawPixmap((shot.width() - front.width()) / 2,
                               qMax(0, (shot.height() - front.height()) / 2), front);
            painter.end();
            shot.save(qEnvironmentVariable("FEEOFFICE_SHOTS") + QStringLiteral("/%1-%2x%3.png")
                                                                    .arg(command)
                                                                    .arg(screen.width())
                                                                    .arg(screen.height()));
        }
        window->close();
    }

    // A window opens once; closing with unsaved rosters says which are lost.
    void windowsOpenOnceAndClosingSaysWhatIsLost()
    {
        seeded();
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        for (const char *command : {"journal", "dayReport", "monthReport", "auditLog", "backups"}) {
            const int before = mw.findChildren<QDialog *>().size();
            mw.toolAction(QLatin1String(command))->trigger();
            mw.toolAction(QLatin1String(command))->trigger();
            QCOMPARE(mw.findChildren<QDialog *>().size(), before + 1);
        }
        mw.page(1)->document()->setText(0, 1, QStringLiteral("6"));
        w->questionAnswer = QMessageBox::Cancel;
        QVERIFY(!mw.close());
        QVERIFY2(w->questionTexts.last().contains(QStringLiteral("班级“小二班”（2 名儿童）")),
                 qPrintable(w->questionTexts.last()));
        QVERIFY(!w->questionTexts.last().contains(QStringLiteral("大一班")));
    }

    void menusShortcutsAndTitle()
    {
        const DbConfig config = seeded();
        MainWindow mw(config);
        QStringList menus;
        for (QAction *a : mw.menuBar()->actions())
            menus << a->text();
        QCOMPARE(menus, (QStringList{QStringLiteral("文件"), QStringLiteral("收费"),
                                     QStringLiteral("账目"), QStringLiteral("报表"),
                                     QStringLiteral("系统")}));
        // Every menu entry has its text.
        for (QAction *m : mw.menuBar()->actions())
            for (QAction *a : m->menu()->actions())
                QVERIFY(a->isSeparator() || !a->text().isEmpty());
        // The tool bar: the daily commands in groups, icons with text under;
        // every command is in the tool bar or a menu.
        auto *bar = mw.findChild<QToolBar *>(QStringLiteral("commands"));
        QCOMPARE(bar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        int separators = 0;
        QSet<QAction *> reachable;
        for (QAction *a : bar->actions()) {
            separators += a->isSeparator() ? 1 : 0;
            QVERIFY(a->isSeparator() || !a->icon().isNull());
            reachable.insert(a);
        }
        QVERIFY(separators >= 3);
        QVERIFY(bar->actions().size() - separators < mw.toolActions().size());
        for (QAction *m : mw.menuBar()->actions())
            for (QAction *a : m->menu()->actions())
                reachable.insert(a);
        for (QAction *a : mw.toolActions())
            QVERIFY2(reachable.contains(a), qPrintable(a->text()));
        QCOMPARE(mw.toolAction(QStringLiteral("saveDatabase"))->shortcut(),
                 QKeySequence(Qt::CTRL | Qt::Key_S));
        QCOMPARE(mw.menuAction(QStringLiteral("deskFind"))->shortcut(),
                 QKeySequence(Qt::CTRL | Qt::Key_F));
        const QString title = QStringLiteral("收费室 — 大一班 — %1[*]").arg(config.describe());
        QCOMPARE(mw.windowTitle(), title);
        QVERIFY(!mw.isWindowModified());
        RosterDocument *doc = mw.page(0)->document();
        doc->setText(0, 1, QStringLiteral("5"));
        QVERIFY(mw.isWindowModified());
        // Ctrl+Z and Ctrl+Shift+Z: undo and redo on the class shown.
        mw.menuAction(QStringLiteral("undo"))->trigger();
        QCOMPARE(cell(*mw.page(0), 0, 1), QStringLiteral("4"));
        QVERIFY(!mw.isWindowModified());
        mw.menuAction(QStringLiteral("redo"))->trigger();
        QCOMPARE(cell(*mw.page(0), 0, 1), QStringLiteral("5"));
        mw.tabWidget->setCurrentIndex(1);
        QVERIFY(mw.windowTitle().startsWith(QStringLiteral("收费室 — 小二班 — ")));
        // 系统 → 设置 brings the settings back.
        mw.dockWidget->hide();
        mw.menuAction(QStringLiteral("settings"))->trigger();
        QVERIFY(!mw.dockWidget->isHidden());
        QVERIFY(mw.menuAction(QStringLiteral("deskFind"))->isEnabled());
        mw.menuAction(QStringLiteral("deskFind"))->trigger();
        QCOMPARE(mw.focusWidget(), mw.desk()->searchEdit());
    }
};

QTEST_MAIN(TestDesk)
#include "test_desk.moc"
