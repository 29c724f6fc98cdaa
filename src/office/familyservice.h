#pragma once

#include "familystore.h"
#include "writeresult.h"

#include <QString>
#include <QVector>
#include <optional>

class Access;
class Database;

// Families (家庭): children linked with the payer's name and phone, and
// the family card, each child's account and the family's total, read
// from the accounts.
class FamilyService
{
public:
    FamilyService(Database &database, Access &access) : m_database(database), m_access(access) {}

    std::optional<QVector<FamilyStore::Family>> families(QString *error = nullptr);
    WriteResult saveFamily(qint64 id, const QString &payer, const QString &phone,
                           qint64 *newId = nullptr);
    WriteResult setMember(qint64 familyId, const FamilyStore::Member &child);

    // One child's account as the card shows it, in fen: what its months
    // owe, what it holds paid ahead, and the two together (above 0: owed).
    struct Line {
        FamilyStore::Member child;
        qint64 owed = 0, credit = 0, balance = 0;
    };
    struct Card {
        FamilyStore::Family family;
        QVector<Line> lines;
        qint64 owed = 0, credit = 0, balance = 0;
    };
    std::optional<Card> card(qint64 familyId, QString *error = nullptr);

private:
    Database &m_database;
    Access &m_access;
};
