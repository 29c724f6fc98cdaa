#include "reportservice.h"

#include "access.h"
#include "database.h"
#include "journalstore.h"
#include "ledgerstore.h"

bool ReportService::refused(Roles::Permission permission, QString *error) const
{
    const QString no = m_access.refusal(permission);
    if (!no.isEmpty() && error)
        *error = no;
    return !no.isEmpty();
}

std::optional<DayReport> ReportService::dayReport(const QDate &day, const QString &clerk,
                                                  QString *error)
{
    const auto me = m_access.user();
    const bool own = me && !clerk.isEmpty() && (me->name.isEmpty() || me->name == clerk);
    if (refused(own ? Roles::OwnDayReport : Roles::AllDayReports, error))
        return std::nullopt;
    JournalStore journal(m_database);
    const auto receipts = journal.day(day);
    if (!receipts) {
        if (error)
            *error = journal.errorString();
        return std::nullopt;
    }
    LedgerStore ledger(m_database);
    const auto money = ledger.dayMoney(day, clerk);
    if (!money) {
        if (error)
            *error = ledger.errorString();
        return std::nullopt;
    }
    QHash<QString, DayReport::Payment> payments;
    for (auto it = money->payments.cbegin(); it != money->payments.cend(); ++it)
        payments.insert(it.key(), {it->first, it->second});
    const auto refunds = ledger.dayRefunds(day);
    if (!refunds) {
        if (error)
            *error = ledger.errorString();
        return std::nullopt;
    }
    DayReport report = DayReport::build(day, clerk, *receipts, payments, money->refundedCash);
    QVector<DayReport::Refund> list;
    for (const LedgerEntry &e : *refunds)
        if (clerk.isEmpty() || e.clerk == clerk)
            list << DayReport::Refund{e.ownSerial,     e.at.toString(QStringLiteral("HH:mm")),
                                      e.className,     e.childName,
                                      e.receiptSerial, e.method,
                                      e.reason,        e.amount};
    report.setRefunds(list);
    return report;
}

std::optional<MonthReport> ReportService::monthReport(const QString &month, QString *error)
{
    if (refused(Roles::MonthReport, error))
        return std::nullopt;
    LedgerStore ledger(m_database);
    QHash<QString, qint64> paid;
    const auto sums = ledger.monthSums(month, &paid);
    if (!sums) {
        if (error)
            *error = ledger.errorString();
        return std::nullopt;
    }
    JournalStore journal(m_database);
    const auto receipts = journal.monthWithLines(month);
    if (!receipts) {
        if (error)
            *error = journal.errorString();
        return std::nullopt;
    }
    return MonthReport::build(month, *sums, *receipts, paid);
}

std::optional<QVector<Ledger::Owing>> ReportService::arrears(QString *error)
{
    LedgerStore store(m_database);
    const auto balances = store.balances();
    if (!balances) {
        if (error)
            *error = store.errorString();
        return std::nullopt;
    }
    auto owing = Ledger::owing(*balances);
    QVector<qint64> ids;
    ids.reserve(owing.size());
    for (const auto &o : owing)
        ids << o.second;
    auto names = store.names(ids);
    QStringList children;
    children.reserve(owing.size());
    for (const auto &o : owing)
        children << o.first.childId;
    const auto current = names ? store.currentNames(children) : std::nullopt;
    if (!current) {
        if (error)
            *error = store.errorString();
        return std::nullopt;
    }
    // A child that moved class owes under the class it is in now.
    for (const auto &o : owing)
        if (const auto it = current->constFind(o.first.childId); it != current->cend())
            (*names)[o.second] = *it;
    return Ledger::arrears(std::move(owing), *names);
}

std::optional<QVector<LedgerEntry>> ReportService::account(const QString &childId, QString *error)
{
    LedgerStore store(m_database);
    auto entries = store.entries(childId);
    if (!entries && error)
        *error = store.errorString();
    return entries;
}

std::optional<QVector<Notices::Notice>> ReportService::notices(const QVector<Child> &children,
                                                               const QString &month,
                                                               const QDate &payBy, QString *error)
{
    if (refused(Roles::Print, error))
        return std::nullopt;
    QStringList ids;
    for (const Child &c : children)
        if (!c.id.isEmpty())
            ids << c.id;
    const auto months = LedgerStore::childMonths(m_database, ids, month, error);
    if (!months)
        return std::nullopt;
    LedgerStore store(m_database);
    const auto balances = store.balances();
    if (!balances) {
        if (error)
            *error = store.errorString();
        return std::nullopt;
    }
    QHash<QString, qint64> earlier;
    for (const Ledger::MonthBalance &b : *balances)
        if (b.month < month)
            earlier[b.childId] += b.balance;
    QVector<Notices::Notice> out;
    out.reserve(children.size());
    for (const Child &c : children)
        out << Notices::notice(c.id, c.className, c.name, month, months->value(c.id),
                               earlier.value(c.id), payBy);
    return out;
}

std::optional<QVector<Notices::Reminder>> ReportService::reminders(const QDate &today,
                                                                   QString *error)
{
    if (refused(Roles::ArrearsExport, error))
        return std::nullopt;
    const auto owing = arrears(error);
    if (!owing)
        return std::nullopt;
    QVector<Notices::Reminder> out;
    out.reserve(owing->size());
    for (const Ledger::Owing &o : *owing)
        out << Notices::reminder(o, today);
    return out;
}

std::optional<Notices::Statement> ReportService::statement(const QString &childId,
                                                           const QString &from, const QString &to,
                                                           QString *error)
{
    if (refused(Roles::Print, error))
        return std::nullopt;
    const auto entries = account(childId, error);
    if (!entries)
        return std::nullopt;
    return Notices::statement(*entries, from, to);
}
