// 操作记录: every kind of change leaves a row with clerk, host and time,
// written with the change; the window filters and exports them.
#include "auditlog.h"
#include "backup.h"
#include "clock.h"
#include "configview.h"
#include "database.h"
#include "mainwindow.h"
#include "officesession.h"
#include "reportdialogs.h"
#include "rosterpage.h"
#include "testsupport.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QTest>

namespace
{
QStringList child(const QString &name, const QString &age)
{
    return {name, age, "1000", "", "", "", "", "", "", "0", "李", "否", "A"};
}

QVector<AuditLog::Row> rowsOf(const DbConfig &config, const QString &kind)
{
    Database db(config);
    if (!db.open())
        return {};
    return AuditLog::read(db, QDate(2026, 1, 1), QDate(2026, 12, 31), QString(), kind)
        .value_or(QVector<AuditLog::Row>());
}
} // namespace

class TestAudit : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

private slots:
    void init()
    {
        w = new TestWorld;
        w->setSetting(QStringLiteral("name"), QStringLiteral("李"));
        w->setSetting(QStringLiteral("c"), QStringLiteral("20"));
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

    void everyKindOfChange_data() { backends_data(); }
    void everyKindOfChange()
    {
        QFETCH(bool, postgres);
        if (postgres && !postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = postgres ? freshPostgres() : DbConfig::sqlite(w->databasePath());
        seedDatabase(config, {"A"}, {child("甲", "4"), child("丙", "5")});
        MainWindow mw(config);
        RosterDocument *a = mw.page(0)->document();
        // A saved class: who was added, removed and changed, by name.
        a->setText(0, 1, QStringLiteral("5"));
        a->removeRows({1});
        const int row = a->addRow();
        a->setText(row, 0, QStringLiteral("乙"));
        QVERIFY(mw.onButtonSaveDB());
        // (The seeding was a save too, and the first open gave its children
        // their identities: those rows come after.)
        auto saved = rowsOf(config, AuditLog::savedClass());
        QCOMPARE(saved.size(), 3);
        QCOMPARE(saved.at(1).what, QStringLiteral("为 2 名早先保存的儿童登记了身份"));
        QCOMPARE(saved.at(0).what,
                 QStringLiteral("班级“A”：新增 乙；删除 丙；修改 甲（儿童年龄 4→5）"));
        QCOMPARE(saved.at(0).clerk, QStringLiteral("李"));
        QVERIFY(!saved.at(0).host.isEmpty());
        QCOMPARE(saved.at(0).at, QStringLiteral("2026-05-14 10:00:00"));
        // Saving again with nothing changed says nothing.
        a->setText(0, 1, QStringLiteral("5"));
        QVERIFY(mw.onButtonSaveDB());
        QCOMPARE(rowsOf(config, AuditLog::savedClass()).size(), 3);
        // A class added.
        QVERIFY(mw.session().addClass(QStringLiteral("B")));
        QCOMPARE(rowsOf(config, AuditLog::addedClass()).value(0).what, QStringLiteral("班级“B”"));
        // A price changed, old → new.
        configView *panel = mw.findChild<configView *>();
        panel->tableModel()->item(3, 1)->setText(QStringLiteral("25"));
        panel->saveAll();
        QCOMPARE(rowsOf(config, AuditLog::setting()).value(0).what,
                 QStringLiteral("伙食费每日价格：20 → 25"));
        // A receipt voided and money handed back.
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        mw.page(0)->printReceiptRange(1, 2);
        QVERIFY(mw.session().accounts().voidReceipt(QStringLiteral("2026-000001"),
                                                    QStringLiteral("打错")));
        QVERIFY(mw.session().accounts().refund(QStringLiteral("2026-000002"), QStringLiteral("10"),
                                               QStringLiteral("多收")));
        QCOMPARE(rowsOf(config, AuditLog::voided()).value(0).what,
                 QStringLiteral("收据 2026-000001：打错"));
        QVERIFY(rowsOf(config, AuditLog::printed())
                    .value(0)
                    .what.startsWith(QStringLiteral("2026-000001 甲 ")));
        QVERIFY(
            rowsOf(config, AuditLog::refunded())
                .value(0)
                .what.startsWith(QStringLiteral("2026-R000001 退 10.00 元（收据 2026-000002，")));
        // A refused void leaves no row.
        QVERIFY(!mw.session().accounts().voidReceipt(QStringLiteral("2026-000001"),
                                                     QStringLiteral("再来")));
        QCOMPARE(rowsOf(config, AuditLog::voided()).size(), 1);
        // A month closed.
        Clock::setFixed(QDateTime(QDate(2026, 6, 1), QTime(8, 0)));
        QVERIFY(mw.session().accounts().closeMonth(QStringLiteral("2026-05")));
        QCOMPARE(rowsOf(config, AuditLog::monthClosed()).value(0).what, QStringLiteral("2026-05"));

        // The window: filtered by kind and clerk, exported.
        mw.toolAction(QStringLiteral("auditLog"))->trigger();
        auto *d = mw.findChild<AuditDialog *>();
        QVERIFY(d && d->isVisible());
        d->fromEdit()->setDate(QDate(2026, 5, 1));
        QVERIFY(d->refresh());
        // The seeding's class list and save, then the seven changes above
        // (the print among them).
        QCOMPARE(d->table()->rowCount(), 10);
        QCOMPARE(d->table()->item(0, 3)->text(), AuditLog::monthClosed());
        d->kindBox()->setCurrentIndex(d->kindBox()->findData(AuditLog::refunded()));
        QCOMPARE(d->table()->rowCount(), 1);
        d->kindBox()->setCurrentIndex(0);
        d->clerkEdit()->setText(QStringLiteral("王"));
        QVERIFY(d->refresh());
        QCOMPARE(d->table()->rowCount(), 0);
        d->clerkEdit()->clear();
        d->toEdit()->setDate(QDate(2026, 5, 31));
        QVERIFY(d->refresh());
        QCOMPARE(d->table()->rowCount(), 9);
        w->directoryAnswers << w->path(QString());
        button(d, "auditExport")->click();
        const auto exported =
            readWithOpenpyxl(w->path(QStringLiteral("操作记录20260501-20260531.xlsx")), 0);
        QCOMPARE(exported.size(), 10);
        QCOMPARE(exported.at(0), (QStringList{"时间", "经办人", "电脑", "类别", "内容"}));
        QCOMPARE(exported.at(6).at(4),
                 QStringLiteral("班级“A”：新增 乙；删除 丙；修改 甲（儿童年龄 4→5）"));
    }

    // Billing, absence refunds applied, and the panel's default way of
    // payment and refund rule each leave their row.
    void moneyWritesAreAudited()
    {
        seedDatabase(w->databasePath(), {"A"}, {child("甲", "4")});
        const DbConfig config = DbConfig::sqlite(w->databasePath());
        MainWindow mw(config);
        QVERIFY(mw.session().accounts().billMonth({QStringLiteral("A")}).result);
        QVERIFY(rowsOf(config, AuditLog::billed())
                    .value(0)
                    .what.startsWith(QStringLiteral("2026-05：1 名儿童")));
        QString error;
        auto plan = mw.session().attendance().refunds(QStringLiteral("A"),
                                                      QStringLiteral("2026-05"), &error);
        QVERIFY2(plan, qPrintable(error));
        QVERIFY(mw.session().attendance().applyRefunds(*plan));
        QCOMPARE(rowsOf(config, AuditLog::absenceRefunds()).size(), 1);
        configView *panel = mw.findChild<configView *>();
        panel->paymentCombo()->setCurrentText(QStringLiteral("微信"));
        panel->saveAll();
        bool said = false;
        for (const auto &r : rowsOf(config, AuditLog::setting()))
            said = said || r.what == QStringLiteral("默认收款方式：现金 → 微信");
        QVERIFY(said);
    }

    // A restore is recorded in the database the office goes on with.
    void restoreIsRecorded()
    {
        seedDatabase(w->databasePath(), {"A"}, {child("甲", "4")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        QString error;
        const QString copy =
            mw.session().backups().backupTo(w->path(QStringLiteral("copies")), &error);
        QVERIFY2(!copy.isEmpty(), qPrintable(error));
        QVERIFY(mw.session().restore(copy));
        const auto rows = rowsOf(DbConfig::sqlite(w->databasePath()), AuditLog::restored());
        QCOMPARE(rows.size(), 1);
        QVERIFY(rows.at(0).what.startsWith(QStringLiteral("恢复了 收费室备份-")));
    }
};

QTEST_MAIN(TestAudit)
#include "test_audit.moc"
