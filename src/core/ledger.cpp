#include "ledger.h"

#include "receipt.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>

namespace
{
const char16_t *const kindTexts[] = {u"应收", u"调整",     u"实收",    u"作废",
                                     u"退款", u"预收抵扣", u"缺勤退费"};
}

QString LedgerEntry::kindText(Kind kind)
{
    return QString::fromUtf16(kindTexts[kind]);
}

std::optional<LedgerEntry::Kind> LedgerEntry::kindFromText(const QString &text)
{
    for (int k = Charge; k <= AbsenceRefund; ++k)
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

QString chargedByReceipt()
{
    return QStringLiteral("打印收据时计入");
}

QStringList items()
{
    // Built once: billing asks for it for every child.
    static const QStringList names{QStringLiteral("保教费"),     QStringLiteral("住宿费"),
                                   QStringLiteral("伙食费"),     QStringLiteral("床上用品费"),
                                   QStringLiteral("校车接送费"), QStringLiteral("意外保险费")};
    return names;
}

std::optional<qint64> parseYuan(const QString &text, QString *why)
{
    auto refuse = [&](const QString &reason) -> std::optional<qint64> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    const QString t = text.trimmed();
    static const QRegularExpression form(QStringLiteral("^(-?)([0-9]{1,9})(?:\\.([0-9]*))?$"));
    const auto m = form.match(t);
    if (t.isEmpty() || !m.hasMatch())
        return refuse(QStringLiteral("实收金额“%1”不是数字").arg(t));
    if (!m.captured(1).isEmpty())
        return refuse(QStringLiteral("实收金额“%1”是负数").arg(t));
    const QString decimals = m.captured(3);
    if (decimals.size() > 2)
        return refuse(QStringLiteral("实收金额“%1”超过两位小数（分）").arg(t));
    return m.captured(2).toLongLong() * 100 +
           (decimals + QStringLiteral("00")).left(2).toLongLong();
}

Receipt partReceipt(const Receipt &full, qint64 receivedFen, qint64 paidBefore)
{
    Receipt part = full;
    // Slots in the order they are paid: childcare, meals, accommodation,
    // then the other further lines.
    const QByteArray meals = ReceiptText::encode(QStringLiteral("伙 食 费"), Receipt::LabelBytes);
    QVector<int> order{0};
    for (int s = 2; s < full.entryCount; ++s)
        if (full.entries[size_t(s)].label == meals)
            order << s;
    order << 1;
    for (int s = 2; s < full.entryCount; ++s)
        if (!order.contains(s))
            order << s;
    qint64 left = receivedFen;
    qint64 before = paidBefore;
    for (int s : order) {
        if (s >= full.entryCount)
            continue;
        // What earlier receipts paid of the line, then what this one pays.
        const qint64 line = full.entries[size_t(s)].amount;
        const qint64 paid = qBound(qint64(0), before, line);
        before -= paid;
        const qint64 pays = qBound(qint64(0), left, line - paid);
        part.entries[size_t(s)].amount = static_cast<qint32>(pays);
        left -= pays;
    }
    // Further lines that pay nothing are left off the paper.
    int slot = 2;
    for (int s = 2; s < full.entryCount; ++s) {
        if (part.entries[size_t(s)].amount == 0)
            continue;
        part.entries[size_t(slot++)] = part.entries[size_t(s)];
    }
    for (int s = slot; s < Receipt::Slots; ++s)
        part.entries[size_t(s)] = FeeEntry();
    part.entryCount = qMin(full.entryCount, slot);
    part.total = static_cast<qint32>(receivedFen - left);
    return part;
}

Receipt creditedReceipt(const Receipt &full, qint64 creditFen)
{
    const qint64 used = qBound(qint64(0), creditFen, qint64(full.total));
    if (used == 0)
        return full;
    // The credit pays the lines in the fixed order, as money does; the
    // receipt prints the lines left after it.
    Receipt r = partReceipt(full, full.total - used, used);
    r.credit = static_cast<qint32>(used);
    return r;
}

std::optional<Receipt> restReceipt(const Receipt &full, const Standing &account)
{
    if (account.charged <= 0 || account.owed <= 0)
        return std::nullopt;
    const qint64 paid = qMax(qint64(0), account.charged - account.owed);
    const qint64 rest = qMin(account.owed, full.total - qMin(paid, qint64(full.total)));
    if (rest <= 0)
        return std::nullopt;
    return partReceipt(full, rest, paid);
}

QVector<QPair<QString, qint64>> takeCredit(const QVector<QPair<QString, qint64>> &monthBalances,
                                           qint64 amount)
{
    QVector<QPair<QString, qint64>> sorted = monthBalances;
    std::sort(sorted.begin(), sorted.end());
    QVector<QPair<QString, qint64>> taken;
    for (const auto &m : sorted) {
        if (amount <= 0)
            break;
        if (m.second >= 0)
            continue;
        const qint64 t = qMin(amount, -m.second);
        taken.append({m.first, t});
        amount -= t;
    }
    return taken;
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
    const QStringList names = items();
    for (const QString &item : names) {
        const qint64 d = want.value(item) - charged.value(item);
        if (d != 0)
            out.append({item, d});
    }
    // Then the reductions, each keyed by its item and type, in key order.
    QMap<QString, qint64> reductions;
    for (auto it = want.cbegin(); it != want.cend(); ++it)
        if (!names.contains(it.key()))
            reductions[it.key()] += it.value();
    for (auto it = charged.cbegin(); it != charged.cend(); ++it)
        if (!names.contains(it.key()))
            reductions[it.key()] -= it.value();
    for (auto it = reductions.cbegin(); it != reductions.cend(); ++it)
        if (it.value() != 0)
            out.append({it.key(), it.value()});
    return out;
}

QVector<QPair<Owing, qint64>> owing(const QVector<MonthBalance> &balances)
{
    QHash<QString, QPair<Owing, qint64>> byChild;
    for (const MonthBalance &b : balances) {
        if (b.childId.isEmpty())
            continue;
        auto &o = byChild[b.childId];
        o.first.childId = b.childId;
        o.first.total += b.balance;
        if (b.balance > 0)
            o.first.months[b.month] += b.balance;
        o.second = qMax(o.second, b.lastEntry);
    }
    QVector<QPair<Owing, qint64>> list;
    for (auto it = byChild.cbegin(); it != byChild.cend(); ++it)
        if (it->first.total > 0)
            list << *it;
    return list;
}

QVector<Owing> arrears(QVector<QPair<Owing, qint64>> owing,
                       const QHash<qint64, QPair<QString, QString>> &names)
{
    QVector<Owing> list;
    list.reserve(owing.size());
    for (auto &o : owing) {
        const auto n = names.value(o.second);
        o.first.className = n.first;
        o.first.childName = n.second;
        list << std::move(o.first);
    }
    std::sort(list.begin(), list.end(), [](const Owing &a, const Owing &b) {
        return a.className != b.className ? a.className < b.className : a.childName < b.childName;
    });
    return list;
}

} // namespace Ledger
