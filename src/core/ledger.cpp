#include "ledger.h"

#include "receipt.h"

#include <QHash>
#include <algorithm>

namespace
{
const char16_t *const kindTexts[] = {u"应收", u"调整", u"实收", u"作废"};
}

QString LedgerEntry::kindText(Kind kind)
{
    return QString::fromUtf16(kindTexts[kind]);
}

std::optional<LedgerEntry::Kind> LedgerEntry::kindFromText(const QString &text)
{
    for (int k = Charge; k <= Void; ++k)
        if (text == kindText(Kind(k)))
            return Kind(k);
    return std::nullopt;
}

namespace Ledger
{

QStringList paymentMethods()
{
    return {QStringLiteral("现金"), QStringLiteral("微信"), QStringLiteral("支付宝"),
            QStringLiteral("银行转账"), QStringLiteral("银行代扣")};
}

QString unrecordedMethod()
{
    return QStringLiteral("未记录");
}

QString rosterChanged()
{
    return QStringLiteral("名单变更");
}

QStringList items()
{
    return {QStringLiteral("保教费"),     QStringLiteral("住宿费"),
            QStringLiteral("伙食费"),     QStringLiteral("床上用品费"),
            QStringLiteral("校车接送费"), QStringLiteral("意外保险费")};
}

QVector<QPair<QString, qint64>> charges(const Roster::Cells &row, const FeeMirror &fees)
{
    const std::array<qint64, 6> fen = receiptAmounts(row, fees);
    const QStringList names = items();
    QVector<QPair<QString, qint64>> list;
    for (int i = 0; i < 6; ++i)
        if (fen[size_t(i)] != 0)
            list.append({names.at(i), fen[size_t(i)]});
    return list;
}

QVector<QPair<QString, qint64>> differences(const QVector<QPair<QString, qint64>> &wanted,
                                            const QMap<QString, qint64> &charged)
{
    QVector<QPair<QString, qint64>> out;
    QMap<QString, qint64> want;
    for (const auto &w : wanted)
        want[w.first] += w.second;
    for (const QString &item : items()) {
        const qint64 d = want.value(item) - charged.value(item);
        if (d != 0)
            out.append({item, d});
    }
    return out;
}

QVector<Owing> arrears(const QVector<MonthBalance> &balances,
                       const QHash<QString, QPair<QString, QString>> &names)
{
    QHash<QString, Owing> byChild;
    for (const MonthBalance &b : balances) {
        if (b.childId.isEmpty())
            continue;
        Owing &o = byChild[b.childId];
        o.childId = b.childId;
        o.total += b.balance;
        if (b.balance > 0)
            o.months[b.month] += b.balance;
    }
    QVector<Owing> list;
    for (auto it = byChild.begin(); it != byChild.end(); ++it) {
        if (it->total <= 0)
            continue;
        const auto n = names.value(it.key());
        it->className = n.first;
        it->childName = n.second;
        list << *it;
    }
    std::sort(list.begin(), list.end(), [](const Owing &a, const Owing &b) {
        return a.className != b.className ? a.className < b.className : a.childName < b.childName;
    });
    return list;
}

} // namespace Ledger
