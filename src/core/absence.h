#pragma once

#include <QDate>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

// Meal fees refunded for days absent. The meal fee is paid ahead for the
// month's school days; days a child was absent earn a refund by the office's
// rule, computed here from the calendar and the days recorded.
namespace Absence
{

// The rule (退费规则), as set in the settings panel.
struct Rule {
    int minDays = 5;                 // least consecutive school days absent; 0: every day
    bool leaveRequired = false;      // only days with leave asked (请假) count
    std::optional<qint64> perDayFen; // the amount per day; none: the daily meal price
    bool discounted = false;         // the child's discount applies to it
    bool creditNextMonth = true;     // credited to the next month, or paid out now

    // The rule's values as the settings store keeps them; a value that is
    // not usable is refused with why.
    static std::optional<Rule> fromTexts(const QString &minDays, const QString &leaveRequired,
                                         const QString &perDay, const QString &discounted,
                                         const QString &creditNext, QString *why);
};

// Tuition back after a long absence (保教费退还): once a child has been
// absent, with leave asked, for at least minDays consecutive school days
// in a month, a share of the month's tuition goes back as credit.
struct TuitionRule {
    int minDays = 0;      // 0: no tuition goes back
    int sharePercent = 0; // of the month's tuition, 1 to 100
    bool enabled() const { return minDays > 0 && sharePercent > 0; }
    // From the settings' texts (both empty or minDays 0: off); a value that
    // is not usable is refused with why.
    static std::optional<TuitionRule> fromTexts(const QString &minDays, const QString &share,
                                                QString *why);
};

// The office's calendar: holidays on weekdays and working days on weekends
// (make-up days).
struct Calendar {
    QSet<QDate> holidays;
    QSet<QDate> workdays;
};
// The school days of a month: Monday to Friday, minus holidays, plus make-up
// working days, in order.
QVector<QDate> schoolDays(int year, int month, const Calendar &calendar);

// One record of absence: a day (with or without leave asked), or, from a
// list that only counts, a number of consecutive days.
struct Absent {
    QDate day;     // invalid for a count
    int count = 1; // days: 1 for a day
    bool leave = false;
};

struct Refund {
    qint64 fen = 0;
    int days = 0;     // days absent recorded
    int refunded = 0; // days the refund is for
    QString reason; // "缺勤 6 天（12月3日–12月10日，已请假），满 5 天，按每天 15.00 元退 90.00 元"
    QStringList errors; // days that are no school days of the month, said
};

// The refund of one child for the month: runs of consecutive school days
// absent (weekends and holidays do not break a run) of at least minDays earn
// perDayFen for each of their days; never more than capFen (the month's meal
// fee charged, or -1 for no limit).
Refund compute(const QVector<Absent> &absent, const QVector<QDate> &schoolDays, const Rule &rule,
               qint64 perDayFen, qint64 capFen);

// The tuition that goes back for the month: the longest run of consecutive
// school days absent with leave asked (weekends and holidays do not break
// it, a day without leave does; a count of days from a list is a run of
// its own) decides. fen is the share of tuitionFen, rounded to the fen;
// refunded the run's days; days the leave days. Days that are no school
// days of the month are left out (the meal refund says them).
Refund tuitionBack(const QVector<Absent> &absent, const QVector<QDate> &schoolDays,
                   const TuitionRule &rule, qint64 tuitionFen);

// "12月3日".
QString dayText(const QDate &day);

// A day as a list gives it, in the month: "2026-12-03", "2026/12/3",
// "12月3日", "12-3", a day number "3", or a spreadsheet's date number
// (46359). nullopt when the text is no date; an invalid date when it is a
// date outside the month.
std::optional<QDate> parseDay(const QString &text, int year, int month);

// One child of an attendance list: a name, then absent days (or, under a
// header "天数", a count of days); a cell "请假" or "假", or "是" under a
// header "请假", says leave was asked for the row's days.
struct ListRow {
    int line = 0; // 1-based row of the list
    QString name;
    QVector<Absent> days;
};
// The rows of a list; what cannot be read is said in errors ("第 3 行：…")
// and left out.
QVector<ListRow> readList(const QVector<QStringList> &rows, int year, int month,
                          QStringList *errors);

} // namespace Absence
