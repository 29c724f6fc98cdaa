// 减免: each kind of reduction alone and with the discount in either order
// (amounts worked by hand in the table), several on one item, the receipt
// net of them; then through the window on both databases: types made and
// granted, billing writing each reduction as its own adjustment and only
// the difference when they change, a sibling reduction following the
// family, the receipt printing the net lines, and 月报 by type equal to
// the entries.

#include "clock.h"
#include "database.h"
#include "familystore.h"
#include "journal.h"
#include "journalstore.h"
#include "layout.h"
#include "ledgerstore.h"
#include "mainwindow.h"
#include "officesession.h"
#include "reductiondialog.h"
#include "reductions.h"
#include "reductionstore.h"
#include "rosterpage.h"
#include "testsupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

using Reductions::Kind;
using Reductions::Order;

namespace
{
QStringList child(const QString &name, const QString &tuition, const QString &className)
{
    return {name, "4", tuition, "", "10", "", "", "", "", "0", "李", "否", className};
}

qint64 number(const DbConfig &config, const QString &sql)
{
    Database db(config);
    if (!db.open())
        return -1;
    QSqlQuery q(db.connection());
    if (!q.exec(sql) || !q.next())
        return -1;
    return q.value(0).toLongLong();
}
} // namespace

class TestReductions : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

    void printRow(RosterPage *page, int row)
    {
        page->tableView->setCurrentIndex(page->document()->index(row, 0));
        w->paymentReceived.clear();
        w->questionAnswers = {QMessageBox::Yes, QMessageBox::Yes};
        page->toolButton(QStringLiteral("printSelected"))->click();
    }

private slots:
    void init() { w = new TestWorld; }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    void amounts_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<int>("order");
        QTest::addColumn<qint64>("gross");
        QTest::addColumn<qint64>("charged");
        QTest::addColumn<double>("factor");
        QTest::addColumn<qint64>("off");
        const int pct = int(Kind::Percent), fix = int(Kind::Fixed);
        const int after = int(Order::AfterDiscount), before = int(Order::BeforeDiscount),
                  alone = int(Order::Alone);
        // No discount: 15 % of 1200.00 is 180.00; 33.33 % of 1000.00 is
        // 333.30; half of 0.35 is 0.175, rounded half up 0.18.
        QTest::newRow("percent") << pct << qint64(1500) << after << qint64(120000) << qint64(120000)
                                 << 1.0 << qint64(18000);
        QTest::newRow("percent-odd") << pct << qint64(3333) << before << qint64(100000)
                                     << qint64(100000) << 1.0 << qint64(33330);
        QTest::newRow("percent-half-fen")
            << pct << qint64(5000) << alone << qint64(35) << qint64(35) << 1.0 << qint64(18);
        // A fixed 100.00 a month; never more than the item: 2000.00 off
        // 1200.00 is 1200.00.
        QTest::newRow("fixed") << fix << qint64(10000) << after << qint64(120000) << qint64(120000)
                               << 1.0 << qint64(10000);
        QTest::newRow("fixed-capped") << fix << qint64(200000) << before << qint64(120000)
                                      << qint64(120000) << 1.0 << qint64(120000);
        // 1350.00 at 0.65 is charged 878.00 (877.5 rounded half up).
        // After the discount: half of 878.00 is 439.00; 100.00 off is 100.00.
        QTest::newRow("percent-after") << pct << qint64(5000) << after << qint64(135000)
                                       << qint64(87800) << 0.65 << qint64(43900);
        QTest::newRow("fixed-after") << fix << qint64(10000) << after << qint64(135000)
                                     << qint64(87800) << 0.65 << qint64(10000);
        // Before: 1350.00 − 100.00 = 1250.00, × 0.65 = 812.5 → 813.00, so
        // 878.00 − 813.00 = 65.00 off. Half first: 675.00 × 0.65 = 438.75
        // → 439.00, so 439.00 off.
        QTest::newRow("fixed-before") << fix << qint64(10000) << before << qint64(135000)
                                      << qint64(87800) << 0.65 << qint64(6500);
        QTest::newRow("percent-before") << pct << qint64(5000) << before << qint64(135000)
                                        << qint64(87800) << 0.65 << qint64(43900);
        // 20 % before a 0.9 discount on 1234.00: 1234.00 − 246.80 = 987.20,
        // × 0.9 = 888.48 → 888.00; charged 1110.60 → 1111.00; 223.00 off.
        QTest::newRow("percent-before-rounds") << pct << qint64(2000) << before << qint64(123400)
                                               << qint64(111100) << 0.9 << qint64(22300);
        // Not with the discount: the larger one. The discount took 472.00;
        // half (675.00) is more, so 203.00 more off; 100.00 is less: none.
        QTest::newRow("percent-alone") << pct << qint64(5000) << alone << qint64(135000)
                                       << qint64(87800) << 0.65 << qint64(20300);
        QTest::newRow("fixed-alone") << fix << qint64(10000) << alone << qint64(135000)
                                     << qint64(87800) << 0.65 << qint64(0);
    }
    void amounts()
    {
        QFETCH(int, kind);
        QFETCH(qint64, value);
        QFETCH(int, order);
        QFETCH(qint64, gross);
        QFETCH(qint64, charged);
        QFETCH(double, factor);
        QFETCH(qint64, off);
        Reductions::Type t;
        t.name = QStringLiteral("测试");
        t.items = {QStringLiteral("保教费")};
        t.kind = Kind(kind);
        t.value = value;
        t.order = Order(order);
        QCOMPARE(Reductions::amount(t, {QStringLiteral("保教费"), gross, charged, factor}), off);
    }

    // Two types on one item never take more than it costs; the receipt's
    // lines are net of them and say how much; the discount's bases come
    // from the row.
    void linesAndReceipt()
    {
        FeeMirror fees;
        fees.feePrices = {{0, 0.65f}, {2, 10.0f}};
        Roster::Cells row{};
        row[Roster::Name] = QStringLiteral("乙");
        row[Roster::Tuition] = QStringLiteral("1350");
        row[Roster::Meals] = QStringLiteral("20");
        row[Roster::Discount] = QStringLiteral("1");
        const auto bases = Reductions::bases(row, fees);
        QCOMPARE(bases.size(), 2);
        QCOMPARE(bases.at(0).gross, qint64(135000));
        QCOMPARE(bases.at(0).charged, qint64(87800));
        QCOMPARE(bases.at(1).gross, qint64(20000));
        QCOMPARE(bases.at(1).charged, qint64(13000));
        Reductions::Type most{1,
                              QStringLiteral("困难家庭"),
                              {QStringLiteral("保教费"), QStringLiteral("伙食费")},
                              Kind::Percent,
                              8000,
                              Order::AfterDiscount,
                              0};
        Reductions::Type more{2,
                              QStringLiteral("教职工子女"),
                              {QStringLiteral("保教费")},
                              Kind::Fixed,
                              50000,
                              Order::AfterDiscount,
                              0};
        const auto lines = Reductions::lines({most, more}, bases);
        // 80 % of 878.00 = 702.40, then 500.00 capped at the 175.60 left;
        // 80 % of 130.00 = 104.00.
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.at(0).second, qint64(-70240));
        QCOMPARE(lines.at(1).second, qint64(-17560));
        QCOMPARE(lines.at(2).second, qint64(-10400));
        QCOMPARE(Reductions::split(lines.at(1).first),
                 qMakePair(QStringLiteral("保教费"), QStringLiteral("减免：教职工子女")));
        const Receipt full = buildReceipt(row, fees).receipt;
        const Receipt net = Reductions::net(full, lines);
        QCOMPARE(full.total, 100800);
        QCOMPARE(net.entries[0].amount, 0);
        QCOMPARE(net.total, 2600);
        QCOMPARE(net.reduced, 98200);
        QCOMPARE(Reductions::total(lines), qint64(98200));
        // On paper beside the serial, the way, a note and the credit: each
        // on a line of its own.
        Receipt both = net;
        both.credit = 1000;
        ReceiptMarks marks;
        marks.serial = QStringLiteral("2026-000001");
        marks.method = QStringLiteral("微信");
        marks.owedAfter = 500;
        QVector<double> beside;
        bool said = false;
        for (const DrawOp &op : ReceiptLayout::layout(both, QDate(2026, 5, 1),
                                                      CapitalPlacement::LeftAligned, {}, {}, marks))
            if (op.kind == DrawOp::Text && op.at.x() == SheetLayout().feeLeft + 66.0) {
                QVERIFY2(!beside.contains(op.at.y()), qPrintable(op.text));
                beside << op.at.y();
                said = said || op.text == QStringLiteral("已减免 982.00 元");
            }
        QVERIFY(said);
    }

    void throughTheWindow_data()
    {
        QTest::addColumn<bool>("postgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgres") << true;
    }
    void throughTheWindow()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        w->setSetting(QStringLiteral("c"), QStringLiteral("10"));
        const DbConfig config = postgres ? freshPostgres() : DbConfig::sqlite(w->databasePath());
        // 甲 1100.00 and 乙 900.00, each with 100.00 of meals.
        seedDatabase(config, {"A"}, {child("甲", "1100", "A"), child("乙", "900", "A")});
        MainWindow mw(config);
        const QString month = Journal::month(Clock::now());
        mw.toolAction(QStringLiteral("reductions"))->trigger();
        auto *d = mw.findChild<ReductionDialog *>();
        QVERIFY(d && d->isVisible());

        // A type without items is refused, nothing written.
        d->nameEdit()->setText(QStringLiteral("二孩"));
        d->valueEdit()->setText(QStringLiteral("50"));
        QVERIFY(!d->newType());
        QVERIFY(w->messages.last().text.contains(QStringLiteral("没有选择收费项目")));
        // 二孩: half the tuition from a family's second child on.
        d->itemBox(0)->setChecked(true);
        d->siblingBox()->setValue(2);
        QVERIFY2(d->newType(), qPrintable(w->messages.value(w->messages.size() - 1).text +
                                          w->messages.value(w->messages.size() - 1).detailed));
        // 困难家庭: 100.00 a month off tuition and off meals, granted.
        d->nameEdit()->setText(QStringLiteral("困难家庭"));
        d->itemBox(2)->setChecked(true);
        d->kindBox()->setCurrentIndex(1);
        d->valueEdit()->setText(QStringLiteral("100"));
        d->siblingBox()->setValue(0);
        QVERIFY(d->newType());
        QCOMPARE(d->typeTable()->rowCount(), 2);
        // The same name again is refused.
        QVERIFY(!d->newType());
        QVERIFY(w->messages.last().text.contains(QStringLiteral("已有名为“困难家庭”")));
        // Granted to 乙 from this month, without end, with its reason: the
        // one type to grant is offered.
        w->textAnswers = {QStringLiteral("乙"), month, QString(), QStringLiteral("低保户")};
        w->questionAnswers = {QMessageBox::Yes};
        QVERIFY(d->grant());
        QCOMPARE(w->confirmActions.last(), QStringLiteral("困难家庭（100.00 元/月）"));
        QCOMPARE(d->grantTable()->rowCount(), 1);
        QCOMPARE(number(config, "SELECT count(*) FROM audit_log WHERE kind = '减免'"), 3);

        // Billing: 乙's reductions are adjustments of their own, naming the
        // type; the charges stay the fees.
        QVERIFY(mw.session().accounts().billMonth({QStringLiteral("A")}).result);
        QCOMPARE(number(config, "SELECT count(*) FROM ledger_entry WHERE kind = '调整' AND "
                                "reason = '减免：困难家庭'"),
                 2);
        QCOMPARE(number(config, "SELECT SUM(amount_fen) FROM ledger_entry WHERE kind = '应收'"),
                 220000);
        const qint64 entries = number(config, "SELECT count(*) FROM ledger_entry");
        // Again: nothing changed, nothing written.
        QVERIFY(mw.session().accounts().billMonth({QStringLiteral("A")}).result);
        QCOMPARE(number(config, "SELECT count(*) FROM ledger_entry"), entries);

        // 甲 and then 乙 in one family: 乙 is the second child, and billing
        // again writes only 二孩's half of what 困难家庭 left (900.00 →
        // 450.00 off first, in the order the types were made).
        const QString jia = mw.page(0)->document()->record(0).childId;
        const QString yi = mw.page(0)->document()->record(1).childId;
        {
            Database db(config);
            QVERIFY(db.open());
            FamilyStore families(db);
            qint64 id = 0;
            QVERIFY(families.saveFamily(0, QStringLiteral("王芳"), QString(), &id));
            QVERIFY(families.setMember(id, {jia, QStringLiteral("甲"), QStringLiteral("A")}));
            QVERIFY(families.setMember(id, {yi, QStringLiteral("乙"), QStringLiteral("A")}));
        }
        QVERIFY(mw.session().accounts().billMonth({QStringLiteral("A")}).result);
        QCOMPARE(number(config, "SELECT count(*) FROM ledger_entry"), entries + 1);
        QCOMPARE(number(config, QStringLiteral("SELECT amount_fen FROM ledger_entry WHERE child_id "
                                               "= '%1' AND reason = '减免：二孩'")
                                    .arg(yi)),
                 -45000);

        // 乙's receipt prints the net lines: 保教费 900 − 450 − 100 = 350,
        // 伙食费 100 − 100 = 0; what was taken off is recorded with it.
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        w->messages.clear();
        printRow(mw.page(0), 1);
        QVERIFY2(w->messages.isEmpty(), qPrintable(w->messages.value(0).text));
        QCOMPARE(
            number(config, "SELECT total_fen FROM receipt_journal ORDER BY number DESC LIMIT 1"),
            35000);
        QCOMPARE(number(config, "SELECT reduced_fen FROM receipt_reduction"), 65000);
        QCOMPARE(number(config, QStringLiteral("SELECT SUM(amount_fen) FROM ledger_entry WHERE "
                                               "child_id = '%1'")
                                    .arg(yi)),
                 0);

        // 月报 by type: each type's total is the sum of its entries.
        const auto report = mw.session().reports().monthReport(month);
        QVERIFY(report);
        QCOMPARE(report->reductions.value(QStringLiteral("二孩")).value(QStringLiteral("A")),
                 qint64(45000));
        QCOMPARE(report->reductions.value(QStringLiteral("困难家庭")).value(QStringLiteral("A")),
                 -number(config, "SELECT SUM(amount_fen) FROM ledger_entry WHERE reason = "
                                 "'减免：困难家庭'"));
        QCOMPARE(report->all.charged, qint64(220000 - 45000 - 20000));
        QVERIFY(report->lines().last().contains(QStringLiteral("二孩 450.00")));

        // The grant withdrawn: billing adds back only its 200.00, and the
        // next receipt is the rest, continuing from where the first stopped.
        d->grantTable()->setCurrentCell(0, 0);
        w->questionAnswers = {QMessageBox::Yes};
        QVERIFY(d->withdrawGrant());
        QCOMPARE(d->grantTable()->rowCount(), 0);
        QVERIFY(mw.onButtonSaveDB()); // the print marks, before billing from what is stored
        QVERIFY(mw.session().accounts().billMonth({QStringLiteral("A")}).result);
        QCOMPARE(number(config, QStringLiteral("SELECT SUM(amount_fen) FROM ledger_entry WHERE "
                                               "child_id = '%1'")
                                    .arg(yi)),
                 20000);
        printRow(mw.page(0), 1);
        QVERIFY2(w->messages.isEmpty(), qPrintable(w->messages.value(0).text));
        QCOMPARE(
            number(config, "SELECT total_fen FROM receipt_journal ORDER BY number DESC LIMIT 1"),
            20000);
        QCOMPARE(number(config, "SELECT count(*) FROM receipt_reduction"), 1);

        // A type changed through the form is a new row; its name stays.
        d->typeTable()->setCurrentCell(0, 0);
        QCOMPARE(d->nameEdit()->text(), QStringLiteral("二孩"));
        QCOMPARE(d->valueEdit()->text(), QStringLiteral("50"));
        d->valueEdit()->setText(QStringLiteral("40"));
        QVERIFY(d->saveType());
        QCOMPARE(d->typeTable()->item(0, 2)->text(), QStringLiteral("40%"));
        d->typeTable()->setCurrentCell(0, 0);
        d->nameEdit()->setText(QStringLiteral("二胎"));
        QVERIFY(!d->saveType());
        QVERIFY(w->messages.last().text.contains(QStringLiteral("名称不能改")));
        // Withdrawn after the clerk confirms; declined, it stays.
        d->typeTable()->setCurrentCell(1, 0);
        w->questionAnswers = {QMessageBox::No};
        QVERIFY(!d->withdrawType());
        QCOMPARE(d->typeTable()->rowCount(), 2);
        d->typeTable()->setCurrentCell(1, 0);
        w->questionAnswers = {QMessageBox::Yes};
        QVERIFY(d->withdrawType());
        QCOMPARE(d->typeTable()->rowCount(), 1);
        QCOMPARE(number(config, "SELECT count(*) FROM reduction_type"), 4);
        // Nothing of it is ever changed in place.
        Database db(config);
        QVERIFY(db.open());
        QSqlQuery q(db.connection());
        QVERIFY(!q.exec(QStringLiteral("DELETE FROM reduction_grant")));
        QVERIFY(!q.exec(QStringLiteral("UPDATE reduction_type SET value = 0")));
    }

    // A month nobody billed: the first receipt charges the fees and writes
    // the reductions beside them, decided inside its own transaction; a
    // copy says again what was taken off.
    void firstReceiptWritesItsReductions()
    {
        w->setSetting(QStringLiteral("c"), QStringLiteral("10"));
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"}, {child("丙", "1000", "A")});
        MainWindow mw(config);
        const QString month = Journal::month(Clock::now());
        const QString bing = mw.page(0)->document()->record(0).childId;
        QVERIFY(!bing.isEmpty());
        {
            Database db(config);
            QVERIFY(db.open());
            ReductionStore store(db);
            Reductions::Type staff{0,
                                   QStringLiteral("教职工子女"),
                                   {QStringLiteral("保教费")},
                                   Kind::Percent,
                                   3000,
                                   Order::AfterDiscount,
                                   0};
            qint64 id = 0;
            QVERIFY(store.saveType(staff, &id));
            ReductionStore::Grant g;
            g.childId = bing;
            g.childName = QStringLiteral("丙");
            g.className = QStringLiteral("A");
            g.typeId = id;
            g.fromMonth = month;
            g.toMonth = month;
            g.reason = QStringLiteral("本园教师子女");
            QVERIFY(store.grant(g));
            // A month written otherwise, or ending before it begins, is refused.
            g.toMonth = QStringLiteral("2000-01");
            QVERIFY(!store.grant(g));
            g.toMonth = QStringLiteral("2026-13");
            QVERIFY(!store.grant(g));
        }
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        printRow(mw.page(0), 0);
        QVERIFY2(w->messages.isEmpty(), qPrintable(w->messages.value(0).text));
        // 1000.00 tuition less 30 % = 700.00, with 100.00 of meals: 800.00.
        QCOMPARE(number(config, "SELECT total_fen FROM receipt_journal"), 80000);
        QCOMPARE(number(config, "SELECT amount_fen FROM ledger_entry WHERE reason = "
                                "'减免：教职工子女' AND item = '保教费'"),
                 -30000);
        QCOMPARE(number(config, "SELECT SUM(amount_fen) FROM ledger_entry"), 0);
        // Printed again: a copy, which takes nothing and says 已减免 300.00.
        printRow(mw.page(0), 0);
        QCOMPARE(number(config, "SELECT count(*) FROM receipt_journal WHERE reprint_of <> ''"), 1);
        Database db(config);
        QVERIFY(db.open());
        JournalStore journal(db);
        const auto month_ = journal.month(month);
        QVERIFY(month_ && month_->size() == 2);
        const auto copy = journal.entry(month_->last().serial);
        QVERIFY(copy && copy->isReprint());
        QCOMPARE(copy->reduced, qint64(30000));
        QCOMPARE(copy->receipt().reduced, 30000);
        QCOMPARE(number(config, "SELECT SUM(amount_fen) FROM ledger_entry"), 0);
    }
};

QTEST_MAIN(TestReductions)
#include "test_reductions.moc"
