#include "account.h"

#include "ledger.h"
#include "reductions.h"

namespace Account
{

qint64 ChildMonth::chargedTotal() const
{
    qint64 sum = 0;
    for (qint64 v : charged)
        sum += v;
    return sum;
}

QMap<QString, qint64> ChildMonth::keyed() const
{
    QMap<QString, qint64> out = charged;
    for (auto it = reductions.cbegin(); it != reductions.cend(); ++it) {
        out[Reductions::split(it.key()).first] -= it.value();
        out.insert(it.key(), it.value());
    }
    return out;
}

Decision decide(const ChildMonth &month, const Receipt &full,
                const QVector<QPair<QString, qint64>> &charges)
{
    Decision d;
    d.charge = Ledger::differences(charges, month.keyed());
    qint64 now = 0;
    for (const auto &c : charges)
        now += c.second;
    // What the month owes once its charges are the fees now.
    const qint64 owed = now + month.settled;
    if (!month.lastReceipt.isEmpty() && owed <= 0) {
        d.kind = Kind::Copy;
        d.copyOf = month.lastReceipt;
        d.charge.clear();
        return d;
    }
    if (month.lastReceipt.isEmpty())
        d.kind = Kind::First;
    else
        d.kind = d.charge.isEmpty() ? Kind::Rest : Kind::Difference;
    d.creditUsed = qBound(qint64(0), month.credit, qMax(owed, qint64(0)));
    // Earlier receipts and the credit pay the lines in the fixed order; this
    // receipt pays on from there.
    d.paidBefore = qMax(qint64(0), now - owed) + d.creditUsed;
    const qint64 lines =
        qMax(qint64(0), qint64(full.total) - qMin(d.paidBefore, qint64(full.total)));
    const qint64 toPay = qBound(qint64(0), owed - d.creditUsed, lines);
    if (toPay == 0 && d.creditUsed == 0 && !month.lastReceipt.isEmpty()) {
        // Owed only on fees the form has no line for: nothing to print.
        Decision copy;
        copy.kind = Kind::Copy;
        copy.copyOf = month.lastReceipt;
        return copy;
    }
    d.receipt = Ledger::partReceipt(full, toPay, d.paidBefore);
    d.receipt.credit = static_cast<qint32>(d.creditUsed);
    // The reductions are said on the month's first receipt, whose lines are
    // net of them.
    if (d.kind != Kind::First)
        d.receipt.reduced = 0;
    d.due = d.receipt.total;
    return d;
}

Receipt partOf(const Decision &decision, const Receipt &full, qint64 receivedFen)
{
    Receipt r = Ledger::partReceipt(full, qBound(qint64(0), receivedFen, decision.due),
                                    decision.paidBefore);
    r.credit = static_cast<qint32>(decision.creditUsed);
    if (decision.kind != Kind::First)
        r.reduced = 0;
    return r;
}

QString kindText(Kind kind)
{
    switch (kind) {
    case Kind::First:
        return QStringLiteral("首次收费");
    case Kind::Rest:
        return QStringLiteral("补交欠款");
    case Kind::Difference:
        return QStringLiteral("补收差额");
    case Kind::Copy:
        return QStringLiteral("补打副本");
    }
    return {};
}

} // namespace Account
