#pragma once

#include "layout.h"
#include "receiptbatch.h"

class Invoice;
class QDateTime;
class QPrinter;
class ReceiptBatch;

// The receipt commands of a roster page: the selected child, a range of
// rows, and the preview. The receipts come from ReceiptBatch; this class
// asks for the printer, puts the pages on it and marks the rows printed.
class ReceiptCommands
{
public:
    explicit ReceiptCommands(Invoice *page);

    void printSelected(int row);
    // Rows numbered from 1, both ends included.
    void printRange(int from, int to);
    void preview(int row);
    void preview(int from, int to);

private:
    ReceiptBatch batchFor(CapitalPlacement placement) const;
    bool askPrinter(QPrinter &printer);
    // Refuses (and says why) while a price or the discount is not a number.
    bool feesUsable();
    // Asks before printing receipts that leave fees off.
    bool confirmLeftOff(const ReceiptBatch &batch);
    // Prints the batch's printable receipts, one page each, and marks their
    // rows; the number printed, or -1 when printing could not start.
    int print(QPrinter &printer, const ReceiptBatch &batch);
    void showPreview(const ReceiptBatch &batch);
    void writeTotals(const ReceiptBatch &batch);
    // Writes the printed receipts to the journal; a failed write is said and
    // kept for the next save.
    void journal(const QVector<PlannedReceipt> &receipts, const QVector<QDateTime> &moments,
                 const QPrinter &printer);

    Invoice *m_page;
    SheetLayout m_sheet;
};
