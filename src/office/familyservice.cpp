#include "familyservice.h"

#include "access.h"
#include "ledgerstore.h"
#include "roles.h"

#include <QMap>

std::optional<QVector<FamilyStore::Family>> FamilyService::families(QString *error)
{
    FamilyStore store(m_database);
    auto list = store.families();
    if (!list && error)
        *error = store.errorString();
    return list;
}

WriteResult FamilyService::saveFamily(qint64 id, const QString &payer, const QString &phone,
                                      qint64 *newId)
{
    const auto permit = m_access.permit(Roles::Print);
    if (!permit)
        return permit.result();
    return FamilyStore(m_database).saveFamily(id, payer, phone, newId);
}

WriteResult FamilyService::setMember(qint64 familyId, const FamilyStore::Member &child)
{
    const auto permit = m_access.permit(Roles::Print);
    if (!permit)
        return permit.result();
    return FamilyStore(m_database).setMember(familyId, child);
}

std::optional<FamilyService::Card> FamilyService::card(qint64 familyId, QString *error)
{
    const auto list = families(error);
    if (!list)
        return std::nullopt;
    Card card;
    bool found = false;
    for (const FamilyStore::Family &f : *list)
        if (f.id == familyId) {
            card.family = f;
            found = true;
        }
    if (!found) {
        if (error)
            *error = QStringLiteral("没有这个家庭");
        return std::nullopt;
    }
    LedgerStore store(m_database);
    for (const FamilyStore::Member &m : std::as_const(card.family.members)) {
        const auto entries = store.entries(m.childId);
        if (!entries) {
            if (error)
                *error = store.errorString();
            return std::nullopt;
        }
        // Each month stands at the sum of its entries: owed when above 0,
        // paid ahead when below.
        QMap<QString, qint64> months;
        for (const LedgerEntry &e : *entries)
            months[e.month] += e.amount;
        Line line;
        line.child = m;
        for (const qint64 b : std::as_const(months)) {
            (b > 0 ? line.owed : line.credit) += b > 0 ? b : -b;
            line.balance += b;
        }
        card.owed += line.owed;
        card.credit += line.credit;
        card.balance += line.balance;
        card.lines << line;
    }
    return card;
}
