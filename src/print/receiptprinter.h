#pragma once

#include "layout.h"

#include <QFont>
#include <QImage>

class QPainter;
class QPrinter;

// The only code that puts receipts on paper: it replays the layout's drawing
// instructions, converting millimetres to device units.
namespace ReceiptPrinter
{

// 205 × 100 mm custom paper, portrait, drawn relative to the printable
// area; no margins asked for. Drivers may reset the paper in the print
// dialog, so callers apply it again afterwards, keeping the margins the
// printer reports then.
void setUp(QPrinter &printer, const SheetLayout &sheet = {}, bool keepMargins = false);

// Device units per millimetre, single precision as the form was measured.
float scaleOf(int dotsPerInch);

// Millimetres to device units, truncated toward zero.
int toDevice(double mm, float scale);

// "Arial" 12 pt bold, with deliberate fallbacks so Chinese never turns into
// boxes.
QFont receiptFont();

void draw(QPainter &painter, const QVector<DrawOp> &ops, float scale);

// The system's default printer.
QString defaultPrinterName();

// The printer's name for the journal, or "PDF <file>" when printing to a file.
QString label(const QPrinter &printer);

// One page per entry, as one print job; nothing starts for an empty list.
// False when the printer could not start.
bool printPages(QPrinter &printer, const QVector<QVector<DrawOp>> &pages);

// One receipt on a white page of the form's size with its outline, for the
// preview; the form's own boxes and captions, if given, faintly behind it.
QImage render(const QVector<DrawOp> &ops, int dotsPerInch = 200, const SheetLayout &sheet = {},
              const QVector<DrawOp> &form = {});

} // namespace ReceiptPrinter
