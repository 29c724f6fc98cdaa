#pragma once

#include "staystore.h"
#include "writeresult.h"

#include <optional>

class Access;
class Database;

// When children joined and left (插班、退园), recorded by the clerks who
// keep the rosters, and the rule of a part month's tuition, kept by those
// who set prices and rules. Billing and the receipts read both in the
// accounts' own transactions.
class StayService
{
public:
    StayService(Database &database, Access &access) : m_database(database), m_access(access) {}

    std::optional<QVector<StayStore::Row>> current(QString *error = nullptr);
    std::optional<QVector<StayStore::Row>> history(const QString &childId,
                                                   QString *error = nullptr);
    std::optional<PartMonth::Stay> stay(const QString &childId, QString *error = nullptr);
    WriteResult record(const StayStore::Row &row);
    std::optional<PartMonth::Rule> rule(QString *error = nullptr);
    WriteResult saveRule(const PartMonth::Rule &rule);

private:
    Database &m_database;
    Access &m_access;
};
