#pragma once

#include "backup.h"
#include "dbconfig.h"

#include <QString>
#include <QVector>
#include <optional>

class Database;

// Backups (备份与恢复) of the office's database: the automatic copies of
// the embedded file, copies into a chosen folder (a pg_dump on a server),
// and the list and check of the copies kept. Replacing the database with
// a copy is the session's (it reads everything again afterwards).
class BackupService
{
public:
    BackupService(Database &database, const DbConfig &config);

    // The folder of the automatic copies.
    QString folder() const;
    // The copies there, newest first.
    QVector<Backup::Info> copies() const;
    // What a copy holds, or nullopt with why it does not check.
    std::optional<Backup::Info> check(const QString &path, QString *why) const;
    // What the office's database holds that the copy lacks.
    std::optional<Backup::Losses> losses(const QString &copy, QString *why) const;

    // A checked copy into the folder: its path, or empty with why.
    QString backupTo(const QString &dir, QString *error);
    // The automatic copy at the first start of a day (atStart: only when
    // none was taken that day) and at every close, old copies pruned.
    // Nothing on a server or a kept copy, or while unread. Empty when done
    // or not needed, else why it failed (kept in lastFailure()).
    QString automaticBackup(bool atStart, bool readable);
    QString lastFailure() const { return m_failure; }

private:
    Database &m_database;
    DbConfig m_config;
    QString m_failure;
};
