#pragma once

#include "dbconfig.h"
#include "journal.h"

#include <QString>
#include <QVector>
#include <memory>

class QLockFile;

// Receipts printed whose journal entries the database did not take: kept
// in a file beside the database (for a server, in the user's data folder)
// until they are written, so that neither a reload nor closing the program
// loses them. Each window has files of its own, locked while it runs: two
// windows on one database never write one file, and the files of a window
// that ended without writing them are taken over by the next one to open.
class PendingJournal
{
public:
    explicit PendingJournal(const DbConfig &config);
    ~PendingJournal();

    QString path() const { return m_path; }
    // The entries waiting; empty when there are none or the file is unreadable.
    QVector<JournalEntry> read() const;
    // Adds the entries to the file; false (errorString) when it cannot be written.
    bool add(const QVector<JournalEntry> &entries);
    // Replaces the file's entries with these (none: the file is removed).
    bool replace(const QVector<JournalEntry> &entries);
    QString errorString() const { return m_error; }

    // Receipts recorded whose pages are going out now; forgotten once the
    // print job has finished, one way or the other.
    bool printing(const QVector<JournalEntry> &entries);
    void printed();
    // The receipts of windows that ended (killed, a power cut) while their
    // pages went out: nobody knows whether paper came out. Each is handed
    // out once; forget() when the clerk has answered for them.
    QVector<JournalEntry> interrupted() const;
    void forgetInterrupted();

    // The files of windows no longer running become this window's: their
    // waiting receipts are read with its own from then on. The number of
    // files taken over.
    int adoptOrphans();

    // One entry as the file holds it, and back (for a local copy's table).
    static QString toText(const JournalEntry &entry);
    static JournalEntry fromText(const QString &text);

private:
    QStringList ownFiles(const QString &kind) const;
    QString m_base;  // the folder and name all windows' files start with
    QString m_token; // this window's part of the names
    QString m_path;
    QString m_printingPath;
    std::unique_ptr<QLockFile> m_lock;
    QString m_error;
};
