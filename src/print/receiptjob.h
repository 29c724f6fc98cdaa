#pragma once

#include "layout.h"

#include <QPointF>
#include <QPrinter>
#include <functional>

// One print job on the receipt form: the printer set up for the 205 × 100 mm
// sheet, the print dialog (asked through the caller's seam), the printer's
// calibration shift, the pages and the printer's label for the journal.
// Every receipt, reprint and calibration page is printed this way.
class ReceiptJob
{
public:
    using Dialog = std::function<bool(QPrinter *printer)>;
    explicit ReceiptJob(const SheetLayout &sheet = {}, const QString &printerName = {});

    // Sets the paper up, shows the dialog and sets the paper again (drivers
    // may reset it in the dialog); false when the clerk cancelled.
    bool ask(const Dialog &dialog);
    // The shift stored for the printer chosen.
    QPointF offset() const;
    // One page per entry; false (errorString() says why) when the printer
    // could not start, reported an error, or the output file was not
    // written whole.
    bool print(const QVector<QVector<DrawOp>> &pages);
    QString errorString() const { return m_error; }
    // Whether a PDF file was written to its end.
    static bool outputComplete(const QString &file);
    // The printer's name, or "PDF <file>".
    QString label() const;
    QPrinter &printer() { return m_printer; }
    const SheetLayout &sheet() const { return m_sheet; }

private:
    SheetLayout m_sheet;
    QPrinter m_printer{QPrinter::HighResolution};
    QString m_error;
};
