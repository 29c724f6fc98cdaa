// What the window does with a database it cannot read, is held locked by
// another program or is read-only, the modes of the files it makes, and
// several processes' first saves at once.
#include "database.h"
#include "mainwindow.h"
#include "officesession.h"
#include "rosterdocument.h"
#include "rosterpage.h"
#include "rosterstore.h"
#include "testsupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMutex>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTest>
#include <QThread>

#include <sys/stat.h>

namespace
{
QStringList child(const QString &name, const QString &cls)
{
    return {name, "4", "1000", "", "", "", "", "", "", "", "李", "否", cls};
}

mode_t modeOf(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

// Another program holding the SQLite file locked (no reader gets in) for
// the given time, from a thread of its own.
QThread *holdLocked(const QString &path, int ms, QAtomicInt *locked)
{
    return QThread::create([path, ms, locked] {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                        QStringLiteral("other program"));
            db.setDatabaseName(path);
            if (db.open() && QSqlQuery(db).exec(QStringLiteral("BEGIN EXCLUSIVE"))) {
                locked->storeRelease(1);
                QThread::msleep(ulong(ms));
                QSqlQuery(db).exec(QStringLiteral("COMMIT"));
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other program"));
    });
}
} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

private slots:
    void init() { w = new TestWorld; }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    void lockedDatabaseIsSaidAndTriedAgain()
    {
        seedDatabase(w->databasePath(), {"A"}, {child("甲", "A")});
        QAtomicInt locked;
        // Longer than one wait for the lock (5 s), shorter than two.
        QThread *other = holdLocked(w->databasePath(), 7000, &locked);
        other->start();
        QTRY_VERIFY(locked.loadAcquire());
        w->questionAnswers = {QMessageBox::Retry};
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        QVERIFY(other->wait(20000));
        delete other;
        // Never shown as an empty database: asked once, read on the retry.
        QCOMPARE(w->questions, 1);
        QVERIFY(w->questionTexts.at(0).contains(QStringLiteral("重试")));
        QCOMPARE(mw.tabWidget->count(), 1);
        QCOMPARE(cell(*mw.page(0), 0, Roster::Name), QStringLiteral("甲"));
        // And it saves: the file is the one it opened.
        mw.page(0)->addRow();
        QVERIFY(mw.onButtonSaveDB());
        QCOMPARE(storedStudents(w->databasePath()).size(), 2);
    }

    // An office upgrading: its file holds only the two described tables,
    // and another program holds it locked when this version first opens it.
    void lockedOldLayoutIsTriedAgain()
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                        QStringLiteral("old layout"));
            db.setDatabaseName(w->databasePath());
            QVERIFY(db.open());
            QSqlQuery q(db);
            QStringList cols;
            for (const QString &c : Database::studentColumns())
                cols << QStringLiteral("\"%1\" TEXT").arg(c);
            QVERIFY(q.exec(QStringLiteral(
                "CREATE TABLE \"class\" (id INTEGER PRIMARY KEY, \"班级\" TEXT)")));
            QVERIFY(q.exec(QStringLiteral("CREATE TABLE student (id INTEGER PRIMARY KEY, %1)")
                               .arg(cols.join(QStringLiteral(", ")))));
            QVERIFY(q.exec(QStringLiteral("INSERT INTO \"class\" (\"班级\") VALUES ('A')")));
            QVERIFY(q.exec(QStringLiteral("INSERT INTO student (\"儿童姓名\", \"班级\") "
                                          "VALUES ('甲', 'A')")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("old layout"));
        QAtomicInt locked;
        QThread *other = holdLocked(w->databasePath(), 7000, &locked);
        other->start();
        QTRY_VERIFY(locked.loadAcquire());
        w->questionAnswers = {QMessageBox::Retry};
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        QVERIFY(other->wait(20000));
        delete other;
        QCOMPARE(w->questions, 1);
        QVERIFY2(w->messages.isEmpty(), qPrintable(w->messages.value(0).text));
        QCOMPARE(mw.tabWidget->count(), 1);
        QCOMPARE(cell(*mw.page(0), 0, Roster::Name), QStringLiteral("甲"));
        mw.page(0)->addRow();
        QVERIFY(mw.onButtonSaveDB());
        QCOMPARE(storedStudents(w->databasePath()).size(), 2);
    }

    void lockedDatabaseNotReadIsNeverWritten()
    {
        seedDatabase(w->databasePath(), {"A"}, {child("甲", "A")});
        QAtomicInt locked;
        QThread *other = holdLocked(w->databasePath(), 5500, &locked);
        other->start();
        QTRY_VERIFY(locked.loadAcquire());
        w->questionAnswer = QMessageBox::Cancel;
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        QVERIFY(other->wait(20000));
        delete other;
        QCOMPARE(mw.tabWidget->count(), 0);
        QVERIFY(!mw.findChild<QLabel *>(QStringLiteral("emptyHint"))
                     ->text()
                     .contains(QStringLiteral("还没有班级")));
        // The lock is gone, but what this window never read it never replaces.
        mw.addclassEdit->setText(QStringLiteral("B"));
        mw.onButtonAddclassOK();
        QVERIFY(!mw.onButtonSaveDB());
        QCOMPARE(storedClasses(w->databasePath()), QStringList{"A"});
        QCOMPARE(storedStudents(w->databasePath()).size(), 1);
        QVERIFY(w->messages.last().text.startsWith(QStringLiteral("数据库没有读出来")));
    }

    void readOnlyDatabaseIsSaidAtStart()
    {
        seedDatabase(w->databasePath(), {"A"}, {child("甲", "A")});
        QVERIFY(QFile::setPermissions(w->databasePath(), QFile::ReadOwner | QFile::ReadGroup));
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        QCOMPARE(w->messages.size(), 1);
        QVERIFY(w->messages.at(0).text.contains(QStringLiteral("只读")));
        QCOMPARE(mw.tabWidget->count(), 1);
    }

    void filesMadeAreTheOwnersOnly()
    {
        // Whatever the umask: one that takes nothing away.
        const mode_t old = ::umask(0);
        const QString path = w->path(QStringLiteral("new/data/rosters.sqlite"));
        {
            Database db(DbConfig::sqlite(path));
            QVERIFY(db.open());
        }
        QString kept;
        {
            OfficeSession s(DbConfig::sqlite(path));
            QVERIFY(s.open());
            QVERIFY(s.addClass(QStringLiteral("A")));
            WriteResult error;
            kept = s.keepLocalCopy(&error);
        }
        ::umask(old);
        QCOMPARE(modeOf(path), mode_t(0600));
        QCOMPARE(modeOf(w->path(QStringLiteral("new/data"))), mode_t(0700));
        QCOMPARE(modeOf(w->path(QStringLiteral("new"))), mode_t(0700));
        QVERIFY(!kept.isEmpty());
        QCOMPARE(modeOf(kept), mode_t(0600));
        QCOMPARE(modeOf(QFileInfo(kept).absolutePath()), mode_t(0700));
    }

    void firstSavesFromFourProcessesAtOnce()
    {
        seedDatabase(w->databasePath(), {}, {});
        const QString path = w->databasePath();
        QAtomicInt failures;
        QStringList reasons;
        QMutex reasonsLock;
        QVector<QThread *> pcs;
        for (int pc = 0; pc < 4; ++pc)
            pcs << QThread::create([&, pc] {
                Database db(DbConfig::sqlite(path));
                if (!db.open()) {
                    failures.ref();
                    return;
                }
                for (int i = 0; i < 20; ++i) {
                    const QString cls = QStringLiteral("PC%1-%2").arg(pc).arg(i);
                    QVector<ChildRecord> rows = records({child(QStringLiteral("甲"), cls)});
                    const WriteResult r = RosterStore(db).replaceStudents(QStringList{cls}, rows);
                    if (!r) {
                        failures.ref();
                        QMutexLocker l(&reasonsLock);
                        reasons << r.oneLine();
                    }
                }
            });
        for (QThread *t : pcs)
            t->start();
        for (QThread *t : pcs) {
            QVERIFY(t->wait(120000));
            delete t;
        }
        QVERIFY2(failures.loadRelaxed() == 0, qPrintable(reasons.join(QLatin1Char('\n'))));
        QCOMPARE(storedStudents(path).size(), 80);
    }

    void twoCopiesKeptInTheSameSecond()
    {
        // Two windows closing at once with the server away (the clock is
        // pinned: the same second): each copy is a file of its own.
        seedDatabase(w->databasePath(), {"A"}, {child("甲", "A")});
        OfficeSession one(DbConfig::sqlite(w->databasePath()));
        OfficeSession two(DbConfig::sqlite(w->databasePath()));
        QVERIFY(one.open());
        QVERIFY(two.open());
        one.document(QStringLiteral("A"))->setText(0, Roster::Name, QStringLiteral("一号改"));
        two.document(QStringLiteral("A"))->setText(0, Roster::Name, QStringLiteral("二号改"));
        WriteResult error;
        const QString first = one.keepLocalCopy(&error);
        const QString second = two.keepLocalCopy(&error);
        QVERIFY(!first.isEmpty());
        QVERIFY(!second.isEmpty());
        QVERIFY(first != second);
        QCOMPARE(storedStudents(first).value(0).value(Roster::Name), QStringLiteral("一号改"));
        QCOMPARE(storedStudents(second).value(0).value(Roster::Name), QStringLiteral("二号改"));
    }

    void manyClassesAreChosenFromAList()
    {
        QStringList classes;
        QVector<QStringList> rows;
        for (int c = 0; c < 300; ++c) {
            classes << QStringLiteral("班级%1").arg(c, 3, 10, QLatin1Char('0'));
            rows << child(QStringLiteral("童%1").arg(c), classes.last());
        }
        seedDatabase(w->databasePath(), classes, rows);
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        // One tab, the list beside it holding every class.
        QCOMPARE(mw.tabWidget->count(), 1);
        auto *list = mw.findChild<QListView *>(QStringLiteral("classList"));
        QVERIFY(list && list->isVisibleTo(&mw));
        QCOMPARE(list->model()->rowCount(), 300);
        mw.findChild<QLineEdit *>(QStringLiteral("classFilter"))->setText(QStringLiteral("班级12"));
        QCOMPARE(list->model()->rowCount(), 10); // 班级120 … 班级129
        const QModelIndex at = list->model()->index(0, 0);
        QCOMPARE(at.data().toString(), QStringLiteral("班级120"));
        emit list->activated(at);
        QCOMPARE(mw.tabWidget->count(), 2);
        QCOMPARE(mw.tabWidget->currentWidget()->objectName(), QStringLiteral("班级120"));
        QCOMPARE(cell(*mw.page(1), 0, Roster::Name), QStringLiteral("童120"));
        // Chosen again: the same tab, not a second one.
        emit list->activated(at);
        QCOMPARE(mw.tabWidget->count(), 2);
        // A class added here opens; its children save with it.
        mw.addclassEdit->setText(QStringLiteral("新班"));
        mw.onButtonAddclassOK();
        QCOMPARE(mw.tabWidget->count(), 3);
        QCOMPARE(mw.tabWidget->currentWidget()->objectName(), QStringLiteral("新班"));
        mw.page(2)->addRow();
        mw.page(1)->document()->setText(0, Roster::Age, QStringLiteral("5"));
        QVERIFY(mw.onButtonSaveDB());
        QCOMPARE(storedStudents(w->databasePath()).size(), 301);
        QCOMPARE(storedClasses(w->databasePath()).size(), 301);
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
