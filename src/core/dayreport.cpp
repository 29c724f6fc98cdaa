#include "dayreport.h"

#include <QHash>

namespace
{
QString item(const QString &label)
{
    QString t = label;
    t.remove(QLatin1Char(' '));
    return t.isEmpty() ? QStringLiteral("其他") : t;
}
} // namespace

DayReport DayReport::build(const QDate &day, const QString &clerk,
                           const QVector<JournalEntry> &receipts,
                           const QHash<QString, Payment> &payments, qint64 refundedCash)
{
    DayReport r;
    r.day = day;
    r.clerk = clerk;
    r.refundedCash = refundedCash;
    // The day's serials, every clerk: numbers are given out one after the
    // other, so the range has no holes.
    const QHash<QString, qint64> seconds = Journal::secondFormTotals(receipts);
    QMap<int, QMap<qint64, const JournalEntry *>> byYear;
    for (const JournalEntry &e : receipts) {
        const int dash = int(e.serial.indexOf(QLatin1Char('-')));
        byYear[e.serial.left(dash).toInt()].insert(e.serial.mid(dash + 1).toLongLong(), &e);
    }
    for (auto y = byYear.cbegin(); y != byYear.cend(); ++y) {
        qint64 expect = y->firstKey();
        for (auto n = y->cbegin(); n != y->cend(); ++n) {
            for (; expect < n.key(); ++expect)
                r.missing << Journal::serial(y.key(), expect);
            expect = n.key() + 1;
        }
    }
    for (auto y = byYear.cbegin(); y != byYear.cend(); ++y) {
        for (const JournalEntry *e : *y) {
            if (!clerk.isEmpty() && e->clerk != clerk) {
                ++r.others;
                continue;
            }
            if (r.firstSerial.isEmpty())
                r.firstSerial = e->serial;
            r.lastSerial = e->serial;
            Row row;
            row.serial = e->serial;
            row.time = e->printedText.isEmpty() ? e->printedAt.toString(QStringLiteral("HH:mm"))
                                                : e->printedText.mid(11, 5);
            row.className = e->className;
            row.name = e->name;
            row.total = e->total;
            const Payment p = payments.value(e->serial);
            row.method = p.method;
            if (e->voided) {
                row.status = QStringLiteral("作废：%1").arg(e->voidReason);
                r.voids << QStringLiteral("%1 %2：%3").arg(e->serial, e->name, e->voidReason);
            } else if (e->unprinted) {
                row.status = QStringLiteral("未打印");
            } else if (e->isReprint()) {
                row.status = QStringLiteral("重印 %1").arg(e->reprintOf);
            } else {
                row.paid = p.fen;
                r.received += p.fen;
                r.byMethod[p.method.isEmpty() ? QStringLiteral("未记录") : p.method] += p.fen;
                for (size_t i = 0; i < e->labels.size(); ++i)
                    if (!e->labels[i].isNull() && e->amounts[i] != 0)
                        r.byItem[item(e->labels[i])] += e->amounts[i];
                // Money beyond the printed total (both forms of one printed
                // on two) was taken as credit.
                const qint64 printed = e->total + seconds.value(e->serial);
                if (p.fen > printed)
                    r.byItem[QStringLiteral("预收")] += p.fen - printed;
            }
            r.rows << row;
        }
    }
    r.cash = r.byMethod.value(QStringLiteral("现金")) - refundedCash;
    return r;
}

void DayReport::setRefunds(const QVector<Refund> &list)
{
    refunds = list;
    refundsByMethod.clear();
    for (const Refund &f : list)
        refundsByMethod[f.method] += f.fen;
}

QStringList DayReport::lines() const
{
    QStringList out;
    out << QStringLiteral("日结  %1  经办人：%2")
               .arg(day.toString(QStringLiteral("yyyy-MM-dd")),
                    clerk.isEmpty() ? QStringLiteral("全部") : clerk);
    if (rows.isEmpty()) {
        out << QStringLiteral("当天没有收据。");
    } else {
        out << QStringLiteral("收据 %1 至 %2，共 %3 张%4")
                   .arg(firstSerial, lastSerial)
                   .arg(rows.size())
                   .arg(others > 0 ? QStringLiteral("（其间 %1 张为其他经办人所开）").arg(others)
                                   : QString());
    }
    out << (missing.isEmpty()
                ? QStringLiteral(
                      "编号连续：当天的收据编号没有缺号（作废的收据保留编号，列在下面）。")
                : QStringLiteral("缺号：%1（收据记录被改动过，请核查）")
                      .arg(missing.join(QStringLiteral("、"))));
    out << QString();
    const QChar tab(QLatin1Char('\t'));
    out << QStringList{QStringLiteral("编号"),       QStringLiteral("时间"),
                       QStringLiteral("班级"),       QStringLiteral("姓名"),
                       QStringLiteral("金额（元）"), QStringLiteral("收款方式"),
                       QStringLiteral("状态")}
               .join(tab);
    for (const Row &r : rows)
        out << QStringList{r.serial, r.time,  r.className, r.name, Journal::yuan(r.total),
                           r.method, r.status}
                   .join(tab);
    out << QString();
    if (!voids.isEmpty()) {
        out << QStringLiteral("作废：");
        for (const QString &v : voids)
            out << QStringLiteral("  %1").arg(v);
    }
    out << QStringLiteral("按收款方式：");
    for (auto it = byMethod.cbegin(); it != byMethod.cend(); ++it)
        out << QStringLiteral("  %1  %2 元").arg(it.key(), Journal::yuan(it.value()));
    out << QStringLiteral("按收费项目：");
    for (auto it = byItem.cbegin(); it != byItem.cend(); ++it)
        out << QStringLiteral("  %1  %2 元").arg(it.key(), Journal::yuan(it.value()));
    out << QStringLiteral("实收合计：%1 元").arg(Journal::yuan(received));
    if (!refunds.isEmpty()) {
        out << QStringLiteral("退款：");
        for (const Refund &f : refunds)
            out << QStringLiteral("  %1  %2 %3  收据 %4  %5  %6 元  %7")
                       .arg(f.serial, f.className, f.name, f.receipt, f.method,
                            Journal::yuan(f.fen), f.reason);
        out << QStringLiteral("退款按退还方式：");
        for (auto it = refundsByMethod.cbegin(); it != refundsByMethod.cend(); ++it)
            out << QStringLiteral("  %1  %2 元").arg(it.key(), Journal::yuan(it.value()));
    }
    if (refundedCash != 0)
        out << QStringLiteral("当天现金退款：%1 元").arg(Journal::yuan(refundedCash));
    out << QStringLiteral("应交现金：%1 元").arg(Journal::yuan(cash));
    out << QString() << QStringLiteral("交款人：              收款人：");
    return out;
}

QVector<QPair<QString, QVector<QStringList>>> DayReport::sheets() const
{
    QVector<QStringList> list{{QStringLiteral("编号"), QStringLiteral("时间"),
                               QStringLiteral("班级"), QStringLiteral("儿童姓名"),
                               QStringLiteral("金额（元）"), QStringLiteral("实收（元）"),
                               QStringLiteral("收款方式"), QStringLiteral("状态")}};
    for (const Row &r : rows)
        list << QStringList{
            r.serial, r.time,  r.className, r.name, Journal::yuan(r.total), Journal::yuan(r.paid),
            r.method, r.status};
    // What the table adds up to, as its last row.
    qint64 printed = 0;
    for (const Row &r : rows)
        if (r.paid != 0)
            printed += r.total;
    list << QStringList{QStringLiteral("合计"),
                        QStringLiteral("%1 张").arg(rows.size()),
                        QString(),
                        QString(),
                        Journal::yuan(printed),
                        Journal::yuan(received),
                        QString(),
                        QString()};
    QVector<QStringList> totals{{QStringLiteral("项目"), QStringLiteral("金额（元）")}};
    for (auto it = byMethod.cbegin(); it != byMethod.cend(); ++it)
        totals << QStringList{QStringLiteral("收款方式：%1").arg(it.key()),
                              Journal::yuan(it.value())};
    for (auto it = byItem.cbegin(); it != byItem.cend(); ++it)
        totals << QStringList{QStringLiteral("收费项目：%1").arg(it.key()),
                              Journal::yuan(it.value())};
    totals << QStringList{QStringLiteral("实收合计"), Journal::yuan(received)}
           << QStringList{QStringLiteral("当天现金退款"), Journal::yuan(refundedCash)}
           << QStringList{QStringLiteral("应交现金"), Journal::yuan(cash)};
    for (auto it = refundsByMethod.cbegin(); it != refundsByMethod.cend(); ++it)
        totals << QStringList{QStringLiteral("退款：%1").arg(it.key()), Journal::yuan(it.value())};
    for (const QString &v : voids)
        totals << QStringList{QStringLiteral("作废"), v};
    if (!missing.isEmpty())
        totals << QStringList{QStringLiteral("缺号"), missing.join(QStringLiteral("、"))};
    QVector<QStringList> back{{QStringLiteral("退款编号"), QStringLiteral("时间"),
                               QStringLiteral("班级"), QStringLiteral("儿童姓名"),
                               QStringLiteral("原收据"), QStringLiteral("退还方式"),
                               QStringLiteral("退款（元）"), QStringLiteral("原因")}};
    for (const Refund &f : refunds)
        back << QStringList{f.serial,  f.time,   f.className,          f.name,
                            f.receipt, f.method, Journal::yuan(f.fen), f.reason};
    qint64 backFen = 0;
    for (const Refund &f : refunds)
        backFen += f.fen;
    back << QStringList{QStringLiteral("合计"),
                        QStringLiteral("%1 笔").arg(refunds.size()),
                        QString(),
                        QString(),
                        QString(),
                        QString(),
                        Journal::yuan(backFen),
                        QString()};
    return {{QStringLiteral("收据"), list},
            {QStringLiteral("合计"), totals},
            {QStringLiteral("退款"), back}};
}
