#pragma once

#include "reductions.h"
#include "writeresult.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

class Database;

// Reduction types (减免) and the grants that give them to children. A type
// changed or withdrawn is a new row naming it; a grant withdrawn is a new
// row naming the grant. Nothing is changed or removed.
class ReductionStore
{
public:
    explicit ReductionStore(Database &database) : m_db(database) {}

    struct Grant {
        qint64 id = 0;
        QString childId, childName, className;
        qint64 typeId = 0;
        QString typeName;
        QString fromMonth, toMonth; // "yyyy-MM"; toMonth empty: no end
        QString reason, grantedBy, at;
    };

    // The types in force, oldest first.
    std::optional<QVector<Reductions::Type>> types();
    // A new type (id 0; its id in newId) or a type changed. Its name is
    // kept once given: the reduction entries are named by it.
    WriteResult saveType(const Reductions::Type &type, qint64 *newId = nullptr);
    WriteResult withdrawType(qint64 typeId);
    // The grants in force, oldest first.
    std::optional<QVector<Grant>> grants();
    WriteResult grant(const Grant &grant);
    WriteResult withdrawGrant(qint64 grantId);

    // Inside a write's transaction or outside: the types each child has in
    // the month, by grant or by its place in its family, in the order the
    // types were made.
    static std::optional<QHash<QString, QVector<Reductions::Type>>>
    granted(Database &db, const QStringList &childIds, const QString &month, QString *error);

    QString errorString() const { return m_error; }

private:
    Database &m_db;
    QString m_error;
};
