#pragma once

#include <QDate>
#include <QVariantList>

#include "account.h"
#include "childrecord.h"
#include "journal.h"
#include "ledger.h"
#include "monthreport.h"
#include "reductions.h"
#include "writeresult.h"

#include <QHash>
#include <QVector>
#include <memory>
#include <optional>

class Database;
class WriteTransaction;

// The children's accounts in the database: entries are only ever added,
// each write one transaction with what caused it, and two PCs writing at
// once take turns (the table is locked for the write on PostgreSQL; SQLite
// writes one at a time), so that nothing is lost or recorded twice.
class LedgerStore
{
public:
    explicit LedgerStore(Database &database);

    // A child to bill: the stored row (its key and identity) and what the
    // month should charge it, per item.
    struct Bill {
        ChildRecord child;
        QVector<QPair<QString, qint64>> charges;
        // The fee items before and after the discount, for the reductions
        // the child is granted that month (found inside the transaction).
        QVector<Reductions::Base> bases;
    };
    // Records the month's charges of the children: a first charge per item,
    // or only the difference to what is already charged (an adjustment with
    // the reason "名单变更"). Children whose identity is not stored yet get
    // it stored with the charges, and their classes are claimed as a save
    // claims them (a class another PC saved since it was read is refused).
    // The entries written are returned in written.
    WriteResult bill(const QString &month, const QVector<Bill> &children, const QString &clerk,
                     const QString &host, const QDateTime &at,
                     QVector<LedgerEntry> *written = nullptr);

    // Inside a write: the ledger locked against other PCs' writes until the
    // commit (PostgreSQL; SQLite's write lock is the database's).
    static bool lock(Database &db, QString *error);
    // SQLite: the newest entry's id, and, before a write commits, the
    // entries written after it added to their months' balances (one
    // statement for the whole write; PostgreSQL's trigger adds them as they
    // are written).
    static std::optional<qint64> lastEntryId(Database &db, QString *error);
    static bool addBalances(Database &db, qint64 after, QString *error);
    // Inside a write: the identity the database holds for a stored row
    // (storing childId when it holds none yet).
    static std::optional<QString> identityOf(Database &db, qint64 studentId, const QString &childId,
                                             QString *error);
    // The child's month as its entries hold it (inside the write that
    // records a print, or for a look before one).
    static std::optional<Account::ChildMonth> childMonth(Database &db, const QString &childId,
                                                         const QString &month, QString *error);
    // The same for many children at once, by identity (children without
    // entries get an empty month).
    static std::optional<QHash<QString, Account::ChildMonth>>
    childMonths(Database &db, const QStringList &childIds, const QString &month, QString *error);
    // The identities stored for the student keys.
    static std::optional<QHash<qint64, QString>>
    storedIdentities(Database &db, const QVector<qint64> &students, QString *error);
    // Inside a journal write's transaction: each first receipt (not a
    // reprint) is a payment of its total.
    static bool addPayments(Database &db, const QVector<JournalEntry> &receipts, QString *error);
    // Inside a transaction: the payments of the receipts are voided (each
    // by a new entry naming it).
    static bool voidPayments(Database &db, const QStringList &serials, const QString &reason,
                             const QString &clerk, const QDateTime &at, QString *error);

    // Every child's balance per month, months that balance out left out.
    std::optional<QVector<Ledger::MonthBalance>> balances();
    // The class and child name of entries, by id.
    std::optional<QHash<qint64, QPair<QString, QString>>> names(const QVector<qint64> &ids);
    // The class and name the children have on the rosters now (children
    // no longer on any roster are left out).
    std::optional<QHash<QString, QPair<QString, QString>>>
    currentNames(const QStringList &childIds);
    // One child's entries, oldest first.
    std::optional<QVector<LedgerEntry>> entries(const QString &childId);
    // Money handed back (退款) booked in a month, and on a day, in order.
    std::optional<QVector<LedgerEntry>> refunds(const QString &month);
    std::optional<QVector<LedgerEntry>> dayRefunds(const QDate &day);
    // Money handed back for a receipt's payment: an entry of its own, with
    // its own serial (returned), naming the payment; never more than was
    // paid and not yet handed back; a reason is required.
    WriteResult refund(const QString &receipt, qint64 amountFen, const QString &method,
                       const QString &reason, const QString &clerk, const QString &host,
                       const QDateTime &at, QString *serial = nullptr);
    // Meal fees given back for days absent in the month: per child the
    // refund now due, recorded as the difference to what was given back
    // already (nothing when it is the same). Credited to the account, or
    // with payOut also handed out at once (a refund entry of its own serial).
    // Refused for a closed month.
    // A child's meal refund, and tuition back after a long absence (always
    // credited, never handed out).
    struct AbsenceRefund {
        QString childId, className, childName;
        qint64 fen = 0;
        QString reason;
        qint64 tuitionFen = 0;
        QString tuitionReason;
    };
    WriteResult applyAbsenceRefunds(const QString &month, const QVector<AbsenceRefund> &refunds,
                                    bool payOut, const QString &method, const QString &clerk,
                                    const QString &host, const QDateTime &at,
                                    QVector<LedgerEntry> *written = nullptr);
    // Settles a leaving child's account (退园结算) in the open month: every
    // open month's balance is brought onto it (credit used, 冲抵), and what
    // the child has paid ahead is handed back under a refund serial, so
    // that its account stands at zero. Refused, with what is owed, while
    // the child still owes. An account at zero in every month writes nothing.
    struct Settlement {
        qint64 refunded = 0; // fen handed back
        QString serial;      // the refund's serial, when money went back
    };
    WriteResult settleLeaving(const QString &month, const QString &childId,
                              const QString &className, const QString &childName,
                              const QString &method, const QString &clerk, const QString &host,
                              const QDateTime &at, Settlement *settled);
    // The payments recorded on a day, by receipt serial (way and money), and
    // the cash handed back that day by the clerk (every clerk when empty).
    struct DayMoney {
        QHash<QString, QPair<QString, qint64>> payments;
        qint64 refundedCash = 0;
    };
    std::optional<DayMoney> dayMoney(const QDate &day, const QString &clerk);
    // The month's entries summed by class, kind and item; and its payments
    // by receipt serial.
    std::optional<QVector<MonthReport::LedgerSum>> monthSums(const QString &month,
                                                             QHash<QString, qint64> *paid);
    // The child a receipt's payment was booked to, or empty.
    std::optional<QString> childOfReceipt(const QString &serial);
    // How many payments of the child in the month still stand (not voided).
    std::optional<int> standingPayments(const QString &childId, const QString &month);
    // The sum of every entry of the month (what is still owed for it).
    std::optional<qint64> monthTotal(const QString &month);

    // Whether the month is closed (月结): who closed it and when, said in a
    // sentence; empty while open; nullopt when it cannot be read.
    static std::optional<QString> closing(Database &db, const QString &month);
    // Closes a month before the current one (now's): refused when it is
    // closed already or not over yet.
    WriteResult closeMonth(const QString &month, const QString &clerk, const QString &host,
                           const QDateTime &now);
    // The closed months, newest first, with who closed them and when.
    struct Closing {
        QString month, clerk, host, closedAt;
    };
    std::optional<QVector<Closing>> closings();

    QString errorString() const { return m_error; }

private:
    bool fail(const QString &what);
    std::optional<QVector<LedgerEntry>> read(const QString &where, const QVariantList &values);
    // Starts a write's transaction with the ledger locked; what says what
    // was not written when that fails.
    std::unique_ptr<WriteTransaction> beginLocked(const QString &what, WriteResult *refusal);
    // Inside a write: success while the month is open; otherwise the write
    // is rolled back and refused with the closing and what cannot be done.
    WriteResult refuseClosed(const QString &month, const QString &what);
    Database &m_db;
    QString m_error;
};
