#pragma once

#include "reductions.h"

#include <QDate>
#include <QPair>
#include <QString>
#include <QVector>
#include <optional>

// Part months: a child who joins (插班) or leaves (退园) in the middle of a
// month pays part of it. Tuition and boarding follow the office's rule,
// meals the school days the child is in the kindergarten. What a part
// month takes off is an adjustment entry of its own per item, with the
// reason that says why ("12月15日插班，在园 12 天 / 共 22 天").
namespace PartMonth
{
enum class Kind {
    Full,       // the whole month's tuition
    ByDays,     // by school days in the kindergarten, out of the month's
    Thresholds, // full from fullFrom days, half from halfFrom days, else none
};
struct Rule {
    Kind kind = Kind::Full;
    int fullFrom = 0;
    int halfFrom = 0;
    bool operator==(const Rule &o) const
    {
        return kind == o.kind && fullFrom == o.fullFrom && halfFrom == o.halfFrom;
    }
};
// Why the rule cannot be kept, or empty.
QString problem(const Rule &rule);
QString kindText(Kind kind);
// "按在园天数" or "满 15 天全月，满 8 天半月，不足不收".
QString ruleText(const Rule &rule);
QString kindCode(Kind kind);
Kind kindOf(const QString &code);

// A child's days in the kindergarten: the day it joined and the last day it
// was there (either invalid when not recorded).
struct Stay {
    QDate joined;
    QDate left;
    bool operator==(const Stay &o) const { return joined == o.joined && left == o.left; }
};
// Whether any day of the month ("yyyy-MM") falls in the stay: a child that
// has not joined yet, or has left before it, is not charged for it.
bool inMonth(const Stay &stay, const QString &month);

// The part of a month a child is in the kindergarten.
struct Part {
    int days = 0; // school days in the kindergarten
    int of = 0;   // the month's school days
    QString reason;
};
// nullopt when the stay covers all the month's school days (or the month
// has none).
std::optional<Part> part(const Stay &stay, const QVector<QDate> &schoolDays);

// "不足月：…": the reason of a part month's entries.
QString reason(const QString &detail);
bool isPartMonth(const QString &reason);
// The reason of what is taken back from a month the child was not in.
QString notThere();

// What the part month takes off each item, as lines keyed like the
// reductions' (negative), the bases changed to what is left of them, so
// that reductions are taken off the part month's fees.
QVector<QPair<QString, qint64>> lines(const Rule &rule, const Part &part,
                                      QVector<Reductions::Base> *bases);

// Everything that changes a child's month's fees, as the database holds it.
struct Terms {
    QVector<Reductions::Type> reductions;
    std::optional<Part> part;
    Rule rule;
    bool absent = false; // not in the kindergarten any day of the month
};
// The part month's lines, then the reductions' on what is left.
QVector<QPair<QString, qint64>> adjustments(const Terms &terms, QVector<Reductions::Base> bases);
} // namespace PartMonth
