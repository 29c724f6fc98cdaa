#pragma once

#include "journal.h"
#include "writeresult.h"

#include <QDate>
#include <QSet>
#include <QString>
#include <QVariantList>
#include <QVector>
#include <optional>

class Database;

// The receipt journal in the rosters' database: every printed receipt with a
// serial number unique in the database, gap-free across the PCs sharing it.
// Entries are only ever added.
class JournalStore
{
public:
    explicit JournalStore(Database &database);

    // Gives each entry its serial (and, for a child already given a receipt
    // that month, the serial of the first) and writes them all in one
    // transaction of their own; nothing is written on failure.
    WriteResult record(QVector<JournalEntry> &entries);
    // The month's receipts ("yyyy-MM"), in serial order, without their fee
    // lines, printer and host.
    std::optional<QVector<JournalEntry>> month(const QString &month);
    // The children (identities) with a receipt of the month that printed
    // and stands (not taken back).
    std::optional<QSet<QString>> childrenWithReceipts(const QString &month);
    // The receipts printed on a day, every clerk, with their fee lines, in
    // serial order.
    std::optional<QVector<JournalEntry>> day(const QDate &day);
    // The month's receipts with their fee lines.
    std::optional<QVector<JournalEntry>> monthWithLines(const QString &month);
    // Receipts recorded before printing whose print job failed: marked
    // unprinted (a row of their own; the journal is never changed).
    WriteResult markUnprinted(const QStringList &serials, const QString &reason,
                              const QDateTime &at);
    // Takes a printed receipt back (作废) with the reason (required), and the
    // reprints of an original with it: their serials stay, marked; the
    // payment is voided by a new ledger entry; all in one transaction.
    // Refused for a receipt voided already or never printed.
    WriteResult voidReceipt(const QString &serial, const QString &reason, const QString &clerk,
                            const QString &host, const QDateTime &at,
                            QStringList *voided = nullptr);
    // One receipt, whole: both forms of one printed on two (asked by
    // either serial).
    std::optional<JournalEntry> entry(const QString &serial);
    // The receipt a serial belongs to: the first form's serial for a second
    // form, else the serial itself.
    std::optional<QString> receiptOf(const QString &serial);

    QString errorString() const { return m_error; }

private:
    std::optional<QVector<JournalEntry>> withLines(const QString &where,
                                                   const QVariantList &values);
    // Inside the write: what each print from a roster is, from its child's
    // account; false with refusal set when it may not be recorded (a
    // closed month, an account changed since the clerk was asked, money
    // beyond reason), false with the error kept when it cannot be read.
    bool decide(QVector<JournalEntry> &entries, QString *refusal);
    bool assignSerials(QVector<JournalEntry> &entries);
    bool markReprints(QVector<JournalEntry> &entries);
    bool insert(const QVector<JournalEntry> &entries);
    bool fail(const QString &what);
    // The serials and their receipts' second forms.
    std::optional<QStringList> withSecondForms(const QStringList &serials);

    Database &m_database;
    QString m_error;
};
