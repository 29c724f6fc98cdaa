#pragma once

#include "reductionstore.h"
#include "writeresult.h"

#include <optional>

class Access;
class Database;

// Reductions (减免): the types the office keeps and the grants that give
// them to children, kept by those who set prices and rules. Billing and
// the receipts find them in the accounts' own transactions.
class ReductionService
{
public:
    ReductionService(Database &database, Access &access) : m_database(database), m_access(access) {}

    std::optional<QVector<Reductions::Type>> types(QString *error = nullptr);
    std::optional<QVector<ReductionStore::Grant>> grants(QString *error = nullptr);
    WriteResult saveType(const Reductions::Type &type, qint64 *newId = nullptr);
    WriteResult withdrawType(qint64 typeId);
    WriteResult grant(const ReductionStore::Grant &grant);
    WriteResult withdrawGrant(qint64 grantId);

private:
    Database &m_database;
    Access &m_access;
};
