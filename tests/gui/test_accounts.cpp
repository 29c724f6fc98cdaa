// What a print is comes from the child's account, read inside the
// transaction that records it: a copy takes no money, the rest of a part
// payment is a payment at any PC, a change of fees is charged, a corrected
// name or another PC changes nothing of it, a void reverses only what a
// receipt still holds, and credit pays the lines in the fixed order.
#include "clock.h"
#include "database.h"
#include "journalstore.h"
#include "ledgerstore.h"
#include "mainwindow.h"
#include "officesession.h"
#include "receipt.h"
#include "rosterpage.h"
#include "testsupport.h"

#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <QToolButton>

namespace
{
QStringList child(const QString &name, const QString &tuition, const QString &meals = {},
                  const QString &discount = QStringLiteral("0"))
{
    return {name, "4", tuition, "", meals, "", "", "", "", discount, "李", "否", "A"};
}

QVector<LedgerEntry> accountOf(const DbConfig &config, const QString &childId)
{
    Database db(config);
    if (!db.open())
        return {};
    return LedgerStore(db).entries(childId).value_or(QVector<LedgerEntry>());
}

QVector<JournalEntry> journalOf(const DbConfig &config, const QString &month = "2026-05")
{
    Database db(config);
    if (!db.open())
        return {};
    return JournalStore(db).month(month).value_or(QVector<JournalEntry>());
}

JournalEntry lastReceipt(const DbConfig &config, const QString &month = "2026-05")
{
    const auto list = journalOf(config, month);
    if (list.isEmpty())
        return {};
    Database db(config);
    if (!db.open())
        return {};
    return JournalStore(db).entry(list.last().serial).value_or(JournalEntry());
}

qint64 sum(const QVector<LedgerEntry> &entries, std::optional<LedgerEntry::Kind> kind = {})
{
    qint64 s = 0;
    for (const LedgerEntry &e : entries)
        if (!kind || e.kind == *kind)
            s += e.amount;
    return s;
}

int payments(const QVector<LedgerEntry> &entries)
{
    int n = 0;
    for (const LedgerEntry &e : entries)
        n += e.kind == LedgerEntry::Payment ? 1 : 0;
    return n;
}
} // namespace

class TestAccounts : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

    DbConfig backend(bool postgres)
    {
        return postgres ? freshPostgres() : DbConfig::sqlite(w->databasePath());
    }
    void prices(const QString &discount = QStringLiteral("0.9"))
    {
        w->setSetting(QStringLiteral("a"), discount);
        w->setSetting(QStringLiteral("b"), QStringLiteral("100.6"));
        for (const char *k : {"c", "d", "e", "f"})
            w->setSetting(QLatin1String(k), QStringLiteral("10"));
    }
    void print(RosterPage *page, int row)
    {
        page->tableView->setCurrentIndex(page->document()->index(row, 0));
        page->toolButton(QStringLiteral("printSelected"))->click();
    }

private slots:
    void init()
    {
        w = new TestWorld;
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
    }
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

    // A child paid up prints a copy: no money is asked, whatever would
    // have been typed, and the copy is the receipt it copies.
    void copyTakesNoMoney()
    {
        prices();
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"}, {child("甲", "1000")});
        MainWindow mw(config);
        RosterPage *a = mw.page(0);
        const QString jia = a->document()->record(0).childId;
        print(a, 0);
        QCOMPARE(w->paymentPrompts, 1);
        w->paymentReceived = QStringLiteral("300");
        print(a, 0);
        QCOMPARE(w->paymentPrompts, 1);
        const JournalEntry copy = lastReceipt(config);
        QVERIFY(copy.isReprint());
        QCOMPARE(copy.total, qint64(100000));
        QCOMPARE(copy.amounts[0], qint64(100000));
        QCOMPARE(payments(accountOf(config, jia)), 1);
        QCOMPARE(sum(accountOf(config, jia)), qint64(0));
        QVERIFY(pdfText(w->printToPdf).contains(QStringLiteral("1000.00")));
    }

    // The rest of a part payment, taken at another PC that never saw the
    // first receipt's mark, is a receipt of what is owed.
    void restAtAnotherPC_data() { backends_data(); }
    void restAtAnotherPC()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        prices();
        seedDatabase(config, {"A"}, {child("甲", "1000")});
        MainWindow pcA(config), pcB(config);
        const QString jia = pcA.page(0)->document()->record(0).childId;
        w->paymentReceived = QStringLiteral("600");
        print(pcA.page(0), 0);
        QCOMPARE(sum(accountOf(config, jia)), qint64(40000));
        w->paymentReceived.clear();
        print(pcB.page(0), 0);
        QCOMPARE(w->paymentDue, qint64(40000));
        const JournalEntry rest = lastReceipt(config);
        QVERIFY(!rest.isReprint());
        QCOMPARE(rest.total, qint64(40000));
        QCOMPARE(sum(accountOf(config, jia)), qint64(0));
        QCOMPARE(payments(accountOf(config, jia)), 2);
    }

    // Fees raised after the receipt: the next print is a receipt of the
    // difference, charged and paid; fees changed back after that are a copy.
    void changedFeesAreCharged()
    {
        prices();
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"}, {child("甲", "1200")});
        MainWindow mw(config);
        RosterPage *a = mw.page(0);
        const QString jia = a->document()->record(0).childId;
        print(a, 0);
        a->document()->setText(0, Roster::Tuition, QStringLiteral("1400"));
        print(a, 0);
        QCOMPARE(w->paymentDue, qint64(20000));
        const JournalEntry diff = lastReceipt(config);
        QVERIFY(!diff.isReprint());
        QCOMPARE(diff.total, qint64(20000));
        QCOMPARE(diff.amounts[0], qint64(20000));
        const auto account = accountOf(config, jia);
        QCOMPARE(sum(account, LedgerEntry::Charge) + sum(account, LedgerEntry::Adjustment),
                 qint64(140000));
        QCOMPARE(sum(account), qint64(0));
        print(a, 0);
        QVERIFY(lastReceipt(config).isReprint());
        QCOMPARE(sum(accountOf(config, jia)), qint64(0));
    }

    // The child's identity keys its account: a corrected name, or a
    // child moved to another class, is the same child, paid once.
    void sameChildUnderAnotherNameOrClass_data()
    {
        QTest::addColumn<bool>("moved");
        QTest::newRow("name corrected") << false;
        QTest::newRow("moved to another class") << true;
    }
    void sameChildUnderAnotherNameOrClass()
    {
        QFETCH(bool, moved);
        prices();
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A", "B"}, {child("甲", "1000")});
        {
            MainWindow mw(config);
            RosterPage *a = mw.page(0);
            print(a, 0);
            if (moved)
                a->document()->moveToClass({0}, QStringLiteral("B"));
            else
                a->document()->setText(0, Roster::Name, QStringLiteral("甲甲"));
            mw.toolAction(QStringLiteral("saveDatabase"))->trigger();
        }
        MainWindow mw(config);
        RosterPage *page = mw.page(moved ? 1 : 0);
        QCOMPARE(page->document()->size(), 1);
        const QString id = page->document()->record(0).childId;
        const int prompts = w->paymentPrompts;
        print(page, 0);
        QCOMPARE(w->paymentPrompts, prompts);
        QVERIFY(lastReceipt(config).isReprint());
        QCOMPARE(payments(accountOf(config, id)), 1);
        QCOMPARE(sum(accountOf(config, id)), qint64(0));
    }

    // Four PCs print one child at once: one first receipt; the other three
    // are told before any paper comes out, and nothing of theirs is booked.
    void fourPCsPrintOneChild_data() { backends_data(); }
    void fourPCsPrintOneChild()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        prices();
        seedDatabase(config, {"A"}, {child("甲", "1000")});
        std::vector<std::unique_ptr<MainWindow>> pcs;
        for (int i = 0; i < 4; ++i)
            pcs.push_back(std::make_unique<MainWindow>(config));
        const QString jia = pcs[0]->page(0)->document()->record(0).childId;
        // Each PC's payment prompt is open while the next PC prints.
        std::function<void(int)> at = [&](int i) {
            if (i + 1 < 4)
                w->duringPayment = [&, i] { at(i + 1); };
            print(pcs[size_t(i)]->page(0), 0);
        };
        const int dialogs = w->printDialogs;
        at(0);
        QCOMPARE(w->paymentPrompts, 4);
        QCOMPARE(journalOf(config).size(), 1);
        QVERIFY(!journalOf(config).first().isReprint());
        QCOMPARE(w->printDialogs - dialogs, 4);
        QCOMPARE(pdfPageCount(w->printToPdf), 1);
        const auto account = accountOf(config, jia);
        QCOMPARE(payments(account), 1);
        QCOMPARE(sum(account), qint64(0));
        int told = 0;
        for (const auto &m : std::as_const(w->messages))
            told += m.text.contains(QStringLiteral("另一台电脑")) ? 1 : 0;
        QCOMPARE(told, 3);
    }

    // Pay 1000, hand back 100, then void: the void takes back the 900 the
    // receipt still holds; the child owes the 1000 it is charged.
    void voidAfterRefund_data() { backends_data(); }
    void voidAfterRefund()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        prices();
        seedDatabase(config, {"A"}, {child("甲", "1000")});
        MainWindow mw(config);
        const QString jia = mw.page(0)->document()->record(0).childId;
        print(mw.page(0), 0);
        const QString serial = journalOf(config).last().serial;
        QVERIFY(mw.session().accounts().refund(serial, QStringLiteral("100"),
                                               QStringLiteral("多收了")));
        QVERIFY(mw.session().accounts().voidReceipt(serial, QStringLiteral("打错")));
        const auto account = accountOf(config, jia);
        QCOMPARE(sum(account), qint64(100000));
        QCOMPARE(sum(account, LedgerEntry::Void), qint64(90000));
        // Printed again, it is a first receipt of the whole fees.
        print(mw.page(0), 0);
        QCOMPARE(w->paymentDue, qint64(100000));
        QCOMPARE(sum(accountOf(config, jia)), qint64(0));
    }

    // Credit from an earlier month pays the lines in the fixed order, as
    // money does: the childcare first, the meals after it.
    void creditPaysInTheFixedOrder()
    {
        prices();
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"}, {child("甲", "1000", "10")});
        MainWindow mw(config);
        RosterPage *a = mw.page(0);
        w->paymentReceived = QStringLiteral("1600");
        w->questionAnswers = {QMessageBox::Yes};
        print(a, 0);
        w->paymentReceived.clear();
        Clock::setFixed(QDateTime(QDate(2026, 6, 2), QTime(9, 0)));
        QVERIFY(mw.session().reload());
        a = mw.page(0);
        print(a, 0);
        QCOMPARE(w->paymentDue, qint64(60000));
        const JournalEntry june = lastReceipt(config, QStringLiteral("2026-06"));
        QCOMPARE(june.credit, qint64(50000));
        QCOMPARE(june.amounts[0], qint64(50000));
        QCOMPARE(june.amounts[2], qint64(10000));
        QCOMPARE(june.total, qint64(60000));
    }

    // Children stored before identities were kept get one identity, from
    // the database, whichever PC opens first.
    void oneIdentityForEveryPC()
    {
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"}, {child("甲", "1000"), child("乙", "900")});
        MainWindow pcA(config), pcB(config);
        for (int r = 0; r < 2; ++r) {
            QVERIFY(!pcA.page(0)->document()->record(r).childId.isEmpty());
            QCOMPARE(pcB.page(0)->document()->record(r).childId,
                     pcA.page(0)->document()->record(r).childId);
        }
    }

    // Discounted amounts at exactly a half keep it, as decimal arithmetic
    // gives them.
    void discountedHalvesAreKept_data()
    {
        QTest::addColumn<QString>("discount");
        QTest::addColumn<QString>("tuition");
        QTest::addColumn<QString>("meals");
        QTest::addColumn<qint64>("tuitionFen");
        QTest::addColumn<qint64>("mealFen");
        QTest::newRow("1350 × 0.65") << "0.65"
                                     << "1350"
                                     << "" << qint64(87800) << qint64(0);
        QTest::newRow("450 × 0.35") << "0.35"
                                    << "450"
                                    << "" << qint64(15800) << qint64(0);
        QTest::newRow("meals 3 × 10 × 0.85") << "0.85"
                                             << ""
                                             << "3" << qint64(0) << qint64(2600);
        QTest::newRow("no half: 1000 × 0.9") << "0.9"
                                             << "1000"
                                             << "" << qint64(90000) << qint64(0);
    }
    void discountedHalvesAreKept()
    {
        QFETCH(QString, discount);
        QFETCH(QString, tuition);
        QFETCH(QString, meals);
        QFETCH(qint64, tuitionFen);
        QFETCH(qint64, mealFen);
        FeeMirror fees;
        fees.feePrices[Fees::DiscountFactor] = discount.toFloat();
        fees.feePrices[Fees::MealPrice] = 10.0f;
        fees.discountSet = true;
        Roster::Cells row;
        row[Roster::Name] = QStringLiteral("甲");
        row[Roster::Tuition] = tuition;
        if (!meals.isEmpty())
            row[Roster::Meals] = meals;
        row[Roster::Discount] = QStringLiteral("1");
        const std::array<qint64, 6> fen = receiptAmounts(row, fees);
        QCOMPARE(fen[0], tuitionFen);
        QCOMPARE(fen[2], mealFen);
    }

    // Text no database keeps never strands a receipt: the transaction
    // number is cleaned before it is recorded; money beyond reason is
    // refused before any paper comes out.
    void badTextAndAbsurdAmounts_data() { backends_data(); }
    void badTextAndAbsurdAmounts()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        prices();
        seedDatabase(config, {"A"}, {child("甲", "1200"), child("乙", "1000")});
        MainWindow mw(config);
        RosterPage *a = mw.page(0);
        const QString yi = a->document()->record(1).childId;
        w->paymentReference = QStringLiteral("42000") + QChar(0) + QStringLiteral("01\x01");
        print(a, 0);
        QCOMPARE(mw.session().journal().pendingJournalCount(), 0);
        QCOMPARE(journalOf(config).size(), 1);
        w->paymentReference.clear();
        w->paymentReceived = QStringLiteral("999999999");
        w->questionAnswers = {QMessageBox::Yes};
        const int dialogs = w->printDialogs;
        print(a, 1);
        QCOMPARE(w->printDialogs, dialogs);
        QVERIFY(w->messages.last().text.contains(QStringLiteral("十倍")));
        QCOMPARE(journalOf(config).size(), 1);
        QCOMPARE(sum(accountOf(config, yi)), qint64(0));
    }
    // Receipts printed in a copy kept while the server was away are
    // journalled and booked at its upload, numbered by the server: no
    // serial of the copy's own meets one the server gave another receipt.
    void keptCopyReceiptsReachTheBooks()
    {
        prices();
        w->setSetting(QStringLiteral("database/path"), w->databasePath());
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"}, {child("甲", "1000"), child("乙", "1000")});
        QString kept;
        QString jia;
        {
            MainWindow mw(config);
            jia = mw.page(0)->document()->record(0).childId;
            print(mw.page(0), 1);
            WriteResult error;
            kept = mw.session().keepLocalCopy(&error);
            QVERIFY2(!kept.isEmpty(), qPrintable(error.oneLine()));
        }
        {
            MainWindow copy(DbConfig::sqlite(kept));
            print(copy.page(0), 0);
            OfficeSession::UploadReport done;
            QVERIFY(copy.session().upload([](const QString &, const QString &) { return true; },
                                          &done));
            QCOMPARE(done.receipts, 1);
        }
        const auto month = journalOf(config);
        QCOMPARE(month.size(), 2);
        QVERIFY(month.at(0).serial != month.at(1).serial);
        QCOMPARE(month.at(1).name, QStringLiteral("甲"));
        QCOMPARE(payments(accountOf(config, jia)), 1);
        QCOMPARE(sum(accountOf(config, jia)), qint64(0));
    }
    // Two windows on one database keep their waiting receipts apart: none
    // is lost, none recorded by the other window as well. A window that
    // ended with receipts still waiting leaves them to the next one.
    void waitingReceiptsPerWindow()
    {
        prices();
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"},
                     {child("甲", "1000"), child("乙", "1000"), child("丙", "1000")});
        auto refuse = [&](bool on) {
            Database db(config);
            QVERIFY(db.open());
            QSqlQuery q(db.connection());
            QVERIFY(q.exec(on ? QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON "
                                               "receipt_journal BEGIN SELECT RAISE(ABORT, 'disk "
                                               "I/O error'); END")
                              : QStringLiteral("DROP TRIGGER refuse")));
        };
        {
            MainWindow pcA(config), pcB(config);
            refuse(true);
            print(pcA.page(0), 0);
            print(pcB.page(0), 1);
            QCOMPARE(pcA.session().journal().pendingJournalCount(), 1);
            QCOMPARE(pcB.session().journal().pendingJournalCount(), 1);
            refuse(false);
            QCOMPARE(pcA.session().journal().flushPendingJournal(), 0);
            QCOMPARE(journalOf(config).size(), 1);
            QCOMPARE(journalOf(config).at(0).name, QStringLiteral("甲"));
            QCOMPARE(pcB.session().journal().flushPendingJournal(), 0);
            QCOMPARE(journalOf(config).size(), 2);
            refuse(true);
            print(pcB.page(0), 2);
            QCOMPARE(pcB.session().journal().pendingJournalCount(), 1);
        }
        refuse(false);
        MainWindow next(config);
        QCOMPARE(next.session().journal().pendingJournalCount(), 0);
        const auto month = journalOf(config);
        QCOMPARE(month.size(), 3);
        QCOMPARE(month.at(2).name, QStringLiteral("丙"));
        QSet<QString> serials;
        for (const JournalEntry &e : month)
            serials.insert(e.serial);
        QCOMPARE(serials.size(), 3);
    }

    // A window killed while its pages went out: the receipt and its payment
    // are on record, and the next start names them for the clerk to
    // confirm, or to mark unprinted, which takes the payment back.
    void interruptedPrintsAreNamed_data()
    {
        QTest::addColumn<bool>("paperCameOut");
        QTest::newRow("paper out") << true;
        QTest::newRow("no paper") << false;
    }
    void interruptedPrintsAreNamed()
    {
        QFETCH(bool, paperCameOut);
        prices();
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"}, {child("甲", "1000")});
        QString jia;
        {
            OfficeSession killed(config);
            QVERIFY(killed.open());
            RosterDocument *doc = killed.documents().first();
            jia = doc->record(0).childId;
            JournalEntry e;
            e.printedAt = Clock::now();
            e.className = QStringLiteral("A");
            e.name = QStringLiteral("甲");
            e.childId = jia;
            e.labels[0] = QStringLiteral("保 教 费");
            e.amounts[0] = 100000;
            e.total = 100000;
            QVector<JournalEntry> entries{e};
            QVERIFY(killed.journal().recordReceipts(entries));
            // The pages go out and the program never hears the job end.
            killed.journal().printingReceipts(entries);
        }
        QCOMPARE(sum(accountOf(config, jia)), qint64(-100000));
        w->questionAnswers = {paperCameOut ? QMessageBox::Yes : QMessageBox::No};
        const int asked = w->questions;
        {
            MainWindow next(config);
            QCOMPARE(w->questions, asked + 1);
            QVERIFY(w->questionTexts.last().contains(QStringLiteral("2026-000001 甲")));
        }
        QCOMPARE(sum(accountOf(config, jia)), paperCameOut ? qint64(-100000) : qint64(0));
        Database db(config);
        QVERIFY(db.open());
        QSqlQuery q(db.connection());
        QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM receipt_unprinted")) && q.next());
        QCOMPARE(q.value(0).toInt(), paperCameOut ? 0 : 1);
        // Answered once.
        MainWindow again(config);
        QCOMPARE(w->questions, asked + 1);
    }
    // A receipt printed while the database was away, its month closed by
    // another PC meanwhile: paper and money are out, so it is recorded,
    // and its payment is booked in the open month, naming its own. It
    // waits for nothing.
    void waitingReceiptOfAClosedMonth()
    {
        prices();
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"}, {child("甲", "1000")});
        MainWindow pcA(config);
        const QString jia = pcA.page(0)->document()->record(0).childId;
        {
            Database db(config);
            QVERIFY(db.open());
            QSqlQuery q(db.connection());
            QVERIFY(q.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON receipt_journal "
                                          "BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END")));
        }
        print(pcA.page(0), 0);
        QCOMPARE(pcA.session().journal().pendingJournalCount(), 1);
        Clock::setFixed(QDateTime(QDate(2026, 6, 2), QTime(9, 0)));
        {
            OfficeSession pcB(config);
            QVERIFY(pcB.open());
            QVERIFY(pcB.accounts().closeMonth(QStringLiteral("2026-05")));
            Database db(config);
            QVERIFY(db.open());
            QSqlQuery q(db.connection());
            QVERIFY(q.exec(QStringLiteral("DROP TRIGGER refuse")));
        }
        QCOMPARE(pcA.session().journal().flushPendingJournal(), 0);
        QCOMPARE(journalOf(config).size(), 1);
        const auto account = accountOf(config, jia);
        QCOMPARE(payments(account), 1);
        for (const LedgerEntry &e : account)
            if (e.kind == LedgerEntry::Payment) {
                QCOMPARE(e.month, QStringLiteral("2026-06"));
                QVERIFY(e.reason.contains(QStringLiteral("2026-05")));
            }
        QCOMPARE(sum(account), qint64(0));
    }
    // A child with four further fees prints on two forms, each a receipt
    // of the journal paid by one payment: every fee charged is collected,
    // a part payment's rest carries on over both, a copy copies both and
    // a void of either form takes both back.
    void everyFeeIsCollected_data() { backends_data(); }
    void everyFeeIsCollected()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = backend(postgres);
        prices();
        // 1000 + meals 10 × 10 + bedding, bus and insurance 10 each.
        seedDatabase(config, {"A"},
                     {{"甲", "4", "1000", "", "10", "1", "1", "1", "", "0", "李", "否", "A"}});
        MainWindow mw(config);
        RosterPage *a = mw.page(0);
        const QString jia = a->document()->record(0).childId;
        w->questionAnswer = QMessageBox::Yes;
        print(a, 0);
        QCOMPARE(w->paymentDue, qint64(113000));
        QVERIFY(w->questionTexts.join(QLatin1Char('\n')).contains(QStringLiteral("两张收据")));
        QCOMPARE(pdfPageCount(w->printToPdf), 2);
        QVERIFY(pdfText(w->printToPdf).contains(QStringLiteral("校车接送费")));
        auto list = journalOf(config);
        QCOMPARE(list.size(), 2);
        QCOMPARE(list[0].total + list[1].total, qint64(113000));
        QCOMPARE(list[1].total, qint64(2000));
        auto account = accountOf(config, jia);
        QCOMPARE(payments(account), 1);
        QCOMPARE(sum(account, LedgerEntry::Payment), qint64(-113000));
        QCOMPARE(sum(account), qint64(0));
        // Either serial reads the whole receipt.
        {
            Database db(config);
            QVERIFY(db.open());
            const auto whole = JournalStore(db).entry(list[1].serial);
            QVERIFY(whole);
            QCOMPARE(whole->serial, list[0].serial);
            QCOMPARE(whole->total, qint64(113000));
            QCOMPARE(whole->secondForm, list[1].serial);
        }
        // The day's closing takes the second form for fees, not credit.
        const auto day = mw.session().reports().dayReport(Clock::now().date(), QString());
        QVERIFY(day);
        QCOMPARE(day->received, qint64(113000));
        QVERIFY(!day->byItem.contains(QStringLiteral("预收")));
        QCOMPARE(day->byItem.value(QStringLiteral("校车接送费")), qint64(1000));

        // Paid up: a copy of both forms, no money.
        print(a, 0);
        list = journalOf(config);
        QCOMPARE(list.size(), 4);
        QCOMPARE(list[2].reprintOf, list[0].serial);
        QCOMPARE(list[3].reprintOf, list[1].serial);
        QCOMPARE(pdfPageCount(w->printToPdf), 2);
        QCOMPARE(sum(accountOf(config, jia)), qint64(0));

        // Voiding the second form takes the receipt, its copy and the
        // payment back.
        QVERIFY(mw.session().accounts().voidReceipt(list[1].serial, QStringLiteral("打错")));
        list = journalOf(config);
        for (const JournalEntry &e : std::as_const(list))
            QVERIFY2(e.voided, qPrintable(e.serial));
        QCOMPARE(sum(accountOf(config, jia)), qint64(113000));

        // A part payment pays the fixed order; its rest carries on over
        // the further fees, on two forms again.
        w->paymentReceived = QStringLiteral("1050");
        print(a, 0);
        QCOMPARE(journalOf(config).size(), 5);
        QCOMPARE(sum(accountOf(config, jia)), qint64(8000));
        w->paymentReceived.clear();
        print(a, 0);
        QCOMPARE(w->paymentDue, qint64(8000));
        list = journalOf(config);
        QCOMPARE(list.size(), 7);
        QCOMPARE(list[5].total + list[6].total, qint64(8000));
        QCOMPARE(list[6].total, qint64(2000));
        QCOMPARE(sum(accountOf(config, jia)), qint64(0));
    }

    // A child moved to another class owes there: 欠费 lists it under its
    // class now, and 月报 counts what it still owes in that class.
    void debtFollowsTheChild()
    {
        prices();
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A", "B"}, {child("甲", "1000"), child("乙", "1000")});
        {
            MainWindow mw(config);
            QVERIFY(mw.session()
                        .accounts()
                        .billMonth({QStringLiteral("A"), QStringLiteral("B")})
                        .result);
            mw.page(0)->document()->moveToClass({0}, QStringLiteral("B"));
            mw.toolAction(QStringLiteral("saveDatabase"))->trigger();
        }
        OfficeSession s(config);
        QVERIFY(s.open());
        const auto owing = s.reports().arrears();
        QVERIFY(owing);
        QCOMPARE(owing->size(), 2);
        QHash<QString, QString> classOf;
        for (const Ledger::Owing &o : *owing)
            classOf.insert(o.childName, o.className);
        QCOMPARE(classOf.value(QStringLiteral("甲")), QStringLiteral("B"));
        QCOMPARE(classOf.value(QStringLiteral("乙")), QStringLiteral("A"));
        const auto report = s.reports().monthReport(QStringLiteral("2026-05"));
        QVERIFY(report);
        QVERIFY(report->byClass.value(QStringLiteral("B")).owed > 0);
        QCOMPARE(report->byClass.value(QStringLiteral("B")).owed,
                 report->byClass.value(QStringLiteral("A")).owed);
        QCOMPARE(report->all.owed, 2 * report->byClass.value(QStringLiteral("A")).owed);
    }
};

QTEST_MAIN(TestAccounts)
#include "test_accounts.moc"
