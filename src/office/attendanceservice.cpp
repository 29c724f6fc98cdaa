#include "attendanceservice.h"

#include "access.h"
#include "attendancestore.h"
#include "classname.h"
#include "clock.h"
#include "database.h"
#include "ledgerstore.h"
#include "officesettings.h"
#include "rosterdocument.h"
#include "rosterstore.h"

#include <QSet>
#include <QSysInfo>
#include <cmath>

WriteResult AttendanceService::unread() const
{
    return WriteResult::failure(
        WriteResult::Refused,
        QStringLiteral("数据库没有读出来，为免覆盖其中的花名册，这个窗口不会写入它。"
                       "请关闭程序，待数据库可以读取后再打开。"));
}

WriteResult AttendanceService::keepIdentities(const QString &className)
{
    RosterDocument *doc = m_rosters(className);
    if (!doc)
        return WriteResult::success();
    QVector<ChildRecord> rows;
    for (int r = 0; r < doc->size(); ++r)
        rows << doc->record(r);
    return RosterStore(m_database).keepIdentities(rows);
}

std::optional<Absence::Calendar> AttendanceService::calendar(const QString &month, QString *error)
{
    AttendanceStore store(m_database);
    auto c = store.calendar(month);
    if (!c && error)
        *error = store.errorString();
    return c;
}

WriteResult AttendanceService::saveCalendar(const QString &month, const Absence::Calendar &calendar)
{
    const auto permit = m_access.permit(Roles::Calendar);
    if (!permit)
        return permit.result();
    if (!m_writable())
        return unread();
    return AttendanceStore(m_database).saveCalendar(month, calendar);
}

std::optional<AttendanceService::Absences>
AttendanceService::absences(const QString &className, const QString &month, QString *error)
{
    AttendanceStore store(m_database);
    const auto read = store.read(className, month);
    if (!read) {
        if (error)
            *error = store.errorString();
        return std::nullopt;
    }
    Absences out;
    for (auto it = read->cbegin(); it != read->cend(); ++it)
        out.insert(it.key(), {it->name, it->days});
    return out;
}

WriteResult AttendanceService::saveAbsences(const QString &className, const QString &month,
                                            const Absences &absences)
{
    const auto permit = m_access.permit(Roles::Calendar);
    if (!permit)
        return permit.result();
    if (!m_writable())
        return unread();
    if (WriteResult r = keepIdentities(className); !r)
        return r;
    QHash<QString, AttendanceStore::ChildDays> days;
    for (auto it = absences.cbegin(); it != absences.cend(); ++it)
        if (!it->second.isEmpty())
            days.insert(it.key(), {it->first, it->second});
    return AttendanceStore(m_database)
        .save(className, month, days, m_settings.fees().clerk(), Clock::now());
}

std::optional<AttendanceService::RefundPlan>
AttendanceService::refunds(const QString &className, const QString &month, QString *error)
{
    auto refuse = [&](const QString &why) -> std::optional<RefundPlan> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    RosterDocument *doc = m_rosters(className);
    if (!doc)
        return refuse(QStringLiteral("没有班级“%1”").arg(ClassName::visible(className)));
    const QDate first =
        QDate::fromString(month + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"));
    if (!first.isValid())
        return refuse(QStringLiteral("“%1”不是月份（应为 2026-12 这样）").arg(month));
    QString why;
    const auto rule = OfficeSettings::refundRule(&why);
    if (!rule)
        return refuse(why);
    const auto tuitionRule = OfficeSettings::tuitionRule(&why);
    if (!tuitionRule)
        return refuse(why);
    const auto cal = calendar(month, error);
    if (!cal)
        return std::nullopt;
    const auto absent = absences(className, month, error);
    if (!absent)
        return std::nullopt;
    const QVector<QDate> days = Absence::schoolDays(first.year(), first.month(), *cal);
    const FeeMirror fees = doc->fees();
    RefundPlan plan;
    plan.className = className;
    plan.month = month;
    plan.rule = *rule;
    plan.tuitionRule = *tuitionRule;
    QSet<QString> seen;
    for (int r = 0; r < doc->size(); ++r) {
        const ChildRecord &rec = doc->record(r);
        if (rec.childId.isEmpty() || seen.contains(rec.childId))
            continue;
        seen.insert(rec.childId);
        const Roster::Cells cells = rec.feeCells();
        ChildRefund c;
        c.childId = rec.childId;
        c.name = rec.text(Roster::Name);
        qint64 perDay = rule->perDayFen.value_or(
            qint64(std::floor(double(fees.price(Fees::MealPrice)) * 100.0 + 0.5)));
        if (rule->discounted && Fees::isDiscounted(cells))
            perDay = qint64(Fees::roundedProduct(double(perDay), fees.price(Fees::DiscountFactor)));
        c.perDayFen = perDay;
        // Never more than the month's meal fee.
        qint64 meals = 0, tuition = 0;
        for (const auto &charge : Ledger::charges(cells, fees)) {
            if (charge.first == QStringLiteral("伙食费"))
                meals = charge.second;
            if (charge.first == QStringLiteral("保教费"))
                tuition = charge.second; // as charged: the discount applied
        }
        const auto mine = absent->value(rec.childId);
        c.refund = Absence::compute(mine.second, days, *rule, perDay, meals);
        c.tuition = Absence::tuitionBack(mine.second, days, *tuitionRule, tuition);
        for (const QString &e : c.refund.errors)
            plan.problems << QStringLiteral("%1：%2").arg(c.name, e);
        plan.total += c.refund.fen + c.tuition.fen;
        plan.children << c;
    }
    for (auto it = absent->cbegin(); it != absent->cend(); ++it)
        if (!seen.contains(it.key()))
            plan.problems << QStringLiteral("%1：已不在班级“%2”的名单中，缺勤没有计算")
                                 .arg(it->first, ClassName::visible(className));
    return plan;
}

WriteResult AttendanceService::applyRefunds(const RefundPlan &plan, int *written)
{
    const auto permit = m_access.permit(Roles::AbsenceRefunds);
    if (!permit)
        return permit.result();
    if (!m_writable())
        return unread();
    if (WriteResult r = keepIdentities(plan.className); !r)
        return r;
    QVector<LedgerStore::AbsenceRefund> list;
    for (const ChildRefund &c : plan.children)
        list.append({c.childId, plan.className, c.name, c.refund.fen, c.refund.reason,
                     c.tuition.fen, c.tuition.reason});
    QVector<LedgerEntry> entries;
    const WriteResult r =
        LedgerStore(m_database)
            .applyAbsenceRefunds(plan.month, list, !plan.rule.creditNextMonth,
                                 OfficeSettings::paymentMethod(), m_settings.fees().clerk(),
                                 QSysInfo::machineHostName(), Clock::now(), &entries);
    if (r && written)
        *written = int(entries.size());
    return r;
}
