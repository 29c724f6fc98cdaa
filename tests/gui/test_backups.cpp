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
#include "rosterpage.h"
#include "testsupport.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>
#include <QThread>

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
        QVERIFY(w->messages.last().informative.contains(QStringLiteral("未保存的更改")));
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
        QVERIFY(QDir().mkpath(QDir(dir).filePath(name + QStringLiteral(".part"))));
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
