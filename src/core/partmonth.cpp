#include "partmonth.h"

#include "absence.h"

namespace PartMonth
{
namespace
{
const QChar keySeparator(0x1f);

// x × days / of, rounded half up to the fen.
qint64 prorated(qint64 fen, int days, int of)
{
    if (fen <= 0 || of <= 0)
        return 0;
    return (fen * days * 2 + of) / (2 * qint64(of));
}

bool isMeals(const QString &item)
{
    return item == QStringLiteral("伙食费");
}

bool followsRule(const QString &item)
{
    return item == QStringLiteral("保教费") || item == QStringLiteral("住宿费");
}
} // namespace

QString problem(const Rule &rule)
{
    if (rule.kind != Kind::Thresholds)
        return {};
    if (rule.fullFrom < 1 || rule.fullFrom > 31)
        return QStringLiteral("收全月的天数要在 1 到 31 之间");
    if (rule.halfFrom < 0 || rule.halfFrom >= rule.fullFrom)
        return QStringLiteral("收半月的天数要少于收全月的天数（0 表示不收半月）");
    return {};
}

QString kindText(Kind kind)
{
    switch (kind) {
    case Kind::Full:
        return QStringLiteral("全月收取");
    case Kind::ByDays:
        return QStringLiteral("按在园天数");
    case Kind::Thresholds:
        return QStringLiteral("按天数收全月、半月或不收");
    }
    return {};
}

QString ruleText(const Rule &rule)
{
    if (rule.kind != Kind::Thresholds)
        return kindText(rule.kind);
    QString text = QStringLiteral("满 %1 天全月").arg(rule.fullFrom);
    if (rule.halfFrom > 0)
        text += QStringLiteral("，满 %1 天半月").arg(rule.halfFrom);
    return text + QStringLiteral("，不足不收");
}

QString kindCode(Kind kind)
{
    return kind == Kind::ByDays       ? QStringLiteral("days")
           : kind == Kind::Thresholds ? QStringLiteral("thresholds")
                                      : QStringLiteral("full");
}

Kind kindOf(const QString &code)
{
    return code == QLatin1String("days")         ? Kind::ByDays
           : code == QLatin1String("thresholds") ? Kind::Thresholds
                                                 : Kind::Full;
}

bool inMonth(const Stay &stay, const QString &month)
{
    const QDate first =
        QDate::fromString(month + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"));
    if (!first.isValid())
        return true;
    const QDate last = first.addMonths(1).addDays(-1);
    return (!stay.joined.isValid() || stay.joined <= last) &&
           (!stay.left.isValid() || stay.left >= first);
}

std::optional<Part> part(const Stay &stay, const QVector<QDate> &schoolDays)
{
    if (schoolDays.isEmpty())
        return std::nullopt;
    Part p;
    p.of = int(schoolDays.size());
    for (const QDate &d : schoolDays)
        if ((!stay.joined.isValid() || d >= stay.joined) &&
            (!stay.left.isValid() || d <= stay.left))
            ++p.days;
    if (p.days == p.of)
        return std::nullopt;
    const QDate first(schoolDays.first().year(), schoolDays.first().month(), 1);
    const QDate last = first.addMonths(1).addDays(-1);
    QStringList said;
    if (stay.joined.isValid() && stay.joined >= first && stay.joined <= last)
        said << QStringLiteral("%1插班").arg(Absence::dayText(stay.joined));
    if (stay.left.isValid() && stay.left >= first && stay.left <= last)
        said << QStringLiteral("%1退园").arg(Absence::dayText(stay.left));
    said << QStringLiteral("在园 %1 天 / 共 %2 天").arg(p.days).arg(p.of);
    p.reason = said.join(QStringLiteral("，"));
    return p;
}

QString reason(const QString &detail)
{
    return QStringLiteral("不足月：") + detail;
}

bool isPartMonth(const QString &reason)
{
    return reason.startsWith(QStringLiteral("不足月："));
}

QString notThere()
{
    return QStringLiteral("本月不在园");
}

QVector<QPair<QString, qint64>> lines(const Rule &rule, const Part &part,
                                      QVector<Reductions::Base> *bases)
{
    QVector<QPair<QString, qint64>> out;
    const QString why = reason(part.reason);
    for (Reductions::Base &b : *bases) {
        auto scaled = [&](qint64 fen) -> qint64 {
            if (isMeals(b.item) || (followsRule(b.item) && rule.kind == Kind::ByDays))
                return prorated(fen, part.days, part.of);
            if (!followsRule(b.item) || rule.kind == Kind::Full)
                return fen;
            if (part.days >= rule.fullFrom)
                return fen;
            if (rule.halfFrom > 0 && part.days >= rule.halfFrom)
                return prorated(fen, 1, 2);
            return 0;
        };
        const qint64 charged = qMax<qint64>(0, scaled(b.charged));
        const qint64 off = b.charged - charged;
        b.gross = qMax<qint64>(0, scaled(b.gross));
        b.charged = charged;
        if (off > 0)
            out.append({b.item + keySeparator + why, -off});
    }
    return out;
}

QVector<QPair<QString, qint64>> adjustments(const Terms &terms, QVector<Reductions::Base> bases)
{
    QVector<QPair<QString, qint64>> out;
    if (terms.part)
        out = lines(terms.rule, *terms.part, &bases);
    if (!terms.reductions.isEmpty())
        out += Reductions::lines(terms.reductions, bases);
    return out;
}
} // namespace PartMonth
