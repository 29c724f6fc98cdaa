#include "layout.h"

#include "capital.h"

namespace ReceiptLayout
{

namespace
{
DrawOp text(const QString &t, double x, double y, const QPointF &off)
{
    DrawOp op;
    op.kind = DrawOp::Text;
    op.text = t;
    op.at = QPointF(x, y) + off;
    return op;
}

DrawOp box(const QString &t, double left, double top, double right, double bottom,
           const QPointF &off)
{
    DrawOp op;
    op.kind = DrawOp::Box;
    op.text = t;
    op.box = QRectF(QPointF(left, top), QPointF(right, bottom)).translated(off);
    return op;
}

DrawOp frame(const QString &t, double left, double top, double right, double bottom,
             const QPointF &off)
{
    DrawOp op = box(t, left, top, right, bottom, off);
    op.kind = DrawOp::Frame;
    return op;
}
} // namespace

QString refusal(const Receipt &receipt)
{
    for (int i = 0; i < receipt.entryCount && i < Receipt::Slots; ++i) {
        const qint32 a = receipt.entries[i].amount;
        if (a != 0 && !Capital::writable(a))
            return QStringLiteral("%1 的金额 %2 元无法填入收据")
                .arg(ReceiptText::decode(receipt.name), QString::number(a / 100.0, 'f', 2));
    }
    if (receipt.entryCount != 0 && !Capital::writable(receipt.total))
        return QStringLiteral("%1 的合计金额 %2 元无法填入收据")
            .arg(ReceiptText::decode(receipt.name), QString::number(receipt.total / 100.0, 'f', 2));
    return {};
}

QPointF serialAt(const SheetLayout &s)
{
    return {s.feeLeft + 66.0, s.feeTop + 20.0};
}

QPointF methodAt(const SheetLayout &s)
{
    return {s.feeLeft + 66.0, s.feeTop + 26.0};
}

QPointF noteAt(const SheetLayout &s)
{
    return {s.feeLeft + 66.0, s.feeTop + 32.0};
}

QVector<DrawOp> layout(const Receipt &receipt, const QDate &date, CapitalPlacement placement,
                       const QPointF &off, const SheetLayout &s, const ReceiptMarks &marks)
{
    QVector<DrawOp> ops;
    // Date: year, month, and the day followed by a blank.
    ops << text(date.toString(QStringLiteral("yyyy")), s.date.x(), s.date.y() + 3, off)
        << text(date.toString(QStringLiteral("MM")), s.date.x() + 20, s.date.y() + 3, off)
        << text(date.toString(QStringLiteral("dd ")), s.date.x() + 30, s.date.y() + 3, off);

    ops << text(ReceiptText::decode(receipt.name), s.name.x(), s.name.y() + 3, off)
        << text(ReceiptText::decode(receipt.age), s.name.x() + 75, s.name.y() + 3, off);

    const double left = s.feeLeft, top = s.feeTop;
    int counter = 2;
    for (int i = 0; i < receipt.entryCount && i < Receipt::FormLines; ++i) {
        const FeeEntry &e = receipt.entries[i];
        double spanTop;
        // Lines are placed by their label, not by their slot.
        if (e.label == ReceiptText::childcareLabel()) {
            spanTop = top + 6;
        } else if (e.label == ReceiptText::accommodationLabel()) {
            spanTop = top + 14;
        } else {
            spanTop = top + 8 * counter + 6;
            ops << box(ReceiptText::decode(e.label), left - 5, spanTop, left + 20, spanTop + 10,
                       off);
            ++counter;
        }
        if (e.amount != 0)
            ops << box(Capital::amountText(e.amount).value_or(QString()), left + 15, spanTop,
                       left + 60, spanTop + 10, off);
    }

    if (receipt.entryCount != 0) {
        ops << box(Capital::amountText(receipt.total).value_or(QString()), left + 15, top + 38,
                   left + 60, top + 48, off);
        const auto pairs = Capital::glyphPairs(receipt.total);
        if (pairs) {
            const double baseline = top + 50;
            const int n = pairs->size();
            for (int k = 0; k < n; ++k) {
                const Capital::GlyphPair &g = pairs->at(k);
                double digitX, unitX;
                if (placement == CapitalPlacement::LeftAligned) {
                    unitX = left + 17.5 * (2 + k);
                    digitX = unitX - 5;
                } else {
                    unitX = left + 105 - 17.5 * g.place;
                    digitX = s.feeRight - 25 - 17.5 * (g.place + 1);
                }
                ops << text(QString(g.digit), digitX, baseline, off);
                if (!g.unit.isNull())
                    ops << text(QString(g.unit), unitX, baseline, off);
            }
        }
    }

    // Credit that paid part of the fees is said beside the fee lines, in
    // the blank right of their amounts.
    if (receipt.credit > 0)
        ops << text(QStringLiteral("已用预收 %1 元抵扣")
                        .arg(Capital::amountText(receipt.credit).value_or(QString())),
                    left + 66, top + 12, off);
    // The reductions the lines are already net of, beside the total.
    if (receipt.reduced > 0)
        ops << text(QStringLiteral("已减免 %1 元")
                        .arg(Capital::amountText(receipt.reduced).value_or(QString())),
                    left + 66, top + 40, off);
    if (!marks.serial.isEmpty()) {
        const QPointF at = serialAt(s);
        ops << text(QStringLiteral("编号 %1").arg(marks.serial), at.x(), at.y(), off);
    }
    if (!marks.method.isEmpty() && marks.copyOf.isEmpty()) {
        const QPointF at = methodAt(s);
        ops << text(marks.reference.isEmpty()
                        ? QStringLiteral("%1支付").arg(marks.method)
                        : QStringLiteral("%1支付 单号 %2").arg(marks.method, marks.reference),
                    at.x(), at.y(), off);
    }
    const QPointF note = noteAt(s);
    if (!marks.copyOf.isEmpty())
        ops << text(QStringLiteral("补打（原收据 %1）").arg(marks.copyOf), note.x(), note.y(), off);
    else if (marks.owedAfter > 0)
        ops << text(QStringLiteral("部分缴费，尚欠 %1 元")
                        .arg(QString::number(double(marks.owedAfter) / 100.0, 'f', 2)),
                    note.x(), note.y(), off);
    ops << text(ReceiptText::decode(receipt.clerk), s.clerk.x() + 15, s.clerk.y() + 3.5, off);
    return ops;
}

QVector<DrawOp> formOutline(const QPointF &off, const SheetLayout &s)
{
    const double left = s.feeLeft, top = s.feeTop;
    QVector<DrawOp> ops;
    ops << frame(QStringLiteral("日期"), s.date.x() - 2, s.date.y() - 2, s.date.x() + 40,
                 s.date.y() + 5, off)
        << frame(QStringLiteral("姓名"), s.name.x() - 2, s.name.y() - 2, s.name.x() + 40,
                 s.name.y() + 5, off)
        << frame(QStringLiteral("年龄"), s.name.x() + 73, s.name.y() - 2, s.name.x() + 100,
                 s.name.y() + 5, off);
    // One line per fee, then the total and its capitals.
    const QString printed[Receipt::FormLines] = {QStringLiteral("保教费"),
                                                 QStringLiteral("住宿费")};
    for (int line = 0; line < Receipt::FormLines; ++line)
        ops << frame(printed[line], left - 5, top + 6 + 8 * line, left + 60, top + 14 + 8 * line,
                     off);
    ops << frame(QStringLiteral("合计"), left + 15, top + 38, left + 60, top + 48, off)
        << frame(QStringLiteral("大写"), left, top + 45, s.feeRight, top + 52, off)
        << frame(QStringLiteral("经办人"), s.clerk.x() + 13, s.clerk.y() - 2, s.clerk.x() + 50,
                 s.clerk.y() + 5, off);
    return ops;
}

QVector<DrawOp> calibrationPage(const QPointF &off, const SheetLayout &s)
{
    QVector<DrawOp> ops;
    // Grid labels every 10 mm along the top and left edges; a frame of zero
    // width or height is a grid line.
    for (int x = 0; x <= s.paperWidth; x += 10)
        ops << text(QString::number(x), x + 0.5, 4, off);
    for (int y = 10; y <= s.paperHeight; y += 10)
        ops << text(QString::number(y), 0.5, y - 0.5, off);
    for (int x = 0; x <= s.paperWidth; x += 10)
        ops << frame(QString(), x, 0, x, s.paperHeight, off);
    for (int y = 0; y <= s.paperHeight; y += 10)
        ops << frame(QString(), 0, y, s.paperWidth, y, off);
    const double left = s.feeLeft, top = s.feeTop;
    ops << frame(QStringLiteral("日期"), s.date.x() - 2, s.date.y() - 2, s.date.x() + 40,
                 s.date.y() + 5, off)
        << frame(QStringLiteral("姓名"), s.name.x() - 2, s.name.y() - 2, s.name.x() + 40,
                 s.name.y() + 5, off)
        << frame(QStringLiteral("年龄"), s.name.x() + 73, s.name.y() - 2, s.name.x() + 100,
                 s.name.y() + 5, off)
        << frame(QStringLiteral("金额"), left + 15, top + 6, left + 60, top + 48, off)
        << frame(QStringLiteral("大写"), left, top + 45, s.feeRight, top + 52, off)
        << frame(QStringLiteral("经办人"), s.clerk.x() + 13, s.clerk.y() - 2, s.clerk.x() + 50,
                 s.clerk.y() + 5, off);
    return ops;
}

} // namespace ReceiptLayout
