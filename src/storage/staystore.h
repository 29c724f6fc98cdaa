#pragma once

#include "partmonth.h"
#include "writeresult.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

class Database;

// When children joined and left (插班、退园) and the office's rule for the
// tuition of a part month. Each change is a new row: a child's dates are
// its newest row, the rows before are their history; the rule is the
// newest rule row.
class StayStore
{
public:
    explicit StayStore(Database &database) : m_db(database) {}

    struct Row {
        qint64 id = 0;
        QString childId, childName, className;
        PartMonth::Stay stay;
        QString note;
        QString clerk;
        QString at;
    };
    // Every child's newest row, by class and name.
    std::optional<QVector<Row>> current();
    // One child's rows, newest first.
    std::optional<QVector<Row>> history(const QString &childId);
    // Records a child's dates (either may be left empty). Refused when the
    // child left before it joined, or nothing changes.
    WriteResult record(const Row &row);

    std::optional<PartMonth::Rule> rule();
    WriteResult saveRule(const PartMonth::Rule &rule);

    QString errorString() const { return m_error; }

    // The children's dates as the database holds them now (children with
    // none recorded are left out).
    static std::optional<QHash<QString, PartMonth::Stay>>
    stays(Database &db, const QStringList &childIds, QString *error);
    static std::optional<PartMonth::Rule> rule(Database &db, QString *error);
    // What changes each child's month's fees: its reductions, its part
    // month and the rule, read inside the caller's transaction. Children
    // with nothing are left out.
    static std::optional<QHash<QString, PartMonth::Terms>>
    terms(Database &db, const QStringList &childIds, const QString &month, QString *error);

private:
    Database &m_db;
    QString m_error;
};
