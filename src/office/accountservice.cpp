#include "accountservice.h"

#include "staystore.h"

#include "access.h"
#include "account.h"
#include "classname.h"
#include "clock.h"
#include "database.h"
#include "journal.h"
#include "journalstore.h"
#include "ledger.h"
#include "ledgerstore.h"
#include "officesettings.h"
#include "receiptplan.h"
#include "rosterdocument.h"

#include <QSqlError>
#include <QSysInfo>

WriteResult AccountService::unread() const
{
    return WriteResult::failure(
        WriteResult::Refused,
        QStringLiteral("数据库没有读出来，为免覆盖其中的花名册，这个窗口不会写入它。"
                       "请关闭程序，待数据库可以读取后再打开。"));
}

AccountService::Billing AccountService::billMonth(const QStringList &classes)
{
    Billing billing;
    const auto permit = m_access.permit(Roles::BillMonth);
    if (!permit) {
        billing.result = permit.result();
        return billing;
    }
    if (!m_hooks.readable()) {
        billing.result = unread();
        return billing;
    }
    const QDateTime now = Clock::now();
    billing.month = Journal::month(now);
    if (const QString problem = m_settings.feeProblem(); !problem.isEmpty()) {
        billing.result = WriteResult::failure(WriteResult::Refused, problem);
        return billing;
    }
    QVector<LedgerStore::Bill> bills;
    QStringList billed;
    for (const QString &c : classes) {
        RosterDocument *doc = m_hooks.roster(c);
        if (!doc || billed.contains(c))
            continue;
        // Charged from what is stored: a roster being edited would charge
        // children nobody saved.
        if (doc->isModified()) {
            billing.result = WriteResult::failure(
                WriteResult::Refused,
                QStringLiteral("班级“%1”有未保存的更改：请先“保存到数据库”，再生成应收")
                    .arg(ClassName::visible(c)));
            return billing;
        }
        billed << c;
        for (int r = 0; r < doc->size(); ++r) {
            const ChildRecord &rec = doc->record(r);
            const Roster::Cells cells = rec.feeCells();
            if (const QString why = Fees::rowProblem(cells, doc->fees()); !why.isEmpty()) {
                billing.refused << why;
                continue;
            }
            bills.append(
                {rec, Ledger::charges(cells, doc->fees()), Reductions::bases(cells, doc->fees())});
        }
    }
    QVector<LedgerEntry> written;
    billing.result = LedgerStore(m_database)
                         .bill(billing.month, bills, m_settings.fees().clerk(),
                               QSysInfo::machineHostName(), now, &written);
    if (!billing.result)
        return billing;
    m_hooks.wrote(billed);
    billing.children = int(bills.size());
    billing.entries = int(written.size());
    for (const LedgerEntry &e : written)
        billing.amount += e.amount;
    return billing;
}

AccountService::Leaving AccountService::settleLeaving(const QString &className, int row,
                                                      const QDate &lastDay, const QString &method,
                                                      const QString &note)
{
    Leaving leaving;
    // Money goes back: held while the settlement is written.
    const auto permit = m_access.permit(Roles::Refund);
    if (!permit) {
        leaving.result = permit.result();
        return leaving;
    }
    if (!m_hooks.readable()) {
        leaving.result = unread();
        return leaving;
    }
    auto refuse = [&](const QString &why) {
        leaving.result = WriteResult::failure(WriteResult::Refused, why);
        return leaving;
    };
    RosterDocument *doc = m_hooks.roster(className);
    if (!doc || row < 0 || row >= doc->size())
        return refuse(QStringLiteral("没有找到这名儿童"));
    if (doc->isModified())
        return refuse(QStringLiteral("班级“%1”有未保存的更改：请先“保存到数据库”，再办理退园")
                          .arg(ClassName::visible(className)));
    const ChildRecord rec = doc->record(row);
    const QString name = rec.text(Roster::Name);
    if (rec.childId.isEmpty())
        return refuse(QStringLiteral("“%1”还没有保存到数据库，请先保存名单").arg(name));
    if (!lastDay.isValid())
        return refuse(QStringLiteral("请填写退园日期"));
    const QDateTime now = Clock::now();
    const QString month = Journal::month(now);
    if (Journal::month(QDateTime(lastDay, QTime(12, 0))) > month)
        return refuse(QStringLiteral("退园日期 %1 在以后的月份：请到那个月再结算")
                          .arg(lastDay.toString(QStringLiteral("yyyy-MM-dd"))));
    const Roster::Cells cells = rec.feeCells();
    if (const QString why = Fees::rowProblem(cells, doc->fees()); !why.isEmpty())
        return refuse(why);
    if (const QString problem = m_settings.feeProblem(); !problem.isEmpty())
        return refuse(problem);
    // The last day, then the months it changes billed again for the days
    // the child was there, then the account settled.
    QString error;
    const auto before = StayStore::stays(m_database, {rec.childId}, &error);
    if (!before) {
        leaving.result = WriteResult::failure(WriteResult::Unreachable,
                                              QStringLiteral("退园结算没有记录"), error);
        return leaving;
    }
    PartMonth::Stay stay = before->value(rec.childId);
    if (stay.left != lastDay) {
        stay.left = lastDay;
        StayStore::Row r;
        r.childId = rec.childId;
        r.childName = name;
        r.className = className;
        r.stay = stay;
        r.note = note.trimmed().isEmpty() ? QStringLiteral("退园结算") : note;
        if (WriteResult w = StayStore(m_database).record(r); !w) {
            leaving.result = w;
            return leaving;
        }
    }
    LedgerStore ledger(m_database);
    const QString host = QSysInfo::machineHostName();
    const QString clerk = m_settings.fees().clerk();
    QStringList months{Journal::month(QDateTime(lastDay, QTime(12, 0)))};
    if (!months.contains(month))
        months << month;
    for (const QString &m : std::as_const(months)) {
        const auto closed = LedgerStore::closing(m_database, m);
        if (!closed || !closed->isEmpty())
            continue; // a closed month keeps what it charged
        if (m != month) {
            // An earlier month is only corrected, never charged afresh.
            QString why;
            const auto before = LedgerStore::childMonths(m_database, {rec.childId}, m, &why);
            if (!before) {
                leaving.result = WriteResult::failure(WriteResult::Unreachable,
                                                      QStringLiteral("退园结算没有记录"), why);
                return leaving;
            }
            if (before->value(rec.childId).charged.isEmpty())
                continue;
        }
        const QVector<LedgerStore::Bill> bill{
            {rec, Ledger::charges(cells, doc->fees()), Reductions::bases(cells, doc->fees())}};
        if (WriteResult w = ledger.bill(m, bill, clerk, host, now); !w) {
            leaving.result = w;
            return leaving;
        }
        m_hooks.wrote({className});
    }
    LedgerStore::Settlement settled;
    leaving.result = ledger.settleLeaving(
        month, rec.childId, className, name,
        method.isEmpty() ? OfficeSettings::paymentMethod() : method, clerk, host, now, &settled);
    leaving.refunded = settled.refunded;
    leaving.serial = settled.serial;
    leaving.childId = rec.childId;
    return leaving;
}

namespace
{
std::optional<Access::User> asUser(const std::optional<AccountService::Approver> &approver)
{
    if (!approver)
        return std::nullopt;
    return Access::User{approver->name, approver->role};
}

// The approver's name goes with the reason, into the journal's record and
// the audit line of the same write.
QString approved(const QString &reason, const std::optional<AccountService::Approver> &approver)
{
    if (!approver || approver->name.isEmpty() || reason.trimmed().isEmpty())
        return reason; // a reason is still required
    return QStringLiteral("%1（批准：%2%3）")
        .arg(reason, Roles::name(approver->role), approver->name);
}
} // namespace

WriteResult AccountService::voidReceipt(const QString &serial, const QString &reason,
                                        const std::optional<Approver> &approver)
{
    const auto permit = m_access.permit(Roles::Void, asUser(approver));
    if (!permit)
        return permit.result();
    if (!m_hooks.readable())
        return unread();
    const QDateTime now = Clock::now();
    JournalStore journal(m_database);
    const auto stored = journal.entry(serial);
    WriteResult r =
        journal.voidReceipt(serial, approved(reason, approver), m_settings.fees().clerk(),
                            QSysInfo::machineHostName(), now);
    if (!r || !stored || stored->isReprint())
        return r;
    // The print status speaks of this month only.
    const QString month =
        stored->month.isEmpty() ? Journal::month(stored->printedAt) : stored->month;
    if (month != Journal::month(now))
        return r;
    LedgerStore ledger(m_database);
    const auto child = ledger.childOfReceipt(serial);
    if (!child || child->isEmpty())
        return r;
    const auto standing = ledger.standingPayments(*child, month);
    if (!standing || *standing > 0)
        return r;
    for (RosterDocument *doc : m_hooks.rosters())
        for (int i = 0; i < doc->size(); ++i)
            if (doc->record(i).childId == *child &&
                doc->record(i).text(Roster::PrintStatus) == Roster::printedStatus(now))
                doc->setText(i, Roster::PrintStatus, Roster::notPrinted());
    return r;
}

WriteResult AccountService::refund(const QString &receipt, const QString &amount,
                                   const QString &reason, QString *serial, const QString &method,
                                   const std::optional<Approver> &approver)
{
    const auto permit = m_access.permit(Roles::Refund, asUser(approver));
    if (!permit)
        return permit.result();
    if (!m_hooks.readable())
        return unread();
    const QString way = method.isEmpty() ? OfficeSettings::paymentMethod() : method;
    if (!Ledger::paymentMethods().contains(way))
        return WriteResult::failure(WriteResult::Refused,
                                    QStringLiteral("退款方式“%1”不是可选的方式之一").arg(way));
    QString why;
    const auto fen = Ledger::parseYuan(amount, &why);
    if (!fen)
        return WriteResult::failure(WriteResult::Refused,
                                    why.replace(QStringLiteral("实收"), QStringLiteral("退款")));
    // The second form of a receipt is paid by the first's payment.
    JournalStore journal(m_database);
    const auto paid = journal.receiptOf(receipt);
    if (!paid)
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("没有退款"),
                                    journal.errorString());
    return LedgerStore(m_database)
        .refund(*paid, *fen, way, approved(reason, approver), m_settings.fees().clerk(),
                QSysInfo::machineHostName(), Clock::now(), serial);
}

WriteResult AccountService::closeMonth(const QString &month)
{
    const auto permit = m_access.permit(Roles::CloseMonth);
    if (!permit)
        return permit.result();
    if (!m_hooks.readable())
        return unread();
    // Receipts waiting on disk may be of the month: written first, or the
    // month could never take them.
    if (const int waiting = m_hooks.flushWaiting(); waiting > 0)
        return WriteResult::failure(
            WriteResult::Refused,
            QStringLiteral("还有 %1 张收据等待记入收据记录：请先让它们记入（保存到数据库），再月结")
                .arg(waiting));
    return LedgerStore(m_database)
        .closeMonth(month, m_settings.fees().clerk(), QSysInfo::machineHostName(), Clock::now());
}

std::optional<QString> AccountService::monthClosing(const QString &month, QString *error)
{
    const auto closed = LedgerStore::closing(m_database, month);
    if (!closed && error)
        *error = m_database.connection().lastError().text();
    return closed;
}

void AccountService::decide(ReceiptPlan &plan)
{
    if (!m_hooks.readable() || !m_database.isOpen())
        return;
    const QString month = Journal::month(Clock::now());
    const QVector<PlannedReceipt> receipts = plan.printable();
    // Every child of the command read at once: a server answers each
    // statement over the network.
    QStringList ids;
    ids.reserve(receipts.size());
    for (const PlannedReceipt &p : receipts) {
        const ChildRef &c = plan.child(p);
        if (c.row() >= 0)
            ids << c.document->record(c.row()).childId;
    }
    QString error;
    // Accounts that cannot be read now are decided by the transaction that
    // records the print: the receipts of the fees stand until then.
    const auto accounts = LedgerStore::childMonths(m_database, ids, month, &error);
    if (!accounts)
        return;
    const auto terms = StayStore::terms(m_database, ids, month, &error);
    if (!terms)
        return;
    JournalStore journal(m_database);
    for (int i = 0; i < receipts.size(); ++i) {
        const ChildRef &c = plan.child(receipts.at(i));
        const int row = c.row();
        if (row < 0)
            continue;
        const ChildRecord &rec = c.document->record(row);
        const Roster::Cells cells = rec.feeCells();
        QVector<QPair<QString, qint64>> charges = Ledger::charges(cells, c.document->fees());
        QVector<QPair<QString, qint64>> reductions;
        if (const auto t = terms->constFind(rec.childId); t != terms->cend())
            reductions = PartMonth::adjustments(*t, Reductions::bases(cells, c.document->fees()));
        const Receipt net = Reductions::net(plan.fullReceipt(i), reductions);
        const Account::Decision d = Account::decide(
            rec.childId.isEmpty() ? Account::ChildMonth() : accounts->value(rec.childId), net,
            charges + reductions);
        Receipt copied;
        if (!d.isPayment())
            if (const auto e = journal.entry(d.copyOf))
                copied = e->receipt();
        plan.setDecision(i, d, copied, net);
    }
}
