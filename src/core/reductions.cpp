#include "reductions.h"

#include "journal.h"
#include "ledger.h"
#include "partmonth.h"

#include <QHash>

namespace Reductions
{
namespace
{
const QChar keySeparator(0x1f);

QString prefix()
{
    return QStringLiteral("减免：");
}

// fen × hundredths of a per cent, rounded half up.
qint64 share(qint64 fen, qint64 basisPoints)
{
    return (fen * basisPoints + 5000) / 10000;
}

// What the type takes off an amount that no discount touches.
qint64 off(const Type &type, qint64 fen)
{
    if (fen <= 0)
        return 0;
    return type.kind == Kind::Percent ? qMin(fen, share(fen, type.value))
                                      : qBound(qint64(0), type.value, fen);
}
} // namespace

QVector<Base> bases(const Roster::Cells &row, const FeeMirror &fees)
{
    Roster::Cells plain = row;
    const bool discounted = Fees::isDiscounted(row);
    if (discounted)
        plain[Roster::Discount] = QStringLiteral("0");
    const std::array<qint64, 6> gross = receiptAmounts(plain, fees);
    const std::array<qint64, 6> charged = receiptAmounts(row, fees);
    const double factor = discounted ? Fees::decimalOf(Fees::discountFactor(row, fees)) : 1.0;
    const QStringList names = Ledger::items();
    QVector<Base> list;
    for (int i = 0; i < 6; ++i) {
        if (charged[size_t(i)] == 0 && gross[size_t(i)] == 0)
            continue;
        // 保教费, 住宿费 and 伙食费 are the discounted ones.
        const bool takesDiscount = i <= 2;
        list.append(
            {names.at(i), gross[size_t(i)], charged[size_t(i)], takesDiscount ? factor : 1.0});
    }
    return list;
}

qint64 amount(const Type &type, const Base &base)
{
    if (base.charged <= 0)
        return 0;
    if (base.factor == 1.0 || type.order == Order::AfterDiscount)
        return off(type, base.charged);
    if (type.order == Order::BeforeDiscount) {
        const qint64 reducedGross = base.gross - off(type, base.gross);
        const qint64 net =
            qint64(Fees::roundedProduct(double(reducedGross) / 100.0, base.factor)) * 100;
        return qBound(qint64(0), base.charged - net, base.charged);
    }
    // Not with the discount: the larger of the two, so the reduction is what
    // it gives beyond what the discount already did.
    const qint64 discount = base.gross - base.charged;
    return qBound(qint64(0), off(type, base.gross) - discount, base.charged);
}

QVector<QPair<QString, qint64>> lines(const QVector<Type> &types, const QVector<Base> &bases)
{
    QVector<QPair<QString, qint64>> out;
    for (const Base &b : bases) {
        qint64 left = b.charged;
        for (const Type &t : types) {
            if (!t.items.contains(b.item))
                continue;
            const qint64 fen = qMin(left, amount(t, b));
            if (fen <= 0)
                continue;
            left -= fen;
            out.append({key(b.item, reason(t.name)), -fen});
        }
    }
    return out;
}

QString reason(const QString &typeName)
{
    return prefix() + typeName;
}

std::optional<QString> typeOf(const QString &reason)
{
    if (!reason.startsWith(prefix()))
        return std::nullopt;
    // A note may follow in brackets (an entry moved out of a closed month).
    QString name = reason.mid(prefix().size());
    if (const qsizetype bracket = name.indexOf(QChar(0xFF08)); bracket >= 0)
        name.truncate(bracket);
    return name;
}

QString key(const QString &item, const QString &reason)
{
    if (const auto type = typeOf(reason))
        return item + keySeparator + Reductions::reason(*type);
    if (PartMonth::isPartMonth(reason)) {
        // A note may follow in brackets, as on a reduction's entry.
        const qsizetype bracket = reason.indexOf(QChar(0xFF08));
        return item + keySeparator + (bracket < 0 ? reason : reason.left(bracket));
    }
    return item;
}

QPair<QString, QString> split(const QString &key)
{
    const qsizetype at = key.indexOf(keySeparator);
    if (at < 0)
        return {key, QString()};
    return {key.left(at), key.mid(at + 1)};
}

Receipt net(const Receipt &full, const QVector<QPair<QString, qint64>> &lines)
{
    Receipt r = full;
    QHash<QString, qint64> byItem;
    qint64 reductions = 0; // a part month is no reduction, and is not said as one
    for (const auto &l : lines) {
        const auto [item, why] = split(l.first);
        byItem[item] -= l.second;
        if (typeOf(why))
            reductions -= l.second;
    }
    qint64 reduced = 0;
    for (int i = 0; i < r.entryCount && i < Receipt::Slots; ++i) {
        QString item = ReceiptText::decode(r.entries[size_t(i)].label);
        item.remove(QLatin1Char(' '));
        const qint64 fen =
            qMin<qint64>(byItem.take(item), qMax<qint64>(0, r.entries[size_t(i)].amount));
        if (fen <= 0)
            continue;
        r.entries[size_t(i)].amount -= static_cast<qint32>(fen);
        reduced += fen;
    }
    r.total -= static_cast<qint32>(reduced);
    r.reduced = static_cast<qint32>(qMin(reduced, reductions));
    return r;
}

qint64 total(const QVector<QPair<QString, qint64>> &lines)
{
    qint64 sum = 0;
    for (const auto &l : lines)
        if (typeOf(split(l.first).second))
            sum -= l.second;
    return sum;
}

QString problem(const Type &type)
{
    const QString name = type.name.trimmed();
    if (name.isEmpty())
        return QStringLiteral("减免类型要有名称");
    if (name.size() > 20)
        return QStringLiteral("减免类型的名称“%1”太长（最多 20 个字）").arg(name);
    for (const QChar ch : name)
        if (ch.category() == QChar::Other_Control || ch == QChar(0xFF08) || ch == QChar(0xFF09) ||
            ch == keySeparator)
            return QStringLiteral("减免类型的名称“%1”不能含括号或控制字符").arg(name);
    if (type.items.isEmpty())
        return QStringLiteral("减免类型“%1”没有选择收费项目").arg(name);
    for (const QString &item : type.items)
        if (!Ledger::items().contains(item))
            return QStringLiteral("“%1”不是收费项目").arg(item);
    if (type.kind == Kind::Percent && (type.value <= 0 || type.value > 10000))
        return QStringLiteral("减免比例要在 0% 与 100% 之间（不含 0）");
    if (type.kind == Kind::Fixed && (type.value <= 0 || type.value > 100000000))
        return QStringLiteral("每月减免金额要大于 0，且不超过 1000000 元");
    if (type.siblingFrom == 1 || type.siblingFrom < 0 || type.siblingFrom > 9)
        return QStringLiteral("按家庭人数减免时，要从第 2 到第 9 个孩子起");
    return {};
}

QString kindText(Kind kind)
{
    return kind == Kind::Percent ? QStringLiteral("按比例") : QStringLiteral("每月定额");
}

QString orderText(Order order)
{
    switch (order) {
    case Order::AfterDiscount:
        return QStringLiteral("先折扣后减免");
    case Order::BeforeDiscount:
        return QStringLiteral("先减免后折扣");
    case Order::Alone:
        return QStringLiteral("不与折扣同享（取优惠多的）");
    }
    return {};
}

QString valueText(const Type &type)
{
    if (type.kind == Kind::Fixed)
        return QStringLiteral("%1 元/月").arg(Journal::yuan(type.value));
    QString pct = QString::number(type.value / 100);
    if (type.value % 100)
        pct += QStringLiteral(".%1").arg(type.value % 100, 2, 10, QLatin1Char('0'));
    return pct + QLatin1Char('%');
}
} // namespace Reductions
