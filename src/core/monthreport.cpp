#include "monthreport.h"

#include "classname.h"

#include <QHash>

MonthReport MonthReport::build(const QString &month, const QVector<LedgerSum> &sums,
                               const QVector<JournalEntry> &receipts,
                               const QHash<QString, qint64> &paidBySerial)
{
    MonthReport r;
    r.month = month;
    for (const LedgerSum &s : sums) {
        if (s.kind == QStringLiteral("减免")) {
            r.reductions[s.item][s.className] -= s.fen;
            continue;
        }
        Sums &c = r.byClass[s.className];
        c.owed += s.fen;
        if (s.kind == QStringLiteral("应收") || s.kind == QStringLiteral("调整")) {
            c.charged += s.fen;
            r.byClassAndItem[s.className][s.item].charged += s.fen;
        } else if (s.kind == QStringLiteral("实收") || s.kind == QStringLiteral("作废")) {
            // A void gives a payment (or a credit moved with it) back.
            c.received -= s.fen;
        } else if (s.kind == QStringLiteral("缺勤退费")) {
            c.credited -= s.fen;
            r.byClassAndItem[s.className][s.item].credited -= s.fen;
        } else if (s.kind == QStringLiteral("退款")) {
            c.refunded += s.fen;
        }
    }
    const QHash<QString, qint64> seconds = Journal::secondFormTotals(receipts);
    for (const JournalEntry &e : receipts) {
        if (e.voided || e.unprinted || e.isReprint())
            continue;
        auto &items = r.byClassAndItem[e.className];
        for (size_t i = 0; i < e.labels.size(); ++i) {
            if (e.labels[i].isNull() || e.amounts[i] == 0)
                continue;
            QString item = e.labels[i];
            item.remove(QLatin1Char(' '));
            items[item].received += e.amounts[i];
        }
        const qint64 printed = e.total + seconds.value(e.serial);
        const qint64 paid = paidBySerial.value(e.serial, printed);
        if (paid > printed)
            items[QStringLiteral("预收")].received += paid - printed;
    }
    for (auto c = r.byClassAndItem.begin(); c != r.byClassAndItem.end(); ++c)
        for (Sums &s : *c)
            s.owed = s.charged - s.received - s.credited;
    for (const Sums &c : r.byClass) {
        r.all.charged += c.charged;
        r.all.received += c.received;
        r.all.credited += c.credited;
        r.all.refunded += c.refunded;
        r.all.owed += c.owed;
    }
    return r;
}

namespace
{
QStringList money(const MonthReport::Sums &s, bool withRefunds)
{
    QStringList cells{Journal::yuan(s.charged), Journal::yuan(s.received),
                      Journal::yuan(s.credited)};
    if (withRefunds)
        cells << Journal::yuan(s.refunded);
    cells << Journal::yuan(s.owed);
    return cells;
}
} // namespace

QStringList MonthReport::lines() const
{
    QStringList out;
    out << QStringLiteral("月报  %1").arg(month);
    out << QStringLiteral("班级：应收 / 实收 / 缺勤退费 / 退款 / 欠费（元）");
    for (const QString &c : ClassName::inOrder(byClass.keys(), classOrder))
        out << QStringLiteral("  %1：%2")
                   .arg(c, money(byClass.value(c), true).join(QStringLiteral(" / ")));
    out << QStringLiteral("  合计：%1").arg(money(all, true).join(QStringLiteral(" / ")));
    if (!reductions.isEmpty()) {
        QStringList byType;
        for (auto t = reductions.cbegin(); t != reductions.cend(); ++t) {
            qint64 fen = 0;
            for (qint64 v : *t)
                fen += v;
            byType << QStringLiteral("%1 %2").arg(t.key(), Journal::yuan(fen));
        }
        out << QStringLiteral("减免（已计入应收，元）：%1").arg(byType.join(QStringLiteral("；")));
    }
    return out;
}

QVector<QPair<QString, QVector<QStringList>>> MonthReport::sheets() const
{
    QVector<QStringList> classes{{QStringLiteral("班级"), QStringLiteral("应收（元）"),
                                  QStringLiteral("实收（元）"), QStringLiteral("缺勤退费（元）"),
                                  QStringLiteral("退款（元）"), QStringLiteral("欠费（元）")}};
    for (const QString &c : ClassName::inOrder(byClass.keys(), classOrder))
        classes << (QStringList{c} + money(byClass.value(c), true));
    classes << (QStringList{QStringLiteral("全部")} + money(all, true));
    QVector<QStringList> items{{QStringLiteral("班级"), QStringLiteral("收费项目"),
                                QStringLiteral("应收（元）"), QStringLiteral("实收（元）"),
                                QStringLiteral("缺勤退费（元）"),
                                QStringLiteral("未收（元，估算）")}};
    QMap<QString, Sums> allItems;
    for (const QString &c : ClassName::inOrder(byClassAndItem.keys(), classOrder)) {
        const QMap<QString, Sums> byItem = byClassAndItem.value(c);
        for (auto i = byItem.cbegin(); i != byItem.cend(); ++i) {
            items << (QStringList{c, i.key()} + money(*i, false));
            Sums &a = allItems[i.key()];
            a.charged += i->charged;
            a.received += i->received;
            a.credited += i->credited;
            a.owed += i->owed;
        }
    }
    for (auto i = allItems.cbegin(); i != allItems.cend(); ++i)
        items << (QStringList{QStringLiteral("全部"), i.key()} + money(*i, false));
    QVector<QPair<QString, QVector<QStringList>>> out{{QStringLiteral("按班级"), classes},
                                                      {QStringLiteral("按收费项目"), items}};
    if (!reductions.isEmpty()) {
        QVector<QStringList> types{
            {QStringLiteral("减免类型"), QStringLiteral("班级"), QStringLiteral("减免（元）")}};
        qint64 total = 0;
        for (auto t = reductions.cbegin(); t != reductions.cend(); ++t) {
            qint64 fen = 0;
            for (const QString &c : ClassName::inOrder(t->keys(), classOrder)) {
                types << QStringList{t.key(), c, Journal::yuan(t->value(c))};
                fen += t->value(c);
            }
            types << QStringList{t.key(), QStringLiteral("合计"), Journal::yuan(fen)};
            total += fen;
        }
        types << QStringList{QStringLiteral("全部"), QString(), Journal::yuan(total)};
        out.append({QStringLiteral("按减免类型"), types});
    }
    return out;
}
