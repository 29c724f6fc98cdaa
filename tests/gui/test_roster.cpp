#include "clock.h"
#include "mainwindow.h"
#include "officesession.h"
#include "queryresults.h"
#include "querywindow.h"
#include "rosterdocument.h"
#include "rosterpage.h"
#include "testsupport.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QToolButton>

namespace
{
// Twelve texts (a null text is an absent cell); the print status "否"
// unless given.
ChildRecord record(const QStringList &texts, const QString &cls)
{
    QStringList t = texts;
    while (t.size() < Roster::PrintStatus)
        t << QString();
    if (t.size() == Roster::PrintStatus)
        t << QStringLiteral("否");
    return ChildRecord::fromTexts(t.mid(0, Roster::ColumnCount), cls);
}

void selectRows(RosterPage &p, std::initializer_list<int> rows)
{
    p.tableView->clearSelection();
    for (int r : rows)
        p.tableView->selectionModel()->select(
            p.document()->index(r, 3), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QStringList child(const QString &name, const QString &cls,
                  const QString &status = QStringLiteral("否"))
{
    return {name,      QStringLiteral("4"), QStringLiteral("0"), QString(), QString(), QString(),
            QString(), QString(),           QString(),           QString(), QString(), status,
            cls};
}

FeeMirror clerkOnly(const QString &clerk)
{
    FeeMirror f;
    f.clerkName = clerk;
    return f;
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
        RosterDocument doc(QStringLiteral("A"));
        QAbstractItemModelTester tester(&doc,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        RosterPage p(&doc);
        QStringList texts;
        for (QToolButton *b : p.toolButtons()) {
            texts << b->text();
            QVERIFY(b->autoRaise());
        }
        QCOMPARE(texts, (QStringList{"添加", "删除", "打印选中", "打印区间", "读取Excel文件",
                                     "保存为Excel文件", "班级管理", "打印预览"}));
        QCOMPARE(doc.columnCount(), 12);
        QCOMPARE(doc.rowCount(), 0);
        QCOMPARE(doc.headerData(2, Qt::Horizontal).toString(), QStringLiteral("保教费（月）"));
        QCOMPARE(doc.headerData(Roster::PrintStatus, Qt::Horizontal).toString(),
                 QStringLiteral("打印状态"));
        QVERIFY(!p.printRangeDialog->isVisible());
        QVERIFY(!p.readRangeDialog->isVisible());
        QVERIFY(!p.classChangeDialog->isVisible());
        QCOMPARE(p.classCombo->count(), 0);
        QVERIFY(!p.parent());
        QCOMPARE(p.objectName(), QStringLiteral("A"));
        QCOMPARE(p.tableView->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(p.tableView->selectionMode(), QAbstractItemView::ExtendedSelection);
    }

    void oneCellSelectsTheRow()
    {
        RosterDocument doc(QStringLiteral("A"));
        doc.load({record(child("甲", "A"), "A"), record(child("乙", "A"), "A")}, Clock::now());
        RosterPage p(&doc);
        p.show();
        const QRect r = p.tableView->visualRect(doc.index(1, 4));
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
        RosterDocument doc(QStringLiteral("A"));
        RosterPage p(&doc);
        for (QLineEdit *e : {p.readColumnEdit, p.readFromEdit, p.readToEdit}) {
            QTest::keyClicks(e, typed);
            QCOMPARE(e->text(), kept);
        }
        QTest::keyClicks(p.printFromEdit, typed);
        QCOMPARE(p.printFromEdit->text(), typed);
    }

    void dialogButtonsReactToPress()
    {
        RosterDocument doc(QStringLiteral("A"));
        RosterPage p(&doc);
        // The dialogs' buttons, found by name, say what they do.
        const QList<QPair<QWidget *, QPair<const char *, QString>>> buttons = {
            {p.classChangeDialog, {"classChangeOk", "确认"}},
            {p.classChangeDialog, {"classChangeCancel", "取消"}},
            {p.printRangeDialog, {"printRangeOk", "确认并打印"}},
            {p.printRangeDialog, {"printRangeCancel", "取消打印"}},
            {p.printRangeDialog, {"printRangeCalibrate", "校准…"}},
            {p.readRangeDialog, {"readRangeOk", "确认"}},
            {p.readRangeDialog, {"readRangeCancel", "取消"}},
        };
        for (const auto &b : buttons) {
            QPushButton *found = button(b.first, b.second.first);
            QVERIFY2(found, b.second.first);
            QCOMPARE(found->text(), b.second.second);
        }
        p.onButtonclassChange();
        QVERIFY(p.classChangeDialog->isVisible());
        QTest::mousePress(button(p.classChangeDialog, "classChangeCancel"), Qt::LeftButton);
        QVERIFY(!p.classChangeDialog->isVisible());
        p.toolButton(QStringLiteral("printRange"))->click();
        QVERIFY(p.printRangeDialog->isVisible());
        QTest::mousePress(button(p.printRangeDialog, "printRangeCancel"), Qt::LeftButton);
        QVERIFY(!p.printRangeDialog->isVisible());
    }

    void addRow()
    {
        RosterDocument doc(QStringLiteral("大一班"));
        QAbstractItemModelTester tester(&doc,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        doc.setFees(clerkOnly(QStringLiteral("李老师")), QString());
        RosterPage p(&doc);
        p.toolButton(QStringLiteral("addRow"))->click();
        QCOMPARE(doc.rowCount(), 1);
        for (int c = 0; c < 10; ++c)
            if (c != Roster::Total)
                QCOMPARE(cell(p, 0, c), QStringLiteral("<absent>"));
        // A new row has its total from the start.
        QCOMPARE(cell(p, 0, Roster::Total), QStringLiteral("0"));
        QCOMPARE(cell(p, 0, Roster::Clerk), QStringLiteral("李老师"));
        QCOMPARE(cell(p, 0, Roster::PrintStatus), QStringLiteral("否"));
        QCOMPARE(doc.record(0).className, QStringLiteral("大一班"));

        doc.load({record({"甲", "4", "1", "2", "20", "1", "0", "1", "999", "1", "x"}, "大一班")},
                 Clock::now());
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
        RosterDocument doc(QStringLiteral("A"));
        QAbstractItemModelTester tester(&doc,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVector<ChildRecord> rows;
        for (int r = 0; r < 6; ++r)
            rows << record(child(QString::number(r + 1), "A"), "A");
        doc.load(rows, Clock::now());
        RosterPage p(&doc);
        selectRows(p, {4, 1});
        p.toolButton(QStringLiteral("deleteRow"))->click();
        QCOMPARE(doc.rowCount(), 4);
        QStringList names;
        for (int r = 0; r < 4; ++r)
            names << cell(p, r, Roster::Name);
        QCOMPARE(names, (QStringList{"1", "3", "4", "6"}));
        p.tableView->clearSelection();
        p.deleteRow();
        QCOMPARE(doc.rowCount(), 4);
        // Undone, the children are back where they were.
        doc.undoStack()->undo();
        names.clear();
        for (int r = 0; r < doc.size(); ++r)
            names << cell(p, r, Roster::Name);
        QCOMPARE(names, (QStringList{"1", "2", "3", "4", "5", "6"}));
        QVERIFY(!doc.isModified());
    }

    void everyChangeIsUndoable_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("add") << QStringLiteral("add");
        QTest::newRow("delete") << QStringLiteral("delete");
        QTest::newRow("edit") << QStringLiteral("edit");
        QTest::newRow("class change") << QStringLiteral("move");
        QTest::newRow("import") << QStringLiteral("import");
    }
    void everyChangeIsUndoable()
    {
        QFETCH(QString, change);
        RosterDocument doc(QStringLiteral("A"));
        QAbstractItemModelTester tester(&doc,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        doc.load({record(child("甲", "A"), "A"), record(child("乙", "A"), "A")}, Clock::now());
        const QVector<ChildRecord> before = doc.records();
        QSignalSpy modified(&doc, &RosterDocument::modifiedChanged);
        if (change == QLatin1String("add"))
            doc.addRow();
        else if (change == QLatin1String("delete"))
            doc.removeRows({0});
        else if (change == QLatin1String("edit"))
            QVERIFY(doc.setData(doc.index(1, Roster::Age), QStringLiteral("6")));
        else if (change == QLatin1String("move"))
            doc.moveToClass({0, 1}, QStringLiteral("B"));
        else
            doc.appendNames({QStringLiteral("丙"), QStringLiteral("丁")});
        QVERIFY(doc.isModified());
        QCOMPARE(modified.size(), 1);
        QCOMPARE(modified.at(0).at(0).toBool(), true);
        QVERIFY(texts(doc.records()) != texts(before));
        doc.undoStack()->undo();
        QVERIFY(!doc.isModified());
        QCOMPARE(texts(doc.records()), texts(before));
        doc.undoStack()->redo();
        QVERIFY(doc.isModified());
        doc.markSaved();
        QVERIFY(!doc.isModified());
    }

    void undoAndRedoOnThePage()
    {
        RosterDocument doc(QStringLiteral("A"));
        RosterPage p(&doc);
        p.toolButton(QStringLiteral("addRow"))->click();
        p.toolButton(QStringLiteral("addRow"))->click();
        QCOMPARE(doc.size(), 2);
        p.undo();
        QCOMPARE(doc.size(), 1);
        p.undo();
        QCOMPARE(doc.size(), 0);
        QVERIFY(!doc.isModified());
        p.redo();
        QCOMPARE(doc.size(), 1);
        QVERIFY(doc.isModified());
    }

    void printedMarksAreNotUndone()
    {
        RosterDocument doc(QStringLiteral("A"));
        doc.load({record(child("甲", "A"), "A")}, Clock::now());
        doc.setText(0, Roster::Age, QStringLiteral("5"));
        doc.markPrinted({0}, {Clock::now()});
        QVERIFY(doc.isModified());
        QVERIFY(!doc.undoStack()->canUndo());
        doc.undoStack()->undo();
        QCOMPARE(cell(doc, 0, Roster::PrintStatus), QStringLiteral("05已打印"));
        QCOMPARE(cell(doc, 0, Roster::Age), QStringLiteral("5"));
        // Saved, it is unmodified again.
        doc.markSaved();
        QVERIFY(!doc.isModified());
    }

    void recomputeKeepsEqualTotal()
    {
        RosterDocument doc(QStringLiteral("A"));
        FeeMirror fees = clerkOnly(QStringLiteral("新"));
        fees.feePrices[1] = 350;
        doc.setFees(fees, QString());
        doc.load({record({"甲", "", QString(), "1", QString(), QString(), QString(), QString(),
                          "0350", "", "旧"},
                         "A"),
                  record({"乙", "", QString(), "1", QString(), QString(), QString(), QString(),
                          "349", "", "旧"},
                         "A")},
                 Clock::now());
        QCOMPARE(cell(doc, 0, Roster::Total), QStringLiteral("0350"));
        QCOMPARE(cell(doc, 1, Roster::Total), QStringLiteral("350"));
        QCOMPARE(cell(doc, 0, Roster::Clerk), QStringLiteral("新"));
        QVERIFY(!doc.isModified());
        // A price change is a change of the roster, to be saved.
        fees.feePrices[1] = 400;
        doc.setFees(fees, QString());
        QCOMPARE(cell(doc, 0, Roster::Total), QStringLiteral("400"));
        QVERIFY(doc.isModified());
        doc.undoStack()->undo();
        QCOMPARE(cell(doc, 0, Roster::Total), QStringLiteral("0350"));
    }

    void classChange()
    {
        seedDatabase(
            w->databasePath(), {"A", "B"},
            {child("甲", "A"), child("乙", "A", "05已打印"), child("丙", "A"), child("丁", "B")});
        {
            MainWindow mw(DbConfig::sqlite(w->databasePath()));
            RosterPage *a = mw.page(0);
            // Own class: nothing moves.
            selectRows(*a, {0});
            a->toolButton(QStringLiteral("classChange"))->click();
            a->classCombo->setCurrentText(QStringLiteral("A"));
            QTest::mousePress(button(a->classChangeDialog, "classChangeOk"), Qt::LeftButton);
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
            QCOMPARE(a->document()->size(), 3); // rows stay until saved
            QCOMPARE(a->document()->record(1).className, QStringLiteral("B"));
            QVERIFY(mw.onButtonSaveDB());
            // Saved, the children are on the tab of their new class.
            QCOMPARE(a->document()->size(), 1);
            QCOMPARE(mw.page(1)->document()->size(), 3);
            QVERIFY(!mw.hasUnsavedChanges());
            QCOMPARE(mw.tabWidget->tabText(0), QStringLiteral("A"));
            // After the class's own children, as the tab shows them.
            QCOMPARE(cell(*mw.page(1), 0, Roster::Name), QStringLiteral("丁"));
            QCOMPARE(cell(*mw.page(1), 1, Roster::Name), QStringLiteral("乙"));
            QCOMPARE(cell(*mw.page(1), 2, Roster::Name), QStringLiteral("丙"));
        }
        // Stored where they stand: a restart shows the same order.
        MainWindow again(DbConfig::sqlite(w->databasePath()));
        QCOMPARE(again.page(0)->document()->size(), 1);
        QCOMPARE(cell(*again.page(0), 0, Roster::Name), QStringLiteral("甲"));
        RosterPage *b = again.page(1);
        QCOMPARE(b->document()->size(), 3);
        QCOMPARE(cell(*b, 0, Roster::Name), QStringLiteral("丁"));
        QCOMPARE(cell(*b, 1, Roster::Name), QStringLiteral("乙"));
        QCOMPARE(cell(*b, 1, Roster::PrintStatus), QStringLiteral("05已打印"));
        QCOMPARE(cell(*b, 2, Roster::Name), QStringLiteral("丙"));
    }

    void findAndUnprinted()
    {
        seedDatabase(w->databasePath(), {"A"},
                     {child("甲", "A"), child("乙", "A", "05已打印"), child("甲", "A", "")});
        OfficeSession session(DbConfig::sqlite(w->databasePath()));
        QVERIFY(session.open());
        const QVector<ChildRef> hits = session.find(QStringLiteral("甲"));
        QCOMPARE(hits.size(), 2);
        QCOMPARE(hits.at(0).row(), 0);
        QCOMPARE(hits.at(1).row(), 2);
        QCOMPARE(session.find(QStringLiteral("甲 ")).size(), 0);
        // An empty query finds no child that has no name cell at all.
        session.document(QStringLiteral("A"))->addRow();
        QCOMPARE(cell(*session.document(QStringLiteral("A")), 3, Roster::Name),
                 QStringLiteral("<absent>"));
        QCOMPARE(session.find(QString()).size(), 0);
        session.document(QStringLiteral("A"))->undoStack()->undo();
        // A status of another month, or none, reads as not printed.
        const auto unprinted = session.unprintedRows();
        QCOMPARE(unprinted.size(), 2);
        QCOMPARE(unprinted.at(0).size(), 13);
        QCOMPARE(unprinted.at(0).at(12), QStringLiteral("A"));
        QCOMPARE(unprinted.at(0).at(3), QString());
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
        QueryResults *r = mw.selectWidget->results();
        QAbstractItemModelTester tester(r, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(r->rowCount(), 2);
        QCOMPARE(r->columnCount(), 13);
        QCOMPARE(r->headerData(12, Qt::Horizontal).toString(), QStringLiteral("班级"));
        QCOMPARE(r->texts(0).at(Roster::ResultClass), QStringLiteral("A"));
        QCOMPARE(r->texts(1).at(Roster::ResultClass), QStringLiteral("B"));
        QCOMPARE(mw.statusText(), QStringLiteral("找到 2 名儿童"));
        mw.selectEdit->setText(QStringLiteral("乙"));
        mw.onButtonSelect();
        QCOMPARE(r->rowCount(), 1);
        QCOMPARE(r->texts(0).at(Roster::ResultClass), QStringLiteral("B"));
        mw.selectEdit->setText(QStringLiteral("nobody"));
        mw.onButtonSelect();
        QCOMPARE(r->rowCount(), 0);
        QCOMPARE(r->columnCount(), 13);
        // The results follow the roster they point at.
        mw.selectEdit->setText(QStringLiteral("乙"));
        mw.onButtonSelect();
        mw.page(1)->document()->setText(2, Roster::Age, QStringLiteral("6"));
        QCOMPARE(r->data(r->index(0, Roster::Age)).toString(), QStringLiteral("6"));
        // And the other way: a result edited in its table changes the
        // child's row in its class; the class column only shows.
        auto *table = mw.selectWidget->findChild<QTableView *>(QStringLiteral("queryTable"));
        QVERIFY(table);
        QVERIFY(table->editTriggers() & QAbstractItemView::DoubleClicked);
        QVERIFY(r->flags(r->index(0, Roster::Meals)) & Qt::ItemIsEditable);
        QVERIFY(!(r->flags(r->index(0, Roster::ResultClass)) & Qt::ItemIsEditable));
        QVERIFY(r->setData(r->index(0, Roster::Meals), QStringLiteral("12")));
        QCOMPARE(cell(*mw.page(1), 2, Roster::Meals), QStringLiteral("12"));
        QVERIFY(mw.page(1)->document()->isModified());
        QVERIFY(!r->setData(r->index(0, Roster::ResultClass), QStringLiteral("A")));
        QCOMPARE(mw.page(1)->document()->record(2).className, QStringLiteral("B"));
    }

    void printingAMovedChildKeepsTheMove()
    {
        w->printToPdf = w->path(QStringLiteral("moved.pdf"));
        seedDatabase(w->databasePath(), {"A", "B"}, {child("甲", "A"), child("乙", "B")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        RosterDocument *a = mw.page(0)->document();
        a->moveToClass({0}, QStringLiteral("B"));
        mw.page(0)->tableView->setCurrentIndex(a->index(0, 0));
        mw.page(0)->printSelectedReceipt();
        QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("05已打印"));
        // Printing touched the print status only: the move still holds.
        QCOMPARE(a->record(0).className, QStringLiteral("B"));
        QVERIFY(mw.onButtonSaveDB());
        const auto stored = storedStudents(w->databasePath());
        QCOMPARE(stored.size(), 2);
        for (const QStringList &row : stored)
            QCOMPARE(row.at(Roster::ColumnCount), QStringLiteral("B"));
    }
};

QTEST_MAIN(TestRoster)
#include "test_roster.moc"
