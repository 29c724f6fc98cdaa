#include "receiptbatch.h"

ReceiptBatch::ReceiptBatch(const FeeMirror &fees, CapitalPlacement placement,
                           const SheetLayout &sheet)
    : m_fees(fees), m_placement(placement), m_sheet(sheet)
{
}

bool ReceiptBatch::add(int row, const Roster::Cells &cells)
{
    PlannedReceipt planned;
    planned.row = row;
    const BuiltReceipt built = buildReceipt(cells, m_fees);
    planned.receipt = built.receipt;
    planned.totalColumn = built.totalColumn;
    planned.refusal = ReceiptLayout::refusal(planned.receipt);
    m_built << planned;
    return planned.refusal.isEmpty();
}

QVector<PlannedReceipt> ReceiptBatch::printable() const
{
    QVector<PlannedReceipt> list;
    for (const PlannedReceipt &p : m_built)
        if (p.refusal.isEmpty())
            list << p;
    return list;
}

QStringList ReceiptBatch::refusals(bool withRow) const
{
    QStringList list;
    for (const PlannedReceipt &p : m_built) {
        if (p.refusal.isEmpty())
            continue;
        list << (withRow ? QStringLiteral("第 %1 行：%2").arg(p.row + 1).arg(p.refusal)
                         : p.refusal);
    }
    return list;
}

QVector<DrawOp> ReceiptBatch::page(const PlannedReceipt &receipt, const QDate &date,
                                   const QPointF &offset) const
{
    return ReceiptLayout::layout(receipt.receipt, date, m_placement, offset, m_sheet);
}
