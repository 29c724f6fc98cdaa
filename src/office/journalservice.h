#pragma once

#include "dbconfig.h"
#include "journal.h"
#include "ledger.h"
#include "writeresult.h"

#include <QString>
#include <QVector>
#include <memory>
#include <optional>

class Access;
class Database;
class PendingJournal;

// The receipt journal as the windows use it: receipts recorded before their
// pages go out, the receipts waiting on disk for a database that was away,
// the prints whose job never ended, and reading the journal.
class JournalService
{
public:
    JournalService(Database &database, const DbConfig &config, Access &access);
    ~JournalService();

    // Receipts are recorded before their pages go to the printer, so that
    // no receipt handed out is ever missing from the journal. A write that
    // fails is kept on disk and written at the next open, save or close.
    WriteResult recordReceipts(QVector<JournalEntry> &entries);
    // The print job of recorded receipts failed: those with a serial are
    // marked unprinted, those still waiting on disk are taken back.
    WriteResult receiptsNotPrinted(const QVector<JournalEntry> &entries, const QString &reason);
    // The pages of recorded receipts are going out / the job has ended.
    // A window killed in between leaves them named for the next start.
    void printingReceipts(const QVector<JournalEntry> &entries);
    void receiptsPrinted();
    // Receipts recorded whose print job never ended (the program killed,
    // the power gone): the clerk says whether their paper came out. Not:
    // they are marked unprinted and their payments taken back.
    QVector<JournalEntry> interruptedPrints();
    WriteResult answerInterruptedPrints(const QVector<JournalEntry> &entries, bool paperCameOut);
    // Writes the entries still waiting; how many wait afterwards.
    int flushPendingJournal(WriteResult *failure = nullptr);
    int pendingJournalCount() const;
    // The receipts waiting, and emptying their file once they travel on
    // (into a kept copy).
    QVector<JournalEntry> waiting() const;
    bool clearWaiting();

    std::optional<QVector<JournalEntry>> journalMonth(const QString &month,
                                                      QString *error = nullptr);
    std::optional<JournalEntry> journalEntry(const QString &serial, QString *error = nullptr);
    // The money handed back (退款) booked in the month.
    std::optional<QVector<LedgerEntry>> monthRefunds(const QString &month,
                                                     QString *error = nullptr);

private:
    Database &m_database;
    DbConfig m_config;
    Access &m_access;
    std::unique_ptr<PendingJournal> m_pending;
};
