#pragma once

#include "dbconfig.h"
#include "journal.h"

#include <QString>
#include <QVector>

// Receipts printed whose journal entries the database did not take: kept
// in a file beside the database (for a server, in the user's data folder)
// until they are written, so that neither a reload nor closing the program
// loses them.
class PendingJournal
{
public:
    explicit PendingJournal(const DbConfig &config);

    QString path() const { return m_path; }
    // The entries waiting; empty when there are none or the file is unreadable.
    QVector<JournalEntry> read() const;
    // Adds the entries to the file; false (errorString) when it cannot be written.
    bool add(const QVector<JournalEntry> &entries);
    // Replaces the file's entries with these (none: the file is removed).
    bool replace(const QVector<JournalEntry> &entries);
    QString errorString() const { return m_error; }

    // One entry as the file holds it, and back (for a local copy's table).
    static QString toText(const JournalEntry &entry);
    static JournalEntry fromText(const QString &text);

private:
    QString m_path;
    QString m_error;
};
