// The children's accounts: the month's charges as the receipts compute
// them, billing again records only differences, every printed receipt is a
// payment in the same transaction, an unprinted one is voided, who owes is
// listed and exported, and two PCs never record a charge twice.
#include "accountdialog.h"
#include "arrearsdialog.h"
#include "clock.h"
#include "configview.h"
#include "database.h"
#include "journaldialog.h"
#include "journalstore.h"
#include "ledgerstore.h"
#include "mainwindow.h"
#include "officesession.h"
#include "officesettings.h"
#include "queryresults.h"
#include "querywindow.h"
#include "receipt.h"
#include "reportdialogs.h"
#include "rosterpage.h"
#include "rosterstore.h"
#include "testsupport.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QThread>
#include <QToolButton>

#include <memory>

namespace
{
QStringList child(const QString &name, const QString &tuition, const QString &meals,
                  const QString &cls = QStringLiteral("A"))
{
    return {name, "4", tuition, "", meals, "", "", "", "", "0", "李", "否", cls};
}

QVector<LedgerEntry> accountOf(const DbConfig &config, const QString &childId)
{
    Database db(config);
    if (!db.open())
        return {};
    return LedgerStore(db).entries(childId).value_or(QVector<LedgerEntry>());
}

QVector<JournalEntry> journalOf(const DbConfig &config)
{
    Database db(config);
    if (!db.open())
        return {};
    return JournalStore(db).month(QStringLiteral("2026-05")).value_or(QVector<JournalEntry>());
}

qint64 sum(const QVector<LedgerEntry> &entries)
{
    qint64 s = 0;
    for (const LedgerEntry &e : entries)
        s += e.amount;
    return s;
}
// Each child's kept month balance against the sum of its entries: the
// rows that differ, as text, or nothing.
QString balanceMismatches(const DbConfig &config)
{
    Database db(config);
    if (!db.open())
        return QStringLiteral("no database");
    QSqlQuery q(db.connection());
    QMap<QString, qint64> sums, kept;
    if (!q.exec(QStringLiteral("SELECT child_id, month, SUM(amount_fen) FROM ledger_entry WHERE "
                               "child_id <> '' GROUP BY child_id, month")))
        return q.lastError().text();
    while (q.next())
        sums.insert(q.value(0).toString() + q.value(1).toString(), q.value(2).toLongLong());
    if (!q.exec(QStringLiteral("SELECT child_id, month, balance_fen FROM ledger_balance")))
        return q.lastError().text();
    while (q.next())
        kept.insert(q.value(0).toString() + q.value(1).toString(), q.value(2).toLongLong());
    if (sums.isEmpty())
        return QStringLiteral("no entries");
    QStringList wrong;
    for (auto it = sums.cbegin(); it != sums.cend(); ++it)
        if (kept.value(it.key(), -1) != it.value())
            wrong << it.key();
    if (kept.size() != sums.size())
        wrong << QStringLiteral("%1 kept, %2 summed").arg(kept.size()).arg(sums.size());
    return wrong.join(QLatin1Char(' '));
}
} // namespace

class TestLedger : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

    DbConfig backend(bool postgres)
    {
        return postgres ? freshPostgres() : DbConfig::sqlite(w->databasePath());
    }
    void prices()
    {
        w->setSetting(QStringLiteral("a"), QStringLiteral("0.9"));
        w->setSetting(QStringLiteral("b"), QStringLiteral("100.6"));
        w->setSetting(QStringLiteral("c"), QStringLiteral("10"));
        w->setSetting(QStringLiteral("d"), QStringLiteral("10"));
        w->setSetting(QStringLiteral("e"), QStringLiteral("10"));
        w->setSetting(QStringLiteral("f"), QStringLiteral("10"));
    }
    // 生成本月应收 for the current class (是) or all classes (否).
    void bill(MainWindow &mw, QMessageBox::StandardButton which = QMessageBox::Yes)
    {
        w->questionAnswers = {which};
        mw.toolAction(QStringLiteral("billMonth"))->trigger();
    }

private slots:
    void init() { w = new TestWorld; }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    void backends_data()
    {
        QTest::addColumn<bool>("postgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgres") << true;
    }

    void chargesAreTheReceiptAmounts_data()
    {
        QTest::addColumn<QStringList>("cells");
        // name, age, tuition, accommodation, meals, bedding, bus, insurance, total, discount
        QTest::newRow("list entry, discounted")
            << QStringList{"甲", "4", "1", "", "", "", "", "", "", "1"};
        QTest::newRow("meals rounded after the discount")
            << QStringList{"乙", "4", "", "", "3", "", "", "", "", "1"};
        QTest::newRow("accommodation discounted on the receipt")
            << QStringList{"丙", "4", "850", "1", "", "", "", "", "", "1"};
        QTest::newRow("four further fees, on two forms")
            << QStringList{"丁", "4", "100", "", "1", "1", "1", "1", "", "0"};
        QTest::newRow("a tenth of a yuan")
            << QStringList{"戊", "4", "3", "", "", "", "", "", "", ""};
    }
    void chargesAreTheReceiptAmounts()
    {
        QFETCH(QStringList, cells);
        FeeMirror fees;
        fees.feePrices[Fees::DiscountFactor] = 0.9f;
        fees.feePrices[Fees::AccommodationPrice] = 100.6f;
        fees.feePrices[Fees::MealPrice] = 10.5f;
        for (int k : {Fees::BeddingPrice, Fees::SchoolBusPrice, Fees::InsurancePrice})
            fees.feePrices[k] = 10.0f;
        fees.tuitionPrices = QStringList{"800", "900", "1000"};
        Roster::Cells row;
        for (int c = 0; c < cells.size(); ++c)
            if (!cells.at(c).isEmpty())
                row[c] = cells.at(c);
        const BuiltReceipt built = buildReceipt(row, fees);
        const auto charges = Ledger::charges(row, fees);
        qint64 charged = 0;
        for (const auto &c : charges)
            charged += c.second;
        // Every fee charged is on the receipt: none can be left unpaid.
        QCOMPARE(charged, qint64(built.receipt.total));
        // Every line of the receipt is the charge of its item, to the fen.
        for (int i = 0; i < built.receipt.entryCount; ++i) {
            const QString item = ReceiptText::decode(built.receipt.entries[size_t(i)].label)
                                     .remove(QLatin1Char(' '));
            const qint64 fen = built.receipt.entries[size_t(i)].amount;
            qint64 found = 0;
            for (const auto &c : charges)
                if (c.first == item)
                    found = c.second;
            QCOMPARE(found, fen);
        }
    }

    // One figure for what a child owes: the roster's total, the month's
    // charges in the ledger and the receipts of the month agree, for a
    // discounted boarder, a child with four further fees (two forms) and a
    // part payment followed by the rest; what is still owed is the account's.
    void oneFigureEverywhere_data() { backends_data(); }
    void oneFigureEverywhere()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        prices();
        QStringList boarder = child("甲", "1500", "20");
        boarder[Roster::Accommodation] = QStringLiteral("1");
        boarder[Roster::Discount] = QStringLiteral("1");
        QStringList further = child("乙", "1000", "20");
        for (int c : {int(Roster::Bedding), int(Roster::SchoolBus), int(Roster::Insurance)})
            further[c] = QStringLiteral("1");
        seedDatabase(config, {"A"}, {boarder, further, child("丙", "900", "10")});
        MainWindow mw(config);
        RosterPage *a = mw.page(0);
        // 1350 + 91 (100.6 × 0.9, rounded as the receipt rounds) + 180;
        // 1000 + 200 + 3 × 10; 900 + 100.
        const QList<qint64> totals = {162100, 123000, 100000};
        bill(mw);
        auto charged = [&](int row) {
            qint64 fen = 0;
            for (const LedgerEntry &e : accountOf(config, a->document()->record(row).childId))
                if (e.kind == LedgerEntry::Charge || e.kind == LedgerEntry::Adjustment)
                    fen += e.amount;
            return fen;
        };
        auto receipted = [&](const QString &name) {
            qint64 fen = 0;
            for (const JournalEntry &e : journalOf(config))
                if (e.name == name && !e.isReprint() && !e.voided)
                    fen += e.total;
            return fen;
        };
        auto owed = [&](int row) {
            return sum(accountOf(config, a->document()->record(row).childId));
        };
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(cell(*a, row, Roster::Total).toLongLong() * 100, totals.at(row));
            QCOMPARE(charged(row), totals.at(row));
        }
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        auto print = [&](int row, const QString &received) {
            a->tableView->setCurrentIndex(a->document()->index(row, 0));
            w->paymentReceived = received;
            w->questionAnswers = {QMessageBox::Yes};
            a->toolButton(QStringLiteral("printSelected"))->click();
        };
        print(0, QString());
        print(1, QString());
        // The roster's 已收 and 尚欠 come from the account, read again after
        // each write.
        auto shown = [&](int row, int column) {
            QCoreApplication::processEvents();
            return a->document()->index(row, column).data().toString();
        };
        QCOMPARE(a->document()->columnCount(), Roster::ColumnCount + 2);
        QCOMPARE(shown(2, RosterDocument::OwedColumn), QStringLiteral("1000.00"));
        print(2, QStringLiteral("600"));
        QCOMPARE(owed(2), qint64(40000));
        QCOMPARE(cell(*a, 2, Roster::PrintStatus), QStringLiteral("05已打印"));
        QCOMPARE(shown(2, RosterDocument::ReceivedColumn), QStringLiteral("600.00"));
        QCOMPARE(shown(2, RosterDocument::OwedColumn), QStringLiteral("400.00"));
        // Shown only: neither typed over nor stored with the roster.
        const int changes = a->document()->undoStack()->count();
        QVERIFY(!a->document()->setData(a->document()->index(2, RosterDocument::OwedColumn),
                                        QStringLiteral("0")));
        QVERIFY(!(a->document()->flags(a->document()->index(2, RosterDocument::OwedColumn)) &
                  Qt::ItemIsEditable));
        QCOMPARE(a->document()->undoStack()->count(), changes);
        print(2, QString());
        const QStringList names = {"甲", "乙", "丙"};
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(receipted(names.at(row)), totals.at(row));
            QCOMPARE(charged(row), totals.at(row));
            QCOMPARE(owed(row), qint64(0));
            QCOMPARE(cell(*a, row, Roster::Total).toLongLong() * 100, totals.at(row));
            QCOMPARE(shown(row, RosterDocument::ReceivedColumn), Journal::yuan(totals.at(row)));
            QCOMPARE(shown(row, RosterDocument::OwedColumn), QStringLiteral("0.00"));
        }
        QCOMPARE(balanceMismatches(config), QString());
    }

    // A day of a month's work through the windows: after each step, for
    // every child, the roster's 合计, 已收 and 尚欠, the receipts, the
    // ledger, 日结 and 月报 tell one story, through a void, a refund, 丢弃
    // at closing and a restart.
    void monthOfWork_data() { backends_data(); }
    void monthOfWork()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        prices();
        w->setSetting(QStringLiteral("name"), QStringLiteral("李"));
        QStringList boarder = child("甲", "1500", "20");
        boarder[Roster::Accommodation] = QStringLiteral("1");
        boarder[Roster::Discount] = QStringLiteral("1");
        QStringList further = child("乙", "1000", "20");
        for (int c : {int(Roster::Bedding), int(Roster::SchoolBus), int(Roster::Insurance)})
            further[c] = QStringLiteral("1");
        seedDatabase(config, {"A"},
                     {boarder, further, child("丙", "900", "10"), child("丁", "800", "10"),
                      child("戊", "1000", ""), child("己", "900", "")});
        auto mw = std::make_unique<MainWindow>(config);
        bill(*mw);
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        w->paymentMethod = QStringLiteral("现金");

        // One story per child, or the first place where it differs.
        auto story = [&](const QString &step) -> QString {
            QCoreApplication::processEvents();
            RosterDocument *doc = mw->page(0)->document();
            mw->toolAction(QStringLiteral("dayReport"))->trigger();
            auto *day = mw->findChildren<DayReportDialog *>().constLast();
            mw->toolAction(QStringLiteral("monthReport"))->trigger();
            auto *month = mw->findChildren<MonthReportDialog *>().constLast();
            if (!day->report() || !month->report())
                return step + QStringLiteral(": no report");
            const DayReport dayReport = *day->report();
            const MonthReport::Sums monthSums = month->report()->byClass.value("A");
            delete day;
            delete month;
            const QVector<JournalEntry> journal = journalOf(config);
            MonthReport::Sums all;
            for (int r = 0; r < doc->size(); ++r) {
                const QString name = doc->record(r).text(Roster::Name);
                qint64 charged = 0, received = 0, refunded = 0, balance = 0;
                for (const LedgerEntry &e : accountOf(config, doc->record(r).childId)) {
                    balance += e.amount;
                    if (e.kind == LedgerEntry::Charge || e.kind == LedgerEntry::Adjustment)
                        charged += e.amount;
                    else if (e.kind == LedgerEntry::Payment || e.kind == LedgerEntry::Void)
                        received -= e.amount;
                    else if (e.kind == LedgerEntry::Refund)
                        refunded += e.amount;
                }
                qint64 receipted = 0;
                for (const JournalEntry &e : journal)
                    if (e.name == name && !e.isReprint() && !e.voided)
                        receipted += e.total;
                qint64 takenToday = 0, handedBack = 0;
                for (const DayReport::Row &row : dayReport.rows)
                    if (row.name == name)
                        takenToday += row.paid;
                for (const DayReport::Refund &back : dayReport.refunds)
                    if (back.name == name)
                        handedBack += back.fen;
                const QString status = doc->record(r).text(Roster::PrintStatus);
                const QStringList seen = {
                    QString::number(doc->record(r).text(Roster::Total).toLongLong() * 100),
                    QString::number(charged),
                    QString::number(receipted),
                    QString::number(received),
                    QString::number(takenToday),
                    doc->index(r, RosterDocument::ReceivedColumn).data().toString(),
                    Journal::yuan(received - refunded),
                    QString::number(handedBack),
                    QString::number(refunded),
                    doc->index(r, RosterDocument::OwedColumn).data().toString(),
                    Journal::yuan(std::max<qint64>(balance, 0)),
                    QString::number(receipted > 0 && status.endsWith(QStringLiteral("已打印")))};
                const QString says =
                    QStringLiteral("%1 %2: 合计 %3 charged %4 | receipts %5 "
                                   "paid %6 日结 %7 | 已收 %8 = %9 | refunds "
                                   "日结 %10 ledger %11 | 尚欠 %12 = %13 | "
                                   "printed %14 (%15)")
                        .arg(step, name, seen.at(0), seen.at(1), seen.at(2), seen.at(3), seen.at(4),
                             seen.at(5), seen.at(6))
                        .arg(seen.at(7), seen.at(8), seen.at(9), seen.at(10), seen.at(11), status);
                if (seen.at(0) != seen.at(1) || seen.at(2) != seen.at(3) ||
                    seen.at(3) != seen.at(4) || seen.at(5) != seen.at(6) ||
                    seen.at(7) != seen.at(8) || seen.at(9) != seen.at(10) ||
                    (receipted > 0 && seen.at(11) != QStringLiteral("1")))
                    return says;
                all.charged += charged;
                all.received += received;
                all.refunded += refunded;
                all.owed += balance;
            }
            if (monthSums.charged != all.charged || monthSums.received != all.received ||
                monthSums.refunded != all.refunded || monthSums.owed != all.owed)
                return QStringLiteral("%1: 月报 %2/%3/%4/%5, children %6/%7/%8/%9")
                    .arg(step)
                    .arg(monthSums.charged)
                    .arg(monthSums.received)
                    .arg(monthSums.refunded)
                    .arg(monthSums.owed)
                    .arg(all.charged)
                    .arg(all.received)
                    .arg(all.refunded)
                    .arg(all.owed);
            return {};
        };
        auto print = [&](int row, const QString &received) {
            RosterPage *a = mw->page(0);
            a->tableView->setCurrentIndex(a->document()->index(row, 0));
            w->paymentReceived = received;
            w->questionAnswers = {QMessageBox::Yes};
            a->toolButton(QStringLiteral("printSelected"))->click();
        };
        auto inJournal = [&](const QString &name, const char *button_, const QStringList &typed) {
            mw->toolAction(QStringLiteral("journal"))->trigger();
            auto *journal = mw->findChildren<JournalDialog *>().constLast();
            const QVector<JournalEntry> &entries = journal->monthEntries();
            for (int i = 0; i < entries.size(); ++i)
                if (entries.at(i).name == name && !entries.at(i).voided &&
                    !entries.at(i).isReprint())
                    journal->table()->setCurrentIndex(journal->tableModel()->index(i, 0));
            w->textAnswers = typed;
            button(journal, button_)->click();
            delete journal;
        };
        QCOMPARE(story(QStringLiteral("billed")), QString());
        print(0, QString());
        QCOMPARE(story(QStringLiteral("boarder paid")), QString());
        print(1, QString());
        QCOMPARE(story(QStringLiteral("four further fees paid")), QString());
        print(2, QStringLiteral("600"));
        QCOMPARE(story(QStringLiteral("part payment")), QString());
        print(2, QString());
        QCOMPARE(story(QStringLiteral("the rest")), QString());
        print(3, QString());
        inJournal(QStringLiteral("丁"), "journalVoid", {QStringLiteral("打错")});
        QCOMPARE(story(QStringLiteral("voided")), QString());
        QCOMPARE(sum(accountOf(config, mw->page(0)->document()->record(3).childId)), qint64(90000));
        print(3, QString());
        QCOMPARE(story(QStringLiteral("printed again")), QString());
        print(4, QString());
        inJournal(QStringLiteral("戊"), "journalRefund",
                  {QStringLiteral("100"), QStringLiteral("多收")});
        QCOMPARE(story(QStringLiteral("refunded")), QString());
        QCOMPARE(accountOf(config, mw->page(0)->document()->record(4).childId).last().amount,
                 qint64(10000));
        // 己 is paid, and the clerk closes with 丢弃: the receipt stays, and
        // so does its mark.
        print(5, QString());
        QCOMPARE(story(QStringLiteral("last child")), QString());
        mw->show();
        w->questionAnswer = QMessageBox::Discard;
        mw->page(0)->document()->setText(0, Roster::Age, QStringLiteral("5"));
        QVERIFY(mw->hasUnsavedChanges());
        const int asked = w->questions;
        QVERIFY(mw->close());
        QCOMPARE(w->questions, asked + 1);
        mw.reset();
        mw = std::make_unique<MainWindow>(config);
        QCOMPARE(story(QStringLiteral("after a restart")), QString());
        QCOMPARE(mw->page(0)->document()->record(5).text(Roster::PrintStatus).right(3),
                 QStringLiteral("已打印"));
        QCOMPARE(balanceMismatches(config), QString());
    }

    void billingAgainRecordsOnlyDifferences_data() { backends_data(); }
    void billingAgainRecordsOnlyDifferences()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        prices();
        seedDatabase(
            config, {"A", "B"},
            {child("甲", "1000", "2"), child("乙", "900", ""), child("丙", "800", "", "B")});
        MainWindow mw(config);
        RosterDocument *a = mw.page(0)->document();
        const QString jia = a->record(0).childId;
        bill(mw);
        auto account = accountOf(config, jia);
        QCOMPARE(account.size(), 2);
        QCOMPARE(account.at(0).kind, LedgerEntry::Charge);
        QCOMPARE(account.at(0).item, QStringLiteral("保教费"));
        QCOMPARE(account.at(0).amount, qint64(100000));
        QCOMPARE(account.at(1).item, QStringLiteral("伙食费"));
        QCOMPARE(account.at(1).amount, qint64(2000));
        QCOMPARE(account.at(0).month, QStringLiteral("2026-05"));
        QVERIFY(mw.statusText().contains(QStringLiteral("2 名儿童，3 笔，合计 1920.00 元")));
        // Only the current class: B has nothing yet.
        QVERIFY(accountOf(config, mw.session().document("B")->record(0).childId).isEmpty());
        // Again, unchanged: nothing new.
        bill(mw);
        QCOMPARE(accountOf(config, jia).size(), 2);
        QVERIFY(mw.statusText().contains(QStringLiteral("已是最新")));
        // The roster changes: a new price for 甲, a new child; unsaved is refused.
        a->setText(0, Roster::Tuition, QStringLiteral("1200"));
        const int r = a->addRow();
        a->setText(r, Roster::Name, QStringLiteral("丁"));
        bill(mw);
        QVERIFY(w->messages.last().text.contains(QStringLiteral("未保存")));
        QCOMPARE(accountOf(config, jia).size(), 2);
        QVERIFY(mw.onButtonSaveDB());
        // All classes now: 甲's difference, 丁's and 丙's first charges.
        bill(mw, QMessageBox::No);
        account = accountOf(config, jia);
        QCOMPARE(account.size(), 3);
        QCOMPARE(account.last().kind, LedgerEntry::Adjustment);
        QCOMPARE(account.last().amount, qint64(20000));
        QCOMPARE(account.last().reason, QStringLiteral("名单变更"));
        QCOMPARE(account.last().clerk, QString());
        QCOMPARE(sum(account), qint64(122000));
        // 丁 took the quantities of the row above (900).
        QCOMPARE(sum(accountOf(config, a->record(r).childId)), qint64(90000));
        QCOMPARE(sum(accountOf(config, mw.session().document("B")->record(0).childId)),
                 qint64(80000));
        // Saved and reloaded, the same children are the same accounts.
        MainWindow again(config);
        QCOMPARE(again.page(0)->document()->record(0).childId, jia);
    }

    void receiptsArePaymentsAndArrearsAreListed_data() { backends_data(); }
    void receiptsArePaymentsAndArrearsAreListed()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        prices();
        seedDatabase(config, {"A"}, {child("甲", "1000", "2"), child("乙", "900", "")});
        MainWindow mw(config);
        RosterPage *a = mw.page(0);
        const QString jia = a->document()->record(0).childId;
        const QString yi = a->document()->record(1).childId;
        bill(mw);
        // 甲 pays by WeChat, with its transaction number.
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        w->paymentMethod = QStringLiteral("微信");
        w->paymentReference = QStringLiteral("4200001234");
        a->tableView->setCurrentIndex(a->document()->index(0, 0));
        a->toolButton(QStringLiteral("printSelected"))->click();
        QCOMPARE(w->paymentPrompts, 1);
        auto account = accountOf(config, jia);
        QCOMPARE(account.size(), 3);
        const LedgerEntry &paid = account.last();
        QCOMPARE(paid.kind, LedgerEntry::Payment);
        QCOMPARE(paid.amount, qint64(-102000));
        QCOMPARE(paid.method, QStringLiteral("微信"));
        QCOMPARE(paid.reference, QStringLiteral("4200001234"));
        QCOMPARE(paid.receiptSerial, QStringLiteral("2026-000001"));
        QCOMPARE(sum(account), qint64(0));
        // The choice is remembered for the next print.
        QCOMPARE(OfficeSettings::paymentMethod(), QStringLiteral("微信"));
        // A print that never reached the paper is no payment: voided.
        w->printToPdf = QStringLiteral("/dev/full");
        w->paymentMethod.clear();
        a->tableView->setCurrentIndex(a->document()->index(1, 0));
        a->toolButton(QStringLiteral("printSelected"))->click();
        account = accountOf(config, yi);
        QCOMPARE(account.size(), 3);
        QCOMPARE(account.at(1).kind, LedgerEntry::Payment);
        QCOMPARE(account.at(1).method, QStringLiteral("微信"));
        QCOMPARE(account.at(2).kind, LedgerEntry::Void);
        QCOMPARE(account.at(2).corrects, account.at(1).id);
        QCOMPARE(sum(account), qint64(90000));
        // A cancelled payment prompt prints nothing.
        w->paymentCancelled = true;
        const int dialogs = w->printDialogs;
        a->toolButton(QStringLiteral("printSelected"))->click();
        QCOMPARE(w->printDialogs, dialogs);
        w->paymentCancelled = false;
        // 欠费: 乙 owes 900.00 for May; 甲 does not appear.
        mw.toolAction(QStringLiteral("arrears"))->trigger();
        auto *dialog = mw.findChild<ArrearsDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->model()->owing().size(), qsizetype(1));
        QCOMPARE(dialog->model()->index(0, 1).data().toString(), QStringLiteral("乙"));
        QCOMPARE(dialog->model()->index(1, 0).data().toString(), QStringLiteral("合计"));
        QCOMPARE(dialog->model()->index(1, 3).data().toString(), QStringLiteral("900.00"));
        QCOMPARE(dialog->model()->index(0, 2).data().toString(), QStringLiteral("2026-05"));
        QCOMPARE(dialog->model()->index(0, 3).data().toString(), QStringLiteral("900.00"));
        QVERIFY2(
            dialog->totals()->text().contains(QStringLiteral("共 1 名儿童欠费，合计 900.00 元")),
            qPrintable(dialog->totals()->text()));
        // Exported, and read back by another program.
        w->directoryAnswers << w->path(QString());
        dialog->exportList();
        const QString file = w->path(QStringLiteral("202605欠费名单.xlsx"));
        const auto list = readWithOpenpyxl(file, 0);
        QCOMPARE(list.size(), 2);
        QCOMPARE(list.at(0), (QStringList{"班级", "儿童姓名", "欠费月份", "欠费（元）"}));
        QCOMPARE(list.at(1), (QStringList{"A", "乙", "2026-05", "900.00"}));
        const auto classes = readWithOpenpyxl(file, 1);
        QCOMPARE(classes.last(), (QStringList{"全部", "1", "900.00"}));
        // 乙 pays in cash: nobody owes.
        w->printToPdf = w->path(QStringLiteral("r2.pdf"));
        w->paymentMethod = QStringLiteral("现金");
        a->toolButton(QStringLiteral("printSelected"))->click();
        dialog->refresh();
        QCOMPARE(dialog->model()->rowCount(), 0);
        QCOMPARE(dialog->totals()->text(), QStringLiteral("没有欠费的儿童。"));
    }

    void twoPCsBillingAtOnceNeverChargeTwice_data() { backends_data(); }
    void twoPCsBillingAtOnceNeverChargeTwice()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        QVector<QStringList> rows;
        for (int i = 0; i < 40; ++i)
            rows << child(QStringLiteral("童%1").arg(i), "1000", "");
        seedDatabase(config, {"A"}, rows);
        QVector<ChildRecord> stored;
        {
            OfficeSession s(config);
            QVERIFY(s.open());
            stored = s.document(QStringLiteral("A"))->records();
        }
        QAtomicInt ok, refused;
        auto pc = [&] {
            return QThread::create([&] {
                Database db(config);
                if (!db.open())
                    return;
                RosterStore(db).readStudents(QStringLiteral("A"));
                QVector<LedgerStore::Bill> bills;
                for (const ChildRecord &r : stored)
                    bills.append({r, {{QStringLiteral("保教费"), 100000}}, {}});
                const WriteResult r =
                    LedgerStore(db).bill(QStringLiteral("2026-05"), bills, QString(), QString(),
                                         QDateTime(QDate(2026, 5, 14), QTime(10, 0)));
                (r ? ok : refused).ref();
            });
        };
        QThread *one = pc(), *two = pc();
        one->start();
        two->start();
        QVERIFY(one->wait(60000));
        QVERIFY(two->wait(60000));
        delete one;
        delete two;
        QVERIFY(ok.loadRelaxed() >= 1);
        Database db(config);
        QVERIFY(db.open());
        QCOMPARE(LedgerStore(db).monthTotal(QStringLiteral("2026-05")).value_or(-1),
                 qint64(40) * 100000);
    }

    void receiptsBeforeTheLedgerArePaymentsOfNoKnownWay()
    {
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"}, {child("甲", "1000", "")});
        {
            Database db(config);
            QVERIFY(db.open());
            JournalEntry e;
            e.printedAt = QDateTime(QDate(2026, 4, 3), QTime(9, 0));
            e.className = QStringLiteral("A");
            e.name = QStringLiteral("甲");
            e.total = 100000;
            QVector<JournalEntry> entries{e, e};
            QVERIFY(JournalStore(db).record(entries));
            // As a database written before the ledger and identities were kept.
            QSqlQuery q(db.connection());
            QVERIFY(q.exec(QStringLiteral("DROP TABLE ledger_entry")));
            QVERIFY(q.exec(QStringLiteral("DROP TABLE child_identity")));
        }
        Database db(config);
        QVERIFY(db.open());
        QSqlQuery q(db.connection());
        QVERIFY2(q.exec(QStringLiteral("SELECT kind, method, amount_fen, receipt_serial FROM "
                                       "ledger_entry ORDER BY id")),
                 qPrintable(q.lastError().text() + db.errorString()));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("实收"));
        QCOMPARE(q.value(1).toString(), QStringLiteral("未记录"));
        QCOMPARE(q.value(2).toLongLong(), qint64(-100000));
        QCOMPARE(q.value(3).toString(), QStringLiteral("2026-000001"));
        // The second was a reprint: no money.
        QVERIFY(!q.next());
        // And the rosters read as before.
        MainWindow mw(config);
        QCOMPARE(cell(*mw.page(0), 0, Roster::Name), QStringLiteral("甲"));
        QVERIFY(w->messages.isEmpty());
    }

    void voidedReceiptsCountNothing_data() { backends_data(); }
    void voidedReceiptsCountNothing()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        prices();
        seedDatabase(config, {"A"}, {child("甲", "1000", ""), child("乙", "900", "")});
        MainWindow mw(config);
        RosterPage *a = mw.page(0);
        const QString jia = a->document()->record(0).childId;
        bill(mw);
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        a->printReceiptRange(1, 2);
        // 甲's receipt printed again from the roster: a reprint.
        a->printReceiptRange(1, 1);
        QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("05已打印"));
        mw.toolAction(QStringLiteral("journal"))->trigger();
        auto *journal = mw.findChild<JournalDialog *>();
        QVERIFY(journal);
        QCOMPARE(journal->tableModel()->entries().size(), qsizetype(3));
        journal->table()->setCurrentIndex(journal->tableModel()->index(0, 0));
        // A reason is required: cancelled or empty, nothing happens.
        button(journal, "journalVoid")->click();
        w->textAnswers = {QStringLiteral("  ")};
        button(journal, "journalVoid")->click();
        QVERIFY(w->messages.last().text.contains(QStringLiteral("必须填写原因")));
        QCOMPARE(sum(accountOf(config, jia)), qint64(0));
        // Voided: the serial stays, marked with why; its reprint goes along.
        w->textAnswers = {QStringLiteral("金额打错")};
        button(journal, "journalVoid")->click();
        QCOMPARE(journal->tableModel()->entries().size(), qsizetype(3));
        QCOMPARE(journal->tableModel()->index(0, 0).data().toString(),
                 QStringLiteral("2026-000001"));
        QCOMPARE(journal->tableModel()->index(0, 6).data().toString(),
                 QStringLiteral("作废：金额打错"));
        QCOMPARE(journal->tableModel()->index(2, 6).data().toString(),
                 QStringLiteral("作废：金额打错"));
        QVERIFY2(journal->totals()->text().contains(QStringLiteral("共 1 张收据，合计 900.00 元")),
                 qPrintable(journal->totals()->text()));
        // The money is owed again, and the child is unprinted this month.
        const auto account = accountOf(config, jia);
        QCOMPARE(account.last().kind, LedgerEntry::Void);
        QCOMPARE(account.last().reason, QStringLiteral("作废：金额打错"));
        QCOMPARE(sum(account), qint64(100000));
        QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("否"));
        // Never twice; a copy of a voided receipt is refused too.
        journal->table()->setCurrentIndex(journal->tableModel()->index(0, 0));
        w->textAnswers = {QStringLiteral("再来一次")};
        button(journal, "journalVoid")->click();
        QVERIFY(w->messages.last().text.contains(QStringLiteral("已经作废过")));
        journal->reprintSelected();
        QVERIFY(w->messages.last().text.contains(QStringLiteral("已作废")));
        QCOMPARE(sum(accountOf(config, jia)), qint64(100000));
        // The right receipt now: a first receipt again, with its money.
        a->printReceiptRange(1, 1);
        const auto entries = journalOf(config);
        QCOMPARE(entries.size(), 4);
        QVERIFY(!entries.last().isReprint());
        QCOMPARE(sum(accountOf(config, jia)), qint64(0));
    }

    void accountFromTheRosterAndTheQuery()
    {
        prices();
        seedDatabase(w->databasePath(), {"A"}, {child("甲", "1000", ""), child("乙", "900", "")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        RosterPage *a = mw.page(0);
        bill(mw);
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        w->paymentMethod = QStringLiteral("支付宝");
        a->tableView->setCurrentIndex(a->document()->index(0, 0));
        a->toolButton(QStringLiteral("printSelected"))->click();
        // 甲's account from the row's context menu: charged, paid, settled.
        auto *fromRoster = a->tableView->findChild<QAction *>(QStringLiteral("account"));
        QVERIFY(fromRoster);
        QVERIFY(a->tableView->actions().contains(fromRoster));
        fromRoster->trigger();
        auto *account = mw.findChild<AccountDialog *>();
        QVERIFY(account && account->isVisible());
        QCOMPARE(account->windowTitle(), QStringLiteral("缴费记录 — 甲"));
        QCOMPARE(account->table()->rowCount(), 2);
        QCOMPARE(account->table()->item(0, 1)->text(), QStringLiteral("应收"));
        QCOMPARE(account->table()->item(0, 3)->text(), QStringLiteral("1000.00"));
        QCOMPARE(account->table()->item(1, 1)->text(), QStringLiteral("实收"));
        QCOMPARE(account->table()->item(1, 3)->text(), QStringLiteral("1000.00"));
        QCOMPARE(account->table()->item(1, 4)->text(), QStringLiteral("支付宝"));
        QCOMPARE(account->table()->item(1, 5)->text(), QStringLiteral("2026-000001"));
        QCOMPARE(account->balance()->text(), QStringLiteral("2026-05 已结清。没有欠费"));
        account->close();
        // 乙's from the query result: owing.
        mw.selectEdit->setText(QStringLiteral("乙"));
        mw.onButtonSelect();
        mw.selectWidget->tableView()->setCurrentIndex(mw.selectWidget->results()->index(0, 0));
        mw.selectWidget->tableView()->findChild<QAction *>(QStringLiteral("account"))->trigger();
        account = mw.selectWidget->findChild<AccountDialog *>();
        QVERIFY(account);
        QCOMPARE(account->balance()->text(),
                 QStringLiteral("2026-05 欠 900.00 元。合计欠费 900.00 元"));
        // No child chosen: said, nothing opened.
        a->tableView->setCurrentIndex(QModelIndex());
        fromRoster->trigger();
        QVERIFY(w->messages.last().text.contains(QStringLiteral("请先选中")));
    }

    void amountsTheClerkTypes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("fen"); // -1: refused
        QTest::addColumn<QString>("reason");
        QTest::newRow("whole") << "900" << qint64(90000) << QString();
        QTest::newRow("one decimal") << "899.5" << qint64(89950) << QString();
        QTest::newRow("two decimals") << " 899.05 " << qint64(89905) << QString();
        QTest::newRow("point only") << "12." << qint64(1200) << QString();
        QTest::newRow("three decimals") << "1.234" << qint64(-1) << QStringLiteral("两位小数");
        QTest::newRow("negative") << "-5" << qint64(-1) << QStringLiteral("负数");
        QTest::newRow("letters") << "abc" << qint64(-1) << QStringLiteral("不是数字");
        QTest::newRow("exponent") << "1e3" << qint64(-1) << QStringLiteral("不是数字");
        QTest::newRow("comma") << "1,200" << qint64(-1) << QStringLiteral("不是数字");
        QTest::newRow("full-width") << "１２" << qint64(-1) << QStringLiteral("不是数字");
    }
    void amountsTheClerkTypes()
    {
        QFETCH(QString, text);
        QFETCH(qint64, fen);
        QFETCH(QString, reason);
        QString why;
        const auto parsed = Ledger::parseYuan(text, &why);
        QCOMPARE(parsed.value_or(-1), fen);
        QVERIFY2(why.contains(reason), qPrintable(why));
    }

    void partReceiptsPayInOrder_data()
    {
        QTest::addColumn<qint64>("received");
        QTest::addColumn<QList<qint64>>("lines"); // childcare, accommodation, further lines
        // Due: childcare 1000.00, accommodation 300.00, meals 200.00, bedding 80.00.
        QTest::newRow("part of the childcare") << qint64(50000) << QList<qint64>{50000, 0};
        QTest::newRow("the childcare exactly") << qint64(100000) << QList<qint64>{100000, 0};
        QTest::newRow("childcare, part of the meals")
            << qint64(110050) << QList<qint64>{100000, 0, 10050};
        QTest::newRow("childcare and meals") << qint64(120000) << QList<qint64>{100000, 0, 20000};
        QTest::newRow("part of the accommodation")
            << qint64(135000) << QList<qint64>{100000, 15000, 20000};
        QTest::newRow("part of the bedding")
            << qint64(154001) << QList<qint64>{100000, 30000, 20000, 4001};
        QTest::newRow("all but a fen")
            << qint64(157999) << QList<qint64>{100000, 30000, 20000, 7999};
    }
    void partReceiptsPayInOrder()
    {
        QFETCH(qint64, received);
        QFETCH(QList<qint64>, lines);
        FeeMirror fees;
        fees.feePrices[Fees::AccommodationPrice] = 300.0f;
        fees.feePrices[Fees::MealPrice] = 10.0f;
        fees.feePrices[Fees::BeddingPrice] = 80.0f;
        Roster::Cells row;
        row[Roster::Name] = QStringLiteral("甲");
        row[Roster::Tuition] = QStringLiteral("1000");
        row[Roster::Accommodation] = QStringLiteral("1");
        row[Roster::Meals] = QStringLiteral("20");
        row[Roster::Bedding] = QStringLiteral("1");
        const Receipt full = buildReceipt(row, fees).receipt;
        QCOMPARE(full.total, 158000);
        const Receipt part = Ledger::partReceipt(full, received);
        // The printed lines add up to the printed total, which is the money.
        QCOMPARE(qint64(part.total), received);
        qint64 sumOfLines = 0;
        QList<qint64> printed;
        for (int i = 0; i < part.entryCount; ++i) {
            sumOfLines += part.entries[size_t(i)].amount;
            printed << part.entries[size_t(i)].amount;
        }
        QCOMPARE(sumOfLines, received);
        QCOMPARE(printed, lines);
        // The fixed lines keep their captions; further lines keep theirs.
        QCOMPARE(part.entries[0].label, full.entries[0].label);
        QCOMPARE(part.entries[1].label, full.entries[1].label);
        if (lines.size() > 2)
            QCOMPARE(ReceiptText::decode(part.entries[2].label), QStringLiteral("伙 食 费"));
        // The rest, paid later, pays on line by line: both receipts together
        // print every line of the fees once.
        const auto rest = Ledger::restReceipt(full, {0, full.total, full.total - received});
        QVERIFY(rest);
        QCOMPARE(qint64(rest->total), full.total - received);
        QMap<QByteArray, qint64> together;
        qint64 restLines = 0;
        for (const Receipt *r : {&part, &*rest})
            for (int i = 0; i < r->entryCount; ++i)
                together[r->entries[size_t(i)].label] += r->entries[size_t(i)].amount;
        for (int i = 0; i < rest->entryCount; ++i)
            restLines += rest->entries[size_t(i)].amount;
        QCOMPARE(restLines, qint64(rest->total));
        for (int i = 0; i < full.entryCount; ++i)
            QCOMPARE(together.value(full.entries[size_t(i)].label),
                     qint64(full.entries[size_t(i)].amount));
        // Nothing owed: a copy, not a receipt of money.
        QVERIFY(!Ledger::restReceipt(full, {0, full.total, 0}));
    }

    void partPaymentsAndCredits()
    {
        prices();
        seedDatabase(w->databasePath(), {"A"}, {child("甲", "1000", ""), child("乙", "900", "")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        RosterPage *a = mw.page(0);
        const QString jia = a->document()->record(0).childId;
        const QString yi = a->document()->record(1).childId;
        bill(mw);
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        a->tableView->setCurrentIndex(a->document()->index(0, 0));
        // Not money: refused, nothing printed or recorded.
        for (const QString &typed : {QStringLiteral("六百"), QStringLiteral("-600"),
                                     QStringLiteral("600.001"), QStringLiteral("0")}) {
            w->paymentReceived = typed;
            const int dialogs = w->printDialogs;
            a->toolButton(QStringLiteral("printSelected"))->click();
            QCOMPARE(w->printDialogs, dialogs);
            QCOMPARE(w->messages.last().informative, QStringLiteral("没有打印，也没有记录。"));
        }
        QCOMPARE(w->paymentDue, qint64(100000));
        QCOMPARE(sum(accountOf(DbConfig::sqlite(w->databasePath()), jia)), qint64(100000));
        // 600.00 of 1000.00: a part receipt of 600.00; 400.00 still owed.
        w->paymentReceived = QStringLiteral("600");
        a->toolButton(QStringLiteral("printSelected"))->click();
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        const auto receipts = journalOf(config);
        QCOMPARE(receipts.size(), 1);
        QCOMPARE(receipts.at(0).total, qint64(60000));
        QCOMPARE(sum(accountOf(config, jia)), qint64(40000));
        QCOMPARE(pdfPageCount(w->printToPdf), 1);
        // The rest, brought later: printed again, the receipt is of the 400.00
        // still owed, a payment and no copy; once paid, a copy again.
        w->paymentReceived.clear();
        a->toolButton(QStringLiteral("printSelected"))->click();
        QCOMPARE(w->paymentDue, qint64(40000));
        QCOMPARE(journalOf(config).size(), 2);
        QVERIFY(!journalOf(config).last().isReprint());
        QCOMPARE(journalOf(config).last().total, qint64(40000));
        QCOMPARE(sum(accountOf(config, jia)), qint64(0));
        a->toolButton(QStringLiteral("printSelected"))->click();
        QVERIFY(journalOf(config).last().isReprint());
        QCOMPARE(sum(accountOf(config, jia)), qint64(0));
        // More than due, confirmed as a credit: the receipt says what is due,
        // the account takes the money.
        a->tableView->setCurrentIndex(a->document()->index(1, 0));
        w->paymentReceived = QStringLiteral("1000");
        w->questionAnswers = {QMessageBox::No};
        const int dialogs = w->printDialogs;
        a->toolButton(QStringLiteral("printSelected"))->click();
        QCOMPARE(w->printDialogs, dialogs);
        QVERIFY(w->questionTexts.last().contains(QStringLiteral("多 100.00 元")));
        w->questionAnswers = {QMessageBox::Yes};
        a->toolButton(QStringLiteral("printSelected"))->click();
        QCOMPARE(journalOf(config).last().total, qint64(90000));
        QCOMPARE(sum(accountOf(config, yi)), qint64(-10000));
        // Who owes: nobody; 乙 paid ahead and does not owe either.
        mw.toolAction(QStringLiteral("arrears"))->trigger();
        auto *dialog = mw.findChild<ArrearsDialog *>();
        QCOMPARE(dialog->model()->rowCount(), 0);
    }

    // Money paid ahead in May pays first on June's receipt, which says so;
    // the lines and the total are what the parent pays; voiding the receipt
    // gives the credit back to May.
    void creditCarriesToTheNextMonth_data() { backends_data(); }
    void creditCarriesToTheNextMonth()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        prices();
        seedDatabase(config, {"A"}, {child("甲", "1000", ""), child("乙", "900", "2")});
        MainWindow mw(config);
        RosterPage *a = mw.page(0);
        const QString jia = a->document()->record(0).childId;
        const QString yi = a->document()->record(1).childId;
        w->printToPdf = w->path(QStringLiteral("may.pdf"));
        // May, nobody billed: 甲 pays 1500.00 for 1000.00, 乙 920.00 in full.
        a->tableView->setCurrentIndex(a->document()->index(0, 0));
        w->paymentReceived = QStringLiteral("1500");
        w->questionAnswers = {QMessageBox::Yes};
        a->toolButton(QStringLiteral("printSelected"))->click();
        a->tableView->setCurrentIndex(a->document()->index(1, 0));
        w->paymentReceived.clear();
        a->toolButton(QStringLiteral("printSelected"))->click();
        // The receipts charged May: nobody owes, 甲 has 500.00 ahead.
        QCOMPARE(sum(accountOf(config, jia)), qint64(-50000));
        QCOMPARE(sum(accountOf(config, yi)), qint64(0));
        QCOMPARE(accountOf(config, yi).first().kind, LedgerEntry::Charge);

        struct Case {
            int row;
            qint64 due, credit;
            QList<qint64> lines;
        };
        // June: 甲's credit pays half its fees; 乙 has none and pays it all.
        Clock::setFixed(QDateTime(QDate(2026, 6, 2), QTime(9, 0)));
        mw.session().reload();
        a = mw.page(0);
        const Case cases[] = {{0, 50000, 50000, {50000, 0}}, {1, 92000, 0, {90000, 0, 2000}}};
        for (const Case &c : cases) {
            w->printToPdf = w->path(QStringLiteral("june%1.pdf").arg(c.row));
            a->tableView->setCurrentIndex(a->document()->index(c.row, 0));
            a->toolButton(QStringLiteral("printSelected"))->click();
            QCOMPARE(w->paymentDue, c.due);
            Database db(config);
            QVERIFY(db.open());
            const auto june = JournalStore(db).month(QStringLiteral("2026-06")).value();
            const JournalEntry r = JournalStore(db).entry(june.last().serial).value();
            QCOMPARE(r.credit, c.credit);
            QCOMPARE(r.total, c.due);
            qint64 lines = 0;
            for (int i = 0; i < c.lines.size(); ++i) {
                QCOMPARE(r.amounts[size_t(i)], c.lines.at(i));
                lines += r.amounts[size_t(i)];
            }
            QCOMPARE(lines, r.total);
            QCOMPARE(pdfText(w->printToPdf).contains(QStringLiteral("已用预收")), c.credit > 0);
        }
        QVERIFY(pdfText(w->path(QStringLiteral("june0.pdf")))
                    .contains(QStringLiteral("已用预收 500.00 元抵扣")));
        // Every month of 甲 balances; the credit moved from May to June.
        auto account = accountOf(config, jia);
        QCOMPARE(sum(account), qint64(0));
        qint64 may = 0, moved = 0;
        for (const LedgerEntry &e : account) {
            may += e.month == QStringLiteral("2026-05") ? e.amount : 0;
            moved += e.kind == LedgerEntry::CreditUsed && e.month == QStringLiteral("2026-06")
                         ? e.amount
                         : 0;
        }
        QCOMPARE(may, qint64(0));
        QCOMPARE(moved, qint64(-50000));
        // June's receipt voided: May holds the credit again, June is owed.
        QString serial;
        for (const LedgerEntry &e : account)
            if (e.kind == LedgerEntry::Payment && e.month == QStringLiteral("2026-06"))
                serial = e.receiptSerial;
        QVERIFY(mw.session().accounts().voidReceipt(serial, QStringLiteral("打错")));
        account = accountOf(config, jia);
        may = 0;
        for (const LedgerEntry &e : account)
            may += e.month == QStringLiteral("2026-05") ? e.amount : 0;
        QCOMPARE(may, qint64(-50000));
        QCOMPARE(sum(account), qint64(50000));
        // Printed again, the credit pays again.
        a->tableView->setCurrentIndex(a->document()->index(0, 0));
        a->toolButton(QStringLiteral("printSelected"))->click();
        QCOMPARE(w->paymentDue, qint64(50000));
        QCOMPARE(sum(accountOf(config, jia)), qint64(0));
    }

    // A receipt printed while its account could not be written waits on
    // disk with everything the paper says: the credit it used and the
    // month's charges are recorded with it later.
    void receiptWaitingOnDiskKeepsItsAccount()
    {
        prices();
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"}, {child("甲", "1000", "")});
        MainWindow mw(config);
        RosterPage *a = mw.page(0);
        const QString jia = a->document()->record(0).childId;
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        a->tableView->setCurrentIndex(a->document()->index(0, 0));
        w->paymentReceived = QStringLiteral("1500");
        w->questionAnswers = {QMessageBox::Yes};
        a->toolButton(QStringLiteral("printSelected"))->click();
        w->paymentReceived.clear();
        Clock::setFixed(QDateTime(QDate(2026, 6, 2), QTime(9, 0)));
        QVERIFY(mw.session().reload());
        a = mw.page(0);
        QSqlQuery q(mw.session().database().connection());
        // The account reads, but takes no entry.
        QVERIFY(q.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON ledger_entry BEGIN "
                                      "SELECT RAISE(ABORT, 'disk I/O error'); END")));
        a->tableView->setCurrentIndex(a->document()->index(0, 0));
        a->toolButton(QStringLiteral("printSelected"))->click();
        QCOMPARE(w->paymentDue, qint64(50000));
        QVERIFY(w->messages.last().text.contains(QStringLiteral("没有记入收据记录")));
        QCOMPARE(mw.session().journal().pendingJournalCount(), 1);
        QVERIFY(q.exec(QStringLiteral("DROP TRIGGER refuse")));
        QCOMPARE(mw.session().journal().flushPendingJournal(), 0);
        const auto account = accountOf(config, jia);
        QCOMPARE(sum(account), qint64(0));
        qint64 charged = 0, moved = 0;
        for (const LedgerEntry &e : account) {
            charged += e.kind == LedgerEntry::Charge && e.month == QStringLiteral("2026-06")
                           ? e.amount
                           : 0;
            moved += e.kind == LedgerEntry::CreditUsed && e.amount > 0 ? e.amount : 0;
        }
        QCOMPARE(charged, qint64(100000));
        QCOMPARE(moved, qint64(50000));
    }

    // Credit larger than the fees pays all of them; what is left waits for
    // the month after.
    void creditBeyondTheFees()
    {
        Receipt full;
        full.entries[0] = {ReceiptText::childcareLabel(), 100000};
        full.entries[1] = {ReceiptText::accommodationLabel(), 0};
        full.entries[2] = {ReceiptText::encode(QStringLiteral("伙 食 费"), Receipt::LabelBytes),
                           20000};
        full.entryCount = 3;
        full.total = 120000;
        const Receipt all = Ledger::creditedReceipt(full, 500000);
        QCOMPARE(all.total, 0);
        QCOMPARE(all.credit, 120000);
        QCOMPARE(all.entries[0].amount, 0);
        const Receipt some = Ledger::creditedReceipt(full, 110000);
        // The credit pays the lines in the fixed order, as money does: the
        // childcare first, so what is left to pay is on the meals.
        QCOMPARE(some.total, 10000);
        QCOMPARE(some.entries[0].amount, 0);
        QCOMPARE(some.entries[2].amount, 10000);
        QCOMPARE(Ledger::creditedReceipt(full, 0).total, 120000);
        // Credit is taken from the months that hold it, oldest first.
        const auto taken =
            Ledger::takeCredit({{"2026-04", -3000}, {"2026-02", -5000}, {"2026-03", 2000}}, 6000);
        QCOMPARE(taken, (QVector<QPair<QString, qint64>>{{"2026-02", 5000}, {"2026-04", 1000}}));
    }

    void defaultPaymentMethodFromThePanel()
    {
        seedDatabase(w->databasePath(), {"A"}, {child("甲", "1000", "")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        QComboBox *method = mw.configview->paymentCombo();
        QCOMPARE(method->currentText(), QStringLiteral("现金"));
        QCOMPARE(comboItems(method), Ledger::paymentMethods());
        method->setCurrentText(QStringLiteral("银行转账"));
        button(mw.configview, "saveSettings")->click();
        RosterPage *a = mw.page(0);
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        a->tableView->setCurrentIndex(a->document()->index(0, 0));
        a->toolButton(QStringLiteral("printSelected"))->click();
        QCOMPARE(w->paymentPreset, QStringLiteral("银行转账"));
        // A choice made when printing is the panel's next default.
        w->paymentMethod = QStringLiteral("微信");
        a->printReceiptRange(1, 1);
        QCOMPARE(w->paymentDue, qint64(0)); // a range asks for the way only
        MainWindow again(DbConfig::sqlite(w->databasePath()));
        QCOMPARE(again.configview->paymentCombo()->currentText(), QStringLiteral("微信"));
    }

    void refundsHaveTheirOwnSerials_data() { backends_data(); }
    void refundsHaveTheirOwnSerials()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        prices();
        seedDatabase(config, {"A"}, {child("甲", "1000", ""), child("乙", "900", "")});
        MainWindow mw(config);
        RosterPage *a = mw.page(0);
        const QString jia = a->document()->record(0).childId;
        bill(mw);
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        w->paymentMethod = QStringLiteral("微信");
        a->printReceiptRange(1, 2);
        mw.toolAction(QStringLiteral("journal"))->trigger();
        auto *journal = mw.findChild<JournalDialog *>();
        journal->table()->setCurrentIndex(journal->tableModel()->index(0, 0));
        // 100.50 handed back to 甲, with a reason: a refund of its own serial.
        // Paid by WeChat, handed back in cash: the clerk is asked the way.
        w->textAnswers = {QStringLiteral("100.5"), QStringLiteral("多收了")};
        w->paymentMethod = QStringLiteral("现金");
        const int prompts = w->paymentPrompts;
        button(journal, "journalRefund")->click();
        QCOMPARE(w->paymentPrompts, prompts + 1);
        QVERIFY2(journal->totals()->text().contains(QStringLiteral("已记录退款 2026-R000001")),
                 qPrintable(journal->totals()->text()));
        auto account = accountOf(config, jia);
        QCOMPARE(account.last().kind, LedgerEntry::Refund);
        QCOMPARE(account.last().ownSerial, QStringLiteral("2026-R000001"));
        QCOMPARE(account.last().receiptSerial, QStringLiteral("2026-000001"));
        QCOMPARE(account.last().method, QStringLiteral("现金"));
        QCOMPARE(account.last().corrects, account.at(1).id);
        // Listed in 收据记录 with its serial and way, and off the month's takings.
        QCOMPARE(journal->refundTable()->rowCount(), 1 + 1);
        QCOMPARE(journal->refundTable()->item(1, 0)->text(), QStringLiteral("合计"));
        QCOMPARE(journal->refundTable()->item(1, 4)->text(), QStringLiteral("100.50"));
        QCOMPARE(journal->refundTable()->item(0, 0)->text(), QStringLiteral("2026-R000001"));
        QCOMPARE(journal->refundTable()->item(0, 4)->text(), QStringLiteral("100.50"));
        QCOMPARE(journal->refundTable()->item(0, 5)->text(), QStringLiteral("2026-000001"));
        QCOMPARE(journal->refundTable()->item(0, 6)->text(), QStringLiteral("现金"));
        qint64 taken = 0;
        for (const JournalEntry &e : journal->monthEntries())
            taken += e.total;
        QVERIFY2(journal->totals()->text().contains(
                     QStringLiteral("退款 1 笔，合计 100.50 元；本月净收 %1 元")
                         .arg(Journal::yuan(taken - 10050))),
                 qPrintable(journal->totals()->text()));
        w->directoryAnswers << w->path(QString());
        journal->exportMonth();
        const auto refundSheet =
            readWithOpenpyxl(w->path(QStringLiteral("202605收据记录.xlsx")), 2);
        QCOMPARE(refundSheet.size(), 2);
        QCOMPARE(refundSheet.at(1).at(0), QStringLiteral("2026-R000001"));
        QCOMPARE(refundSheet.at(1).at(6), QStringLiteral("现金"));
        QCOMPARE(sum(account), qint64(10050));
        // Never more than was paid and not handed back; never without a reason
        // or with an amount that is not money.
        for (const QStringList &typed :
             {QStringList{"900", "再退"}, QStringList{"10", " "}, QStringList{"1.001", "x"}}) {
            w->textAnswers = typed;
            button(journal, "journalRefund")->click();
        }
        QVERIFY(w->messages.at(0).text.contains(QStringLiteral("最多还能退 899.50 元")));
        QVERIFY(w->messages.at(1).text.contains(QStringLiteral("必须填写原因")));
        QVERIFY(w->messages.at(2).text.contains(QStringLiteral("两位小数")));
        QCOMPARE(sum(accountOf(config, jia)), qint64(10050));
        // The next refund takes the next serial; a voided receipt has none left.
        w->textAnswers = {QStringLiteral("899.50"), QStringLiteral("退学")};
        button(journal, "journalRefund")->click();
        QCOMPARE(accountOf(config, jia).last().ownSerial, QStringLiteral("2026-R000002"));
        QCOMPARE(sum(accountOf(config, jia)), qint64(100000));
        journal->table()->setCurrentIndex(journal->tableModel()->index(1, 0));
        w->textAnswers = {QStringLiteral("写错")};
        button(journal, "journalVoid")->click();
        journal->table()->setCurrentIndex(journal->tableModel()->index(1, 0));
        w->textAnswers = {QStringLiteral("10"), QStringLiteral("x")};
        button(journal, "journalRefund")->click();
        QVERIFY(w->messages.last().text.contains(QStringLiteral("没有可退的款")));
    }

    // 月结: a closed month takes no more charges, payments or voids; money
    // handed back for one of its receipts is booked in the open month,
    // naming it; only a month that is over closes, once.
    void closedMonthTakesNoMoreWrites_data() { backends_data(); }
    void closedMonthTakesNoMoreWrites()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        prices();
        seedDatabase(config, {"A"}, {child("甲", "1000", ""), child("乙", "900", "")});
        MainWindow mw(config);
        RosterPage *a = mw.page(0);
        const QString jia = a->document()->record(0).childId;
        bill(mw);
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        a->printReceiptRange(1, 1);
        // May cannot be closed in May.
        w->questionAnswers = {QMessageBox::Yes};
        QVERIFY(!mw.session().accounts().closeMonth(QStringLiteral("2026-05")));
        QVERIFY(mw.session()
                    .accounts()
                    .closeMonth(QStringLiteral("2026-05"))
                    .text.contains(QStringLiteral("还没有结束")));
        QVERIFY(mw.session()
                    .accounts()
                    .closeMonth(QStringLiteral("2026-13"))
                    .text.contains(QStringLiteral("不是月份")));
        // June: 月结 from the tool bar asks once, says what it locks.
        Clock::setFixed(QDateTime(QDate(2026, 6, 1), QTime(8, 30)));
        w->questionAnswers = {QMessageBox::No};
        mw.toolAction(QStringLiteral("closeMonth"))->trigger();
        // The month's figures first, a button named 月结, the default 取消.
        QVERIFY2(w->questionTexts.last().startsWith(QStringLiteral("2026-05：收据 ")),
                 qPrintable(w->questionTexts.last()));
        QVERIFY(w->questionTexts.last().contains(QStringLiteral("实收")));
        QVERIFY(w->questionTexts.last().contains(QStringLiteral("不能撤销")));
        QCOMPARE(w->confirmActions.last(), QStringLiteral("月结"));
        QCOMPARE(*mw.session().accounts().monthClosing(QStringLiteral("2026-05")), QString());
        w->questionAnswers = {QMessageBox::Yes};
        mw.toolAction(QStringLiteral("closeMonth"))->trigger();
        const QString closed = *mw.session().accounts().monthClosing(QStringLiteral("2026-05"));
        QVERIFY2(closed.contains(QStringLiteral("2026-05 已于 2026-06-01 08:30 月结")),
                 qPrintable(closed));
        // Once: asked again, it says so and asks nothing.
        const int questions = int(w->questionTexts.size());
        mw.toolAction(QStringLiteral("closeMonth"))->trigger();
        QCOMPARE(w->questionTexts.size(), questions);
        QVERIFY(w->messages.last().text.contains(QStringLiteral("已于")));
        // No charges, payments or voids in May any more.
        Database db(config);
        QVERIFY(db.open());
        const WriteResult billed = LedgerStore(db).bill(QStringLiteral("2026-05"), {},
                                                        QStringLiteral("李"), {}, Clock::now());
        QVERIFY(!billed);
        QVERIFY(billed.text.contains(QStringLiteral("不能再生成应收")));
        // A receipt of May written late (a second child of the name, so
        // that it is a payment).
        JournalEntry late = JournalStore(db).entry(QStringLiteral("2026-000001")).value();
        late.serial.clear();
        late.printedAt = QDateTime(QDate(2026, 5, 31), QTime(17, 0));
        late.child = JournalEntry::Child::FirstOfShared;
        late.childId = jia;
        QVector<JournalEntry> entries{late};
        JournalStore journal(db);
        // Its paper is out and its money taken: recorded, the payment
        // booked in the open month, naming May; May itself stays as closed.
        const qint64 mayBefore = *LedgerStore(db).monthTotal(QStringLiteral("2026-05"));
        QVERIFY2(journal.record(entries), qPrintable(journal.errorString()));
        const LedgerEntry latePayment = accountOf(config, jia).last();
        QCOMPARE(latePayment.kind, LedgerEntry::Payment);
        QCOMPARE(latePayment.month, QStringLiteral("2026-06"));
        QVERIFY(latePayment.reason.contains(QStringLiteral("2026-05")));
        QCOMPARE(*LedgerStore(db).monthTotal(QStringLiteral("2026-05")), mayBefore);
        const qint64 before = sum(accountOf(config, jia));
        const WriteResult voided = mw.session().accounts().voidReceipt(
            QStringLiteral("2026-000001"), QStringLiteral("打错"));
        QVERIFY(!voided);
        QVERIFY2(voided.text.contains(QStringLiteral("已月结")), qPrintable(voided.text));
        QCOMPARE(sum(accountOf(config, jia)), before);
        // Money handed back for a May receipt is June's, naming May.
        QVERIFY(mw.session().accounts().refund(QStringLiteral("2026-000001"), QStringLiteral("50"),
                                               QStringLiteral("多收")));
        const LedgerEntry refund = accountOf(config, jia).last();
        QCOMPARE(refund.kind, LedgerEntry::Refund);
        QCOMPARE(refund.month, QStringLiteral("2026-06"));
        QVERIFY(refund.reason.contains(QStringLiteral("已月结的 2026-05")));
        // June goes on: billed and 乙 paid; May's 900.00 stays owed.
        bill(mw);
        a->printReceiptRange(2, 2);
        QCOMPARE(sum(accountOf(config, a->document()->record(1).childId)), qint64(90000));
        QCOMPARE(LedgerStore(db).closings()->size(), 1);
    }

    // The balances kept for 欠费 are the sums of the entries after every
    // kind of write; 月结 refuses a month whose balances were changed behind
    // the program's back, and a database from before the balances gets
    // them from its entries.
    void balancesAreTheSumsOfTheEntries_data() { backends_data(); }
    void balancesAreTheSumsOfTheEntries()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        prices();
        seedDatabase(config, {"A"},
                     {child("甲", "1000", "10"), child("乙", "900", ""), child("丙", "800", "")});
        {
            MainWindow mw(config);
            RosterPage *a = mw.page(0);
            bill(mw);
            w->printToPdf = w->path(QStringLiteral("r.pdf"));
            w->questionAnswers = {QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Yes};
            a->printReceiptRange(1, 3);
            QVERIFY(mw.session().accounts().refund(QStringLiteral("2026-000001"),
                                                   QStringLiteral("50"), QStringLiteral("多收")));
            QVERIFY(mw.session().accounts().voidReceipt(QStringLiteral("2026-000002"),
                                                        QStringLiteral("打错")));
            // Billed again after a change of fees: the difference only.
            a->document()->setText(2, 2, QStringLiteral("850"));
            bill(mw);
        }
        QCOMPARE(balanceMismatches(config), QString());
        // Changed behind the program's back: June will not close May on it.
        {
            Database db(config);
            QVERIFY(db.open());
            QSqlQuery q(db.connection());
            QVERIFY(q.exec(QStringLiteral("UPDATE ledger_balance SET balance_fen = balance_fen "
                                          "+ 1 WHERE month = '2026-05'")));
        }
        QVERIFY(!balanceMismatches(config).isEmpty());
        Clock::setFixed(QDateTime(QDate(2026, 6, 1), QTime(8, 30)));
        {
            MainWindow mw(config);
            const WriteResult closed =
                mw.session().accounts().closeMonth(QStringLiteral("2026-05"));
            QVERIFY(!closed);
            QVERIFY2(closed.text.contains(QStringLiteral("余额与分录之和不符")),
                     qPrintable(closed.text));
            QCOMPARE(*mw.session().accounts().monthClosing(QStringLiteral("2026-05")), QString());
        }
        // As a database from before the balances were kept.
        {
            Database db(config);
            QVERIFY(db.open());
            QSqlQuery q(db.connection());
            if (postgres)
                QVERIFY(q.exec(QStringLiteral("DROP TRIGGER ledger_balance_add ON ledger_entry")));
            QVERIFY(q.exec(QStringLiteral("DROP TABLE ledger_balance")));
        }
        MainWindow mw(config);
        QCOMPARE(balanceMismatches(config), QString());
        QVERIFY(mw.session().accounts().closeMonth(QStringLiteral("2026-05")));
        // And kept from then on.
        bill(mw);
        QCOMPARE(balanceMismatches(config), QString());
    }

    void billingDisturbsNoOtherPC()
    {
        prices();
        seedDatabase(w->databasePath(), {"A"}, {child("甲", "1000", "")});
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        MainWindow pc1(config);
        // A first save stores who the children are.
        pc1.page(0)->document()->setText(0, Roster::Age, QStringLiteral("5"));
        QVERIFY(pc1.onButtonSaveDB());
        MainWindow pc2(config);
        pc2.page(0)->document()->setText(0, Roster::Age, QStringLiteral("6"));
        // PC1 bills while PC2 edits: PC2's save still goes through.
        bill(pc1);
        QCOMPARE(sum(accountOf(config, pc1.page(0)->document()->record(0).childId)),
                 qint64(100000));
        QVERIFY(pc2.onButtonSaveDB());
        QCOMPARE(storedStudents(w->databasePath()).at(0).at(Roster::Age), QStringLiteral("6"));
    }
};

QTEST_MAIN(TestLedger)
#include "test_ledger.moc"
