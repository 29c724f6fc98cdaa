#include "receipt.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <cmath>
#include <limits>

namespace ReceiptText
{

QByteArray encode(const QString &text, int maxBytes)
{
    // Opening a converter costs more than a receipt's texts: one per thread.
    thread_local QStringEncoder encoder("GB18030");
    encoder.resetState();
    QByteArray whole = encoder.encode(text);
    if (whole.size() <= maxBytes && !encoder.hasError())
        return whole;
    encoder.resetState();
    QByteArray out;
    // Too long: encode character by character (surrogate pairs kept
    // together) so the cut never falls inside a multi-byte character.
    for (int i = 0; i < text.size();) {
        const int len = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QByteArray piece = encoder.encode(QStringView(text).mid(i, len));
        if (out.size() + piece.size() > maxBytes)
            break;
        out += piece;
        i += len;
    }
    return out;
}

QString decode(const QByteArray &bytes)
{
    thread_local QStringDecoder decoder("GB18030");
    decoder.resetState();
    return decoder.decode(bytes);
}

QByteArray childcareLabel()
{
    return encode(QStringLiteral("保 教 费"), Receipt::LabelBytes);
}
QByteArray accommodationLabel()
{
    return encode(QStringLiteral("住 宿 费"), Receipt::LabelBytes);
}

} // namespace ReceiptText

void addFeeEntry(Receipt &receipt, const QByteArray &label, float amount, int slot)
{
    if (slot < 0 || slot >= Receipt::Slots)
        return;
    FeeEntry entry;
    entry.label = label.left(Receipt::LabelBytes);
    const qint64 fen = Fees::toFen(amount);
    entry.amount = static_cast<qint32>(qBound(qint64(std::numeric_limits<qint32>::min()), fen,
                                              qint64(std::numeric_limits<qint32>::max())));
    receipt.entries[slot] = entry;
    const qint64 total = qint64(receipt.total) + entry.amount;
    receipt.total = static_cast<qint32>(qBound(qint64(std::numeric_limits<qint32>::min()), total,
                                               qint64(std::numeric_limits<qint32>::max())));
    ++receipt.entryCount;
}

namespace
{
// The six amounts in yuan as the receipt computes them: childcare,
// accommodation (discounted and rounded), meals
// (discounted and rounded), bedding, school bus, insurance.
std::array<float, 6> receiptYuan(const Roster::Cells &row, const FeeMirror &fees)
{
    using namespace Roster;
    const float factor = Fees::discountFactor(row, fees);
    std::array<float, 6> yuan{};
    if (row[Tuition])
        yuan[0] = Fees::tuitionAmount(toInt(*row[Tuition]), factor, fees.tuitionPrices);
    if (row[Accommodation]) {
        const float months = static_cast<float>(toInt(*row[Accommodation]));
        yuan[1] = static_cast<float>(Fees::roundedProduct(
            Fees::decimalOf(fees.price(Fees::AccommodationPrice)) * months, factor));
    }
    const int columns[] = {Meals, Bedding, SchoolBus, Insurance};
    const int prices[] = {Fees::MealPrice, Fees::BeddingPrice, Fees::SchoolBusPrice,
                          Fees::InsurancePrice};
    for (int i = 0; i < 4; ++i) {
        const Cell &cell = row[columns[i]];
        const int n = toInt(cell);
        if (!cell || n == 0)
            continue;
        float amount = static_cast<float>(n) * fees.price(prices[i]);
        if (columns[i] == Meals)
            amount = static_cast<float>(
                Fees::roundedProduct(Fees::decimalOf(fees.price(prices[i])) * n, factor));
        yuan[size_t(2 + i)] = amount;
    }
    return yuan;
}
} // namespace

std::array<qint64, 6> receiptAmounts(const Roster::Cells &row, const FeeMirror &fees)
{
    const std::array<float, 6> yuan = receiptYuan(row, fees);
    std::array<qint64, 6> fen{};
    for (size_t i = 0; i < yuan.size(); ++i)
        fen[i] = Fees::toFen(yuan[i]);
    return fen;
}

BuiltReceipt buildReceipt(const Roster::Cells &row, const FeeMirror &fees)
{
    using namespace Roster;
    BuiltReceipt built;
    Receipt &r = built.receipt;
    const std::array<float, 6> yuan = receiptYuan(row, fees);

    if (row[Name])
        r.name = ReceiptText::encode(*row[Name], Receipt::TextBytes);
    if (row[Age])
        r.age = ReceiptText::encode(*row[Age], Receipt::TextBytes);

    addFeeEntry(r, ReceiptText::childcareLabel(), yuan[0], 0);
    addFeeEntry(r, ReceiptText::accommodationLabel(), yuan[1], 1);

    static const char16_t *const labels[] = {u"伙 食 费", u"床上用品费", u"校车接送费",
                                             u"意外保险费"};
    const int columns[] = {Meals, Bedding, SchoolBus, Insurance};
    qint64 sumFen = 0;
    int slot = 2;
    for (int i = 0; i < 4; ++i) {
        const Cell &cell = row[columns[i]];
        if (!cell || toInt(cell) == 0)
            continue;
        const float amount = yuan[size_t(2 + i)];
        sumFen += Fees::toFen(amount);
        addFeeEntry(r, ReceiptText::encode(QString::fromUtf16(labels[i]), Receipt::LabelBytes),
                    amount, slot++);
    }

    built.totalColumn = Fees::wholeYuan(Fees::toFen(yuan[0]) + Fees::toFen(yuan[1]) + sumFen);
    if (row[Clerk])
        r.clerk = ReceiptText::encode(*row[Clerk], Receipt::TextBytes);
    return built;
}

QVector<Receipt> forms(const Receipt &receipt)
{
    if (receipt.entryCount <= Receipt::FormLines)
        return {receipt};
    Receipt first = receipt;
    Receipt second = receipt;
    first.entryCount = Receipt::FormLines;
    first.total = 0;
    for (int i = 0; i < Receipt::Slots; ++i) {
        if (i < Receipt::FormLines)
            first.total += receipt.entries[size_t(i)].amount;
        else
            first.entries[size_t(i)] = FeeEntry();
    }
    second.entries = {};
    second.entryCount = 0;
    second.total = 0;
    second.credit = 0;
    second.reduced = 0;
    for (int i = Receipt::FormLines; i < receipt.entryCount; ++i) {
        second.entries[size_t(second.entryCount++)] = receipt.entries[size_t(i)];
        second.total += receipt.entries[size_t(i)].amount;
    }
    return {first, second};
}
