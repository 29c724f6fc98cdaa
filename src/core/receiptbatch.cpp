#include "receiptbatch.h"

#include "ledger.h"

ReceiptBatch::ReceiptBatch(const FeeMirror &fees, CapitalPlacement placement,
                           const SheetLayout &sheet)
    : m_fees(fees), m_placement(placement), m_sheet(sheet)
{
}

bool ReceiptBatch::add(int row, const Roster::Cells &cells)
{
    PlannedReceipt planned;
    planned.row = row;
    planned.discounted = Fees::isDiscounted(cells);
    // Nothing that would count as 0 unnoticed is printed or written back.
    planned.refusal = Fees::rowProblem(cells, m_fees);
    if (!planned.refusal.isEmpty()) {
        planned.computable = false;
        if (cells[Roster::Name])
            planned.receipt.name = ReceiptText::encode(*cells[Roster::Name], Receipt::TextBytes);
        m_built << planned;
        return false;
    }
    const BuiltReceipt built = buildReceipt(cells, m_fees);
    planned.receipt = built.receipt;
    planned.totalColumn = built.totalColumn;
    planned.refusal = ReceiptLayout::refusal(planned.receipt);
    // A range prints its capitals in one fixed column per place: the place
    // of hundred thousands yuan lies left of the sheet.
    if (planned.refusal.isEmpty() && m_placement == CapitalPlacement::FixedColumns &&
        planned.receipt.entryCount != 0 && planned.receipt.total >= FixedColumnsLimit)
        planned.refusal = QStringLiteral("%1 的合计金额 %2 元无法填入收据")
                              .arg(ReceiptText::decode(planned.receipt.name),
                                   QString::number(planned.receipt.total / 100.0, 'f', 2));
    if (planned.refusal.isEmpty())
        m_printable << int(m_built.size());
    m_built << planned;
    return planned.refusal.isEmpty();
}

QVector<PlannedReceipt> ReceiptBatch::printable() const
{
    QVector<PlannedReceipt> list;
    list.reserve(m_printable.size());
    for (const int i : m_printable)
        list << m_built.at(i);
    return list;
}

const PlannedReceipt *ReceiptBatch::printableAt(int index) const
{
    return index >= 0 && index < m_printable.size() ? &m_built.at(m_printable.at(index)) : nullptr;
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

QStringList ReceiptBatch::twoForms() const
{
    QStringList names;
    for (const PlannedReceipt &p : m_built)
        if (p.refusal.isEmpty() && p.receipt.entryCount > Receipt::FormLines)
            names << ReceiptText::decode(p.receipt.name);
    return names;
}

PlannedReceipt *ReceiptBatch::printableAt(int index)
{
    return index >= 0 && index < m_printable.size() ? &m_built[m_printable.at(index)] : nullptr;
}

void ReceiptBatch::replace(int index, const Receipt &receipt)
{
    if (PlannedReceipt *p = printableAt(index))
        p->receipt = receipt;
}

QStringList ReceiptBatch::questionableDiscounts() const
{
    QStringList names;
    if (m_fees.discountInRange())
        return names;
    for (const PlannedReceipt &p : m_built)
        if (p.refusal.isEmpty() && p.discounted)
            names << ReceiptText::decode(p.receipt.name);
    return names;
}

QVector<QVector<DrawOp>> ReceiptBatch::pages(const Receipt &receipt, const QDate &date,
                                             const QPointF &offset, const ReceiptMarks &marks) const
{
    QVector<QVector<DrawOp>> out;
    for (const Receipt &form : forms(receipt))
        out << ReceiptLayout::layout(form, date, m_placement, offset, m_sheet, marks);
    return out;
}
