#include "receipt.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <cmath>
#include <limits>

namespace ReceiptText
{

QByteArray encode(const QString &text, int maxBytes)
{
    QStringEncoder encoder("GB18030");
    QByteArray out;
    // Encode character by character (surrogate pairs kept together) so the
    // cut never falls inside a multi-byte character.
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
    QStringDecoder decoder("GB18030");
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

BuiltReceipt buildReceipt(const Roster::Cells &row, const FeeMirror &fees)
{
    using namespace Roster;
    BuiltReceipt built;
    Receipt &r = built.receipt;
    const float factor = Fees::discountFactor(row, fees);

    if (row[Name])
        r.name = ReceiptText::encode(*row[Name], Receipt::TextBytes);
    if (row[Age])
        r.age = ReceiptText::encode(*row[Age], Receipt::TextBytes);

    float childcare = 0;
    float accommodation = 0;
    if (row[Tuition])
        childcare = Fees::tuitionAmount(toInt(*row[Tuition]), factor, fees.tuitionPrices);
    if (row[Accommodation]) {
        const float months = static_cast<float>(toInt(*row[Accommodation]));
        accommodation = Fees::roundHalfUp(fees.price(Fees::AccommodationPrice) * months * factor);
    }
    addFeeEntry(r, ReceiptText::childcareLabel(), childcare, 0);
    addFeeEntry(r, ReceiptText::accommodationLabel(), accommodation, 1);

    struct Further {
        int column;
        const char16_t *label;
        int price;
        bool discounted;
    };
    static const Further further[] = {
        {Meals, u"伙 食 费", Fees::MealPrice, true},
        {Bedding, u"床上用品费", Fees::BeddingPrice, false},
        {SchoolBus, u"校车接送费", Fees::SchoolBusPrice, false},
        {Insurance, u"意外保险费", Fees::InsurancePrice, false},
    };
    qint64 sumFen = 0;
    int slot = 2;
    for (const Further &f : further) {
        const Cell &cell = row[f.column];
        const int n = toInt(cell);
        if (!cell || n == 0)
            continue;
        float amount = static_cast<float>(n) * fees.price(f.price);
        if (f.discounted)
            amount = Fees::roundHalfUp(amount * factor);
        if (slot >= Receipt::Slots) {
            // Only an amount is lost; a line worth nothing is not.
            if (Fees::toFen(amount) != 0)
                built.leftOff << QString::fromUtf16(f.label).remove(QLatin1Char(' '));
            continue;
        }
        sumFen += Fees::toFen(amount);
        addFeeEntry(r, ReceiptText::encode(QString::fromUtf16(f.label), Receipt::LabelBytes),
                    amount, slot++);
    }

    built.totalColumn =
        Fees::wholeYuan(Fees::toFen(childcare) + Fees::toFen(accommodation) + sumFen);
    if (row[Clerk])
        r.clerk = ReceiptText::encode(*row[Clerk], Receipt::TextBytes);
    return built;
}
