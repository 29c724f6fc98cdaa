#include "backup.h"

#include "database.h"
#include "owneronly.h"
#include "schema.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace
{
const QString prefix = QStringLiteral("收费室备份-");
const QString stamp = QStringLiteral("yyyyMMdd-HHmmss");

QDateTime takenFromName(const QString &name)
{
    static const QRegularExpression re(QStringLiteral("(\\d{8}-\\d{6})"));
    const auto m = re.match(name);
    return m.hasMatch() ? QDateTime::fromString(m.captured(1), stamp) : QDateTime();
}

const QString beforeRestoreMark = QStringLiteral("-恢复前");

QAtomicInt checks;

// Why a copy that opened cannot become the office's database, or empty:
// something in it this program does not make (a trigger or view runs on
// every write and read; a table nobody knows of), a structure it cannot
// save into, or a serial counter behind the serials already given out.
QString hostile(QSqlDatabase &db, const QString &file)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT type, name, sql FROM sqlite_master WHERE type IN "
                               "('trigger', 'view', 'table') ORDER BY type, name")))
        return QStringLiteral("“%1”读不出来：%2").arg(file, q.lastError().text());
    const QStringList known = Schema::tableNames();
    // The program's own triggers only refuse changes, and are known by
    // their whole text.
    const QStringList guards = Schema::guards(DbConfig::sqlite(file));
    while (q.next()) {
        const QString type = q.value(0).toString(), name = q.value(1).toString();
        if (type == QLatin1String("trigger")) {
            if (guards.contains(q.value(2).toString()))
                continue;
            return QStringLiteral("“%1”含有本程序不建立的触发器 %2，可能改动或删除账目，不能恢复")
                .arg(file, name);
        }
        if (type == QLatin1String("view"))
            return QStringLiteral("“%1”含有本程序不建立的视图 %2，不能恢复").arg(file, name);
        if (!known.contains(name) && !name.startsWith(QLatin1String("sqlite_")))
            return QStringLiteral("“%1”含有本程序不建立的表 %2，不能恢复").arg(file, name);
    }
    const Schema::State state = Schema::inspect(db, DbConfig::sqlite(file));
    if (!state.error.isEmpty())
        return QStringLiteral("“%1”的结构本程序无法写入（%2），不能恢复")
            .arg(file, state.missingStudentColumns.isEmpty()
                           ? QStringLiteral("缺少列“班级”")
                           : QStringLiteral("缺少列“%1”")
                                 .arg(state.missingStudentColumns.join(QStringLiteral("”、“"))));
    // Every serial on record was counted out by its counter.
    const QStringList tables = db.tables();
    if (tables.contains(QStringLiteral("receipt_serial")) &&
        q.exec(QStringLiteral(
            "SELECT j.year, MAX(j.number), (SELECT last FROM receipt_serial s WHERE s.year = "
            "j.year) FROM receipt_journal j GROUP BY j.year")))
        while (q.next())
            if (q.value(2).isNull() || q.value(2).toLongLong() < q.value(1).toLongLong())
                return QStringLiteral("“%1”的收据编号计数（%2 年到 %3）落后于它自己的收据记录"
                                      "（到 %4），恢复后会重复编号，不能恢复")
                    .arg(file, q.value(0).toString(),
                         q.value(2).isNull() ? QStringLiteral("0") : q.value(2).toString(),
                         q.value(1).toString());
    if (tables.contains(QStringLiteral("refund_serial")) &&
        tables.contains(QStringLiteral("ledger_entry")) &&
        q.exec(QStringLiteral(
            "SELECT CAST(substr(own_serial, 1, 4) AS INTEGER) y, MAX(CAST(substr(own_serial, 7) "
            "AS INTEGER)), (SELECT last FROM refund_serial s WHERE s.year = CAST(substr("
            "own_serial, 1, 4) AS INTEGER)) FROM ledger_entry WHERE own_serial LIKE '____-R%' "
            "GROUP BY y")))
        while (q.next())
            if (q.value(2).isNull() || q.value(2).toLongLong() < q.value(1).toLongLong())
                return QStringLiteral("“%1”的退款编号计数落后于它自己的退款记录，恢复后会重复编号，"
                                      "不能恢复")
                    .arg(file);
    return {};
}
} // namespace

namespace Backup
{

QString folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/feeoffice/备份");
}

std::optional<Info> check(const QString &path, QString *error)
{
    auto refuse = [&](const QString &why) -> std::optional<Info> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return refuse(QStringLiteral("无法打开“%1”").arg(QDir::toNativeSeparators(path)));
    if (!f.read(16).startsWith("SQLite format 3"))
        return refuse(QStringLiteral("“%1”不是本程序的数据库（不是 SQLite 数据库文件）")
                          .arg(QFileInfo(path).fileName()));
    f.close();
    Info info;
    info.path = path;
    info.bytes = QFileInfo(path).size();
    info.taken = takenFromName(QFileInfo(path).fileName());
    if (!info.taken.isValid())
        info.taken = QFileInfo(path).lastModified();
    info.beforeRestore = QFileInfo(path).completeBaseName().endsWith(beforeRestoreMark);
    const QString name = QStringLiteral("feeoffice-check-%1").arg(checks.fetchAndAddRelaxed(1));
    QString why;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!db.open()) {
            why = QStringLiteral("无法打开“%1”：%2")
                      .arg(QFileInfo(path).fileName(), db.lastError().text());
        } else {
            QSqlQuery q(db);
            // Every page and record readable and well formed; the indexes
            // were built afresh by the copy itself.
            if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next() ||
                q.value(0).toString() != QLatin1String("ok")) {
                why = QStringLiteral("“%1”已损坏（完整性检查没有通过）")
                          .arg(QFileInfo(path).fileName());
            } else {
                const QStringList tables = db.tables();
                for (const char *t : {"class", "student", "receipt_journal"})
                    if (!tables.contains(QLatin1String(t)) && why.isEmpty())
                        why = QStringLiteral("“%1”不是本程序的数据库：缺少表 %2")
                                  .arg(QFileInfo(path).fileName(), QLatin1String(t));
                if (why.isEmpty())
                    why = hostile(db, QFileInfo(path).fileName());
            }
            auto count = [&](const QString &sql) {
                return q.exec(sql) && q.next() ? q.value(0).toInt() : -1;
            };
            if (why.isEmpty()) {
                info.classes =
                    count(QStringLiteral("SELECT count(DISTINCT \"班级\") FROM \"class\""));
                info.children = count(QStringLiteral("SELECT count(*) FROM student"));
                info.receipts = count(QStringLiteral("SELECT count(*) FROM receipt_journal"));
                // Serials are given out as receipts are written: the last
                // row written holds the last serial.
                if (q.exec(QStringLiteral(
                        "SELECT serial FROM receipt_journal ORDER BY rowid DESC LIMIT 1")) &&
                    q.next())
                    info.lastSerial = q.value(0).toString();
                if (info.classes < 0 || info.children < 0 || info.receipts < 0)
                    why = QStringLiteral("“%1”读不出来：%2")
                              .arg(QFileInfo(path).fileName(), q.lastError().text());
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!why.isEmpty())
        return refuse(why);
    return info;
}

std::optional<Info> write(Database &db, const QString &dir, const QDateTime &now, QString *error,
                          bool beforeRestore)
{
    auto refuse = [&](const QString &why) -> std::optional<Info> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (!OwnerOnly::createFolder(dir))
        return refuse(
            QStringLiteral("备份失败：无法建立文件夹 %1").arg(QDir::toNativeSeparators(dir)));
    const QString name =
        prefix + now.toString(stamp) + (beforeRestore ? beforeRestoreMark : QString());
    auto nameFor = [&](int n) {
        return QDir(dir).filePath(n < 2 ? name + QStringLiteral(".sqlite")
                                        : QStringLiteral("%1-%2.sqlite").arg(name).arg(n));
    };
    int n = 1;
    while (QFile::exists(nameFor(n)))
        ++n;
    // Written under a name of this process's own, then renamed: a copy
    // under a copy's name is always whole, and copies taken at once by
    // several programs never write into one file.
    const QString partial =
        QDir(dir).filePath(name + QStringLiteral(".sqlite.%1.part").arg(::getpid()));
    QFile::remove(partial);
    QSqlQuery q(db.connection());
    QString path = partial;
    path.replace(QLatin1Char('\''), QStringLiteral("''"));
    if (!q.exec(QStringLiteral("VACUUM INTO '%1'").arg(path))) {
        QFile::remove(partial);
        return refuse(QStringLiteral("备份失败，没有写完的副本已删除：%1（磁盘已满或不可写？）")
                          .arg(q.lastError().text()));
    }
    OwnerOnly::restrictFile(partial);
    QFile::setPermissions(partial, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QString why;
    auto info = check(partial, &why);
    if (!info) {
        QFile::remove(partial);
        return refuse(QStringLiteral("备份失败：写好的副本检查没有通过（%1），已删除").arg(why));
    }
    // Renaming never replaces a file: a name another program took meanwhile
    // means the next one.
    // link() fails when the name exists, atomically, where a rename would
    // replace another program's copy taken the same second.
    QString target = nameFor(n);
    while (::link(QFile::encodeName(partial).constData(), QFile::encodeName(target).constData()) !=
           0) {
        if (errno != EEXIST || n > 1000) {
            QFile::remove(partial);
            return refuse(
                QStringLiteral("备份失败：无法命名 %1").arg(QDir::toNativeSeparators(target)));
        }
        target = nameFor(++n);
    }
    QFile::remove(partial);
    info->path = target;
    info->taken = now;
    info->beforeRestore = beforeRestore;
    return info;
}

QString dumpServer(const DbConfig &config, const QString &dir, const QDateTime &now, QString *error)
{
    const QString pgDump = QStandardPaths::findExecutable(QStringLiteral("pg_dump"));
    if (pgDump.isEmpty()) {
        *error = QStringLiteral("没有安装 pg_dump，无法备份服务器数据库（Debian：apt install "
                                "postgresql-client）");
        return {};
    }
    if (!OwnerOnly::createFolder(dir)) {
        *error = QStringLiteral("备份失败：无法建立文件夹 %1").arg(QDir::toNativeSeparators(dir));
        return {};
    }
    const QString target =
        QDir(dir).filePath(prefix + now.toString(stamp) + QStringLiteral(".dump"));
    QProcess p;
    QStringList args{QStringLiteral("--format=custom"), QStringLiteral("--file"), target};
    if (!config.host.isEmpty())
        args << QStringLiteral("--host") << config.host;
    if (config.port > 0)
        args << QStringLiteral("--port") << QString::number(config.port);
    if (!config.user.isEmpty())
        args << QStringLiteral("--username") << config.user;
    args << QStringLiteral("--no-password") << config.name;
    p.start(pgDump, args);
    if (!p.waitForFinished(10 * 60 * 1000) || p.exitStatus() != QProcess::NormalExit ||
        p.exitCode() != 0) {
        QFile::remove(target);
        *error = QStringLiteral("pg_dump 备份失败：%1")
                     .arg(QString::fromLocal8Bit(p.readAllStandardError()).trimmed());
        return {};
    }
    QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return target;
}

QVector<Info> list(const QString &dir, const QDateTime &givenNow)
{
    const QDateTime now = givenNow.isValid() ? givenNow : QDateTime::currentDateTime();
    QVector<Info> out;
    const QFileInfoList files = QDir(dir).entryInfoList(
        {prefix + QStringLiteral("*.sqlite"), prefix + QStringLiteral("*.dump")}, QDir::Files);
    for (const QFileInfo &f : files) {
        if (f.suffix() == QLatin1String("sqlite"))
            if (auto info = check(f.filePath(), nullptr)) {
                out << *info;
                continue;
            }
        Info info;
        info.path = f.filePath();
        info.bytes = f.size();
        info.taken = takenFromName(f.fileName());
        if (!info.taken.isValid())
            info.taken = f.lastModified();
        info.beforeRestore = f.completeBaseName().endsWith(beforeRestoreMark);
        info.children = -1; // not read
        out << info;
    }
    // A copy dated ahead (the clock was wrong when it was taken) would stay
    // above every later copy: it goes last, marked.
    for (Info &i : out)
        i.future = i.taken > now.addSecs(60);
    std::sort(out.begin(), out.end(), [](const Info &a, const Info &b) {
        if (a.future != b.future)
            return b.future;
        return a.taken > b.taken;
    });
    return out;
}

bool hasCopyOf(const QString &dir, const QDate &day)
{
    const QStringList names = QDir(dir).entryList(
        {prefix + day.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("-*.sqlite")},
        QDir::Files);
    return !names.isEmpty();
}

QStringList prune(const QString &dir, const QDateTime &now)
{
    struct Copy {
        QString path;
        QDateTime taken;
    };
    QVector<Copy> copies;
    for (const QFileInfo &f :
         QDir(dir).entryInfoList({prefix + QStringLiteral("*.sqlite")}, QDir::Files)) {
        const QDateTime t = takenFromName(f.fileName());
        // The database as it was before a restore may hold the only record
        // of receipts since the restored copy: only a person removes it.
        if (t.isValid() && !f.completeBaseName().endsWith(beforeRestoreMark))
            copies.append({f.filePath(), t});
    }
    std::sort(copies.begin(), copies.end(),
              [](const Copy &a, const Copy &b) { return a.taken > b.taken; });
    QSet<QString> keep, days, months;
    for (const Copy &c : copies) {
        const QString day = c.taken.toString(QStringLiteral("yyyyMMdd"));
        const QString month = c.taken.toString(QStringLiteral("yyyyMM"));
        if (c.taken > now) {
            keep.insert(c.path); // a clock set back: never lose a copy for it
            continue;
        }
        if (!days.contains(day) && days.size() < 30) {
            days.insert(day);
            keep.insert(c.path);
        }
        if (!months.contains(month) && months.size() < 24) {
            months.insert(month);
            keep.insert(c.path);
        }
    }
    QStringList removed;
    for (const Copy &c : copies)
        if (!keep.contains(c.path) && QFile::remove(c.path))
            removed << c.path;
    return removed;
}

bool replaceDatabase(const QString &databasePath, const QString &copy, QString *error)
{
    // A rollback journal left by a write that never finished belongs to the
    // old file: it would be played into the copy.
    if (QFileInfo(databasePath + QStringLiteral("-journal")).size() > 0) {
        *error = QStringLiteral(
                     "数据库还有没有完成的写入（%1-journal）：请先正常打开并关闭一次程序，再恢复")
                     .arg(QFileInfo(databasePath).fileName());
        return false;
    }
    QFile in(copy);
    if (!in.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法读取副本 %1").arg(QDir::toNativeSeparators(copy));
        return false;
    }
    // Written beside the database, flushed to the disk and checked there:
    // the file renamed into place is the one checked, whatever happens to
    // the chosen file meanwhile. A crash leaves the old database or the
    // copy, never half of one.
    const QString beside = databasePath + QStringLiteral(".%1.restore").arg(::getpid());
    QFile out(beside);
    auto fail = [&](const QString &why) {
        out.close();
        QFile::remove(beside);
        *error = why;
        return false;
    };
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(QStringLiteral("无法写入 %1：%2")
                        .arg(QDir::toNativeSeparators(beside), out.errorString()));
    OwnerOnly::restrictFile(beside);
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
            return fail(QStringLiteral("恢复失败：读取副本时出错（%1），数据库没有改动")
                            .arg(in.errorString()));
        if (out.write(chunk) != chunk.size())
            return fail(QStringLiteral("恢复失败：写入 %1 时出错（磁盘已满？），数据库没有改动")
                            .arg(QDir::toNativeSeparators(databasePath)));
    }
    if (!out.flush() || ::fsync(out.handle()) != 0)
        return fail(QStringLiteral("恢复失败：%1，数据库没有改动").arg(out.errorString()));
    out.close();
    QString why;
    if (!check(beside, &why))
        return fail(
            QStringLiteral("恢复失败：复制出来的副本检查没有通过（%1），数据库没有改动").arg(why));
    QFile::setPermissions(beside, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (std::rename(QFile::encodeName(beside).constData(),
                    QFile::encodeName(databasePath).constData()) != 0)
        return fail(QStringLiteral("恢复失败：无法替换 %1，数据库没有改动")
                        .arg(QDir::toNativeSeparators(databasePath)));
    return true;
}

QString Losses::text() const
{
    QStringList lines;
    if (receipts > 0)
        lines << QStringLiteral("收据 %1 张（最后一张 %2）").arg(receipts).arg(lastReceipt);
    if (payments > 0)
        lines << QStringLiteral("收款 %1 笔（最后一笔收据 %2）").arg(payments).arg(lastPayment);
    if (refunds > 0)
        lines << QStringLiteral("退款 %1 笔（最后一笔 %2）").arg(refunds).arg(lastRefund);
    if (auditRows > 0)
        lines << QStringLiteral("操作记录 %1 条（最后一条 %2）").arg(auditRows).arg(lastAudit);
    return lines.join(QLatin1Char('\n'));
}

std::optional<Losses> losses(const QString &databasePath, const QString &copy, QString *error)
{
    // Both files read-only on a connection of their own: the copy attached
    // to the database, each table compared by what keys its rows.
    const QString name = QStringLiteral("feeoffice-losses-%1").arg(checks.fetchAndAddRelaxed(1));
    std::optional<Losses> out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databasePath);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        const bool opened = db.open();
        QSqlQuery q(db);
        auto read = [&](const QString &sql, int *count, QString *last) {
            if (!q.exec(sql) || !q.next())
                return false;
            *count = q.value(0).toInt();
            *last = q.value(1).toString();
            return true;
        };
        q.prepare(QStringLiteral("ATTACH DATABASE ? AS copy"));
        q.addBindValue(copy);
        Losses l;
        bool ok = opened && q.exec();
        // A copy of an older layout lacks the newer tables: all their rows
        // are lost.
        QStringList inCopy;
        if (ok && q.exec(QStringLiteral("SELECT name FROM copy.sqlite_master WHERE type = "
                                        "'table'")))
            while (q.next())
                inCopy << q.value(0).toString();
        auto notIn = [&](const char *table, const QString &same) {
            return inCopy.contains(QLatin1String(table))
                       ? QStringLiteral("NOT EXISTS (SELECT 1 FROM copy.%1 c WHERE %2)")
                             .arg(QLatin1String(table), same)
                       : QStringLiteral("1 = 1");
        };
        const QString entry = QStringLiteral("c.id = m.id AND c.kind = m.kind");
        ok = ok &&
             read(QStringLiteral("SELECT count(*), MAX(serial) FROM main.receipt_journal m "
                                 "WHERE %1")
                      .arg(notIn("receipt_journal", QStringLiteral("c.serial = m.serial"))),
                  &l.receipts, &l.lastReceipt) &&
             read(QStringLiteral("SELECT count(*), MAX(receipt_serial) FROM main.ledger_entry m "
                                 "WHERE kind = '实收' AND %1")
                      .arg(notIn("ledger_entry", entry)),
                  &l.payments, &l.lastPayment) &&
             read(QStringLiteral("SELECT count(*), MAX(own_serial) FROM main.ledger_entry m "
                                 "WHERE kind = '退款' AND %1")
                      .arg(notIn("ledger_entry", entry)),
                  &l.refunds, &l.lastRefund) &&
             read(QStringLiteral("SELECT count(*), MAX(at) FROM main.audit_log m WHERE %1")
                      .arg(notIn("audit_log",
                                 QStringLiteral("c.id = m.id AND c.at = m.at AND c.what = "
                                                "m.what"))),
                  &l.auditRows, &l.lastAudit);
        if (ok)
            out = l;
        else if (error)
            *error = q.lastError().text().isEmpty() ? db.lastError().text() : q.lastError().text();
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return out;
}

std::optional<Counters> counters(Database &db, QString *error)
{
    Counters c;
    QSqlQuery q(db.connection());
    for (auto [table, into] :
         {std::pair{"receipt_serial", &c.receipts}, std::pair{"refund_serial", &c.refunds}}) {
        if (!q.exec(QStringLiteral("SELECT year, last FROM %1").arg(QLatin1String(table)))) {
            *error = q.lastError().text();
            return std::nullopt;
        }
        while (q.next())
            into->insert(q.value(0).toInt(), q.value(1).toLongLong());
    }
    return c;
}

std::optional<QStringList> raiseCounters(Database &db, const Counters &highest, QString *error)
{
    const auto now = counters(db, error);
    if (!now)
        return std::nullopt;
    QStringList raised;
    QSqlQuery q(db.connection());
    auto raise = [&](const char *table, const QMap<int, qint64> &to, const QMap<int, qint64> &at,
                     const QString &kind) {
        for (auto it = to.cbegin(); it != to.cend(); ++it) {
            if (at.value(it.key(), 0) >= it.value())
                continue;
            q.prepare(QStringLiteral("INSERT INTO %1 (year, last) VALUES (?, ?) ON CONFLICT "
                                     "(year) DO UPDATE SET last = MAX(last, excluded.last)")
                          .arg(QLatin1String(table)));
            q.addBindValue(it.key());
            q.addBindValue(it.value());
            if (!q.exec()) {
                *error = q.lastError().text();
                return false;
            }
            raised << QStringLiteral("%1 %2 年的编号从 %3 续编（恢复前已用到 %4）")
                          .arg(kind)
                          .arg(it.key())
                          .arg(it.value() + 1)
                          .arg(it.value());
        }
        return true;
    };
    if (!raise("receipt_serial", highest.receipts, now->receipts, QStringLiteral("收据")) ||
        !raise("refund_serial", highest.refunds, now->refunds, QStringLiteral("退款")))
        return std::nullopt;
    return raised;
}

} // namespace Backup
