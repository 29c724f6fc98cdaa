#pragma once

#include "dayreport.h"
#include "ledger.h"
#include "monthreport.h"
#include "notice.h"
#include "roles.h"

#include <QDate>
#include <QString>
#include <QVector>
#include <optional>

class Access;
class Database;

// The office's figures as the books hold them, read only: the day's
// closing (日结), the month's report (月报), who owes (欠费) and one
// child's account. Each is read afresh from the database.
class ReportService
{
public:
    ReportService(Database &database, const Access &access) : m_database(database), m_access(access)
    {
    }

    // The day's closing of a clerk, or of every clerk when empty. A
    // 收费员 reads their own only; the month's report is a 会计's.
    std::optional<DayReport> dayReport(const QDate &day, const QString &clerk,
                                       QString *error = nullptr);
    std::optional<MonthReport> monthReport(const QString &month, QString *error = nullptr);
    // Every child owing anything, by class and name; a child that moved
    // class owes under the class it is in now.
    std::optional<QVector<Ledger::Owing>> arrears(QString *error = nullptr);
    // One child's account, oldest entry first.
    std::optional<QVector<LedgerEntry>> account(const QString &childId, QString *error = nullptr);

    // The month's payment notices of the children, from their accounts:
    // what each is to pay is the sum of its months up to this one.
    struct Child {
        QString id, className, name;
    };
    std::optional<QVector<Notices::Notice>> notices(const QVector<Child> &children,
                                                    const QString &month, const QDate &payBy,
                                                    QString *error = nullptr);
    // Every child owing, with how long each month has been owing.
    std::optional<QVector<Notices::Reminder>> reminders(const QDate &today,
                                                        QString *error = nullptr);
    // A child's entries from the first of one month to the end of another.
    std::optional<Notices::Statement> statement(const QString &childId, const QString &from,
                                                const QString &to, QString *error = nullptr);

private:
    bool refused(Roles::Permission permission, QString *error) const;

    Database &m_database;
    const Access &m_access;
};
