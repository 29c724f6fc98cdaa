#pragma once

#include <QPair>
#include <QSqlError>
#include <QString>
#include <QVector>

class Database;

// The one way a change is written: begun as a write (BEGIN IMMEDIATE on
// SQLite, so that two PCs take turns from the first statement; on
// PostgreSQL the ledger is locked too when asked), rolled back unless
// committed, and committed only with the change's audit line, which is
// written in the same transaction.
class WriteTransaction
{
public:
    enum Lock { Plain, Ledger };
    explicit WriteTransaction(Database &db, Lock lock = Plain);
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction &) = delete;
    WriteTransaction &operator=(const WriteTransaction &) = delete;

    // Whether the transaction began; why not in errorString().
    bool isActive() const { return m_active; }
    QString errorString() const { return m_error; }

    // The change's audit line (操作记录): its kind and what was done.
    // Several may be added; at least one is needed to commit.
    void audit(const QString &kind, const QString &what);
    bool hasAudit() const { return !m_lines.isEmpty(); }

    // Writes the audit lines and commits; false (errorString()) when there
    // is no audit line, or a write or the commit fails: then nothing of the
    // change is kept.
    bool commit();
    void rollback();

private:
    Database &m_db;
    bool m_active = false;
    QString m_error;
    QVector<QPair<QString, QString>> m_lines;
    qint64 m_ledgerBefore = -1; // SQLite: the newest entry when the write began
};
