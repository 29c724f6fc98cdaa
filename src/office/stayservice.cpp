#include "stayservice.h"

#include "access.h"
#include "roles.h"

std::optional<QVector<StayStore::Row>> StayService::current(QString *error)
{
    StayStore store(m_database);
    auto rows = store.current();
    if (!rows && error)
        *error = store.errorString();
    return rows;
}

std::optional<QVector<StayStore::Row>> StayService::history(const QString &childId, QString *error)
{
    StayStore store(m_database);
    auto rows = store.history(childId);
    if (!rows && error)
        *error = store.errorString();
    return rows;
}

std::optional<PartMonth::Stay> StayService::stay(const QString &childId, QString *error)
{
    QString why;
    const auto all = StayStore::stays(m_database, {childId}, &why);
    if (!all) {
        if (error)
            *error = why;
        return std::nullopt;
    }
    return all->value(childId);
}

WriteResult StayService::record(const StayStore::Row &row)
{
    // Held while the change is written.
    const auto permit = m_access.permit(Roles::Rosters);
    if (!permit)
        return permit.result();
    return StayStore(m_database).record(row);
}

std::optional<PartMonth::Rule> StayService::rule(QString *error)
{
    StayStore store(m_database);
    auto r = store.rule();
    if (!r && error)
        *error = store.errorString();
    return r;
}

WriteResult StayService::saveRule(const PartMonth::Rule &rule)
{
    // Held while the change is written.
    const auto permit = m_access.permit(Roles::PricesAndRules);
    if (!permit)
        return permit.result();
    return StayStore(m_database).saveRule(rule);
}
