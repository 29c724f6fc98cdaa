#pragma once

#include "roster.h"

#include <QMap>
#include <QString>
#include <QStringList>

// The fee settings as every roster page holds them.
struct FeeMirror {
    // 0 discount factor, 1 accommodation, 2 daily meals, 3 bedding,
    // 4 school bus, 5 accident insurance. A missing number reads as 0.
    QMap<int, float> feePrices;
    QString clerkName;
    QStringList tuitionPrices;
    // False while the discount setting is empty: a discounted row then has
    // no factor to be charged with (0 would make it free).
    bool discountSet = true;

    float price(int index) const { return feePrices.value(index, 0.0f); }
    // A factor is a multiplier: 0.9 is ninety per cent. Anything outside
    // 0 < a <= 1 is most likely a percentage typed as such.
    bool discountInRange() const
    {
        const float a = price(0);
        return a > 0.0f && a <= 1.0f;
    }
    bool operator==(const FeeMirror &o) const
    {
        return feePrices == o.feePrices && clerkName == o.clerkName &&
               tuitionPrices == o.tuitionPrices && discountSet == o.discountSet;
    }
    bool operator!=(const FeeMirror &o) const { return !(*this == o); }
};

namespace Fees
{

enum PriceIndex {
    DiscountFactor = 0,
    AccommodationPrice = 1,
    MealPrice = 2,
    BeddingPrice = 3,
    SchoolBusPrice = 4,
    InsurancePrice = 5,
};

// Whether the row's discount flag asks for the discount.
bool isDiscounted(const Roster::Cells &row);

// Discount factor of a row: the stored factor when the discount cell holds a
// non-zero number, 1 otherwise.
float discountFactor(const Roster::Cells &row, const FeeMirror &fees);

// The childcare amount for a tuition cell value: a value below the size of
// the list picks that entry, any other value is the amount itself; both are
// discounted and rounded half up.
float tuitionAmount(int value, float factor, const QStringList &tuitionPrices);

// floor(x + 0.5) on a single-precision product, as the fee formulas define it.
float roundHalfUp(float x);
// amount × factor rounded half up to a whole number, as decimal arithmetic
// gives it: both are taken as the decimals they were typed as (six places),
// so a product at exactly x.5 keeps its half (1350 × 0.65 is 878, never 877
// as the float 877.49994 would round).
double roundedProduct(double amount, double factor);
// A price or factor held in single precision as the decimal it was typed as
// (six places): 12.35f is 12.350000381, this is 12.35.
double decimalOf(float value);

// Truncation toward zero into 32 bits, saturating instead of overflowing; a
// NaN (only reachable with absurd prices) counts as 0.
qint32 saturatingTrunc(double x);

// An amount in yuan, computed in single precision, as whole fen: rounded
// to the nearest fen (truncating lost a fen wherever the float fell just
// below it: 3 × 0.70 is 2.0999999), saturating at the 64-bit range; NaN 0.
qint64 toFen(float yuan);
// Fen as whole yuan, truncated toward zero, saturating into 32 bits.
qint32 wholeYuan(qint64 fen);

// The roster total of one row: what its receipt charges (tuition, meals and
// accommodation discounted and rounded; bedding, bus and insurance as plain
// products), each line to the nearest fen, summed and truncated to whole
// yuan.
qint32 rosterTotal(const Roster::Cells &row, const FeeMirror &fees);

// Whether the total cell must be rewritten: it is kept when its value already
// equals the total (a cell holding 0350 stays for 350).
bool totalCellNeedsRewrite(const Roster::Cell &cell, qint32 total);

// Whether an entry of the childcare list is a whole number of yuan.
bool isChildcareEntryValid(const QString &entry);

// Why a row's fees cannot be computed or its receipt printed, naming the
// child and the cause, or empty: a numeric cell that holds no whole number,
// a childcare entry the row uses that is not a whole number of yuan, a
// discounted row while no discount is set. Each would otherwise count as 0.
QString rowProblem(const Roster::Cells &row, const FeeMirror &fees);

} // namespace Fees
