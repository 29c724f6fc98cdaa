#pragma once

#include "dbconfig.h"
#include "schema.h"
#include "writeresult.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QObject;
class QSqlError;

// One connection to the rosters' database: opening it (creating the tables
// when missing), opening it again after a dropped network, and the save
// counters this PC last saw. What is read and written goes through
// RosterStore and JournalStore.
class Database
{
public:
    explicit Database(const DbConfig &config);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens the connection and creates the tables when they are missing.
    bool open();
    // Who works on this connection, for the audit log.
    void setActor(const QString &clerk, const QString &host)
    {
        m_actorClerk = clerk;
        m_actorHost = host;
    }
    QString actorClerk() const { return m_actorClerk; }
    QString actorHost() const { return m_actorHost; }
    // The office's connections write only what a permission check allowed
    // just before (see Access::permit): with this set, a write committed
    // while no check holds is refused, so that a write path that forgot to
    // ask is found at once instead of writing for anyone.
    void setChecksRequired(bool required) { m_checksRequired = required; }
    bool checksRequired() const { return m_checksRequired; }
    void holdCheck() { ++m_checksHeld; }
    void releaseCheck() { --m_checksHeld; }
    bool checkHeld() const { return m_checksHeld > 0; }
    // Closes the connection (open() opens it again, taking the file as it
    // is then).
    void close();
    // Closes and opens the connection again (after a server restart or a
    // dropped network), keeping the revisions this PC loaded.
    bool reconnect();
    // Whether the connection still answers.
    bool ping();
    bool isOpen() const;
    // Connected, and the program's tables are made: a connection whose
    // first statements failed (a lock) must be made again before use.
    bool isReady() const { return m_ready && isOpen(); }
    // Why opening or a read failed.
    // Never an ODBC password, whatever the driver put in its message.
    QString errorString() const { return DbConfig::withoutPassword(m_error); }
    const DbConfig &config() const { return m_config; }
    QSqlDatabase connection() const;

    const Schema::State &schema() const { return m_schema; }
    QString schemaError() const { return m_schema.error; }
    static QStringList studentColumns() { return Schema::studentColumns(); }

    // Whether a write may start: the tables are complete and the file is
    // still the one opened.
    WriteResult writable();
    // Starts a write's transaction. On SQLite it takes the write lock at
    // once (BEGIN IMMEDIATE), so that a busy database is waited for instead
    // of refusing the write half-way, after its first read.
    bool beginWrite(QSqlError *error = nullptr);
    // Whether the SQLite file is marked read-only (no write bit for anyone).
    bool isReadOnlyFile() const { return !readOnlyReason().isEmpty(); }
    // Why this SQLite file cannot be written, for the clerk: the file itself
    // or the folder SQLite makes its journal in. Empty when it can be.
    QString readOnlyReason() const;
    // A failed statement as a write's result.
    WriteResult unreachable(const QSqlError &error) const;
    // Records a read's failure; always false / nullopt for the caller.
    bool readFailed(const QSqlError &error);

    // Save counters shared by every PC on the database, one for the class
    // table and one per class: a write is refused when another connection
    // saved the same table or class since this one last read or wrote it.
    struct ClassRevision {
        qint64 revision = 0;
        QString savedAt;
    };
    qint64 knownRevision() const { return m_knownRevision; }
    void setKnownRevision(qint64 revision) { m_knownRevision = revision; }
    qint64 knownClassRevision(const QString &className) const;
    void setKnownClassRevision(const QString &className, qint64 revision);
    std::optional<qint64> classTableRevision();
    std::optional<QHash<QString, ClassRevision>> readClassRevisions();
    // Takes the database's current revisions as the ones loaded.
    bool refreshRevision();

    // Calls onSave (in context's thread) when another PC saves, where the
    // database can tell (PostgreSQL); false where it cannot.
    bool watchSaves(QObject *context, const std::function<void()> &onSave);
    // Tells the PCs listening that this one saved.
    void announceSave();

    // Called after every committed write on this connection (views of the
    // accounts read again).
    void setOnCommitted(std::function<void()> hook) { m_onCommitted = std::move(hook); }
    void committed()
    {
        if (m_onCommitted)
            m_onCommitted();
    }

private:
    bool connect();
    QString fileIdentity() const;
    bool fail(const QString &detail);

    DbConfig m_config;
    std::function<void()> m_onCommitted;
    QString m_connectionName;
    QString m_error;
    Schema::State m_schema;
    qint64 m_knownRevision = -1;
    QHash<QString, qint64> m_classRevisions;
    QString m_fileId;
    bool m_ready = false;
    QString m_actorClerk, m_actorHost;
    bool m_checksRequired = false;
    int m_checksHeld = 0;
};
