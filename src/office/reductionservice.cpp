#include "reductionservice.h"

#include "access.h"
#include "roles.h"

std::optional<QVector<Reductions::Type>> ReductionService::types(QString *error)
{
    ReductionStore store(m_database);
    auto list = store.types();
    if (!list && error)
        *error = store.errorString();
    return list;
}

std::optional<QVector<ReductionStore::Grant>> ReductionService::grants(QString *error)
{
    ReductionStore store(m_database);
    auto list = store.grants();
    if (!list && error)
        *error = store.errorString();
    return list;
}

WriteResult ReductionService::saveType(const Reductions::Type &type, qint64 *newId)
{
    // Held while the change is written.
    const auto permit = m_access.permit(Roles::PricesAndRules);
    if (!permit)
        return permit.result();
    return ReductionStore(m_database).saveType(type, newId);
}

WriteResult ReductionService::withdrawType(qint64 typeId)
{
    // Held while the change is written.
    const auto permit = m_access.permit(Roles::PricesAndRules);
    if (!permit)
        return permit.result();
    return ReductionStore(m_database).withdrawType(typeId);
}

WriteResult ReductionService::grant(const ReductionStore::Grant &grant)
{
    // Held while the change is written.
    const auto permit = m_access.permit(Roles::PricesAndRules);
    if (!permit)
        return permit.result();
    return ReductionStore(m_database).grant(grant);
}

WriteResult ReductionService::withdrawGrant(qint64 grantId)
{
    // Held while the change is written.
    const auto permit = m_access.permit(Roles::PricesAndRules);
    if (!permit)
        return permit.result();
    return ReductionStore(m_database).withdrawGrant(grantId);
}
