#include "fees.h"

#include "childrecord.h"
#include "receipt.h"

#include <cmath>
#include <limits>

namespace Fees
{

bool isDiscounted(const Roster::Cells &row)
{
    const Roster::Cell &flag = row[Roster::Discount];
    return flag && Roster::toInt(*flag) != 0;
}

float discountFactor(const Roster::Cells &row, const FeeMirror &fees)
{
    return isDiscounted(row) ? fees.price(DiscountFactor) : 1.0f;
}

float roundHalfUp(float x)
{
    return static_cast<float>(std::floor(static_cast<double>(x) + 0.5));
}

double decimalOf(float value)
{
    return std::round(double(value) * 1e6) / 1e6;
}

double roundedProduct(double amount, double factor)
{
    auto decimal = [](double x) { return std::round(x * 1e6) / 1e6; };
    const double p = decimal(amount) * decimal(factor);
    if (!std::isfinite(p))
        return p;
    // A product of two six-place decimals that is meant to end in .5 lies
    // within far less than 1e-7 of it.
    return std::floor(p + 0.5 + 1e-7);
}

float tuitionAmount(int value, float factor, const QStringList &tuitionPrices)
{
    if (value < tuitionPrices.size()) {
        // A negative index reads as an empty entry, worth 0.
        const int price = value >= 0 ? Roster::toInt(tuitionPrices.at(value)) : 0;
        return static_cast<float>(roundedProduct(price, factor));
    }
    return static_cast<float>(roundedProduct(value, factor));
}

qint32 saturatingTrunc(double x)
{
    if (std::isnan(x))
        return 0;
    if (x >= static_cast<double>(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    if (x <= static_cast<double>(std::numeric_limits<qint32>::min()))
        return std::numeric_limits<qint32>::min();
    return static_cast<qint32>(std::trunc(x));
}

qint64 toFen(float yuan)
{
    const double fen = std::round(static_cast<double>(yuan) * 100.0);
    if (std::isnan(fen))
        return 0;
    // 2^62 fen is far beyond any price; the bound keeps the cast defined.
    constexpr double limit = 4611686018427387904.0;
    if (fen >= limit)
        return static_cast<qint64>(limit);
    if (fen <= -limit)
        return -static_cast<qint64>(limit);
    return static_cast<qint64>(fen);
}

qint32 wholeYuan(qint64 fen)
{
    const qint64 yuan = fen / 100;
    return static_cast<qint32>(qBound(qint64(std::numeric_limits<qint32>::min()), yuan,
                                      qint64(std::numeric_limits<qint32>::max())));
}

qint32 rosterTotal(const Roster::Cells &row, const FeeMirror &fees)
{
    // What the receipt charges, line by line (accommodation discounted and
    // rounded as the receipt does it), in whole yuan: the roster, the
    // receipts and the ledger show one figure.
    qint64 fen = 0;
    for (const qint64 line : receiptAmounts(row, fees))
        fen += line;
    return wholeYuan(fen);
}

bool totalCellNeedsRewrite(const Roster::Cell &cell, qint32 total)
{
    return !cell || Roster::toInt(*cell) != total;
}

bool isChildcareEntryValid(const QString &entry)
{
    return Roster::wholeNumber(entry).has_value();
}

QString rowProblem(const Roster::Cells &row, const FeeMirror &fees)
{
    using namespace Roster;
    const QString name = row[Name].value_or(QString());
    for (int c = 0; c < ColumnCount; ++c) {
        if (!isNumericColumn(c) || !row[c] || countsAsWritten(*row[c]))
            continue;
        return QStringLiteral("%1 的“%2”一栏是“%3”，不是整数：请改正后再计算或打印")
            .arg(name, QString::fromUtf16(columnNames()[size_t(c)].caption), row[c]->trimmed());
    }
    if (row[Tuition]) {
        const int v = toInt(*row[Tuition]);
        if (v >= 0 && v < fees.tuitionPrices.size() &&
            !isChildcareEntryValid(fees.tuitionPrices.at(v)))
            return QStringLiteral("%1 的保教费用到设置中保教费列表的第 %2 项“%3”，它不是整数元："
                                  "请在设置中改正这一项后再计算或打印")
                .arg(name, QString::number(v + 1), fees.tuitionPrices.at(v));
    }
    if (!fees.discountSet && isDiscounted(row))
        return QStringLiteral("%1 享受折扣，但设置中还没有填写折扣：请先在设置中填写折扣"
                              "（乘数，0.9 表示九折）并点击“应用并保存”")
            .arg(name);
    return {};
}

} // namespace Fees
