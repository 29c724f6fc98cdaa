// Backups that restore: the day's first start and every close take a
// checked copy, the old ones are pruned by the rule, a copy restores (the
// current database copied first), files that are no copies are refused with
// the database untouched, and --backup works from the command line.
#include "backup.h"
#include "backupdialog.h"
#include "clock.h"
#include "database.h"
#include "mainwindow.h"
#include "officesession.h"
#include "prompts.h"
#include "rosterpage.h"
#include "schema.h"
#include "testsupport.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QThread>
#include <QToolButton>

#include <csignal>

namespace
{
QStringList child(const QString &name)
{
    return {name, "4", "1000", "", "", "", "", "", "", "0", "李", "否", "A"};
}

int copiesIn(const QString &dir)
{
    return int(QDir(dir).entryList({QStringLiteral("收费室备份-*.sqlite")}, QDir::Files).size());
}

QStringList serials(const QString &databasePath)
{
    QStringList out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "serials");
        db.setDatabaseName(databasePath);
        db.open();
        QSqlQuery q(QStringLiteral("SELECT serial FROM receipt_journal ORDER BY serial"), db);
        while (q.next())
            out << q.value(0).toString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("serials"));
    return out;
}

// Runs statements on a copy, as another SQL client would.
void tamper(const QString &file, const QStringList &statements)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "tamper");
        db.setDatabaseName(file);
        QVERIFY(db.open());
        for (const QString &sql : statements) {
            QSqlQuery q(db);
            QVERIFY2(q.exec(sql), qPrintable(q.lastError().text()));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("tamper"));
}

void closeWindow(MainWindow &mw)
{
    QCloseEvent close;
    QCoreApplication::sendEvent(&mw, &close);
}
} // namespace

class TestBackups : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

private slots:
    void init()
    {
        w = new TestWorld;
        Clock::setFixed(QDateTime(QDate(2026, 12, 8), QTime(9, 0)));
    }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    void firstStartOfTheDayAndEveryClose()
    {
        seedDatabase(w->databasePath(), {"A"}, {child("甲"), child("乙")});
        const QString dir = Backup::folder();
        auto newest = [&] { return Backup::list(dir).value(0).taken.time().hour(); };
        {
            MainWindow mw(DbConfig::sqlite(w->databasePath()));
            QTRY_COMPARE(copiesIn(dir), 1);
            QCOMPARE(newest(), 9);
            Clock::setFixed(QDateTime(QDate(2026, 12, 8), QTime(12, 0)));
            // A copy at closing; the day keeps its newest.
            closeWindow(mw);
            QCOMPARE(copiesIn(dir), 1);
            QCOMPARE(newest(), 12);
        }
        // Later the same day: no copy at start, one at closing.
        Clock::setFixed(QDateTime(QDate(2026, 12, 8), QTime(14, 0)));
        {
            MainWindow mw(DbConfig::sqlite(w->databasePath()));
            QTest::qWait(50);
            QCOMPARE(newest(), 12);
            Clock::setFixed(QDateTime(QDate(2026, 12, 8), QTime(17, 0)));
            closeWindow(mw);
            QCOMPARE(newest(), 17);
        }
        // The next day's first start takes one of its own.
        Clock::setFixed(QDateTime(QDate(2026, 12, 9), QTime(8, 0)));
        {
            MainWindow mw(DbConfig::sqlite(w->databasePath()));
            QTRY_COMPARE(copiesIn(dir), 2);
        }
        // Checked copies, their owner's only.
        const auto copies = Backup::list(dir);
        QCOMPARE(copies.size(), 2);
        QCOMPARE(copies.first().children, 2);
        QCOMPARE(copies.first().classes, 1);
        QCOMPARE(QFile::permissions(copies.first().path) & 0x0777,
                 QFileDevice::ReadUser | QFileDevice::WriteUser);
        QCOMPARE(QFileInfo(dir).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                                 QFileDevice::ExeGroup | QFileDevice::ExeOther),
                 QFileDevice::Permissions());
    }

    // The last 30 days that have a copy keep their newest; each of the last
    // 24 months keeps its newest; nothing else stays.
    void retention()
    {
        const QString dir = w->path(QStringLiteral("copies"));
        QVERIFY(QDir().mkpath(dir));
        const QDateTime now(QDate(2026, 12, 8), QTime(18, 0));
        QStringList made;
        for (int d = 0; d < 900; ++d)
            for (int hour : {8, 17}) {
                const QDateTime t(now.date().addDays(-d), QTime(hour, 0));
                const QString path =
                    QDir(dir).filePath(QStringLiteral("收费室备份-%1.sqlite")
                                           .arg(t.toString(QStringLiteral("yyyyMMdd-HHmmss"))));
                QFile f(path);
                QVERIFY(f.open(QIODevice::WriteOnly));
                made << path;
            }
        Backup::prune(dir, now);
        QStringList kept = QDir(dir).entryList(QDir::Files, QDir::Name | QDir::Reversed);
        // 30 days (2026-11-09 … 2026-12-08) and 22 more months (2024-12 … 2026-10).
        QCOMPARE(kept.size(), 52);
        QCOMPARE(kept.first(), QStringLiteral("收费室备份-20261208-170000.sqlite"));
        QVERIFY(kept.contains(QStringLiteral("收费室备份-20261109-170000.sqlite")));
        QVERIFY(!kept.contains(QStringLiteral("收费室备份-20261108-170000.sqlite")));
        QVERIFY(kept.contains(QStringLiteral("收费室备份-20261031-170000.sqlite")));
        QCOMPARE(kept.last(), QStringLiteral("收费室备份-20250131-170000.sqlite"));
        QVERIFY(!kept.contains(QStringLiteral("收费室备份-20261208-080000.sqlite")));
    }

    // 备份与恢复: a copy now into a chosen folder; a restore puts the copy
    // back after copying the current database, and every window reads it.
    void restoreRoundTrip()
    {
        seedDatabase(w->databasePath(), {"A"}, {child("甲")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        QTRY_COMPARE(copiesIn(Backup::folder()), 1);
        mw.toolAction(QStringLiteral("backups"))->trigger();
        auto *d = mw.findChild<BackupDialog *>();
        QVERIFY(d && d->isVisible());
        QCOMPARE(d->table()->rowCount(), 1);
        QCOMPARE(d->table()->item(0, 3)->text(), QStringLiteral("1"));
        // 立即备份 to a stick.
        const QString stick = w->path(QStringLiteral("U盘"));
        QVERIFY(QDir().mkpath(stick));
        w->directoryAnswers << stick;
        button(d, "backupNow")->click();
        QCOMPARE(copiesIn(stick), 1);
        QVERIFY(d->status()->text().contains(QStringLiteral("已备份到")));
        // 乙 added and saved after the copy.
        mw.page(0)->document()->addRow();
        mw.page(0)->document()->setText(1, Roster::Name, QStringLiteral("乙"));
        QVERIFY(mw.onButtonSaveDB());
        // Unsaved changes are never thrown away by a restore.
        mw.page(0)->document()->setText(0, 1, QStringLiteral("5"));
        d->table()->selectRow(0);
        w->questionAnswers = {QMessageBox::Yes};
        button(d, "backupRestore")->click();
        QVERIFY2(w->messages.last().informative.contains(QStringLiteral("未保存的更改")),
                 qPrintable(w->messages.last().text + "|" + w->messages.last().informative));
        mw.page(0)->document()->setText(0, 1, QStringLiteral("4"));
        QVERIFY(mw.onButtonSaveDB());
        // Restored: the question says what the copy holds.
        Clock::setFixed(QDateTime(QDate(2026, 12, 8), QTime(9, 30)));
        d->refresh();
        d->table()->selectRow(d->table()->rowCount() - 1);
        w->questionAnswers = {QMessageBox::Yes};
        button(d, "backupRestore")->click();
        QVERIFY2(w->questionTexts.last().contains(QStringLiteral("1 个班级，1 名儿童")),
                 qPrintable(w->questionTexts.last()));
        QCOMPARE(mw.page(0)->document()->size(), 1);
        QCOMPARE(storedStudents(w->databasePath()).size(), 1);
        QVERIFY(d->status()->text().contains(QStringLiteral("恢复前的数据库已备份")));
        // …and the copy taken before it holds 乙: restoring it undoes this.
        const auto copies = Backup::list(Backup::folder());
        QCOMPARE(copies.first().children, 2);
        QVERIFY(mw.session().restore(copies.first().path));
        QCOMPARE(mw.page(0)->document()->size(), 2);
        // The restored database takes saves.
        mw.page(0)->document()->setText(1, 1, QStringLiteral("6"));
        QVERIFY(mw.onButtonSaveDB());
    }

    // A copy on a stick, restored from the window: the question says what
    // the database holds that the copy lacks and defaults to not restoring;
    // serials go on after the highest ever given; the database from before
    // is listed, never pruned, and restoring it undoes the restore.
    void restoreFromAChosenFile()
    {
        for (const char *k : {"a", "b", "c", "d", "e", "f"})
            w->setSetting(QLatin1String(k), QStringLiteral("10"));
        seedDatabase(w->databasePath(), {"A"}, {child("甲"), child("乙"), child("丙")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        mw.toolAction(QStringLiteral("backups"))->trigger();
        auto *d = mw.findChild<BackupDialog *>();
        QVERIFY(d);
        const QString stick = w->path(QStringLiteral("U盘"));
        QVERIFY(QDir().mkpath(stick));
        w->directoryAnswers << stick;
        button(d, "backupNow")->click();
        const QString copy = Backup::list(stick).value(0).path;
        QVERIFY(!copy.isEmpty());
        w->printToPdf = w->path(QStringLiteral("r.pdf"));
        auto print = [&](int row) {
            RosterPage *a = mw.page(0);
            a->tableView->setCurrentIndex(a->document()->index(row, 0));
            w->questionAnswers = {QMessageBox::Yes};
            a->toolButton(QStringLiteral("printSelected"))->click();
        };
        print(0);
        QCOMPARE(serials(w->databasePath()), QStringList{"2026-000001"});
        QVERIFY(mw.onButtonSaveDB());
        // Asked, and not restored.
        w->openFileAnswers << copy;
        w->questionAnswers = {QMessageBox::No};
        button(d, "backupRestoreFile")->click();
        QCOMPARE(w->confirmActions, QStringList{"恢复此备份"});
        const QString asked = w->questionTexts.last();
        QVERIFY2(asked.contains(QStringLiteral("收据 1 张（最后一张 2026-000001）")) &&
                     asked.contains(QStringLiteral("收款 1 笔")) &&
                     asked.contains(QStringLiteral("操作记录")) &&
                     asked.contains(QDir::toNativeSeparators(copy)),
                 qPrintable(asked));
        QCOMPARE(serials(w->databasePath()).size(), 1);
        std::unique_ptr<QMessageBox> box(Prompts::confirmBox(nullptr, asked, "恢复此备份"));
        QCOMPARE(box->defaultButton()->text(), QStringLiteral("取消"));
        QCOMPARE(box->escapeButton(), box->defaultButton());
        // Restored.
        w->openFileAnswers << copy;
        w->questionAnswers = {QMessageBox::Yes};
        button(d, "backupRestoreFile")->click();
        QCOMPARE(serials(w->databasePath()), QStringList());
        QCOMPARE(cell(*mw.page(0), 0, Roster::PrintStatus), QStringLiteral("否"));
        // The next receipt is never given 2026-000001 a second time.
        print(1);
        QCOMPARE(serials(w->databasePath()), QStringList{"2026-000002"});
        QVERIFY(mw.onButtonSaveDB());
        // The database from before is listed as such and survives pruning.
        const auto copies = Backup::list(Backup::folder(), Clock::now());
        const auto before = std::find_if(copies.cbegin(), copies.cend(),
                                         [](const Backup::Info &i) { return i.beforeRestore; });
        QVERIFY(before != copies.cend());
        d->refresh();
        bool marked = false;
        for (int r = 0; r < d->table()->rowCount(); ++r)
            marked = marked || d->table()->item(r, 0)->text().contains(QStringLiteral("恢复前"));
        QVERIFY(marked);
        Backup::prune(Backup::folder(), Clock::now().addYears(3));
        QVERIFY(QFile::exists(before->path));
        // Undone: 2026-000001 is back, and the next serial follows 000002.
        QVERIFY(mw.session().restore(before->path));
        QCOMPARE(serials(w->databasePath()), QStringList{"2026-000001"});
        QCOMPARE(cell(*mw.page(0), 0, Roster::PrintStatus), QStringLiteral("12已打印"));
        print(2);
        QCOMPARE(serials(w->databasePath()), (QStringList{"2026-000001", "2026-000003"}));
    }

    // Copies that would harm the books are refused with the reason, from the
    // window too, and the database stays as it is.
    void hostileCopies_data()
    {
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<QString>("why");
        QTest::newRow("trigger") << QStringList{"CREATE TRIGGER wipe AFTER INSERT ON ledger_entry "
                                                "BEGIN DELETE FROM ledger_entry; END"}
                                 << "触发器 wipe";
        // A trigger under the name of one of the program's own guards.
        QTest::newRow("guard replaced")
            << QStringList{"DROP TRIGGER keep_ledger_entry_delete",
                           "CREATE TRIGGER keep_ledger_entry_delete AFTER INSERT ON ledger_entry "
                           "BEGIN DELETE FROM ledger_entry; END"}
            << "触发器 keep_ledger_entry_delete";
        QTest::newRow("view") << QStringList{"CREATE VIEW v AS SELECT * FROM student"} << "视图 v";
        QTest::newRow("table") << QStringList{"CREATE TABLE extra (a TEXT)"} << "表 extra";
        QTest::newRow("counter behind")
            << QStringList{"DELETE FROM receipt_serial",
                           "INSERT INTO receipt_journal (serial, year, number, printed_at, month, "
                           "total_fen) VALUES ('2026-000005', 2026, 5, '2026-05-14T10:00:00', "
                           "'2026-05', 100)"}
            << "收据编号计数";
        QTest::newRow("student column")
            << QStringList{QStringLiteral("ALTER TABLE student DROP COLUMN \"%1\"")
                               .arg(Schema::studentColumns().at(3))}
            << "无法写入";
    }
    void hostileCopies()
    {
        QFETCH(QStringList, statements);
        QFETCH(QString, why);
        seedDatabase(w->databasePath(), {"A"}, {child("甲"), child("乙")});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        QString error;
        const auto made = Backup::write(mw.session().database(), w->path(QStringLiteral("made")),
                                        Clock::now(), &error);
        QVERIFY2(made, qPrintable(error));
        tamper(made->path, statements);
        mw.toolAction(QStringLiteral("backups"))->trigger();
        auto *d = mw.findChild<BackupDialog *>();
        w->openFileAnswers << made->path;
        w->questionAnswers = {QMessageBox::Yes};
        button(d, "backupRestoreFile")->click();
        QVERIFY(w->confirmActions.isEmpty());
        QVERIFY2(w->messages.last().text.contains(why), qPrintable(w->messages.last().text));
        QCOMPARE(w->messages.last().informative, QStringLiteral("当前数据库没有改动。"));
        const WriteResult r = mw.session().restore(made->path);
        QVERIFY(!r);
        QVERIFY2(r.text.contains(why), qPrintable(r.text));
        QCOMPARE(storedStudents(w->databasePath()).size(), 2);
    }

    // The file renamed into place is the one checked: a copy that is cut
    // short after it was chosen never becomes the database.
    void theFileRenamedIsTheOneChecked()
    {
        seedDatabase(w->databasePath(), {"A"}, {child("甲"), child("乙")});
        QVector<QStringList> many;
        for (int i = 0; i < 2000; ++i)
            many << child(QStringLiteral("儿童%1").arg(i));
        const QString source = w->path(QStringLiteral("big.sqlite"));
        seedDatabase(source, {"A"}, many);
        QString error;
        QVERIFY(Backup::check(source, &error));
        QFile f(source);
        QVERIFY(f.resize(8192));
        QVERIFY(!Backup::replaceDatabase(w->databasePath(), source, &error));
        QVERIFY2(error.contains(QStringLiteral("数据库没有改动")), qPrintable(error));
        QCOMPARE(storedStudents(w->databasePath()).size(), 2);
        QVERIFY(QDir(w->path(QString())).entryList({QStringLiteral("*.restore")}).isEmpty());
    }

    // Copies taken at once into one folder each get a name of their own; a
    // copy dated ahead of the clock is listed last.
    void copiesAtOnceAndAClockAhead()
    {
        seedDatabase(w->databasePath(), {"A"}, {child("甲")});
        const QString dir = w->path(QStringLiteral("nightly"));
        QList<QProcess *> runs;
        for (int i = 0; i < 4; ++i) {
            auto *p = new QProcess(this);
            p->start(
                QStringLiteral(FEEOFFICE_PROGRAM),
                {QStringLiteral("--database"), w->databasePath(), QStringLiteral("--backup"), dir});
            runs << p;
        }
        for (QProcess *p : runs) {
            QVERIFY(p->waitForFinished(60000));
            QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
        }
        qDeleteAll(runs);
        QCOMPARE(copiesIn(dir), 4);
        for (const Backup::Info &i : Backup::list(dir))
            QCOMPARE(i.children, 1);
        QVERIFY(QDir(dir).entryList({QStringLiteral("*.part")}).isEmpty());
        Database db(DbConfig::sqlite(w->databasePath()));
        QVERIFY(db.open());
        QString error;
        QVERIFY(Backup::write(db, dir, QDateTime(QDate(2030, 1, 1), QTime(8, 0)), &error));
        const QDateTime now = QDateTime::currentDateTime().addSecs(3600);
        QVERIFY(Backup::write(db, dir, now.addSecs(-5), &error));
        const auto list = Backup::list(dir, now);
        QCOMPARE(list.size(), 6);
        QCOMPARE(list.first().taken.toString(QStringLiteral("yyyyMMddHHmmss")),
                 now.addSecs(-5).toString(QStringLiteral("yyyyMMddHHmmss")));
        QVERIFY(!list.first().future);
        QCOMPARE(list.last().taken.date().year(), 2030);
        QVERIFY(list.last().future);
    }

    void filesThatAreNoCopies_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("why");
        QTest::newRow("text") << "text"
                              << "不是本程序的数据库";
        QTest::newRow("damaged") << "damaged"
                                 << "";
        QTest::newRow("other tables") << "other"
                                      << "缺少表";
    }
    void filesThatAreNoCopies()
    {
        QFETCH(QString, kind);
        QFETCH(QString, why);
        seedDatabase(w->databasePath(), {"A"}, {child("甲"), child("乙")});
        const QString file = w->path(QStringLiteral("收费室备份-20261201-080000.sqlite"));
        if (kind == QLatin1String("text")) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("姓名,年龄\n甲,4\n");
        } else if (kind == QLatin1String("other")) {
            Database other(DbConfig::sqlite(w->path(QStringLiteral("x.sqlite"))));
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "other");
            db.setDatabaseName(file);
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("CREATE TABLE t (a TEXT)")));
            db.close();
        } else {
            // A good copy with its middle overwritten.
            QVERIFY(QFile::copy(w->databasePath(), file));
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.seek(f.size() / 2 - 4096);
            f.write(QByteArray(8192, '\x5a'));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
        QString error;
        QVERIFY(!Backup::check(file, &error));
        QVERIFY2(error.contains(why), qPrintable(error));
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        const WriteResult r = mw.session().restore(file);
        QVERIFY(!r);
        QVERIFY2(r.text.contains(QStringLiteral("当前数据库没有改动")), qPrintable(r.text));
        QCOMPARE(storedStudents(w->databasePath()).size(), 2);
        QCOMPARE(mw.page(0)->document()->size(), 2);
    }

    // Killed at any moment of a restore, the database is the old one or the
    // copy, whole; killed while taking copies, it is untouched and every
    // copy under a copy's name is whole.
    void killedDuringRestoreOrBackup()
    {
        auto seedChildren = [&](const QString &path, int n) {
            // A process killed in a write leaves its rollback journal: it
            // belongs to the file removed here, never to the next one.
            QFile::remove(path);
            QFile::remove(path + QStringLiteral("-journal"));
            QVector<QStringList> rows;
            for (int i = 0; i < n; ++i)
                rows << child(QStringLiteral("儿童%1").arg(i));
            seedDatabase(path, {"A"}, rows);
        };
        const QString source = w->path(QStringLiteral("source.sqlite"));
        seedChildren(source, 3000);
        QString copy;
        {
            Database db(DbConfig::sqlite(source));
            QVERIFY(db.open());
            QString error;
            const auto info =
                Backup::write(db, w->path(QStringLiteral("made")), Clock::now(), &error);
            QVERIFY2(info, qPrintable(error));
            copy = info->path;
        }
        const int killPoints = 16;
        int sawOld = 0, sawCopy = 0;
        for (int k = 0; k < killPoints; ++k) {
            seedChildren(w->databasePath(), 1000);
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("FEEOFFICE_CRASH_RESTORE"), copy);
            child.setProcessEnvironment(env);
            child.start(QStringLiteral(FEEOFFICE_CRASH_SAVER), {w->databasePath()});
            QVERIFY(child.waitForReadyRead(60000));
            QThread::usleep(ulong(4000 * k));
            ::kill(pid_t(child.processId()), SIGKILL);
            child.waitForFinished(10000);
            // Opened as the program opens it: a write cut short (the
            // restore's own record, say) is rolled back by SQLite first.
            {
                Database reopened(DbConfig::sqlite(w->databasePath()));
                QVERIFY(reopened.open());
            }
            QString error;
            const auto now = Backup::check(w->databasePath(), &error);
            QVERIFY2(now, qPrintable(QStringLiteral("kill point %1: %2").arg(k).arg(error)));
            QVERIFY2(now->children == 1000 || now->children == 3000,
                     qPrintable(QString::number(now->children)));
            (now->children == 1000 ? sawOld : sawCopy)++;
        }
        qInfo("restore: %d kill points, %d left the old database, %d the copy", killPoints, sawOld,
              sawCopy);
        // Copies taken one after another, killed.
        seedChildren(w->databasePath(), 1000);
        const QString dir = w->path(QStringLiteral("killed"));
        for (int k = 0; k < 6; ++k) {
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("FEEOFFICE_CRASH_BACKUP"), dir);
            child.setProcessEnvironment(env);
            child.start(QStringLiteral(FEEOFFICE_CRASH_SAVER), {w->databasePath()});
            QVERIFY(child.waitForReadyRead(60000));
            QThread::usleep(ulong(30000 + 7000 * k));
            ::kill(pid_t(child.processId()), SIGKILL);
            child.waitForFinished(10000);
        }
        QCOMPARE(Backup::check(w->databasePath(), nullptr)->children, 1000);
        for (const QString &name :
             QDir(dir).entryList({QStringLiteral("收费室备份-*.sqlite")}, QDir::Files))
            QVERIFY2(Backup::check(QDir(dir).filePath(name), nullptr), qPrintable(name));
        QVERIFY(!Backup::list(dir).isEmpty());
    }

    // A copy that cannot be written is said, and nothing is left under a
    // copy's name.
    void copyThatCannotBeWritten()
    {
        seedDatabase(w->databasePath(), {"A"}, {child("甲")});
        OfficeSession session(DbConfig::sqlite(w->databasePath()));
        QVERIFY(session.open());
        const QString dir = w->path(QStringLiteral("blocked"));
        QVERIFY(QDir().mkpath(dir));
        const QString name = QStringLiteral("收费室备份-%1.sqlite")
                                 .arg(Clock::now().toString(QStringLiteral("yyyyMMdd-HHmmss")));
        // Something in the way of the copy's own file.
        QVERIFY(QDir().mkpath(QDir(dir).filePath(
            name + QStringLiteral(".%1.part").arg(QCoreApplication::applicationPid()))));
        QString error;
        QVERIFY(session.backups().backupTo(dir, &error).isEmpty());
        QVERIFY2(error.contains(QStringLiteral("备份失败")), qPrintable(error));
        QCOMPARE(copiesIn(dir), 0);
    }

    // For a scheduled job: one checked copy and a clear status.
    void fromTheCommandLine()
    {
        seedDatabase(w->databasePath(), {"A"}, {child("甲")});
        const QString dir = w->path(QStringLiteral("nightly"));
        QProcess p;
        p.start(QStringLiteral(FEEOFFICE_PROGRAM),
                {QStringLiteral("--database"), w->databasePath(), QStringLiteral("--backup"), dir});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(QString::fromUtf8(p.readAllStandardOutput()).contains(QStringLiteral("已备份到")));
        QCOMPARE(copiesIn(dir), 1);
        QCOMPARE(Backup::list(dir).first().children, 1);
        // A folder that cannot be made, a database that is not there.
        for (const QStringList &args :
             {QStringList{"--database", w->databasePath(), "--backup", "/proc/no/such"},
              QStringList{"--database", w->databasePath(), "--backup", ""},
              QStringList{"--database", w->path(QStringLiteral("none.sqlite")), "--backup", dir}}) {
            p.start(QStringLiteral(FEEOFFICE_PROGRAM), args);
            QVERIFY(p.waitForFinished(60000));
            QVERIFY(p.exitCode() != 0);
            QVERIFY(
                QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("备份失败")));
        }
        QVERIFY(!QFile::exists(w->path(QStringLiteral("none.sqlite"))));
        QCOMPARE(copiesIn(dir), 1);
    }

    // On PostgreSQL the copy is pg_dump's.
    void serverCopiesArePgDumps()
    {
        if (!postgresAvailable())
            QSKIP("no PostgreSQL test server (scripts/test.sh starts one)");
        const DbConfig config = freshPostgres();
        seedDatabase(config, {"A"}, {child("甲")});
        OfficeSession session(config);
        QVERIFY(session.open());
        QString error;
        const QString path = session.backups().backupTo(w->path(QStringLiteral("server")), &error);
        if (QStandardPaths::findExecutable(QStringLiteral("pg_dump")).isEmpty()) {
            QVERIFY(path.isEmpty());
            QVERIFY(error.contains(QStringLiteral("没有安装 pg_dump")));
            return;
        }
        QVERIFY2(!path.isEmpty(), qPrintable(error));
        QVERIFY(QFileInfo(path).size() > 0);
        QCOMPARE(QFile::permissions(path) & 0x0777, QFileDevice::ReadUser | QFileDevice::WriteUser);
        // Restoring a server is the administrator's job.
        QVERIFY(!session.restore(path));
    }
};

QTEST_MAIN(TestBackups)
#include "test_backups.moc"
