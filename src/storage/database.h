#pragma once

#include "journal.h"

#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>
#include <utility>

class QObject;
class QSettings;

// Where the rosters live. SQLite by default; PostgreSQL for offices where
// several PCs share one database; any ODBC connection string where a driver
// exists.
struct DbConfig {
    QString driver = QStringLiteral("QSQLITE");
    QString path;    // QSQLITE: the database file
    QString host;    // QPSQL
    int port = 5432; // QPSQL
    QString name;    // QPSQL: database name
    QString user;    // QPSQL: the password comes from libpq's password file or environment
    QString options; // QPSQL: extra connect options
    QString odbc;    // QODBC: the connection string as given

    // The per-user default SQLite file, in the user's data directory.
    static QString defaultSqlitePath();
    // Reads group "database" of the settings store; missing keys keep the
    // defaults above.
    static DbConfig fromSettings(QSettings &settings);
    static DbConfig sqlite(const QString &file);
    // "QSQLITE /home/…/feeoffice.sqlite", for messages.
    QString describe() const;
};

// One connection to the rosters' database, with the whole-table operations
// the program needs. Every rewrite is one transaction: it lands whole or not
// at all.
class Database
{
public:
    explicit Database(const DbConfig &config);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens the connection and creates the tables when they are missing.
    bool open();
    // Closes and opens the connection again (after a server restart or a
    // dropped network), keeping the revisions this PC loaded.
    bool reconnect();
    // Whether the connection still answers.
    bool ping();
    bool isOpen() const;
    QString errorString() const { return m_error; }
    const DbConfig &config() const { return m_config; }
    QSqlDatabase connection() const;

    // Class names in table order; nullopt when the table cannot be read.
    std::optional<QStringList> readClasses();
    // The twelve roster texts of every child of the class, in key order.
    std::optional<QVector<QStringList>> readStudents(const QString &className);
    // Every class's children at once, grouped by class, each in key order.
    std::optional<QHash<QString, QVector<QStringList>>> readAllStudents();

    // Replaces the class table with the names, in order, atomically.
    bool rewriteClasses(const QStringList &names);

    // The student rewrite: begin (which empties the table inside a
    // transaction), append the rows of each page, then finish (commit) or
    // abandon (roll back). Rows hold thirteen texts: the twelve roster
    // columns and the class.
    // With a list of classes only their children are replaced (each class
    // refused when another PC saved it since this one loaded it); without,
    // the whole table.
    bool beginStudentRewrite(const std::optional<QStringList> &classes = std::nullopt);
    bool appendStudents(const QVector<QStringList> &rows);
    bool finishStudentRewrite();
    void abandonStudentRewrite();
    bool rewriteInProgress() const { return m_inRewrite; }

    // Save counters shared by every PC on the database, one for the class
    // table and one per class: a rewrite is refused when another connection
    // saved the same table or class since this one last read or wrote it.
    struct ClassRevision {
        qint64 revision = 0;
        QString savedAt;
    };
    qint64 knownRevision() const { return m_knownRevision; }
    qint64 knownClassRevision(const QString &className) const;
    std::optional<qint64> classTableRevision();
    std::optional<QHash<QString, ClassRevision>> readClassRevisions();
    bool lastFailureWasConflict() const { return m_conflict; }
    // The class whose save was refused (empty for the class table), and
    // when the other PC saved it.
    QString lastConflictClass() const { return m_conflictClass; }
    QString lastSavedAt() const { return m_conflictSavedAt; }
    // Takes the database's current revisions as the ones loaded.
    bool refreshRevision();
    // The same for the class table alone.
    bool refreshClassTableRevision();

    // Calls onSave (in context's thread) when another PC saves, where the
    // database can tell (PostgreSQL); false where it cannot.
    bool watchSaves(QObject *context, const std::function<void()> &onSave);

    // Receipts printed but not yet in the journal (its write failed): kept
    // with the connection to be written at the next save.
    void keepJournal(const QVector<JournalEntry> &entries) { m_pendingJournal += entries; }
    QVector<JournalEntry> takePendingJournal() { return std::exchange(m_pendingJournal, {}); }

    static QStringList studentColumns(); // positions 1 to 13

    // Why the tables cannot be saved into (a required column is missing),
    // or empty. Reading still shows what the tables hold.
    QString schemaError() const { return m_schemaError; }

private:
    bool createSchema();
    void checkSchema();
    bool schemaUsable();
    // Every child, or those of one class, grouped by class in key order.
    std::optional<QHash<QString, QVector<QStringList>>> selectStudents(const QString *className);
    bool commitOrRollBack();
    bool connect();
    void announceSave();
    bool claimRevision();
    bool claimClass(const QString &className);
    bool claimEveryClass();
    bool claimClassesTogether(const QStringList &classes);
    bool classConflict(const QString &className);
    QString fileIdentity() const;
    bool fileStillThere();
    bool fail(const QString &what, const QString &detail);

    DbConfig m_config;
    QString m_connectionName;
    QString m_error;
    QString m_keyColumn = QStringLiteral("id");
    QString m_classKeyColumn = QStringLiteral("id");
    QString m_schemaError;
    QStringList m_missingStudentColumns;
    bool m_classColumnMissing = false;
    qint64 m_knownRevision = -1;
    bool m_conflict = false;
    QString m_conflictSavedAt;
    QString m_conflictClass;
    QHash<QString, qint64> m_classRevisions;
    QHash<QString, qint64> m_claimed;
    QSet<QString> m_written;
    QVector<JournalEntry> m_pendingJournal;
    bool m_inRewrite = false;
    QString m_fileId;
};
