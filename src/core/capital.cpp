#include "capital.h"

namespace Capital
{

namespace
{
const QString kDigits = QStringLiteral("零壹贰叁肆伍陆柒捌玖");
const QString kUnits = QStringLiteral("分角元拾佰仟万");

// Decimal digits of the amount, at least two of them.
QString paddedDigits(qint32 fen)
{
    return QString::number(fen).rightJustified(2, QLatin1Char('0'));
}
} // namespace

bool writable(qint32 fen)
{
    return fen >= 0 && fen <= MaxAmount;
}

std::optional<QString> amountText(qint32 fen)
{
    if (!writable(fen))
        return std::nullopt;
    const QString digits = paddedDigits(fen);
    return digits.left(digits.size() - 2) + QLatin1Char('.') + digits.right(2);
}

std::optional<QVector<GlyphPair>> glyphPairs(qint32 fen)
{
    if (!writable(fen))
        return std::nullopt;
    const QString digits = paddedDigits(fen);
    const int n = digits.size();
    QVector<GlyphPair> pairs;
    pairs.reserve(n);
    for (int k = 0; k < n; ++k) {
        const int place = n - 1 - k;
        GlyphPair pair;
        pair.digit = kDigits.at(digits.at(k).digitValue());
        pair.unit = place < kUnits.size() ? kUnits.at(place) : QChar();
        pair.place = place;
        pairs.append(pair);
    }
    return pairs;
}

QString pairsText(const QVector<GlyphPair> &pairs)
{
    QStringList parts;
    for (const GlyphPair &p : pairs) {
        QString s(p.digit);
        if (!p.unit.isNull())
            s += p.unit;
        parts << s;
    }
    return parts.join(QLatin1Char(' '));
}

} // namespace Capital
