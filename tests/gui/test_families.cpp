// 家庭 through its window: families made, their payer changed, children
// joined, moved and taken out, and the family card's figures against the
// children's accounts and 欠费, on both databases; every change a row of
// its own with its audit line.

#include "database.h"
#include "familydialog.h"
#include "ledgerstore.h"
#include "mainwindow.h"
#include "officesession.h"
#include "rosterpage.h"
#include "testsupport.h"

#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

namespace
{
// Ten meal days at the default 10.00 a day on top of the tuition.
QStringList child(const QString &name, const QString &tuition, const QString &className)
{
    return {name, "4", tuition, "", "10", "", "", "", "", "0", "李", "否", className};
}

int count(const DbConfig &config, const QString &sql)
{
    Database db(config);
    if (!db.open())
        return -1;
    QSqlQuery q(db.connection());
    if (!q.exec(sql) || !q.next())
        return -1;
    return q.value(0).toInt();
}

qint64 balanceOf(const DbConfig &config, const QString &childId)
{
    Database db(config);
    if (!db.open())
        return -1;
    qint64 sum = 0;
    for (const LedgerEntry &e : LedgerStore(db).entries(childId).value_or(QVector<LedgerEntry>()))
        sum += e.amount;
    return sum;
}
} // namespace

class TestFamilies : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

    void printRow(RosterPage *page, int row, const QString &received)
    {
        page->tableView->setCurrentIndex(page->document()->index(row, 0));
        w->paymentReceived = received;
        w->questionAnswers = {QMessageBox::Yes};
        page->toolButton(QStringLiteral("printSelected"))->click();
    }

private slots:
    void init() { w = new TestWorld; }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    void familyCard_data()
    {
        QTest::addColumn<bool>("postgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgres") << true;
    }
    void familyCard()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        w->setSetting(QStringLiteral("c"), QStringLiteral("10"));
        const DbConfig config = postgres ? freshPostgres() : DbConfig::sqlite(w->databasePath());
        // 甲 and 乙 in A, 丙 and another 甲 in B; 丁 elsewhere.
        seedDatabase(config, {"A", "B"},
                     {child("甲", "1100", "A"), child("乙", "900", "A"), child("丙", "700", "B"),
                      child("甲", "500", "B"), child("丁", "800", "B")});
        MainWindow mw(config);
        QVERIFY(
            mw.session().accounts().billMonth({QStringLiteral("A"), QStringLiteral("B")}).result);
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        // 甲 (A) owes 1200.00 and pays 500.00; 丙 owes 800.00 and pays 1000.00.
        printRow(mw.page(0), 0, QStringLiteral("500"));
        printRow(mw.page(1), 0, QStringLiteral("1000"));
        QVERIFY2(w->messages.isEmpty(), qPrintable(w->messages.value(0).text));

        mw.toolAction(QStringLiteral("families"))->trigger();
        auto *d = mw.findChild<FamilyDialog *>();
        QVERIFY(d && d->isVisible());
        QVERIFY(d->summary()->text().contains(QStringLiteral("还没有家庭")));
        // Nothing chosen yet: the commands that need a family say so.
        button(d, "familyAdd")->click();
        QVERIFY(w->messages.last().text.contains(QStringLiteral("请先在左边选中一个家庭")));
        const int audits = count(config, QStringLiteral("SELECT count(*) FROM audit_log"));

        w->textAnswers = {QStringLiteral("王芳"), QStringLiteral("13800000000")};
        button(d, "familyNew")->click();
        QCOMPARE(d->familyTable()->rowCount(), 1);
        QVERIFY(d->card() && d->card()->family.payer == QStringLiteral("王芳"));
        // 甲 is in both classes: asked which; the first.
        w->textAnswers = {QStringLiteral("甲")};
        w->questionAnswers = {QMessageBox::Yes};
        QVERIFY(d->addChild());
        QCOMPARE(w->confirmActions.last(), QStringLiteral("A 甲/B 甲"));
        w->textAnswers = {QStringLiteral("乙")};
        QVERIFY(d->addChild());
        w->textAnswers = {QStringLiteral("丙")};
        QVERIFY(d->addChild());
        w->textAnswers = {QStringLiteral("没有这个人")};
        QVERIFY(!d->addChild());
        QVERIFY(w->messages.last().text.contains(QStringLiteral("没有叫")));
        w->textAnswers = {QStringLiteral("乙")};
        QVERIFY(!d->addChild());
        QVERIFY(w->messages.last().text.contains(QStringLiteral("已经在这个家庭里")));

        // The card: each child's account to the fen, and the total.
        const auto &card = *d->card();
        QCOMPARE(card.lines.size(), 3);
        const QString jia = mw.page(0)->document()->record(0).childId;
        const QString yi = mw.page(0)->document()->record(1).childId;
        const QString bing = mw.page(1)->document()->record(0).childId;
        QCOMPARE(card.lines.at(0).balance, balanceOf(config, jia));
        QCOMPARE(card.lines.at(0).owed, qint64(70000));
        QCOMPARE(card.lines.at(1).owed, qint64(100000));
        QCOMPARE(card.lines.at(2).credit, qint64(20000));
        QCOMPARE(card.lines.at(2).balance, balanceOf(config, bing));
        QCOMPARE(card.balance,
                 balanceOf(config, jia) + balanceOf(config, yi) + balanceOf(config, bing));
        // What it owes is what 欠费 says of the same children.
        const auto owing = mw.session().reports().arrears();
        QVERIFY(owing);
        qint64 listed = 0;
        for (const Ledger::Owing &o : *owing)
            if (o.childId == jia || o.childId == yi || o.childId == bing)
                listed += o.total;
        QCOMPARE(card.owed, listed);
        QCOMPARE(d->cardTable()->item(3, 0)->text(), QStringLiteral("合计"));
        QCOMPARE(d->cardTable()->item(3, 2)->text(), QStringLiteral("1700.00"));
        QCOMPARE(d->cardTable()->item(3, 3)->text(), QStringLiteral("200.00"));
        QCOMPARE(d->cardTable()->item(3, 4)->text(), QStringLiteral("1500.00"));
        QVERIFY2(d->summary()->text().contains(QStringLiteral("3 名儿童，合计欠费 1500.00 元")),
                 qPrintable(d->summary()->text()));

        // The payer's details changed: a new row, the family the same.
        w->textAnswers = {QStringLiteral("王芳"), QStringLiteral("13900000000")};
        button(d, "familyPayer")->click();
        QCOMPARE(d->card()->family.phone, QStringLiteral("13900000000"));
        QCOMPARE(count(config, QStringLiteral("SELECT count(*) FROM family_entry")), 2);

        // A second family; 丙 moves to it, asked first; declined, then taken.
        w->textAnswers = {QStringLiteral("李强"), QString()};
        button(d, "familyNew")->click();
        QCOMPARE(d->familyTable()->rowCount(), 2);
        QCOMPARE(d->card()->family.payer, QStringLiteral("李强"));
        w->textAnswers = {QStringLiteral("丙")};
        w->questionAnswers = {QMessageBox::No};
        QVERIFY(!d->addChild());
        QVERIFY2(w->questionTexts.last().contains(QStringLiteral("现在在付款人 王芳 的家庭里")),
                 qPrintable(w->questionTexts.last()));
        w->textAnswers = {QStringLiteral("丙")};
        w->questionAnswers = {QMessageBox::Yes};
        QVERIFY(d->addChild());
        QCOMPARE(d->card()->lines.size(), 1);
        QVERIFY(d->choose(0));
        QCOMPARE(d->card()->lines.size(), 2);
        // 乙 taken out of 王芳's family: chosen on the card, confirmed.
        button(d, "familyRemove")->click();
        QVERIFY(w->messages.last().text.contains(QStringLiteral("请先在右边的表中选中")));
        d->cardTable()->setCurrentCell(1, 0);
        w->questionAnswers = {QMessageBox::Yes};
        button(d, "familyRemove")->click();
        QCOMPARE(d->card()->lines.size(), 1);
        QCOMPARE(d->card()->lines.first().child.name, QStringLiteral("甲"));

        // Every change a row of its own with its audit line; nothing of
        // the accounts changed.
        QCOMPARE(count(config, QStringLiteral("SELECT count(*) FROM family_member")), 5);
        QCOMPARE(count(config, QStringLiteral("SELECT count(*) FROM audit_log")) - audits, 8);
        QCOMPARE(
            count(config, QStringLiteral("SELECT count(*) FROM audit_log WHERE kind = '家庭'")), 8);
        QCOMPARE(d->card()->lines.first().balance, balanceOf(config, jia));
        {
            Database db(config);
            QVERIFY(db.open());
            QSqlQuery q(db.connection());
            QVERIFY(!q.exec(QStringLiteral("UPDATE family_member SET family_id = 0")));
            QVERIFY(!q.exec(QStringLiteral("DELETE FROM family_entry")));
        }
        // A payer without a name is refused, nothing written.
        w->textAnswers = {QStringLiteral("   ")};
        QVERIFY(!d->newFamily());
        QCOMPARE(count(config, QStringLiteral("SELECT count(*) FROM family_entry")), 3);
    }

    // A family of three paying once: one receipt per child still owed this
    // month, across classes, the way of payment asked once; a child paid
    // already is left out; declined, nothing is written.
    void familyPaysOnce()
    {
        w->setSetting(QStringLiteral("c"), QStringLiteral("10"));
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A", "B"},
                     {child("甲", "1100", "A"), child("乙", "900", "A"), child("丙", "700", "B"),
                      child("丁", "600", "B")});
        MainWindow mw(config);
        QVERIFY(
            mw.session().accounts().billMonth({QStringLiteral("A"), QStringLiteral("B")}).result);
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        printRow(mw.page(0), 1, QString()); // 乙 pays in full at the desk
        auto *d = new FamilyDialog(mw.session(), &mw);
        w->textAnswers = {QStringLiteral("赵敏"), QString(), QStringLiteral("甲"),
                          QStringLiteral("乙"), QStringLiteral("丙")};
        QVERIFY(d->newFamily());
        QVERIFY(d->addChild() && d->addChild() && d->addChild());
        const int receipts = count(config, QStringLiteral("SELECT count(*) FROM receipt_journal"));
        w->questionAnswers = {QMessageBox::No};
        QVERIFY(!d->payForFamily());
        const QString asked = w->questionTexts.last();
        QVERIFY2(asked.contains(QStringLiteral("一次缴清 2 名儿童")), qPrintable(asked));
        QVERIFY(asked.contains(QStringLiteral("A 甲：1200.00 元")));
        QVERIFY(asked.contains(QStringLiteral("B 丙：800.00 元")));
        QVERIFY(asked.contains(QStringLiteral("合计 2000.00 元")));
        QVERIFY(!asked.contains(QStringLiteral("乙：")));
        QCOMPARE(count(config, QStringLiteral("SELECT count(*) FROM receipt_journal")), receipts);

        const int prompts = w->paymentPrompts;
        w->paymentMethod = QStringLiteral("微信");
        w->questionAnswers = {QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Yes};
        QVERIFY(d->payForFamily());
        QVERIFY2(w->messages.isEmpty(), qPrintable(w->messages.value(0).text));
        QCOMPARE(w->paymentPrompts, prompts + 1);
        QCOMPARE(count(config, QStringLiteral("SELECT count(*) FROM receipt_journal")),
                 receipts + 2);
        QCOMPARE(count(config, QStringLiteral("SELECT count(*) FROM ledger_entry WHERE kind = "
                                              "'实收' AND method = '微信'")),
                 2);
        QCOMPARE(d->card()->balance, qint64(0));
        QCOMPARE(d->card()->owed, qint64(0));
        // Paid: nothing more to take.
        QVERIFY(!d->payForFamily());
        QVERIFY(w->messages.last().text.contains(QStringLiteral("本月没有要收的费用")));
    }
};

QTEST_MAIN(TestFamilies)
#include "test_families.moc"
