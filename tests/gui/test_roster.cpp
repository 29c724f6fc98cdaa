#include "invoice.h"
#include "mainwindow.h"
#include "rostermodel.h"
#include "testsupport.h"

#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QToolButton>

namespace
{
void setRow(Invoice &p, int r, const QStringList &texts, const QString &tag)
{
    if (p.model->rowCount() <= r)
        p.model->setRowCount(r + 1);
    for (int c = 0; c < qMin(texts.size(), int(Roster::PrintStatus)); ++c)
        if (!texts.at(c).isNull())
            p.model->setItem(r, c, new QStandardItem(texts.at(c)));
    auto *status = new QStandardItem(texts.value(Roster::PrintStatus, QStringLiteral("否")));
    status->setData(tag, Roster::ClassTagRole);
    p.model->setItem(r, Roster::PrintStatus, status);
}

void selectRows(Invoice &p, std::initializer_list<int> rows)
{
    p.tableView->clearSelection();
    for (int r : rows)
        p.tableView->selectionModel()->select(p.model->index(r, 3), QItemSelectionModel::Select |
                                                                        QItemSelectionModel::Rows);
}

QStringList child(const QString &name, const QString &cls,
                  const QString &status = QStringLiteral("否"))
{
    return {name,      QStringLiteral("4"), QStringLiteral("0"), QString(), QString(), QString(),
            QString(), QString(),           QString(),           QString(), QString(), status,
            cls};
}
} // namespace

class TestRoster : public QObject
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

    void newPage()
    {
        Invoice p;
        QStringList texts;
        for (QToolButton *b : p.toolButtons()) {
            texts << b->text();
            QVERIFY(b->autoRaise());
        }
        QCOMPARE(texts, (QStringList{"添加", "删除", "打印选中", "打印区间", "读取Excel文件",
                                     "保存为Excel文件", "班级管理", "打印预览"}));
        QCOMPARE(p.model->columnCount(), 12);
        QCOMPARE(p.model->rowCount(), 0);
        QCOMPARE(p.model->horizontalHeaderItem(2)->text(), QStringLiteral("保教费（月）"));
        QCOMPARE(p.model->horizontalHeaderItem(Roster::PrintStatus)->text(),
                 QStringLiteral("打印状态"));
        QVERIFY(!p.printRangeDialog->isVisible());
        QVERIFY(!p.readRangeDialog->isVisible());
        QVERIFY(!p.classChangeDialog->isVisible());
        QCOMPARE(p.classCombo->count(), 0);
        QVERIFY(!p.parent());
        QCOMPARE(p.tableView->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(p.tableView->selectionMode(), QAbstractItemView::ExtendedSelection);
    }

    void oneCellSelectsTheRow()
    {
        Invoice p;
        p.show();
        setRow(p, 0, child("甲", "A"), "A");
        setRow(p, 1, child("乙", "A"), "A");
        const QRect r = p.tableView->visualRect(p.model->index(1, 4));
        QTest::mouseClick(p.tableView->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(p.tableView->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(p.tableView->selectionModel()->selectedIndexes().size(), 12);
    }

    void readRangeValidators_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("number") << QStringLiteral("12") << QStringLiteral("12");
        QTest::newRow("minus") << QStringLiteral("-3") << QStringLiteral("3");
        QTest::newRow("letters") << QStringLiteral("a1b") << QStringLiteral("1");
        QTest::newRow("top") << QStringLiteral("1000") << QStringLiteral("1000");
        QTest::newRow("above top") << QStringLiteral("1001") << QStringLiteral("100");
    }
    void readRangeValidators()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        Invoice p;
        for (QLineEdit *e : {p.readColumnEdit, p.readFromEdit, p.readToEdit}) {
            QTest::keyClicks(e, typed);
            QCOMPARE(e->text(), kept);
        }
        QTest::keyClicks(p.printFromEdit, typed);
        QCOMPARE(p.printFromEdit->text(), typed);
    }

    void dialogButtonsReactToPress()
    {
        Invoice p;
        p.onButtonclassChange();
        QVERIFY(p.classChangeDialog->isVisible());
        QTest::mousePress(button(p.classChangeDialog, QStringLiteral("取消")), Qt::LeftButton);
        QVERIFY(!p.classChangeDialog->isVisible());
        p.toolButton(QStringLiteral("printRange"))->click();
        QVERIFY(p.printRangeDialog->isVisible());
        QTest::mousePress(button(p.printRangeDialog, QStringLiteral("取消打印")), Qt::LeftButton);
        QVERIFY(!p.printRangeDialog->isVisible());
    }

    void addRow()
    {
        Invoice p;
        p.setObjectName(QStringLiteral("大一班"));
        p.clerkName = QStringLiteral("李老师");
        p.toolButton(QStringLiteral("addRow"))->click();
        QCOMPARE(p.model->rowCount(), 1);
        for (int c = 0; c < 10; ++c)
            if (c != Roster::Total)
                QCOMPARE(cell(p, 0, c), QStringLiteral("<absent>"));
        // A new row has its total from the start.
        QCOMPARE(cell(p, 0, Roster::Total), QStringLiteral("0"));
        QCOMPARE(cell(p, 0, Roster::Clerk), QStringLiteral("李老师"));
        QCOMPARE(cell(p, 0, Roster::PrintStatus), QStringLiteral("否"));
        QCOMPARE(p.model->item(0, Roster::PrintStatus)->data(Roster::ClassTagRole).toString(),
                 QStringLiteral("大一班"));

        setRow(p, 0, {"甲", "4", "1", "2", "20", "1", "0", "1", "999", "1", "x"}, "大一班");
        p.toolButton(QStringLiteral("addRow"))->click();
        p.toolButton(QStringLiteral("addRow"))->click();
        for (int r : {1, 2}) {
            QCOMPARE(cell(p, r, Roster::Name), QStringLiteral("<absent>"));
            QCOMPARE(cell(p, r, Roster::Age), QStringLiteral("4"));
            QCOMPARE(cell(p, r, Roster::Tuition), QStringLiteral("1"));
            QCOMPARE(cell(p, r, Roster::Insurance), QStringLiteral("1"));
            // Tuition 1 with no fee list is 1, insurance at no price 0.
            QCOMPARE(cell(p, r, Roster::Total), QStringLiteral("1"));
            QCOMPARE(cell(p, r, Roster::Discount), QStringLiteral("<absent>"));
        }
    }

    void deleteSelectedRows()
    {
        Invoice p;
        for (int r = 0; r < 6; ++r)
            setRow(p, r, child(QString::number(r + 1), "A"), "A");
        selectRows(p, {4, 1});
        p.toolButton(QStringLiteral("deleteRow"))->click();
        QCOMPARE(p.model->rowCount(), 4);
        QStringList names;
        for (int r = 0; r < 4; ++r)
            names << cell(p, r, Roster::Name);
        QCOMPARE(names, (QStringList{"1", "3", "4", "6"}));
        p.tableView->clearSelection();
        p.deleteRow();
        QCOMPARE(p.model->rowCount(), 4);
    }

    void recomputeKeepsEqualTotal()
    {
        Invoice p;
        p.clerkName = QStringLiteral("新");
        p.feePrices[1] = 350;
        setRow(p, 0,
               {"甲", "", QString(), "1", QString(), QString(), QString(), QString(), "0350", "",
                "旧"},
               "A");
        setRow(
            p, 1,
            {"乙", "", QString(), "1", QString(), QString(), QString(), QString(), "349", "", "旧"},
            "A");
        p.recomputeFees();
        QCOMPARE(cell(p, 0, Roster::Total), QStringLiteral("0350"));
        QCOMPARE(cell(p, 1, Roster::Total), QStringLiteral("350"));
        QCOMPARE(cell(p, 0, Roster::Clerk), QStringLiteral("新"));
    }

    void classChange()
    {
        seedDatabase(
            w->databasePath(), {"A", "B"},
            {child("甲", "A"), child("乙", "A", "05已打印"), child("丙", "A"), child("丁", "B")});
        {
            MainWindow mw(DbConfig::sqlite(w->databasePath()));
            Invoice *a = mw.page(0);
            // Own class: nothing moves.
            selectRows(*a, {0});
            a->toolButton(QStringLiteral("classChange"))->click();
            a->classCombo->setCurrentText(QStringLiteral("A"));
            QTest::mousePress(button(a->classChangeDialog, QStringLiteral("确认")), Qt::LeftButton);
            QVERIFY(!a->classChangeDialog->isVisible());
            QVERIFY(!mw.hasUnsavedChanges());
            // No selection: only closes.
            a->tableView->clearSelection();
            a->onButtonclassChange();
            a->classCombo->setCurrentText(QStringLiteral("B"));
            a->onclassChange();
            QVERIFY(!a->classChangeDialog->isVisible());
            QVERIFY(!mw.hasUnsavedChanges());
            selectRows(*a, {1, 2});
            a->onclassChange();
            QCOMPARE(a->model->rowCount(), 3); // rows stay until saved and reloaded
            QCOMPARE(a->model->item(1, Roster::PrintStatus)->data(Roster::ClassTagRole).toString(),
                     QStringLiteral("B"));
            QVERIFY(mw.onButtonSaveDB());
        }
        MainWindow again(DbConfig::sqlite(w->databasePath()));
        QCOMPARE(again.page(0)->model->rowCount(), 1);
        QCOMPARE(cell(*again.page(0), 0, Roster::Name), QStringLiteral("甲"));
        Invoice *b = again.page(1);
        QCOMPARE(b->model->rowCount(), 3);
        QCOMPARE(cell(*b, 0, Roster::Name), QStringLiteral("乙"));
        QCOMPARE(cell(*b, 0, Roster::PrintStatus), QStringLiteral("05已打印"));
        QCOMPARE(cell(*b, 1, Roster::Name), QStringLiteral("丙"));
        QCOMPARE(cell(*b, 2, Roster::Name), QStringLiteral("丁"));
    }

    void scans()
    {
        Invoice p;
        p.setObjectName(QStringLiteral("A"));
        setRow(p, 0, child("甲", "A"), "A");
        setRow(p, 1, child("乙", "A", "05已打印"), "A");
        setRow(p, 2, child("甲", "A", ""), "A");
        QSignalSpy hits(&p, &Invoice::signaldata);
        QSignalSpy unprinted(&p, &Invoice::signalunPrintdata);
        p.scanRoster(0, QStringLiteral("甲"));
        QCOMPARE(hits.size(), 2);
        const QStringList first = hits.at(0).at(0).toStringList();
        QCOMPARE(first.size(), 13);
        QCOMPARE(first.at(0), QStringLiteral("甲"));
        QCOMPARE(first.at(3), QString());
        QCOMPARE(first.at(12), QStringLiteral("A"));
        p.scanRoster(11, QStringLiteral("否"));
        QCOMPARE(unprinted.size(), 1); // the empty status is not "否"
        p.scanRoster(1, QStringLiteral("4"));
        QCOMPARE(hits.size() + unprinted.size(), 3);
        p.scanRoster(0, QStringLiteral("甲 "));
        QCOMPARE(hits.size(), 2);
    }

    void queryPanel()
    {
        seedDatabase(w->databasePath(), {"A", "B"},
                     {child("Tom", "A"), child("tom", "A"), child("Tom ", "B"), child("Tom", "B"),
                      child("乙", "B")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        mw.toolAction(QStringLiteral("query"))->trigger();
        QVERIFY(mw.selectWidget->isVisible());
        mw.selectEdit->setText(QStringLiteral("Tom"));
        mw.onButtonSelect();
        Invoice *r = mw.selectPage;
        QCOMPARE(r->model->rowCount(), 2);
        QCOMPARE(r->model->columnCount(), 13);
        QCOMPARE(r->model->horizontalHeaderItem(12)->text(), QStringLiteral("班级"));
        QCOMPARE(cell(*r, 0, Roster::ResultClass), QStringLiteral("A"));
        QCOMPARE(cell(*r, 1, Roster::ResultClass), QStringLiteral("B"));
        mw.selectEdit->setText(QStringLiteral("乙"));
        mw.onButtonSelect();
        QCOMPARE(r->model->rowCount(), 1);
        QCOMPARE(cell(*r, 0, Roster::ResultClass), QStringLiteral("B"));
        mw.selectEdit->setText(QStringLiteral("nobody"));
        mw.onButtonSelect();
        QCOMPARE(r->model->rowCount(), 0);
        QCOMPARE(r->model->columnCount(), 13);
    }

    void printStatusUpdateResetsTag()
    {
        Invoice p;
        p.setObjectName(QStringLiteral("A"));
        setRow(p, 0, child("甲", "A"), "B"); // an unsaved move to B
        setRow(p, 1, child("乙", "A"), "A");
        setRow(p, 2, child("甲", "A"), "A");
        p.updataPrintType(QStringLiteral("甲"), QStringLiteral("03已打印"));
        QCOMPARE(cell(p, 0, Roster::PrintStatus), QStringLiteral("03已打印"));
        QCOMPARE(p.model->item(0, Roster::PrintStatus)->data(Roster::ClassTagRole).toString(),
                 QStringLiteral("A"));
        QCOMPARE(cell(p, 1, Roster::PrintStatus), QStringLiteral("否"));
        QCOMPARE(cell(p, 2, Roster::PrintStatus), QStringLiteral("03已打印"));
    }
};

QTEST_MAIN(TestRoster)
#include "test_roster.moc"
