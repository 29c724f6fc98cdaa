#pragma once

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QVector>

class Database;
struct DbConfig;
class Invoice;
class QTimer;

// Saving the rosters to a database that other PCs share, and hearing of
// their saves. Only the classes that changed since they were loaded are
// written; a dropped connection is opened again and the save tried once
// more before the clerk hears of it.
class RosterSync : public QObject
{
    Q_OBJECT
public:
    RosterSync(Database *database, QObject *parent);

    // What a save writes: the classes whose rows changed (every class a
    // changed page holds or held) and all rows of those classes, in tab
    // order, each twelve texts and the class.
    struct Plan {
        QStringList classes;
        QVector<QStringList> rows;
    };
    static Plan plan(const QList<Invoice *> &pages);
    // Why the plan cannot be saved (a text no database may hold), or empty.
    static QString refusal(const Plan &plan);

    bool save(const Plan &plan);
    QString errorString() const { return m_error; }

    // Looks at the database's revisions now and reports what other PCs
    // saved since this one loaded or last heard.
    void check();
    // Checks a few times a minute, and at once where the database tells.
    void watch(int intervalMs = 20000);

    // Writes every roster to a new SQLite file in the user's data folder
    // (named with the date and time) when the database cannot take them; the
    // path, or empty with errorString() set.
    QString keepLocalCopy(const QStringList &classes, const QVector<QStringList> &records);

    // Whether the database is such a kept copy.
    static bool isKeptCopy(const DbConfig &config);
    static QString keptCopyFolder();
    // Saves a kept copy's rosters into the database they were meant for:
    // its classes are added to the class list and their children replace
    // those stored for the same classes.
    static bool upload(const DbConfig &server, const QStringList &classes,
                       const QVector<QStringList> &records, QString *error);

signals:
    // Another PC saved the class (at savedAt, as it recorded).
    void classSavedElsewhere(const QString &className, const QString &savedAt);
    // Another PC changed the class list.
    void classListChanged();

private:
    bool attempt(const Plan &plan);
    void listen();

    Database *m_database;
    QTimer *m_timer = nullptr;
    QString m_error;
    // The revisions already reported, so that each save is told once.
    QHash<QString, qint64> m_reported;
    qint64 m_reportedTable = -1;
};
