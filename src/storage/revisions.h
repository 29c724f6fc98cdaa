#pragma once

#include "writeresult.h"

#include <QHash>
#include <QStringList>

class Database;

// Claims the save counters a write changes, inside the write's transaction:
// a class (or the class list) another PC saved since this one loaded it is
// refused. The counters claimed become the known ones once the transaction
// commits (commit()).
class RevisionClaim
{
public:
    explicit RevisionClaim(Database &database);

    WriteResult claimClassTable();
    WriteResult claimClass(const QString &className);
    // Several classes at once (a few statements on PostgreSQL).
    WriteResult claimClasses(const QStringList &classes);
    // A whole-table rewrite replaces every class: each must be as loaded,
    // and no class may have been saved that this PC never saw.
    WriteResult claimEveryClass();

    // After the commit: what was claimed is what this PC now knows.
    void commit();

private:
    WriteResult conflict(const QString &className);
    WriteResult conflictWithClassTable();

    Database &m_db;
    QHash<QString, qint64> m_claimed;
    bool m_table = false;
    QString m_now;
};
