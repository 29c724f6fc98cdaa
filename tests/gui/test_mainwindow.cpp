#include "calibration.h"
#include "calibrationdialog.h"
#include "configview.h"
#include "database.h"
#include "mainwindow.h"
#include "officesession.h"
#include "querywindow.h"
#include "rosterpage.h"
#include "testsupport.h"

#include <QAction>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

namespace
{
QStringList child(const QString &name, const QString &cls,
                  const QString &status = QStringLiteral("否"))
{
    return {name,
            QStringLiteral("4"),
            QStringLiteral("0"),
            QStringLiteral("1"),
            QStringLiteral("20"),
            QStringLiteral("0"),
            QStringLiteral("0"),
            QStringLiteral("0"),
            QStringLiteral("999"),
            QStringLiteral("0"),
            QStringLiteral("old"),
            status,
            cls};
}

void installSaboteur(const QString &path)
{
    Database db(DbConfig::sqlite(path));
    QVERIFY(db.open());
    QSqlQuery q(db.connection());
    QVERIFY(q.exec(
        QStringLiteral("CREATE TRIGGER refuse_bad BEFORE INSERT ON student WHEN "
                       "NEW.\"儿童姓名\" = 'BAD' BEGIN SELECT RAISE(ABORT, 'refused'); END")));
    QVERIFY(
        q.exec(QStringLiteral("CREATE TRIGGER refuse_bad_class BEFORE INSERT ON \"class\" WHEN "
                              "NEW.\"班级\" = 'BAD' BEGIN SELECT RAISE(ABORT, 'refused'); END")));
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

    DbConfig dbConfig() const { return DbConfig::sqlite(w->databasePath()); }

private slots:
    void init() { w = new TestWorld; }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    void firstStartIsEmptyButWorking()
    {
        // No database file and no data directory yet.
        const QString path = w->path(QStringLiteral("fresh/dir/rosters.sqlite"));
        MainWindow mw(DbConfig::sqlite(path));
        QCOMPARE(mw.tabWidget->count(), 0);
        QVERIFY(QFile::exists(path));
        QVERIFY(mw.session().database().isOpen());
        QStringList texts;
        for (QAction *a : mw.toolActions())
            texts << a->text();
        QCOMPARE(texts, (QStringList{QStringLiteral("保存到数据库"),
                                     QStringLiteral("查询"),
                                     QStringLiteral("导出未打印名单"),
                                     QStringLiteral("添加班级"),
                                     QStringLiteral("收据记录"),
                                     QStringLiteral("备份与恢复"),
                                     QStringLiteral("生成本月应收"),
                                     QStringLiteral("欠费"),
                                     QStringLiteral("缺勤退费"),
                                     QStringLiteral("日结"),
                                     QStringLiteral("月报"),
                                     QStringLiteral("月结"),
                                     QStringLiteral("操作记录"),
                                     QStringLiteral("缴费通知单"),
                                     QStringLiteral("催费单"),
                                     QStringLiteral("对账"),
                                     QStringLiteral("家庭"),
                                     QStringLiteral("减免"),
                                     QStringLiteral("插班退园"),
                                     QStringLiteral("锁定"),
                                     QStringLiteral("切换用户"),
                                     QStringLiteral("修改密码"),
                                     QStringLiteral("用户")}));
        mw.toolAction(QStringLiteral("addClass"))->trigger();
        QVERIFY(mw.addclassWidget->isVisible());
        mw.addclassEdit->setText(QStringLiteral("大一班"));
        QTest::mouseClick(findButton(mw.addclassWidget, "addClassOk"), Qt::LeftButton);
        QVERIFY(!mw.addclassWidget->isVisible());
        QCOMPARE(mw.tabWidget->count(), 1);
        QCOMPARE(mw.tabWidget->tabText(0), QStringLiteral("大一班"));
        QCOMPARE(storedClasses(path), QStringList{QStringLiteral("大一班")});
        QVERIFY(w->messages.isEmpty());
    }

    void tabsInClassOrderWithClassLists()
    {
        seedDatabase(w->databasePath(),
                     {QStringLiteral("C"), QStringLiteral("A"), QStringLiteral("B")}, {});
        MainWindow mw(dbConfig());
        QCOMPARE(mw.tabWidget->count(), 3);
        const QStringList abc{QStringLiteral("C"), QStringLiteral("A"), QStringLiteral("B")};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(mw.tabWidget->tabText(i), abc.at(i));
            QCOMPARE(mw.page(i)->objectName(), abc.at(i));
            QCOMPARE(comboItems(mw.page(i)->classCombo), abc);
        }
        mw.addclassEdit->setText(QStringLiteral("D"));
        mw.onButtonAddclassOK();
        QCOMPARE(mw.tabWidget->count(), 4);
        QCOMPARE(comboItems(mw.page(3)->classCombo), abc + QStringList{QStringLiteral("D")});
        // Every page shares one list, so earlier pages offer the new class too.
        QCOMPARE(comboItems(mw.page(0)->classCombo), abc + QStringList{QStringLiteral("D")});
        QCOMPARE(storedClasses(w->databasePath()), abc + QStringList{QStringLiteral("D")});
        // An empty name is refused; the dialog stays open to correct it.
        mw.addclassEdit->setText(QStringLiteral("  "));
        mw.addclassWidget->show();
        mw.onButtonAddclassOK();
        QCOMPARE(mw.tabWidget->count(), 4);
        QCOMPARE(storedClasses(w->databasePath()).last(), QStringLiteral("D"));
        QCOMPARE(w->messages.last().text, QStringLiteral("班级名称不能为空"));
        QVERIFY(mw.addclassWidget->isVisible());
    }

    void tabCloseDoesNothingAndDockMinimum()
    {
        seedDatabase(w->databasePath(), {QStringLiteral("A")}, {});
        MainWindow mw(dbConfig());
        QVERIFY(!mw.tabWidget->tabsClosable());
        emit mw.tabWidget->tabCloseRequested(0);
        QCOMPARE(mw.tabWidget->count(), 1);
        QCOMPARE(mw.dockWidget->minimumSize(), QSize(100, 100));
        QCOMPARE(mw.dockWidget->objectName(), QStringLiteral("dockwidget_"));
        mw.dockWidget->resize(10, 10);
        QVERIFY(mw.dockWidget->width() >= 100);
        // The settings cannot be closed away, and are named in every menu.
        QVERIFY(!(mw.dockWidget->features() & QDockWidget::DockWidgetClosable));
        QCOMPARE(mw.dockWidget->windowTitle(), QStringLiteral("设置"));
        QCOMPARE(mw.findChild<QToolBar *>()->windowTitle(), QStringLiteral("常用命令"));
        QVERIFY(mw.findChildren<configView *>().size() == 1);
    }

    void loadingAppliesMonthRuleTagAndFees()
    {
        w->setSetting(QStringLiteral("name"), QStringLiteral("李老师"));
        w->setSetting(QStringLiteral("b"), QStringLiteral("300"));
        w->setSetting(QStringLiteral("c"), QStringLiteral("10"));
        w->setSetting(QStringLiteral("bjcombox"), QStringLiteral("1200,1500,"));
        seedDatabase(w->databasePath(), {QStringLiteral("A"), QStringLiteral("B")},
                     {child(QStringLiteral("甲"), QStringLiteral("A"), QStringLiteral("05已打印")),
                      child(QStringLiteral("乙"), QStringLiteral("B"), QStringLiteral("04已打印")),
                      child(QStringLiteral("丙"), QStringLiteral("A"), QString()),
                      child(QStringLiteral("丁"), QStringLiteral("A"), QStringLiteral("已打印"))});
        MainWindow mw(dbConfig());
        RosterPage *a = mw.page(0);
        QCOMPARE(a->document()->size(), 3);
        QCOMPARE(cell(*a, 0, Roster::Name), QStringLiteral("甲"));
        QCOMPARE(cell(*a, 1, Roster::Name), QStringLiteral("丙"));
        QCOMPARE(cell(*a, 2, Roster::Name), QStringLiteral("丁"));
        QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("05已打印"));
        QCOMPARE(cell(*a, 1, Roster::PrintStatus), QStringLiteral("否"));
        QCOMPARE(cell(*a, 2, Roster::PrintStatus), QStringLiteral("否"));
        QCOMPARE(cell(*mw.page(1), 0, Roster::PrintStatus), QStringLiteral("否"));
        QCOMPARE(a->document()->record(0).className, QStringLiteral("A"));
        QCOMPARE(mw.page(1)->document()->record(0).className, QStringLiteral("B"));
        // 1200 (first list entry) + 300 accommodation + 20 × 10 meals.
        QCOMPARE(cell(*a, 0, Roster::Total), QStringLiteral("1700"));
        QCOMPARE(cell(*a, 0, Roster::Clerk), QStringLiteral("李老师"));
        QVERIFY(!mw.hasUnsavedChanges());
    }

    void repeatedClassNameKeepsChildrenOnce()
    {
        seedDatabase(w->databasePath(), {QStringLiteral("A"), QStringLiteral("A")},
                     {child(QStringLiteral("甲"), QStringLiteral("A"))});
        MainWindow mw(dbConfig());
        QCOMPARE(mw.tabWidget->count(), 2);
        // Both tabs show the one roster of the class.
        QCOMPARE(mw.page(0)->document(), mw.page(1)->document());
        QCOMPARE(mw.page(0)->document()->size(), 1);
        mw.page(1)->addRow();
        QTRY_COMPARE(mw.tabWidget->tabText(0), QStringLiteral("A *"));
        QCOMPARE(mw.tabWidget->tabText(1), QStringLiteral("A *"));
        QVERIFY(mw.onButtonSaveDB());
        QCOMPARE(storedStudents(w->databasePath()).size(), 2);
    }

    void unopenableDatabaseSaysWhy()
    {
        QFile garbage(w->databasePath());
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(8192, '\x7f'));
        garbage.close();
        MainWindow mw(dbConfig());
        // Said at start, with the offer to try again (declined here).
        QCOMPARE(w->questions, 1);
        QVERIFY(w->questionTexts.at(0).startsWith(QStringLiteral("无法读取数据库")));
        QCOMPARE(mw.tabWidget->count(), 0);
        QVERIFY2(mw.statusText().contains(QStringLiteral("QSQLITE")), qPrintable(mw.statusText()));
        QVERIFY(mw.statusText().contains(QStringLiteral("rosters.sqlite")));
        // Saving is refused, and says why; so is adding a class.
        QVERIFY(!mw.onButtonSaveDB());
        QCOMPARE(w->messages.size(), 1);
        QVERIFY(w->messages.at(0).text.startsWith(QStringLiteral("数据库没有读出来")));
        mw.addclassEdit->setText(QStringLiteral("A"));
        mw.onButtonAddclassOK();
        QVERIFY(w->messages.last().text.startsWith(QStringLiteral("数据库没有读出来")));
    }

    void failedAddClassKeepsClassTable()
    {
        seedDatabase(w->databasePath(), {QStringLiteral("A")}, {});
        installSaboteur(w->databasePath());
        MainWindow mw(dbConfig());
        mw.onButtonAddclass();
        mw.addclassEdit->setText(QStringLiteral("BAD"));
        mw.onButtonAddclassOK();
        QCOMPARE(w->messages.size(), 1);
        QCOMPARE(w->messages.at(0).title, Prompts::title());
        QCOMPARE(w->messages.at(0).text, QStringLiteral("班级保存失败"));
        QVERIFY(!mw.addclassWidget->isVisible());
        QCOMPARE(mw.tabWidget->count(), 2);
        QCOMPARE(storedClasses(w->databasePath()), QStringList{QStringLiteral("A")});
    }

    void saveRoundTrip()
    {
        seedDatabase(w->databasePath(), {QStringLiteral("A"), QStringLiteral("B")},
                     {child(QStringLiteral("甲"), QStringLiteral("A")),
                      child(QStringLiteral("乙"), QStringLiteral("B")),
                      child(QStringLiteral("丙"), QStringLiteral("A"))});
        QVector<QStringList> saved;
        {
            MainWindow mw(dbConfig());
            RosterPage *b = mw.page(1);
            b->tableView->selectRow(0);
            b->toolButton(QStringLiteral("addRow"))->click(); // 添加
            b->document()->setText(1, Roster::Name, QStringLiteral("新生"));
            QVERIFY(mw.hasUnsavedChanges());
            QTRY_COMPARE(mw.tabWidget->tabText(1), QStringLiteral("B *"));
            QCOMPARE(b->objectName(), QStringLiteral("B"));
            mw.toolAction(QStringLiteral("saveDatabase"))->trigger();
            QVERIFY(!mw.hasUnsavedChanges());
            QTRY_COMPARE(mw.tabWidget->tabText(1), QStringLiteral("B"));
            QVERIFY(w->messages.isEmpty());
            saved = storedStudents(w->databasePath());
            QCOMPARE(saved.size(), 4);
            QCOMPARE(saved.at(0).at(0), QStringLiteral("甲"));
            QCOMPARE(saved.at(1).at(0), QStringLiteral("丙"));
            QCOMPARE(saved.at(2).at(0), QStringLiteral("乙"));
            QCOMPARE(saved.at(3).at(0), QStringLiteral("新生"));
            QCOMPARE(saved.at(3).at(12), QStringLiteral("B"));
            // Saving twice stores the same.
            QVERIFY(mw.onButtonSaveDB());
            QCOMPARE(storedStudents(w->databasePath()), saved);
        }
        // Only the class the clerk changed was written: A's children are
        // as they were stored, B's as the window held them.
        QCOMPARE(saved.at(0).at(Roster::Total), QStringLiteral("999"));
        QCOMPARE(saved.at(0).at(Roster::Clerk), QStringLiteral("old"));
        MainWindow again(dbConfig());
        QCOMPARE(texts(again.page(1)->document()->records()), saved.mid(2, 2));
    }

    void movedClassTagStoredUnderNewClass()
    {
        seedDatabase(w->databasePath(), {QStringLiteral("A"), QStringLiteral("B")},
                     {child(QStringLiteral("甲"), QStringLiteral("A")),
                      child(QStringLiteral("乙"), QStringLiteral("A"))});
        {
            MainWindow mw(dbConfig());
            mw.page(0)->document()->moveToClass({1}, QStringLiteral("B"));
            QVERIFY(mw.onButtonSaveDB());
        }
        MainWindow again(dbConfig());
        QCOMPARE(again.page(0)->document()->size(), 1);
        QCOMPARE(cell(*again.page(1), 0, Roster::Name), QStringLiteral("乙"));
    }

    void failedSaveChangesNothing()
    {
        seedDatabase(w->databasePath(), {QStringLiteral("A"), QStringLiteral("B")},
                     {child(QStringLiteral("甲"), QStringLiteral("A")),
                      child(QStringLiteral("乙"), QStringLiteral("B"))});
        installSaboteur(w->databasePath());
        MainWindow mw(dbConfig());
        mw.page(1)->document()->setText(0, Roster::Name, QStringLiteral("BAD"));
        const auto before =
            texts(mw.page(0)->document()->records()) + texts(mw.page(1)->document()->records());
        const QByteArray bytes = bytesOf(w->databasePath());
        QVERIFY(!mw.onButtonSaveDB());
        QCOMPARE(w->messages.size(), 1);
        QCOMPARE(w->messages.at(0).title, Prompts::title());
        QCOMPARE(w->messages.at(0).text, QStringLiteral("连接数据库失败"));
        QCOMPARE(bytesOf(w->databasePath()), bytes);
        QCOMPARE(texts(mw.page(0)->document()->records()) +
                     texts(mw.page(1)->document()->records()),
                 before);
        QVERIFY(mw.hasUnsavedChanges());
        // The clerk mends the row and retries.
        mw.page(1)->document()->setText(0, Roster::Name, QStringLiteral("乙"));
        QVERIFY(mw.onButtonSaveDB());
    }

    void closePrompt_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<bool>("stored");
        QTest::newRow("save") << int(QMessageBox::Save) << true << true;
        QTest::newRow("discard") << int(QMessageBox::Discard) << true << false;
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << false << false;
    }
    void closePrompt()
    {
        QFETCH(int, answer);
        QFETCH(bool, closes);
        QFETCH(bool, stored);
        seedDatabase(w->databasePath(), {QStringLiteral("A")},
                     {child(QStringLiteral("甲"), QStringLiteral("A"))});
        MainWindow mw(dbConfig());
        mw.show();
        // Nothing changed: no question.
        QVERIFY(mw.close());
        QCOMPARE(w->questions, 0);
        mw.show();
        mw.page(0)->addRow();
        w->questionAnswer = QMessageBox::StandardButton(answer);
        QCOMPARE(mw.close(), closes);
        QCOMPARE(w->questions, 1);
        QCOMPARE(storedStudents(w->databasePath()).size(), stored ? 2 : 1);
    }

    void failedSaveOnCloseKeepsWindowOpen()
    {
        seedDatabase(w->databasePath(), {QStringLiteral("A")},
                     {child(QStringLiteral("甲"), QStringLiteral("A"))});
        installSaboteur(w->databasePath());
        MainWindow mw(dbConfig());
        mw.show();
        mw.page(0)->document()->setText(0, Roster::Name, QStringLiteral("BAD"));
        w->questionAnswer = QMessageBox::Save;
        QVERIFY(!mw.close());
        QVERIFY(mw.isVisible());
        QCOMPARE(w->messages.size(), 1);
    }

    void secondWindowConflict_data()
    {
        QTest::addColumn<bool>("postgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgres") << true;
    }
    void secondWindowConflict()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = postgres ? freshPostgres() : dbConfig();
        seedDatabase(config, {QStringLiteral("A")},
                     {child(QStringLiteral("甲"), QStringLiteral("A"))});
        MainWindow pcA(config);
        MainWindow pcB(config);
        pcA.page(0)->addRow();
        QVERIFY(pcA.onButtonSaveDB());
        pcB.page(0)->document()->setText(0, Roster::Name, QStringLiteral("改名"));
        // B would overwrite A's new child: refused, and B cancels the reload.
        w->questionAnswer = QMessageBox::Cancel;
        QVERIFY(!pcB.onButtonSaveDB());
        QCOMPARE(w->questions, 1);
        QCOMPARE(storedStudents(config).size(), 2);
        QCOMPARE(cell(*pcB.page(0), 0, Roster::Name), QStringLiteral("改名"));
        // Now B reloads: it sees A's save, its own change is gone.
        w->questionAnswer = QMessageBox::Yes;
        QVERIFY(!pcB.onButtonSaveDB());
        QCOMPARE(pcB.page(0)->document()->size(), 2);
        QCOMPARE(cell(*pcB.page(0), 0, Roster::Name), QStringLiteral("甲"));
        QVERIFY(!pcB.hasUnsavedChanges());
        QVERIFY(pcB.onButtonSaveDB());
        // The class table has its own revision: B adds a class, then A adds
        // one on an older class list. Both stay: A's list takes B's class in.
        pcB.addclassEdit->setText(QStringLiteral("Y"));
        pcB.onButtonAddclassOK();
        pcA.addclassEdit->setText(QStringLiteral("Z"));
        w->questionAnswer = QMessageBox::Cancel;
        pcA.onButtonAddclassOK();
        QCOMPARE(w->questions, 2);
        QCOMPARE(storedClasses(config), (QStringList{"A", "Y", "Z"}));
        QCOMPARE(pcA.tabWidget->count(), 3);
    }

    void calibrationFromTheDock()
    {
        MainWindow mw(dbConfig());
        QPushButton *calibrate = button(mw.dockWidget, "calibrate");
        QVERIFY(calibrate);
        calibrate->click();
        auto *dialog = mw.findChild<CalibrationDialog *>();
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        dialog->xSpin()->setValue(-2.5);
        dialog->save();
        QCOMPARE(Calibration::offsetFor(dialog->printerCombo()->currentText()).x(), -2.5);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
