#pragma once

#include "auditlog.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

class Database;

// Reading the audit log (操作记录); its rows are written by the changes
// themselves, in their own transactions.
class AuditService
{
public:
    explicit AuditService(Database &database) : m_database(database) {}

    // The kinds of change, in the order offered.
    static QStringList kinds() { return AuditLog::kinds(); }
    // Rows from day from to day to (both included), newest first; empty
    // clerk or kind: any. nullopt with error when they cannot be read.
    std::optional<QVector<AuditLog::Row>> read(const QDate &from, const QDate &to,
                                               const QString &clerk, const QString &kind,
                                               QString *error) const
    {
        return AuditLog::read(m_database, from, to, clerk, kind, error);
    }

private:
    Database &m_database;
};
