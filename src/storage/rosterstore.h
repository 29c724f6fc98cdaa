#pragma once

#include "childrecord.h"
#include "writeresult.h"

#include <QHash>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>

class Database;

// The class list and the children in the database. Every write is one
// transaction: it lands whole or not at all, and is refused when another PC
// saved the same class (or the class list) since this one read it.
class RosterStore
{
public:
    explicit RosterStore(Database &database);

    struct ClassList {
        QStringList names; // in table order
        qint64 revision = 0;
    };
    // The class list and the revision it is at: the revision is read
    // first, so that a class added in between can only make a later
    // rewrite be refused, never be dropped by it. The revision becomes the
    // one this PC knows.
    std::optional<ClassList> readClassList();
    // Class names in table order, without touching the known revision.
    std::optional<QStringList> readClasses();
    // The children of the class, in key order; the class's revision becomes
    // the known one (read first, as above).
    std::optional<QVector<ChildRecord>> readStudents(const QString &className);
    // Every class's children at once, grouped by class, each in key order.
    std::optional<QHash<QString, QVector<ChildRecord>>> readAllStudents();
    QString errorString() const;

    // Replaces the class table with the names, in order.
    WriteResult rewriteClasses(const QStringList &names);
    // Adds these classes to the list as stored now, and again whenever
    // another PC stores its list first: nobody's class is dropped.
    WriteResult mergeClasses(const QStringList &ours);
    // Replaces the children of the classes (every child when no list is
    // given) with the rows; each row's key is set to the one it got.
    WriteResult replaceStudents(const std::optional<QStringList> &classes,
                                QVector<ChildRecord> &rows);

    // Called between reading a revision and what it guards; tests use it
    // to have another PC write at exactly that moment.
    static std::function<void()> &betweenReads();

private:
    std::optional<QHash<QString, QVector<ChildRecord>>> select(const QString *className);
    WriteResult insertRows(QVector<ChildRecord> &rows);

public:
    // Stores who the stored rows are (rows with a key and an identity),
    // inside the caller's transaction.
    WriteResult insertIdentities(const QVector<ChildRecord> &rows);
    // In a transaction of its own: the identities of stored rows that have
    // none stored yet (one already stored is kept), so that what is
    // recorded under a child outlives the roster's unsaved state.
    WriteResult keepIdentities(const QVector<ChildRecord> &rows);
    // Every stored child without an identity gets one, made by the
    // database in one statement, so that every PC reads the same; the
    // identities of all stored children, by student key.
    std::optional<QHash<qint64, QString>> giveIdentities(QString *error);

private:
    Database &m_db;
};
