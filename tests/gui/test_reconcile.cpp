// 对账 through its window: a month's WeChat bill (written here in the
// published layout, nobody's real data) against the books, imported twice,
// a file of another month, a damaged one, and a bank's file with its
// columns remembered.

#include "clock.h"
#include "database.h"
#include "journal.h"
#include "journalstore.h"
#include "mainwindow.h"
#include "monthpicker.h"
#include "officesession.h"
#include "officesettings.h"
#include "reconciledialog.h"
#include "rosterpage.h"
#include "testsupport.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

namespace
{
QStringList child(const QString &name, const QString &tuition, const QString &className = "A")
{
    return {name, "4", tuition, "", "10", "", "", "", "", "0", "李", "否", className};
}

const QString header = QStringLiteral(
    "交易时间,公众账号ID,商户号,特约商户号,设备号,微信订单号,商户订单号,用户标识,交易类型,交易状态,"
    "付款银行,货币种类,应结订单金额,代金券金额,微信退款单号,商户退款单号,退款金额,充值券退款金额,"
    "退款类型,退款状态,商品名称,商户数据包,手续费,费率,订单金额,申请退款金额,费率备注\n");

QString row(const QString &at, const QString &number, const QString &amount, const QString &product,
            const QString &state = QStringLiteral("SUCCESS"), const QString &refund = "0.00",
            const QString &refundNo = QString())
{
    return QStringLiteral("`%1,`wx1,`1600000001,`0,`,`%2,`,`oU,`NATIVE,`%3,`OTHERS,`CNY,`%4,`0.00,"
                          "`%5,`,`%6,`0.00,`,`,`%7,`,`0.60,`0.60%,`%4,`%6,`\n")
        .arg(at, number, state, amount, refundNo.isEmpty() ? QStringLiteral("0") : refundNo, refund,
             product);
}

int count(const DbConfig &config, const QString &table)
{
    Database db(config);
    if (!db.open())
        return -1;
    QSqlQuery q(db.connection());
    if (!q.exec(QStringLiteral("SELECT count(*) FROM %1").arg(table)) || !q.next())
        return -1;
    return q.value(0).toInt();
}
} // namespace

class TestReconcile : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

    void printRow(RosterPage *a, int row, const QString &method, const QString &reference,
                  const QString &received = QString())
    {
        a->tableView->setCurrentIndex(a->document()->index(row, 0));
        w->paymentMethod = method;
        w->paymentReference = reference;
        w->paymentReceived = received;
        w->questionAnswers = {QMessageBox::Yes};
        a->toolButton(QStringLiteral("printSelected"))->click();
    }

private slots:
    void init() { w = new TestWorld; }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    void weChatMonthReconciles_data()
    {
        QTest::addColumn<bool>("postgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgres") << true;
    }
    void weChatMonthReconciles()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        w->setSetting(QStringLiteral("c"), QStringLiteral("20"));
        const DbConfig config = postgres ? freshPostgres() : DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"},
                     {child("张小明", "1000"), child("李安", "900"), child("王晓明", "800"),
                      child("赵丽", "700"), child("陈伟", "600")});
        MainWindow mw(config);
        RosterPage *a = mw.page(0);
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        printRow(a, 0, QStringLiteral("微信"), QStringLiteral("4200000001202605140001")); // 1200.00
        printRow(a, 1, QStringLiteral("微信"), QString());                                // 1100.00
        printRow(a, 2, QStringLiteral("微信"), QString(), QStringLiteral("500"));         // part
        printRow(a, 3, QStringLiteral("微信"), QString());                                // 900.00
        printRow(a, 4, QStringLiteral("现金"), QString());                                // cash
        QVERIFY(mw.session().accounts().refund(QStringLiteral("2026-000001"), QStringLiteral("100"),
                                               QStringLiteral("多收"), nullptr,
                                               QStringLiteral("微信")));
        QVERIFY2(w->messages.isEmpty(), qPrintable(w->messages.value(0).text));
        const QString bill = w->path(QStringLiteral("微信账单202605.csv"));
        {
            QFile f(bill);
            QVERIFY(f.open(QIODevice::WriteOnly));
            const QString text =
                header + row("2026-05-14 10:00:05", "4200000001202605140001", "1200.00", "保教费") +
                row("2026-05-14 10:00:40", "4200000002202605140002", "1100.00", "李安 五月保教费") +
                row("2026-05-14 10:01:10", "4200000003202605140003", "500.00", "") +
                row("2026-05-14 15:00:00", "4200000009202605140009", "300.00", "不明款项") +
                row("2026-05-14 16:00:00", "4200000001202605140001", "0.00", "", "REFUND", "100.00",
                    "503000001") +
                QStringLiteral("总交易单数,应结订单总金额\n`4,`3100.00\n");
            f.write(QByteArray("\xEF\xBB\xBF") + text.toUtf8());
        }
        const int ledger = count(config, QStringLiteral("ledger_entry"));
        const int receipts = count(config, QStringLiteral("receipt_journal"));
        mw.toolAction(QStringLiteral("reconcile"))->trigger();
        auto *d = mw.findChild<ReconcileDialog *>();
        QVERIFY(d && d->isVisible());
        QVERIFY(d->importFile(bill));
        QVERIFY2(d->status()->text().contains(QStringLiteral("新增 5 行")),
                 qPrintable(d->status()->text()));
        QVERIFY(d->status()->text().contains(QStringLiteral("自动对上 4 笔")));
        QVERIFY(d->view());
        QCOMPARE(d->view()->matched.size(), 4);
        QCOMPARE(d->view()->onlyOnStatement.size(), 1);
        QCOMPARE(d->view()->onlyOnStatement.first().row.fen, qint64(30000));
        QCOMPARE(d->view()->onlyInBooks.size(), 1);
        QCOMPARE(d->view()->onlyInBooks.first().childName, QStringLiteral("赵丽"));
        QHash<QString, QString> how;
        for (const auto &p : d->view()->matched)
            how.insert(p.payment.childName + (p.payment.refund ? "退" : ""), p.how);
        QCOMPARE(how.value("张小明"), QStringLiteral("交易单号"));
        QCOMPARE(how.value("李安"), QStringLiteral("备注"));
        QCOMPARE(how.value("王晓明"), QStringLiteral("金额和日期"));
        QCOMPARE(how.value("张小明退"), QStringLiteral("金额和日期"));
        // The day: the books took 1200 + 1100 + 500 + 900 − 100, the
        // statement 1200 + 1100 + 500 + 300 − 100; the difference listed.
        const auto day = d->view()->days.value(QDate(2026, 5, 14));
        QCOMPARE(day.desk, qint64(360000));
        QCOMPARE(day.statement, qint64(300000));
        QCOMPARE(day.difference(), qint64(-60000));
        QCOMPARE(day.fees, qint64(5 * 60));
        auto *summary = qobject_cast<QTableWidget *>(d->tables()->widget(3));
        QVERIFY(summary);
        QCOMPARE(summary->item(summary->rowCount() - 1, 4)->text(), QStringLiteral("-600.00"));
        // Nothing of the books was written; the import has its audit line.
        QCOMPARE(count(config, QStringLiteral("ledger_entry")), ledger);
        QCOMPARE(count(config, QStringLiteral("receipt_journal")), receipts);
        QCOMPARE(count(config, QStringLiteral("statement_link")), 4);

        // The same file again adds nothing.
        QVERIFY(d->importFile(bill));
        QVERIFY2(d->status()->text().contains(QStringLiteral("新增 0 行，以前导入过 5 行")),
                 qPrintable(d->status()->text()));
        QCOMPARE(count(config, QStringLiteral("statement_row")), 5);
        QCOMPARE(count(config, QStringLiteral("statement_link")), 4);
        QCOMPARE(d->view()->matched.size(), 4);

        // The 300.00 nobody booked, booked for 王晓明 (owing 500.00): a
        // part payment with the statement's number, time and way, then matched.
        const int before = count(config, QStringLiteral("ledger_entry"));
        w->textAnswers = {QStringLiteral("没有这个人")};
        QVERIFY(!d->bookRow(0));
        QVERIFY(w->messages.last().text.contains(QStringLiteral("没有叫")));
        w->textAnswers = {QStringLiteral("王晓明")};
        QVERIFY2(d->bookRow(0), qPrintable(w->messages.value(0).text));
        QVERIFY(d->view()->onlyOnStatement.isEmpty());
        QCOMPARE(d->view()->matched.size(), 5);
        QVERIFY(count(config, QStringLiteral("ledger_entry")) > before);
        {
            Database db(config);
            QVERIFY(db.open());
            const auto month = JournalStore(db).month(QStringLiteral("2026-05"));
            QVERIFY(month);
            const JournalEntry &booked = month->last();
            QCOMPARE(booked.name, QStringLiteral("王晓明"));
            QCOMPARE(booked.method, QStringLiteral("微信"));
            QCOMPARE(booked.reference, QStringLiteral("4200000009202605140009"));
            QCOMPARE(booked.total, qint64(30000));
            QVERIFY2(booked.printedText.startsWith(QStringLiteral("2026-05-14 15:00")),
                     qPrintable(booked.printedText));
        }
        // 陈伟 paid in cash, nothing owed: refused, nothing written.
        QVERIFY(d->importFile(bill)); // nothing new
        const int now = count(config, QStringLiteral("ledger_entry"));
        // A file of another month is refused.
        QVERIFY(d->monthEdit()->setMonth(QStringLiteral("2026-04")));
        QVERIFY(!d->importFile(bill));
        QVERIFY2(w->messages.last().text.contains(
                     QStringLiteral("这个账单是 2026-05 的，不是 2026-04 的")),
                 qPrintable(w->messages.last().text));
        QVERIFY(d->monthEdit()->setMonth(QStringLiteral("2026-05")));
        // A damaged file is said.
        const QString broken = w->path(QStringLiteral("坏的.csv"));
        {
            QFile f(broken);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray("\x89PNG\r\n\x1a\n\xff\xfe\xfd", 11));
        }
        QVERIFY(!d->importFile(broken));
        QVERIFY2(w->messages.last().text.contains(QStringLiteral("没有导入")),
                 qPrintable(w->messages.last().text));
        // Exported: the four lists, each summed.
        w->directoryAnswers << w->path(QString());
        d->exportWorkbook();
        const auto days = readWithOpenpyxl(w->path(QStringLiteral("202605微信对账单汇总.xlsx")), 3);
        QCOMPARE(days.last(), (QStringList{"合计", "3900.00", "3000.00", "3.00", "-900.00"}));
        QCOMPARE(count(config, QStringLiteral("ledger_entry")), now);
        w->printToPdf = w->path(QStringLiteral("summary.pdf"));
        QVERIFY(d->print());
        QVERIFY(pdfText(w->printToPdf).contains(QStringLiteral("对账单汇总")));
    }

    // A bank's file: its columns chosen once and remembered for the bank.
    void bankColumnsAreRemembered()
    {
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"}, {child("甲", "1000")});
        MainWindow mw(config);
        RosterPage *a = mw.page(0);
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        printRow(a, 0, QStringLiteral("银行转账"), QStringLiteral("B0001"));
        const QString file = w->path(QStringLiteral("bank.csv"));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QStringLiteral("交易日期,摘要,收入金额,对方户名,流水号,附言\n"
                                   "2026-05-14,转账,1000.00,张某某,B0001,甲5月\n"
                                   "2026-05-15,转账,50.00,李某某,,不明\n")
                        .toUtf8());
        }
        ReconcileDialog d(mw.session(), nullptr);
        d.sourceBox()->setCurrentIndex(2);
        QVERIFY(!d.importFile(file));
        QVERIFY(w->messages.last().text.contains(QStringLiteral("银行名称")));
        d.bankEdit()->setText(QStringLiteral("某某银行"));
        d.columnsEdit()->setText(QStringLiteral("1"));
        QVERIFY(!d.importFile(file));
        QVERIFY(w->messages.last().text.contains(QStringLiteral("时间")));
        d.columnsEdit()->setText(QStringLiteral("1,3,5,6"));
        QVERIFY(d.importFile(file));
        QCOMPARE(d.view()->matched.size(), 1);
        QCOMPARE(d.view()->onlyOnStatement.size(), 1);
        // 记为缴费 needs a row of 账单有、账上没有 chosen.
        button(&d, "reconcileBook")->click();
        QVERIFY(
            w->messages.last().text.contains(QStringLiteral("请先在“账单有、账上没有”中选中一笔")));
        d.tables()->setCurrentIndex(1);
        qobject_cast<QTableWidget *>(d.tables()->widget(1))->setCurrentCell(0, 0);
        w->textAnswers = {QStringLiteral("甲")}; // paid: nothing owed
        button(&d, "reconcileBook")->click();
        QVERIFY2(w->messages.last().text.contains(QStringLiteral("已经没有欠费")),
                 qPrintable(w->messages.last().text));
        QCOMPARE(d.view()->onlyOnStatement.size(), 1);
        // Another window, the same bank: its columns come back.
        ReconcileDialog again(mw.session(), nullptr);
        again.sourceBox()->setCurrentIndex(2);
        again.bankEdit()->setText(QStringLiteral("某某银行"));
        emit again.bankEdit()->editingFinished();
        QCOMPARE(again.columnsEdit()->text(), QStringLiteral("1,3,5,6,0,1"));
    }

    // A bank not seen before: its columns read from the file's captions and
    // confirmed; a file without captions is refused with what it holds. A
    // row whose remark names a child offers that child for 记为缴费.
    void bankColumnsFromCaptions()
    {
        w->setSetting(QStringLiteral("c"), QStringLiteral("20"));
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        // Each month with ten meal days at 20.00: 1200.00 and 800.00.
        seedDatabase(config, {"A", "B"}, {child("周一鸣", "1000"), child("吴迪", "600", "B")});
        MainWindow mw(config);
        const QString file = w->path(QStringLiteral("bank.csv"));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QStringLiteral("某某银行对公账户交易明细\n"
                                   "账号,6222000000000000\n"
                                   "记账日期,借方金额,贷方金额,对方户名,交易流水号,用途\n"
                                   "2026-05-14,,1200.00,周某某,B0001,周一鸣5月保教费\n")
                        .toUtf8());
        }
        const QString plain = w->path(QStringLiteral("plain.csv"));
        {
            QFile f(plain);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray("2026-05-14,1200.00,B0001\n"));
        }
        ReconcileDialog d(mw.session(), nullptr);
        d.sourceBox()->setCurrentIndex(2);
        d.bankEdit()->setText(QStringLiteral("新银行"));
        QVERIFY(d.columnsEdit()->text().isEmpty());
        const int asked = w->questions;
        QVERIFY(!d.importFile(plain));
        QCOMPARE(w->questions, asked);
        QVERIFY2(w->messages.last().text.contains(QStringLiteral("认不出")),
                 qPrintable(w->messages.last().text));
        QVERIFY(w->messages.last().detailed.contains(QStringLiteral("B0001")));
        // Declined: nothing imported, nothing remembered.
        w->questionAnswers = {QMessageBox::No};
        QVERIFY(!d.importFile(file));
        QVERIFY2(w->questionTexts.last().contains(QStringLiteral("按第 3 行的标题")),
                 qPrintable(w->questionTexts.last()));
        QVERIFY(w->questionTexts.last().contains(QStringLiteral("金额：“贷方金额”")));
        QVERIFY(w->questionTexts.last().contains(QStringLiteral("手续费：（没有）")));
        QCOMPARE(count(config, QStringLiteral("statement_row")), 0);
        QVERIFY(OfficeSettings::bankColumns(QStringLiteral("新银行")).isEmpty());
        w->questionAnswers = {QMessageBox::Yes};
        QVERIFY(d.importFile(file));
        QCOMPARE(d.columnsEdit()->text(), QStringLiteral("1,3,5,6,0,3"));
        QCOMPARE(d.view()->onlyOnStatement.size(), 1);
        QCOMPARE(d.view()->onlyOnStatement.first().row.fen, qint64(120000));
        QVERIFY(!OfficeSettings::bankColumns(QStringLiteral("新银行")).isEmpty());

        // 记为缴费: the remark names 周一鸣, offered first; 取消 writes nothing.
        const int rows = count(config, QStringLiteral("receipt_journal"));
        w->questionAnswers = {QMessageBox::Cancel};
        QVERIFY(!d.bookRow(0));
        QCOMPARE(w->confirmActions.last(), QStringLiteral("A 周一鸣/其他儿童（输入姓名）…"));
        QCOMPARE(count(config, QStringLiteral("receipt_journal")), rows);
        // The other child, typed: 吴迪 owes 800, the row is 1200: asked
        // whether the 400 more is credit; declined.
        w->questionAnswers = {QMessageBox::No, QMessageBox::No};
        w->textAnswers = {QStringLiteral("吴迪")};
        QVERIFY(!d.bookRow(0));
        QVERIFY2(w->questionTexts.last().contains(QStringLiteral("多出的 400.00 元")),
                 qPrintable(w->questionTexts.last()));
        // 周一鸣, as offered: booked and matched.
        w->questionAnswers = {QMessageBox::Yes};
        QVERIFY2(d.bookRow(0), qPrintable(w->messages.value(0).text));
        QCOMPARE(count(config, QStringLiteral("receipt_journal")), rows + 1);
        QVERIFY(d.view()->onlyOnStatement.isEmpty());
        QCOMPARE(d.view()->matched.size(), 1);
        QVERIFY(d.status()->text().contains(QStringLiteral("记为 周一鸣 的缴费")));
    }

    void columnsText_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("usable");
        QTest::newRow("time and amount") << "1,3" << true;
        QTest::newRow("full-width comma") << "1，3，5" << true;
        QTest::newRow("no amount") << "1,0" << false;
        QTest::newRow("words") << "时间,金额" << false;
        QTest::newRow("one") << "2" << false;
    }
    void columnsText()
    {
        QFETCH(QString, typed);
        QFETCH(bool, usable);
        QString why;
        const auto c = ReconcileDialog::parseColumns(typed, &why);
        QCOMPARE(bool(c), usable);
        QCOMPARE(why.isEmpty(), usable);
        if (c)
            QCOMPARE(
                ReconcileDialog::parseColumns(ReconcileDialog::columnsText(*c), &why)->toText(),
                c->toText());
    }
};

QTEST_MAIN(TestReconcile)
#include "test_reconcile.moc"
