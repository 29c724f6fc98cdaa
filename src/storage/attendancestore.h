#pragma once

#include "absence.h"
#include "writeresult.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <optional>

class Database;

// The office's calendar and the days children were absent, in the shared
// database. A class's month of absences is written whole, in one
// transaction.
class AttendanceStore
{
public:
    explicit AttendanceStore(Database &database);

    // The holidays and make-up days of a month ("yyyy-MM").
    std::optional<Absence::Calendar> calendar(const QString &month);
    // Replaces the month's holidays and make-up days.
    WriteResult saveCalendar(const QString &month, const Absence::Calendar &calendar);

    // One child's month: its name when recorded, and the days.
    struct ChildDays {
        QString name;
        QVector<Absence::Absent> days;
    };
    // A class's month of absences, by child identity.
    std::optional<QHash<QString, ChildDays>> read(const QString &className, const QString &month);
    // Replaces the class's month of absences.
    WriteResult save(const QString &className, const QString &month,
                     const QHash<QString, ChildDays> &children, const QString &clerk,
                     const QDateTime &at);

    QString errorString() const { return m_error; }

private:
    Database &m_db;
    QString m_error;
};
