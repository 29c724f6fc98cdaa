#pragma once

#include "fees.h"
#include "layout.h"
#include "receipt.h"
#include "roster.h"

#include <QDate>
#include <QPointF>
#include <QString>
#include <QVector>

// One child's receipt as built from a roster row.
struct PlannedReceipt {
    int row = -1;
    Receipt receipt;
    qint32 totalColumn = 0; // whole yuan: the roster total of the row
    QString refusal;        // why it cannot be printed; empty when it can
    bool computable = true; // false: a cell, list entry or the discount is unusable
    bool discounted = false;
};

// The receipts of one print command or preview: every receipt printed,
// previewed or refused goes through here, so the rules are the same
// whichever command asks. No printer is involved.
class ReceiptBatch
{
public:
    // Totals from 100,000.00 yuan (ten million fen) have no column in a range.
    static constexpr qint32 FixedColumnsLimit = 10000000;

    ReceiptBatch(const FeeMirror &fees, CapitalPlacement placement,
                 const SheetLayout &sheet = SheetLayout());

    // Builds the row's receipt; false when it cannot be printed (its reason
    // is kept among the refusals).
    bool add(int row, const Roster::Cells &cells);

    // Every row added, in order, printable or not.
    const QVector<PlannedReceipt> &built() const { return m_built; }
    // The printable ones, in order.
    QVector<PlannedReceipt> printable() const;
    // The index'th printable receipt, or null.
    const PlannedReceipt *printableAt(int index) const;
    // The reasons, one per refused row; withRow puts "第 n 行：" in front.
    QStringList refusals(bool withRow) const;

    // The names of the printable receipts that print on two forms (more
    // further fees than one form has lines for).
    QStringList twoForms() const;

    // The index'th printable receipt becomes the one given (same child).
    void replace(int index, const Receipt &receipt);

    // The printable receipts of discounted children while the discount is
    // outside 0 < a <= 1 (most likely a percentage), by name: the clerk is
    // asked before they print.
    QStringList questionableDiscounts() const;

    // The drawing instructions of one receipt for the given day and
    // printer shift: one page per form.
    QVector<QVector<DrawOp>> pages(const Receipt &receipt, const QDate &date, const QPointF &offset,
                                   const ReceiptMarks &marks = {}) const;

    CapitalPlacement placement() const { return m_placement; }

private:
    PlannedReceipt *printableAt(int index);
    FeeMirror m_fees;
    CapitalPlacement m_placement;
    SheetLayout m_sheet;
    QVector<PlannedReceipt> m_built;
    QVector<int> m_printable; // where in m_built the printable ones are
};
