#pragma once

#include "roles.h"
#include "writeresult.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class Access;
class Database;
class OfficeSettings;
class ReceiptPlan;
class RosterDocument;

// The children's accounts: the month's charges (生成本月应收), what a print
// is (decided from the account), voids, refunds and the month's closing.
// Every write goes through the ledger's one transaction with its audit row.
class AccountService
{
public:
    // Who approved money going back, signed in on the spot.
    struct Approver {
        QString name;
        Roles::Role role = Roles::Accountant;
    };
    struct Hooks {
        // Every roster, in class-list order; the roster of a class.
        std::function<QList<RosterDocument *>()> rosters;
        std::function<RosterDocument *(const QString &className)> roster;
        // Whether the rosters were read, without which nothing is written.
        std::function<bool()> readable;
        // Classes whose stored rows this PC wrote (their revision moved).
        std::function<void(const QStringList &classes)> wrote;
        // Writes receipts still waiting for the journal; how many still wait.
        std::function<int()> flushWaiting;
    };
    AccountService(Database &database, OfficeSettings &settings, Access &access, Hooks hooks)
        : m_database(database), m_settings(settings), m_access(access), m_hooks(std::move(hooks))
    {
    }

    // The month's charges (应收) of the classes' children, as their receipts
    // would compute them now: first charges, or only the differences to
    // what is already charged. Refused for a class with unsaved changes or
    // settings that are not numbers; children whose fees cannot be computed
    // are left out and named in the report.
    struct Billing {
        WriteResult result;
        QString month;
        int children = 0;
        int entries = 0;
        qint64 amount = 0; // fen recorded by this run
        QStringList refused;
    };
    Billing billMonth(const QStringList &classes);
    // What each receipt of the plan is, as the children's accounts say now
    // (first receipt, rest, difference or copy; credit from earlier months
    // paying first): what the clerk is shown and asked. The journal decides
    // again when it records them.
    void decide(ReceiptPlan &plan);
    // Takes a printed receipt back (作废) with the reason; when no receipt of
    // the child's stands for this month any more, its roster row is not
    // printed again ("否", a change to save).
    // A user who may not void has it approved by one who may, signed in on
    // the spot (approver): both names go into the journal and the audit log.
    WriteResult voidReceipt(const QString &serial, const QString &reason,
                            const std::optional<Approver> &approver = std::nullopt);
    // Money handed back for a printed receipt (退款): the amount as typed
    // (yuan), the reason (required) and the way it was handed back (empty:
    // the office's default way); the refund's own serial in serial.
    WriteResult refund(const QString &receipt, const QString &amount, const QString &reason,
                       QString *serial = nullptr, const QString &method = {},
                       const std::optional<Approver> &approver = std::nullopt);
    // Settles a child who leaves (退园结算): its last day is recorded, the
    // month it leaves (while open) and the open month are billed again for
    // its days, and what it has paid ahead is handed back in the way given,
    // under a refund serial, leaving its account at zero. Refused while it
    // still owes (the amount said), or its class has unsaved changes.
    struct Leaving {
        WriteResult result;
        qint64 refunded = 0;
        QString serial;
        QString childId;
    };
    Leaving settleLeaving(const QString &className, int row, const QDate &lastDay,
                          const QString &method, const QString &note = {});
    // Closes a month that is over (月结): refused while receipts still wait
    // for the journal, or when it is closed already.
    WriteResult closeMonth(const QString &month);
    // Who closed the month and when, said in a sentence; empty while open.
    std::optional<QString> monthClosing(const QString &month, QString *error = nullptr);

private:
    WriteResult unread() const;

    Database &m_database;
    OfficeSettings &m_settings;
    Access &m_access;
    Hooks m_hooks;
};
