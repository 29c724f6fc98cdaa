// The windows across reloads and other PCs' saves: nothing acts on a roster
// that was replaced, receipts the journal did not take are never lost, and
// a receipt marks exactly the child it was printed for.
#include "database.h"
#include "journaldialog.h"
#include "journalstore.h"
#include "mainwindow.h"
#include "officesession.h"
#include "queryresults.h"
#include "querywindow.h"
#include "rosterpage.h"
#include "rostersync.h"
#include "testsupport.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QPrinter>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

namespace
{
QStringList child(const QString &name, const QString &cls, const QString &tuition = "1500")
{
    return {name, "4", tuition, "", "", "", "", "", "", "", "李", "否", cls};
}

QVector<JournalEntry> journalOf(const DbConfig &config)
{
    Database db(config);
    if (!db.open())
        return {};
    return JournalStore(db).month(QStringLiteral("2026-05")).value_or(QVector<JournalEntry>());
}

void printFromQuery(MainWindow &mw, const QString &name, int row)
{
    mw.selectEdit->setText(name);
    mw.onButtonSelect();
    QTableView *table = mw.selectWidget->tableView();
    table->setCurrentIndex(mw.selectWidget->results()->index(row, 0));
    mw.selectWidget->printSelectedReceipt();
}
} // namespace

class TestReload : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;
    DbConfig config() const { return DbConfig::sqlite(w->databasePath()); }

private slots:
    void init() { w = new TestWorld; }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    void queryAndJournalWindowAcrossAReload()
    {
        seedDatabase(config(), {"A"}, {child("甲", "A"), child("乙", "A")});
        MainWindow pc1(config()), pc2(config());
        // The journal window stays open across the reload.
        pc2.toolAction(QStringLiteral("journal"))->trigger();
        auto *journal = pc2.findChild<JournalDialog *>();
        QVERIFY(journal);
        pc2.selectEdit->setText(QStringLiteral("甲"));
        pc2.onButtonSelect();
        pc1.page(0)->addRow();
        QVERIFY(pc1.onButtonSaveDB());
        // pc2 is refused and reloads.
        pc2.page(0)->document()->setText(0, Roster::Age, QStringLiteral("5"));
        w->questionAnswer = QMessageBox::Yes;
        QVERIFY(!pc2.onButtonSaveDB());
        QCOMPARE(w->questions, 1);
        QCOMPARE(pc2.page(0)->document()->size(), 3);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // Printing from the query result after the reload: the receipt is
        // journaled and marks the child on the roster as it now is.
        w->printToPdf = w->path(QStringLiteral("q.pdf"));
        QCOMPARE(pc2.selectWidget->results()->rowCount(), 1);
        pc2.selectWidget->tableView()->setCurrentIndex(pc2.selectWidget->results()->index(0, 0));
        pc2.selectWidget->printSelectedReceipt();
        QCOMPARE(cell(*pc2.page(0), 0, Roster::PrintStatus), QStringLiteral("05已打印"));
        QCOMPARE(journalOf(config()).size(), 1);
        // And the journal window still reads and prints.
        QVERIFY(journal->showMonth(QDate(2026, 5, 1)));
        QCOMPARE(journal->tableModel()->entries().size(), qsizetype(1));
        journal->table()->setCurrentIndex(journal->tableModel()->index(0, 0));
        journal->reprintSelected();
        QCOMPARE(journalOf(config()).size(), 2);
        QVERIFY(w->messages.isEmpty());
    }

    void unjournaledReceiptsSurvive_data()
    {
        QTest::addColumn<QString>("after");
        QTest::newRow("reload") << QStringLiteral("reload");
        QTest::newRow("discard at closing") << QStringLiteral("discard");
        QTest::newRow("closing with nothing to save") << QStringLiteral("nothing");
        QTest::newRow("local copy at closing") << QStringLiteral("copy");
    }
    void unjournaledReceiptsSurvive()
    {
        QFETCH(QString, after);
        seedDatabase(config(), {"A"}, {child("甲", "A")});
        {
            MainWindow mw(config());
            QSqlQuery q(mw.session().database().connection());
            QVERIFY(q.exec(QStringLiteral("ALTER TABLE receipt_journal RENAME TO journal_away")));
            w->printToPdf = w->path(QStringLiteral("r.pdf"));
            mw.page(0)->printReceiptRange(1, 1);
            QCOMPARE(w->messages.size(), 1);
            QVERIFY(w->messages.at(0).text.contains(QStringLiteral("没有记入收据记录")));
            QCOMPARE(mw.session().journal().pendingJournalCount(), 1);
            if (after == QLatin1String("reload")) {
                QVERIFY(mw.session().reload());
                QCOMPARE(mw.session().journal().pendingJournalCount(), 1);
            } else if (after == QLatin1String("nothing")) {
                // The mark is saved first; closing has nothing more to save.
                w->questionAnswer = QMessageBox::Discard;
                mw.session().document(QStringLiteral("A"))->markSaved();
            } else if (after == QLatin1String("discard")) {
                w->questionAnswer = QMessageBox::Discard;
            } else {
                QFile::rename(w->databasePath(), w->path(QStringLiteral("away.sqlite")));
                w->questionAnswers = {QMessageBox::Save, QMessageBox::Yes};
            }
            QCloseEvent close;
            QCoreApplication::sendEvent(&mw, &close);
            QVERIFY(close.isAccepted());
            // The day's copy at closing fails on a database without its
            // journal (or moved away): said last, after what closing said.
            QVERIFY(w->messages.last().text.contains(QStringLiteral("自动备份失败")));
            const TestWorld::Message said = w->messages.at(w->messages.size() - 2);
            if (after == QLatin1String("copy")) {
                QFile::rename(w->path(QStringLiteral("away.sqlite")), w->databasePath());
                // The receipt went into the copy, and closing said so.
                QVERIFY(said.text.startsWith(QStringLiteral("花名册已另存")));
                QVERIFY(said.informative.contains(QStringLiteral("1 张已打印收据")));
                QCOMPARE(mw.session().journal().pendingJournalCount(), 0);
            } else {
                // Still not in the journal: the program said so at closing.
                QVERIFY(said.text.contains(QStringLiteral("仍未记入收据记录")));
            }
            QSqlQuery back(mw.session().database().connection());
            if (after != QLatin1String("copy"))
                QVERIFY(back.exec(
                    QStringLiteral("ALTER TABLE journal_away RENAME TO receipt_journal")));
        }
        if (after == QLatin1String("copy")) {
            Database db(config());
            QVERIFY(db.open());
            QSqlQuery q(db.connection());
            QVERIFY(q.exec(QStringLiteral("DROP TABLE receipt_journal")));
            QVERIFY(q.exec(QStringLiteral("ALTER TABLE journal_away RENAME TO receipt_journal")));
        }
        if (after == QLatin1String("copy")) {
            // Not at the next start: with the copy's upload, once.
            MainWindow again(config());
            QVERIFY(journalOf(config()).isEmpty());
            const QString kept = QDir(RosterSync::keptCopyFolder())
                                     .entryInfoList({QStringLiteral("*.sqlite")})
                                     .value(0)
                                     .filePath();
            w->setSetting(QStringLiteral("database/path"), w->databasePath());
            MainWindow copy(DbConfig::sqlite(kept));
            w->questionAnswers = {QMessageBox::Yes};
            copy.toolAction(QStringLiteral("uploadToServer"))->trigger();
            QCOMPARE(journalOf(config()).size(), 1);
            copy.toolAction(QStringLiteral("uploadToServer"))->trigger();
            QCOMPARE(journalOf(config()).size(), 1);
        }
        // The next start writes it.
        MainWindow again(config());
        const auto entries = journalOf(config());
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.at(0).name, QStringLiteral("甲"));
        QCOMPARE(entries.at(0).total, 150000);
        QCOMPARE(again.session().journal().pendingJournalCount(), 0);
    }

    void reloadWhileThePrintDialogIsOpen()
    {
        seedDatabase(config(), {"A"}, {child("甲", "A"), child("乙", "A")});
        MainWindow pc1(config()), pc2(config());
        RosterPage *a = pc1.page(0);
        a->tableView->setCurrentIndex(a->document()->index(0, 0));
        // While the dialog is open another PC puts a new child first and
        // saves; this PC's unchanged roster reloads.
        Prompts &prompts = Prompts::current();
        const auto answer = prompts.printDialog;
        bool savedElsewhere = false;
        prompts.printDialog = [&](QPrinter *printer, QWidget *parent) -> bool {
            RosterDocument *other = pc2.page(0)->document();
            other->removeRows({0});
            savedElsewhere = pc2.onButtonSaveDB();
            pc1.session().checkForSaves();
            return answer(printer, parent);
        };
        w->printToPdf = w->path(QStringLiteral("stale.pdf"));
        a->printSelectedReceipt();
        prompts.printDialog = answer;
        QVERIFY(savedElsewhere);
        QCOMPARE(a->document()->size(), 1);
        // Nobody is marked for a receipt printed for someone else.
        QCOMPARE(cell(*a, 0, Roster::Name), QStringLiteral("乙"));
        QCOMPARE(cell(*a, 0, Roster::PrintStatus), QStringLiteral("否"));
        QVERIFY(!QFile::exists(w->printToPdf));
        QVERIFY(journalOf(config()).isEmpty());
        QCOMPARE(w->messages.size(), 1);
        QVERIFY(w->messages.at(0).text.contains(QStringLiteral("甲")));
        QVERIFY(w->messages.at(0).text.contains(QStringLiteral("没有打印")));
    }

    void absentTuitionIsTheSameEverywhere()
    {
        w->setSetting(QStringLiteral("b"), QStringLiteral("300"));
        w->setSetting(QStringLiteral("bjcombox"), QStringLiteral("1000,"));
        seedDatabase(config(), {"A"}, {});
        {
            MainWindow mw(config());
            RosterDocument *a = mw.page(0)->document();
            a->addRow();
            a->setText(0, Roster::Name, QStringLiteral("甲"));
            a->setText(0, Roster::Accommodation, QStringLiteral("1"));
            // No tuition cell: no tuition, on the page ...
            QCOMPARE(cell(*a, 0, Roster::Total), QStringLiteral("300"));
            // ... on a receipt from the query ...
            w->printToPdf = w->path(QStringLiteral("q.pdf"));
            printFromQuery(mw, QStringLiteral("甲"), 0);
            QCOMPARE(journalOf(config()).value(0).total, 30000);
            QVERIFY(mw.onButtonSaveDB());
        }
        // ... and after a restart.
        MainWindow again(config());
        QCOMPARE(cell(*again.page(0), 0, Roster::Total), QStringLiteral("300"));
        QCOMPARE(cell(*again.page(0), 0, Roster::Tuition), QStringLiteral("<absent>"));
    }

    void laterRefusalNamesItsOwnCause()
    {
        seedDatabase(config(), {"A"}, {child("甲", "A")});
        MainWindow pc1(config()), pc2(config());
        pc1.page(0)->addRow();
        QVERIFY(pc1.onButtonSaveDB());
        pc1.addclassEdit->setText(QStringLiteral("X"));
        pc1.onButtonAddclassOK();
        // pc2's save is refused, naming class A; it keeps its roster.
        pc2.page(0)->addRow();
        w->questionAnswer = QMessageBox::Cancel;
        QVERIFY(!pc2.onButtonSaveDB());
        QVERIFY(w->questionTexts.last().contains(QStringLiteral("班级“A”")));
        // Its stale class list takes the other PC's class in: nothing is
        // asked, and no earlier refusal is repeated.
        pc2.addclassEdit->setText(QStringLiteral("Y"));
        pc2.onButtonAddclassOK();
        QCOMPARE(w->questions, 1);
        QCOMPARE(storedClasses(config()), (QStringList{"A", "X", "Y"}));
        QVERIFY(w->messages.isEmpty());
    }
};

QTEST_MAIN(TestReload)
#include "test_reload.moc"
