#include "absence.h"

#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <algorithm>

namespace Absence
{

namespace
{
QString yuan(qint64 fen)
{
    return QStringLiteral("%1.%2").arg(fen / 100).arg(fen % 100, 2, 10, QLatin1Char('0'));
}

std::optional<bool> yesNo(const QString &text, bool fallback)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return fallback;
    if (t == QLatin1String("1") || t == QLatin1String("true") || t == QStringLiteral("是"))
        return true;
    if (t == QLatin1String("0") || t == QLatin1String("false") || t == QStringLiteral("否"))
        return false;
    return std::nullopt;
}

// One run of consecutive school days absent.
struct Run {
    QDate first, last;
    int days = 0;
    int leave = 0; // days of it with leave asked
    bool counted = false;
};

QString leaveText(const Run &r)
{
    if (r.leave == r.days)
        return QStringLiteral("已请假");
    if (r.leave == 0)
        return QStringLiteral("未请假");
    return QStringLiteral("%1 天请假").arg(r.leave);
}

QString runText(const Run &r)
{
    QString span;
    if (r.counted)
        span = QStringLiteral("按天数记");
    else if (r.first == r.last)
        span = dayText(r.first);
    else
        span = QStringLiteral("%1–%2").arg(dayText(r.first), dayText(r.last));
    return QStringLiteral("%1，%2").arg(span, leaveText(r));
}
} // namespace

QString dayText(const QDate &day)
{
    return QStringLiteral("%1月%2日").arg(day.month()).arg(day.day());
}

std::optional<QDate> parseDay(const QString &text, int year, int month)
{
    const QString t = text.trimmed();
    auto inMonth = [&](const QDate &d) {
        return d.isValid() && d.year() == year && d.month() == month ? d : QDate();
    };
    static const QRegularExpression full(
        QStringLiteral("^([0-9]{4})[-/.年]([0-9]{1,2})[-/.月]([0-9]{1,2})日?$"));
    static const QRegularExpression monthDay(
        QStringLiteral("^([0-9]{1,2})[-/.月]([0-9]{1,2})日?$"));
    static const QRegularExpression number(QStringLiteral("^([0-9]{1,5})(?:\\.0+)?$"));
    if (const auto m = full.match(t); m.hasMatch())
        return inMonth(QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()));
    if (const auto m = monthDay.match(t); m.hasMatch())
        return inMonth(QDate(year, m.captured(1).toInt(), m.captured(2).toInt()));
    if (const auto m = number.match(t); m.hasMatch()) {
        const int n = m.captured(1).toInt();
        if (n >= 1 && n <= 31)
            return inMonth(QDate(year, month, n));
        // A spreadsheet's date: days since 1899-12-30.
        if (n > 20000)
            return inMonth(QDate(1899, 12, 30).addDays(n));
        return QDate();
    }
    return std::nullopt;
}

QVector<ListRow> readList(const QVector<QStringList> &rows, int year, int month,
                          QStringList *errors)
{
    QVector<ListRow> out;
    int start = 0;
    QVector<bool> counts, leaves;
    // A first row none of whose cells is a date is a header; "天数" marks
    // counts. One with a date among them is a child's row, whatever typo
    // another cell holds (said below, and the row is not taken).
    if (!rows.isEmpty()) {
        const QStringList &head = rows.first();
        bool header = false, dated = false;
        for (int c = 1; c < head.size(); ++c) {
            const QString h = head.at(c).trimmed();
            counts << h.contains(QStringLiteral("天数"));
            leaves << h.contains(QStringLiteral("请假"));
            if (!h.isEmpty() && !parseDay(h, year, month))
                header = true;
            else if (!h.isEmpty())
                dated = true;
        }
        header = header && !dated;
        // Taken as a header without saying so only when it reads as one.
        const QString first = head.value(0).trimmed();
        if (header && !first.isEmpty() && !first.contains(QStringLiteral("姓名")) &&
            !first.contains(QStringLiteral("名字")) && !first.contains(QStringLiteral("儿童")))
            errors->append(QStringLiteral("第 1 行：“%1”一行当作表头，没有读入（不是表头时请"
                                          "检查这一行的日期）")
                               .arg(first));
        if (!header) {
            counts.clear();
            leaves.clear();
        }
        start = header ? 1 : 0;
    }
    for (int r = start; r < rows.size(); ++r) {
        const QStringList &cells = rows.at(r);
        ListRow row;
        row.line = r + 1;
        row.name = cells.value(0).trimmed();
        if (row.name.isEmpty())
            continue;
        bool leave = false;
        bool bad = false;
        for (int c = 1; c < cells.size(); ++c) {
            const QString t = cells.at(c).trimmed();
            if (t.isEmpty())
                continue;
            if (t == QStringLiteral("请假") || t == QStringLiteral("假")) {
                leave = true;
                continue;
            }
            // A column headed 请假 says yes or no.
            if (leaves.value(c - 1)) {
                leave = leave || t == QStringLiteral("是") || t == QLatin1String("1");
                continue;
            }
            if (counts.value(c - 1)) {
                static const QRegularExpression whole(QStringLiteral("^[0-9]{1,2}$"));
                if (!whole.match(t).hasMatch() || t.toInt() > 31) {
                    errors->append(QStringLiteral("第 %1 行：%2 的天数“%3”不是 0 到 31 的整数")
                                       .arg(row.line)
                                       .arg(row.name, t));
                    bad = true;
                    continue;
                }
                Absent a;
                a.count = t.toInt();
                row.days << a;
                continue;
            }
            const auto day = parseDay(t, year, month);
            if (!day || !day->isValid()) {
                errors->append(
                    QStringLiteral("第 %1 行：%2 的“%3”%4")
                        .arg(row.line)
                        .arg(row.name, t,
                             day ? QStringLiteral("不在 %1 年 %2 月").arg(year).arg(month)
                                 : QStringLiteral("不是日期")));
                bad = true;
                continue;
            }
            Absent a;
            a.day = *day;
            row.days << a;
        }
        if (bad)
            continue;
        for (Absent &a : row.days)
            a.leave = leave;
        out << row;
    }
    return out;
}

std::optional<Rule> Rule::fromTexts(const QString &minDays, const QString &leaveRequired,
                                    const QString &perDay, const QString &discounted,
                                    const QString &creditNext, QString *why)
{
    auto refuse = [&](const QString &reason) -> std::optional<Rule> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    Rule rule;
    const QString m = minDays.trimmed();
    static const QRegularExpression whole(QStringLiteral("^[0-9]{1,2}$"));
    if (!m.isEmpty()) {
        if (!whole.match(m).hasMatch() || m.toInt() > 31)
            return refuse(
                QStringLiteral("退费规则：连续缺勤天数“%1”不是 0 到 31 之间的整数").arg(m));
        rule.minDays = m.toInt();
    }
    const QString p = perDay.trimmed();
    if (!p.isEmpty()) {
        static const QRegularExpression money(QStringLiteral("^([0-9]{1,6})(?:\\.([0-9]{1,2}))?$"));
        const auto match = money.match(p);
        if (!match.hasMatch())
            return refuse(
                QStringLiteral("退费规则：每天退费“%1”不是金额（元，最多两位小数）").arg(p));
        rule.perDayFen = match.captured(1).toLongLong() * 100 +
                         (match.captured(2) + QStringLiteral("00")).left(2).toLongLong();
    }
    const auto leave = yesNo(leaveRequired, rule.leaveRequired);
    const auto disc = yesNo(discounted, rule.discounted);
    const auto credit = yesNo(creditNext, rule.creditNextMonth);
    if (!leave || !disc || !credit)
        return refuse(QStringLiteral("退费规则：“是否”一项的值不是“是”或“否”"));
    rule.leaveRequired = *leave;
    rule.discounted = *disc;
    rule.creditNextMonth = *credit;
    return rule;
}

std::optional<TuitionRule> TuitionRule::fromTexts(const QString &minDays, const QString &share,
                                                  QString *why)
{
    auto refuse = [&](const QString &reason) -> std::optional<TuitionRule> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    TuitionRule rule;
    const QString m = minDays.trimmed(), p = share.trimmed();
    static const QRegularExpression whole(QStringLiteral("^[0-9]{1,3}$"));
    if (!m.isEmpty()) {
        if (!whole.match(m).hasMatch() || m.toInt() > 23)
            return refuse(
                QStringLiteral("保教费退还：连续请假天数“%1”不是 0 到 23 之间的整数（0 表示不退）")
                    .arg(m));
        rule.minDays = m.toInt();
    }
    if (rule.minDays == 0)
        return rule;
    if (p.isEmpty() || !whole.match(p).hasMatch() || p.toInt() < 1 || p.toInt() > 100)
        return refuse(
            QStringLiteral("保教费退还：退还比例“%1”不是 1 到 100 之间的整数（百分之几）").arg(p));
    rule.sharePercent = p.toInt();
    return rule;
}

Refund tuitionBack(const QVector<Absent> &absent, const QVector<QDate> &schoolDays,
                   const TuitionRule &rule, qint64 tuitionFen)
{
    Refund out;
    if (!rule.enabled())
        return out;
    QHash<QDate, int> position;
    for (int i = 0; i < schoolDays.size(); ++i)
        position.insert(schoolDays.at(i), i);
    QMap<int, bool> days; // place among the school days: leave asked
    QVector<Run> runs;
    for (const Absent &a : absent) {
        if (!a.day.isValid()) {
            if (a.count > 0 && a.leave) {
                Run r;
                r.counted = true;
                r.days = r.leave = a.count;
                runs << r;
                out.days += a.count;
            }
            continue;
        }
        if (const auto it = position.constFind(a.day); it != position.constEnd())
            days[*it] = days.value(*it) || a.leave;
    }
    for (auto it = days.cbegin(); it != days.cend();) {
        if (!it.value()) {
            ++it;
            continue;
        }
        Run r;
        int at = it.key();
        r.first = schoolDays.at(at);
        while (it != days.cend() && it.key() == at && it.value()) {
            r.last = schoolDays.at(at);
            ++r.days;
            ++it;
            ++at;
        }
        r.leave = r.days;
        out.days += r.days;
        runs << r;
    }
    if (runs.isEmpty()) {
        out.reason = QStringLiteral("没有请假缺勤");
        return out;
    }
    const Run *longest = &runs.first();
    for (const Run &r : runs)
        if (r.days > longest->days)
            longest = &r;
    out.refunded = longest->days;
    const QString span =
        longest->counted ? QStringLiteral("按天数记")
        : longest->first == longest->last
            ? dayText(longest->first)
            : QStringLiteral("%1–%2").arg(dayText(longest->first), dayText(longest->last));
    if (longest->days < rule.minDays) {
        out.refunded = 0;
        out.reason = QStringLiteral("请假连续缺勤最长 %1 天（%2），不满 %3 天，保教费不退")
                         .arg(longest->days)
                         .arg(span)
                         .arg(rule.minDays);
        return out;
    }
    // Half a fen and more is a fen.
    out.fen = (qMax<qint64>(tuitionFen, 0) * rule.sharePercent + 50) / 100;
    out.reason =
        QStringLiteral("请假连续缺勤 %1 天（%2），满 %3 天，退本月保教费 %4 元的 %5%：%6 元")
            .arg(longest->days)
            .arg(span)
            .arg(rule.minDays)
            .arg(yuan(tuitionFen))
            .arg(rule.sharePercent)
            .arg(yuan(out.fen));
    return out;
}

QVector<QDate> schoolDays(int year, int month, const Calendar &calendar)
{
    QVector<QDate> days;
    const QDate first(year, month, 1);
    if (!first.isValid())
        return days;
    for (QDate d = first; d.month() == month; d = d.addDays(1)) {
        const bool weekday = d.dayOfWeek() <= 5;
        if ((weekday && !calendar.holidays.contains(d)) || calendar.workdays.contains(d))
            days << d;
    }
    return days;
}

Refund compute(const QVector<Absent> &absent, const QVector<QDate> &schoolDays, const Rule &rule,
               qint64 perDayFen, qint64 capFen)
{
    Refund out;
    QHash<QDate, int> position;
    for (int i = 0; i < schoolDays.size(); ++i)
        position.insert(schoolDays.at(i), i);
    // The days recorded, by their place among the school days.
    QMap<int, bool> days;
    QVector<Run> runs;
    for (const Absent &a : absent) {
        if (!a.day.isValid()) {
            if (a.count > 0) {
                Run r;
                r.counted = true;
                r.days = a.count;
                r.leave = a.leave ? a.count : 0;
                runs << r;
                out.days += a.count;
            }
            continue;
        }
        const auto it = position.constFind(a.day);
        if (it == position.constEnd()) {
            out.errors << QStringLiteral("%1不是本月的上学日").arg(dayText(a.day));
            continue;
        }
        if (!days.contains(*it))
            ++out.days;
        days[*it] = days.value(*it) || a.leave;
    }
    // Consecutive school days make a run; with leave required, a run also
    // ends where leave asked for starts or stops.
    for (auto it = days.cbegin(); it != days.cend();) {
        Run r;
        int at = it.key();
        const bool leave = it.value();
        r.first = schoolDays.at(at);
        while (it != days.cend() && it.key() == at &&
               (!rule.leaveRequired || it.value() == leave)) {
            r.last = schoolDays.at(at);
            ++r.days;
            r.leave += it.value() ? 1 : 0;
            ++it;
            ++at;
        }
        runs << r;
    }
    std::stable_sort(runs.begin(), runs.end(), [](const Run &a, const Run &b) {
        return a.counted != b.counted ? !a.counted : a.first < b.first;
    });
    QStringList parts;
    for (const Run &r : runs) {
        const bool leaveOk = !rule.leaveRequired || r.leave == r.days;
        const bool long_ = r.days >= rule.minDays;
        if (leaveOk && long_)
            out.refunded += r.days;
        parts << runText(r) + (leaveOk ? (long_ ? QString()
                                                : QStringLiteral("，不满 %1 天").arg(rule.minDays))
                                       : QStringLiteral("，须请假才退"));
    }
    if (out.days == 0) {
        out.reason = out.errors.isEmpty() ? QStringLiteral("没有缺勤")
                                          : out.errors.join(QStringLiteral("；"));
        return out;
    }
    out.fen = out.refunded * perDayFen;
    QString reason =
        QStringLiteral("缺勤 %1 天（%2）").arg(out.days).arg(parts.join(QStringLiteral("；")));
    if (out.refunded == 0) {
        reason += QStringLiteral("，不退");
    } else {
        if (rule.minDays > 0)
            reason += QStringLiteral("，满 %1 天").arg(rule.minDays);
        reason += QStringLiteral("，按每天 %1 元退 %2 元").arg(yuan(perDayFen), yuan(out.fen));
        if (out.refunded != out.days)
            reason += QStringLiteral("（%1 天）").arg(out.refunded);
        if (capFen >= 0 && out.fen > capFen) {
            out.fen = capFen;
            reason += QStringLiteral("，以本月伙食费 %1 元为限，退 %1 元").arg(yuan(capFen));
        }
    }
    out.reason = reason;
    return out;
}

} // namespace Absence
