#pragma once

#include "absence.h"
#include "writeresult.h"

#include <QHash>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>

class Access;
class Database;
class OfficeSettings;
class RosterDocument;

// Absences and meal refunds (缺勤退费): the school calendar, each class's
// absent days by child identity, and the refunds they come to by the
// rule, recorded in the children's accounts.
class AttendanceService
{
public:
    // The roster of a class (null: no such class); whether the rosters
    // were read, without which nothing is written.
    using Rosters = std::function<RosterDocument *(const QString &className)>;
    AttendanceService(Database &database, OfficeSettings &settings, Access &access, Rosters rosters,
                      std::function<bool()> writable)
        : m_database(database), m_settings(settings), m_access(access),
          m_rosters(std::move(rosters)), m_writable(std::move(writable))
    {
    }

    // Absences and meal refunds (缺勤退费), per class and month ("yyyy-MM").
    std::optional<Absence::Calendar> calendar(const QString &month, QString *error = nullptr);
    WriteResult saveCalendar(const QString &month, const Absence::Calendar &calendar);
    // A class's month of absences, by child identity (name, days).
    using Absences = QHash<QString, QPair<QString, QVector<Absence::Absent>>>;
    std::optional<Absences> absences(const QString &className, const QString &month,
                                     QString *error = nullptr);
    WriteResult saveAbsences(const QString &className, const QString &month,
                             const Absences &absences);
    // The refunds of a class's month as the rule computes them now, for
    // every child of its roster; absences of children no longer in it are
    // named in problems.
    struct ChildRefund {
        QString childId, name;
        qint64 perDayFen = 0;
        Absence::Refund refund;
        // Tuition back after a long absence, always credited.
        Absence::Refund tuition;
    };
    struct RefundPlan {
        QString className, month;
        Absence::Rule rule;
        Absence::TuitionRule tuitionRule;
        QVector<ChildRefund> children;
        QStringList problems;
        qint64 total = 0;
    };
    std::optional<RefundPlan> refunds(const QString &className, const QString &month,
                                      QString *error);
    // Records the plan's refunds (only differences to what was recorded
    // before); the entries written in written.
    WriteResult applyRefunds(const RefundPlan &plan, int *written = nullptr);

private:
    WriteResult unread() const;
    // Stores who the class's stored children are, where not stored yet.
    WriteResult keepIdentities(const QString &className);

    Database &m_database;
    OfficeSettings &m_settings;
    Access &m_access;
    Rosters m_rosters;
    std::function<bool()> m_writable;
};
