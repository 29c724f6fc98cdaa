#include "backupservice.h"

#include "clock.h"
#include "database.h"
#include "rostersync.h"

BackupService::BackupService(Database &database, const DbConfig &config)
    : m_database(database), m_config(config)
{
}

QString BackupService::folder() const
{
    return Backup::folder();
}

QVector<Backup::Info> BackupService::copies() const
{
    return Backup::list(Backup::folder(), Clock::now());
}

std::optional<Backup::Losses> BackupService::losses(const QString &copy, QString *why) const
{
    return Backup::losses(m_config.path, copy, why);
}

std::optional<Backup::Info> BackupService::check(const QString &path, QString *why) const
{
    return Backup::check(path, why);
}

QString BackupService::backupTo(const QString &dir, QString *error)
{
    if (m_config.isPostgres())
        return Backup::dumpServer(m_config, dir, Clock::now(), error);
    if (!m_config.isSqlite()) {
        *error = QStringLiteral("这种数据库（%1）请由管理员备份").arg(m_config.driver);
        return {};
    }
    const auto info = Backup::write(m_database, dir, Clock::now(), error);
    return info ? info->path : QString();
}

QString BackupService::automaticBackup(bool atStart, bool readable)
{
    if (!m_config.isSqlite() || RosterSync::isKeptCopy(m_config) || !readable)
        return {};
    const QString dir = Backup::folder();
    const QDateTime now = Clock::now();
    if (atStart && Backup::hasCopyOf(dir, now.date()))
        return {};
    QString error;
    if (!Backup::write(m_database, dir, now, &error)) {
        m_failure = error;
        return error;
    }
    Backup::prune(dir, now);
    return {};
}
