#include "backup.h"

#include "database.h"
#include "owneronly.h"

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

QAtomicInt checks;
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

std::optional<Info> write(Database &db, const QString &dir, const QDateTime &now, QString *error)
{
    auto refuse = [&](const QString &why) -> std::optional<Info> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (!OwnerOnly::createFolder(dir))
        return refuse(
            QStringLiteral("备份失败：无法建立文件夹 %1").arg(QDir::toNativeSeparators(dir)));
    const QString name = prefix + now.toString(stamp);
    QString target = QDir(dir).filePath(name + QStringLiteral(".sqlite"));
    for (int n = 2; QFile::exists(target); ++n)
        target = QDir(dir).filePath(QStringLiteral("%1-%2.sqlite").arg(name).arg(n));
    // Written under a name of its own, then renamed: a copy under the
    // final name is always whole.
    const QString partial = target + QStringLiteral(".part");
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
    if (!QFile::rename(partial, target)) {
        QFile::remove(partial);
        return refuse(
            QStringLiteral("备份失败：无法命名 %1").arg(QDir::toNativeSeparators(target)));
    }
    info->path = target;
    info->taken = now;
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

QVector<Info> list(const QString &dir)
{
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
        info.children = -1; // not read
        out << info;
    }
    std::sort(out.begin(), out.end(),
              [](const Info &a, const Info &b) { return a.taken > b.taken; });
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
        if (t.isValid())
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
    // Written beside the database and renamed over it (QSaveFile): a crash
    // leaves the old database or the copy, never half of one.
    QSaveFile out(databasePath);
    if (!out.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("无法写入 %1：%2")
                     .arg(QDir::toNativeSeparators(databasePath), out.errorString());
        return false;
    }
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (out.write(chunk) != chunk.size()) {
            out.cancelWriting();
            *error = QStringLiteral("恢复失败：写入 %1 时出错（磁盘已满？），数据库没有改动")
                         .arg(QDir::toNativeSeparators(databasePath));
            return false;
        }
    }
    if (!out.commit()) {
        *error = QStringLiteral("恢复失败：%1，数据库没有改动").arg(out.errorString());
        return false;
    }
    QFile::setPermissions(databasePath, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

} // namespace Backup
