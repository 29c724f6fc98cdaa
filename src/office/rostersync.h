#pragma once

#include "childrecord.h"
#include "dbconfig.h"
#include "keptcopystore.h"
#include "writeresult.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QVector>

class Database;
class QTimer;

// Hearing of other PCs' saves on a shared database, and the rosters kept in
// a local file when the database cannot take them at closing time.
class RosterSync : public QObject
{
    Q_OBJECT
public:
    RosterSync(Database &database, QObject *parent);

    // Looks at the database's revisions now and reports what other PCs
    // saved since this one loaded or last heard.
    void check();
    // Checks a few times a minute, and at once where the database tells.
    void watch(int intervalMs = 20000);
    // Listens again (after the connection was opened anew).
    void listen();
    // This PC's own save of the classes is not news.
    void saved(const QStringList &classes);

    // Writes every roster to a new SQLite file in the user's data folder
    // (named with the date and time), with what it must remember of the
    // server; the path, or empty with error set.
    static QString keepLocalCopy(const QStringList &classes, QVector<ChildRecord> records,
                                 const KeptCopyStore::State &state, WriteResult *error);
    static bool isKeptCopy(const DbConfig &config);
    static QString keptCopyFolder();

signals:
    // Another PC saved the class (at savedAt, as it recorded).
    void classSavedElsewhere(const QString &className, const QString &savedAt);
    // Another PC changed the class list.
    void classListChanged();

private:
    Database &m_database;
    QTimer *m_timer = nullptr;
    // The revisions already reported, so that each save is told once.
    QHash<QString, qint64> m_reported;
    qint64 m_reportedTable = -1;
};
