#include "notice.h"

#include "journal.h"

namespace Notices
{

Notice notice(const QString &childId, const QString &className, const QString &childName,
              const QString &month, const Account::ChildMonth &account, qint64 earlier,
              const QDate &payBy)
{
    Notice n;
    n.childId = childId;
    n.className = className;
    n.childName = childName;
    n.month = month;
    n.payBy = payBy;
    // The receipt's order of the items first, then any others.
    for (const QString &item : Ledger::items())
        if (const qint64 fen = account.charged.value(item); fen != 0)
            n.charges << qMakePair(item, fen);
    for (auto it = account.charged.cbegin(); it != account.charged.cend(); ++it)
        if (!Ledger::items().contains(it.key()) && it.value() != 0)
            n.charges << qMakePair(it.key(), it.value());
    n.charged = account.chargedTotal();
    n.received = account.received;
    n.earlier = earlier;
    const qint64 thisMonth = account.owed();
    if (earlier < 0)
        n.creditUsed = qMin(-earlier, qMax(qint64(0), thisMonth));
    else
        n.earlierOwed = earlier;
    n.due = qMax(qint64(0), earlier + thisMonth);
    return n;
}

QStringList lines(const Notice &n, const QString &details)
{
    QStringList out;
    const QDate first =
        QDate::fromString(n.month + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"));
    out << QStringLiteral("缴费通知单  %1年%2月").arg(first.year()).arg(first.month());
    out << QStringLiteral("班级：%1    儿童：%2").arg(n.className, n.childName);
    for (const auto &c : n.charges)
        out << QStringLiteral("%1\t%2 元").arg(c.first, Journal::yuan(c.second));
    out << QStringLiteral("本月应收\t%1 元").arg(Journal::yuan(n.charged));
    if (n.received != 0)
        out << QStringLiteral("本月已缴\t%1 元").arg(Journal::yuan(n.received));
    if (n.creditUsed != 0)
        out << QStringLiteral("预收抵扣\t%1 元").arg(Journal::yuan(n.creditUsed));
    if (n.earlierOwed != 0)
        out << QStringLiteral("以前月份欠费\t%1 元").arg(Journal::yuan(n.earlierOwed));
    out << QStringLiteral("应缴金额\t%1 元").arg(Journal::yuan(n.due));
    if (n.payBy.isValid())
        out << QStringLiteral("请于 %1 前缴费。")
                   .arg(n.payBy.toString(QStringLiteral("yyyy年M月d日")));
    for (const QString &l : details.split(QLatin1Char('\n')))
        if (!l.trimmed().isEmpty())
            out << l.trimmed();
    return out;
}

Bucket bucket(const QString &month, const QDate &today)
{
    const QDate first =
        QDate::fromString(month + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"));
    const qint64 days = first.isValid() ? first.daysTo(today) : 0;
    return days < 30 ? Under30 : days <= 60 ? From30To60 : Over60;
}

QString bucketText(Bucket b)
{
    switch (b) {
    case Under30:
        return QStringLiteral("不满30天");
    case From30To60:
        return QStringLiteral("30–60天");
    default:
        return QStringLiteral("60天以上");
    }
}

Reminder reminder(const Ledger::Owing &owing, const QDate &today)
{
    Reminder r;
    r.owing = owing;
    r.months = owing.months;
    // Money paid ahead in some month pays the oldest months owed first.
    qint64 ahead = 0;
    for (const qint64 fen : owing.months)
        ahead += fen;
    ahead -= owing.total;
    for (auto it = r.months.begin(); it != r.months.end() && ahead > 0;) {
        const qint64 take = qMin(ahead, it.value());
        it.value() -= take;
        ahead -= take;
        it = it.value() == 0 ? r.months.erase(it) : std::next(it);
    }
    for (auto it = r.months.cbegin(); it != r.months.cend(); ++it)
        r.buckets[bucket(it.key(), today)] += it.value();
    if (!r.months.isEmpty()) {
        const QDate first = QDate::fromString(r.months.firstKey() + QStringLiteral("-01"),
                                              QStringLiteral("yyyy-MM-dd"));
        r.days = int(qMax(qint64(0), first.daysTo(today)));
    }
    return r;
}

QStringList lines(const Reminder &r)
{
    QStringList out;
    out << QStringLiteral("催费单");
    out << QStringLiteral("班级：%1    儿童：%2").arg(r.owing.className, r.owing.childName);
    for (auto it = r.months.cbegin(); it != r.months.cend(); ++it)
        out << QStringLiteral("%1\t欠费 %2 元").arg(it.key(), Journal::yuan(it.value()));
    out << QStringLiteral("合计欠费\t%1 元（已欠 %2 天）")
               .arg(Journal::yuan(r.owing.total))
               .arg(r.days);
    out << QStringLiteral("请尽快缴清。如已缴费，请持收据与收费室核对。");
    return out;
}

namespace
{
QString what(const LedgerEntry &e)
{
    switch (e.kind) {
    case LedgerEntry::Charge:
        return QStringLiteral("应收 %1").arg(e.item);
    case LedgerEntry::Adjustment:
        return QStringLiteral("调整 %1").arg(e.item);
    case LedgerEntry::Payment:
        return e.method.isEmpty() ? QStringLiteral("缴费")
                                  : QStringLiteral("缴费（%1）").arg(e.method);
    case LedgerEntry::Void:
        return QStringLiteral("作废：%1").arg(e.reason);
    case LedgerEntry::Refund:
        return QStringLiteral("退款：%1").arg(e.reason);
    case LedgerEntry::CreditUsed:
        return e.amount < 0 ? QStringLiteral("预收抵扣") : QStringLiteral("预收转出");
    case LedgerEntry::AbsenceRefund:
        return QStringLiteral("缺勤退费");
    }
    return {};
}
} // namespace

Statement statement(const QVector<LedgerEntry> &entries, const QString &from, const QString &to)
{
    Statement s;
    s.from = from;
    s.to = to;
    const QDate start =
        QDate::fromString(from + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"));
    const QDate first = QDate::fromString(to + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"));
    const QDate end = first.isValid() ? first.addMonths(1) : first;
    qint64 balance = 0;
    bool opened = false;
    for (const LedgerEntry &e : entries) {
        if (!e.childName.isEmpty()) {
            s.childName = e.childName;
            s.className = e.className;
        }
        // By when each entry was written, as a bank statement runs.
        const QDate day = e.at.date();
        if (day < start) {
            balance += e.amount;
            continue;
        }
        if (day >= end)
            continue;
        if (!opened) {
            s.opening = balance;
            opened = true;
        }
        balance += e.amount;
        // Money paid ahead moving onto a month is written in pairs that
        // cancel out: nothing for the parent to read.
        if (e.kind == LedgerEntry::CreditUsed)
            continue;
        s.lines << Statement::Line{
            e.at.toString(QStringLiteral("yyyy-MM-dd HH:mm")),     e.month,  what(e),
            e.ownSerial.isEmpty() ? e.receiptSerial : e.ownSerial, e.amount, balance};
    }
    if (!opened)
        s.opening = balance;
    s.closing = balance;
    return s;
}

QStringList lines(const Statement &s)
{
    QStringList out;
    out << QStringLiteral("对账单  %1 至 %2").arg(s.from, s.to);
    out << QStringLiteral("班级：%1    儿童：%2").arg(s.className, s.childName);
    out << QStringLiteral("期初余额（正数为欠费，负数为预收）：%1 元")
               .arg(Journal::yuan(s.opening));
    out << QStringLiteral("时间\t月份\t\t项目\t\t金额（元）\t余额（元）");
    for (const Statement::Line &l : s.lines)
        out << QStringLiteral("%1\t%2\t\t%3\t\t%4\t%5")
                   .arg(l.at, l.month,
                        l.what + (l.serial.isEmpty() ? QString() : QStringLiteral(" ") + l.serial),
                        Journal::yuan(l.amount), Journal::yuan(l.balance));
    out << QStringLiteral("期末余额：%1 元").arg(Journal::yuan(s.closing));
    return out;
}

} // namespace Notices
