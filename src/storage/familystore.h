#pragma once

#include "writeresult.h"

#include <QString>
#include <QVector>
#include <optional>

class Database;

// Children linked as a family (家庭), with the payer's name and phone. A
// family's details changed are a new row naming it; a child joins or
// leaves a family by a new row of its own. Nothing is changed or removed.
class FamilyStore
{
public:
    explicit FamilyStore(Database &database) : m_db(database) {}

    struct Member {
        QString childId, name, className;
    };
    struct Family {
        qint64 id = 0;
        QString payer, phone;
        QVector<Member> members; // in the order they joined
    };
    // Every family as it stands now, oldest first.
    std::optional<QVector<Family>> families();
    // A new family (id 0; its id in newId) or a family's details changed.
    WriteResult saveFamily(qint64 id, const QString &payer, const QString &phone,
                           qint64 *newId = nullptr);
    // The child joins the family (leaving any other it was in), or, with
    // familyId 0, leaves its family.
    WriteResult setMember(qint64 familyId, const Member &child);
    QString errorString() const { return m_error; }

private:
    Database &m_db;
    QString m_error;
};
