// What goes to parents: payment notices, reminders and a child's statement
// say, child by child, what the accounts and 欠费 say; the amounts are read
// back from the PDFs.

#include "access.h"
#include "arrearsdialog.h"
#include "clock.h"
#include "database.h"
#include "ledgerstore.h"
#include "mainwindow.h"
#include "monthpicker.h"
#include "noticedialog.h"
#include "officesession.h"
#include "officesettings.h"
#include "rosterpage.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace
{
QStringList child(const QString &name, const QString &tuition, const QString &cls)
{
    return {name, "4", tuition, "", "10", "", "", "", "", "0", "李", "否", cls};
}
} // namespace

class TestNotices : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

    void printRow(RosterPage *a, int row, const QString &method, const QString &received)
    {
        a->tableView->setCurrentIndex(a->document()->index(row, 0));
        w->paymentMethod = method;
        w->paymentReceived = received;
        w->questionAnswers = {QMessageBox::Yes};
        a->toolButton(QStringLiteral("printSelected"))->click();
    }

    // April billed, paid only by 丁 (100.00 ahead); in May 甲 pays May,
    // 乙 part of it, 丙 nothing.
    std::unique_ptr<MainWindow> world()
    {
        w->setSetting(QStringLiteral("c"), QStringLiteral("20"));
        seedDatabase(w->databasePath(), {"A", "B"},
                     {child("甲", "1000", "A"), child("乙", "900", "A"), child("丙", "800", "B"),
                      child("丁", "700", "B")});
        Clock::setFixed(QDateTime(QDate(2026, 4, 10), QTime(9, 0)));
        auto mw = std::make_unique<MainWindow>(DbConfig::sqlite(w->databasePath()));
        w->questionAnswers = {QMessageBox::No}; // 全部班级
        mw->toolAction(QStringLiteral("billMonth"))->trigger();
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        // 丁 pays 1000.00 for 900.00: 100.00 ahead.
        printRow(mw->page(1), 1, QStringLiteral("现金"), QStringLiteral("1000"));
        Clock::setFixed(QDateTime(QDate(2026, 5, 14), QTime(10, 0)));
        mw->toolAction(QStringLiteral("saveDatabase"))->trigger();
        w->questionAnswers = {QMessageBox::No};
        mw->toolAction(QStringLiteral("billMonth"))->trigger();
        printRow(mw->page(0), 0, QStringLiteral("现金"), QString());
        printRow(mw->page(0), 1, QStringLiteral("微信"), QStringLiteral("500"));
        return mw;
    }

private slots:
    void init() { w = new TestWorld; }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    void noticesAreTheAccounts()
    {
        auto mw = world();
        QVERIFY2(w->messages.isEmpty(), qPrintable(w->messages.value(0).text));
        mw->toolAction(QStringLiteral("arrears"))->trigger();
        auto *owing = mw->findChild<ArrearsDialog *>();
        QVERIFY(owing);
        QHash<QString, qint64> arrears;
        for (const Ledger::Owing &o : owing->model()->owing())
            arrears.insert(o.childName, o.total);
        mw->toolAction(QStringLiteral("notices"))->trigger();
        auto *d = mw->findChild<NoticeDialog *>();
        QVERIFY(d && d->isVisible());
        QCOMPARE(d->notices().size(), qsizetype(4));
        QHash<QString, Notices::Notice> byName;
        for (const Notices::Notice &n : d->notices())
            byName.insert(n.childName, n);
        // Each child's amount to pay is what 欠费 says, to the fen.
        for (const Notices::Notice &n : d->notices())
            QCOMPARE(n.due, arrears.value(n.childName));
        // 1000.00 + 10 days × 20.00 each month.
        QCOMPARE(byName.value("甲").charged, qint64(120000));
        QCOMPARE(byName.value("甲").received, qint64(120000));
        QCOMPARE(byName.value("甲").earlierOwed, qint64(120000));
        QCOMPARE(byName.value("甲").due, qint64(120000));
        QCOMPARE(byName.value("乙").received, qint64(50000));
        QCOMPARE(byName.value("乙").due, qint64(110000 + 110000 - 50000));
        // 丙 owes April too; 丁's 100.00 paid ahead pays first.
        QCOMPARE(byName.value("丙").earlierOwed, qint64(100000));
        QCOMPARE(byName.value("丙").due, qint64(200000));
        QCOMPARE(byName.value("丁").creditUsed, qint64(10000));
        QCOMPARE(byName.value("丁").due, qint64(90000 - 10000));
        // The table sums up as the notices do.
        QTableWidget *t = d->table();
        QCOMPARE(t->rowCount(), 4 + 1);
        QCOMPARE(t->item(4, 0)->text(), QStringLiteral("合计"));
        QCOMPARE(t->item(4, 6)->text(), QStringLiteral("5700.00"));

        // The office's payment details, on every notice; a cashier may not
        // change where parents send money.
        const QString png = w->path(QStringLiteral("code.png"));
        QImage code(60, 60, QImage::Format_RGB32);
        code.fill(Qt::black);
        QVERIFY(code.save(png));
        const QString notPng = w->path(QStringLiteral("code.txt"));
        {
            QFile f(notPng);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("not a picture");
        }
        QString why;
        QVERIFY(!mw->session().settings().saveNoticeDetails("x", notPng, &why));
        QVERIFY2(why.contains(QStringLiteral("不是 PNG")), qPrintable(why));
        QVERIFY(mw->session().settings().saveNoticeDetails(
            QStringLiteral("微信扫码或转账至 阳光幼儿园 6222 0000 0000"), png, &why));
        QVERIFY(!OfficeSettings::noticeImage().isNull());
        Access::setStandIn([] {
            return std::optional<Access::User>(Access::User{{}, Roles::Cashier});
        });
        QVERIFY(
            !mw->session().settings().saveNoticeDetails(QStringLiteral("别处"), QString(), &why));
        Access::setStandIn([] {
            return std::optional<Access::User>(Access::User{{}, Roles::Head});
        });
        QCOMPARE(OfficeSettings::noticeDetails(),
                 QStringLiteral("微信扫码或转账至 阳光幼儿园 6222 0000 0000"));
        // The same through its window: the text typed, 保存.
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            auto *text = dialog->findChild<QPlainTextEdit *>(QStringLiteral("noticeDetailsText"));
            text->setPlainText(text->toPlainText() + QStringLiteral("\n户名：阳光幼儿园"));
            for (QPushButton *b : dialog->findChildren<QPushButton *>())
                if (b->text() == QStringLiteral("保存"))
                    b->click();
        });
        button(d, "noticeDetails")->click();
        QVERIFY2(OfficeSettings::noticeDetails().endsWith(QStringLiteral("户名：阳光幼儿园")),
                 qPrintable(OfficeSettings::noticeDetails()));
        QVERIFY(!OfficeSettings::noticeImage().isNull());
        d->refresh();

        // One PDF per child, named for the parents' group, its amount the account's.
        const QString dir = w->path(QStringLiteral("notices"));
        QVERIFY(QDir().mkpath(dir));
        w->directoryAnswers << dir;
        QCOMPARE(d->writePdfs(), 4);
        for (const Notices::Notice &n : d->notices()) {
            const QString file = QDir(dir).filePath(
                QStringLiteral("%1-%2-202605缴费通知单.pdf").arg(n.className, n.childName));
            const QString text = pdfText(file);
            QVERIFY2(text.contains(QStringLiteral("应缴金额")), qPrintable(file));
            QVERIFY2(text.contains(Journal::yuan(n.due) + QStringLiteral(" 元")), qPrintable(text));
            QVERIFY(text.contains(QStringLiteral("阳光幼儿园")));
        }
        // Three to an A4 page; chosen children only when some are ticked.
        w->printToPdf = w->path(QStringLiteral("sheets.pdf"));
        QVERIFY(d->print());
        QCOMPARE(pdfPageCount(w->printToPdf), 2);
        t->item(2, 1)->setCheckState(Qt::Checked);
        QCOMPARE(d->chosen().size(), qsizetype(1));
        QCOMPARE(d->chosen().first().childName, t->item(2, 1)->text());
        QVERIFY(d->print());
        QCOMPARE(pdfPageCount(w->printToPdf), 1);
        // The class's workbook.
        w->directoryAnswers << dir;
        d->exportWorkbook();
        const auto sheet =
            readWithOpenpyxl(QDir(dir).filePath(QStringLiteral("202605全部班级缴费通知单.xlsx")));
        QCOMPARE(sheet.size(), 1 + 4);
        QVERIFY(sheet.first().contains(QStringLiteral("应缴（元）")));
        // One class only.
        d->classBox()->setCurrentIndex(d->classBox()->findData(QStringLiteral("B")));
        QCOMPARE(d->notices().size(), qsizetype(2));
    }

    void remindersAgeTheDebts()
    {
        auto mw = world();
        mw->toolAction(QStringLiteral("reminders"))->trigger();
        auto *d = mw->findChild<ReminderDialog *>();
        QVERIFY(d);
        qint64 total = 0, buckets = 0;
        QHash<QString, Notices::Reminder> byName;
        for (const Notices::Reminder &r : d->reminders()) {
            total += r.owing.total;
            buckets += r.buckets[0] + r.buckets[1] + r.buckets[2];
            byName.insert(r.owing.childName, r);
        }
        QCOMPARE(buckets, total);
        QCOMPARE(byName.size(), 4);
        // 甲 paid May, not April: April alone is owing.
        QCOMPARE(byName.value("甲").months.keys(), QStringList{"2026-04"});
        // 丙: April, 43 days ago, and May, 13 days.
        QCOMPARE(byName.value("丙").buckets[Notices::From30To60], qint64(100000));
        QCOMPARE(byName.value("丙").buckets[Notices::Under30], qint64(100000));
        QCOMPARE(byName.value("丙").days, 43);
        // 丁's 100.00 paid ahead in April pays May first.
        QCOMPARE(byName.value("丁").months.value("2026-05"), qint64(80000));
        QTableWidget *t = d->table();
        QCOMPARE(t->item(t->rowCount() - 1, 0)->text(), QStringLiteral("合计"));
        QCOMPARE(t->item(t->rowCount() - 1, 7)->text(), Journal::yuan(total));
        const QString dir = w->path(QStringLiteral("reminders"));
        QVERIFY(QDir().mkpath(dir));
        w->directoryAnswers << dir;
        QCOMPARE(d->writePdfs(), 4);
        const QString text = pdfText(QDir(dir).filePath(QStringLiteral("B-丙-202605催费单.pdf")));
        QVERIFY2(text.contains(QStringLiteral("2000.00 元")), qPrintable(text));
    }

    void statementRunsTheBalance()
    {
        auto mw = world();
        const QString id = mw->page(1)->document()->record(1).childId; // 丁
        StatementDialog d(mw->session(), id, QStringLiteral("丁"), nullptr);
        QVERIFY(d.fromEdit()->setMonth(QStringLiteral("2026-04")));
        QVERIFY(d.statement());
        const Notices::Statement &s = *d.statement();
        QCOMPARE(s.opening, qint64(0));
        qint64 running = s.opening;
        for (const auto &l : s.lines) {
            running += l.amount;
            QCOMPARE(l.balance, running);
        }
        // What the account sums to: May owed less April's money paid ahead.
        QCOMPARE(s.closing, qint64(80000));
        QCOMPARE(d.table()->item(d.table()->rowCount() - 1, 5)->text(), QStringLiteral("800.00"));
        // From May only: April's 100.00 paid ahead is the opening.
        QVERIFY(d.fromEdit()->setMonth(QStringLiteral("2026-05")));
        QCOMPARE(d.statement()->opening, qint64(-10000));
        QCOMPARE(d.statement()->closing, qint64(80000));
        const QString dir = w->path(QString());
        w->directoryAnswers << dir;
        const QString pdf = d.writePdf();
        QVERIFY(pdf.endsWith(QStringLiteral("B-丁-202605对账单.pdf")));
        QVERIFY(pdfText(pdf).contains(QStringLiteral("期末余额：800.00 元")));
        // A span that runs backwards is said, not shown empty.
        QVERIFY(d.toEdit()->setMonth(QStringLiteral("2026-03")));
        QVERIFY(!d.statement());
    }

    // A name that cannot be a file name is refused, not cut.
    void pdfNames_data()
    {
        QTest::addColumn<QString>("cls");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("file");
        QTest::newRow("plain") << "大一班"
                               << "张小明"
                               << "大一班-张小明-202605缴费通知单.pdf";
        QTest::newRow("slash") << "大一班"
                               << "张/小明"
                               << "";
        QTest::newRow("control") << "大\n班"
                                 << "张"
                                 << "";
    }
    void pdfNames()
    {
        QFETCH(QString, cls);
        QFETCH(QString, name);
        QFETCH(QString, file);
        Notices::Notice n;
        n.className = cls;
        n.childName = name;
        n.month = QStringLiteral("2026-05");
        QString why;
        QCOMPARE(NoticeDialog::pdfName(n, &why), file);
        QCOMPARE(why.isEmpty(), !file.isEmpty());
    }
};

QTEST_MAIN(TestNotices)
#include "test_notices.moc"
