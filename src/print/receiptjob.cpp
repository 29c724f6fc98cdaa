#include "receiptjob.h"

#include "calibration.h"
#include "receiptprinter.h"

ReceiptJob::ReceiptJob(const SheetLayout &sheet, const QString &printerName) : m_sheet(sheet)
{
    if (!printerName.isEmpty())
        m_printer.setPrinterName(printerName);
}

bool ReceiptJob::ask(const Dialog &dialog)
{
    ReceiptPrinter::setUp(m_printer, m_sheet);
    if (!dialog(&m_printer))
        return false;
    ReceiptPrinter::setUp(m_printer, m_sheet, true);
    return true;
}

QPointF ReceiptJob::offset() const
{
    return Calibration::offsetFor(m_printer.printerName());
}

bool ReceiptJob::print(const QVector<QVector<DrawOp>> &pages)
{
    return ReceiptPrinter::printPages(m_printer, pages);
}

QString ReceiptJob::label() const
{
    return ReceiptPrinter::label(m_printer);
}
