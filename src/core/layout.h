#pragma once

#include "receipt.h"

#include <QDate>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QVector>

// Positions on the pre-printed 205 × 100 mm receipt form, in millimetres from
// the top-left corner of the printable area.
struct SheetLayout {
    int paperWidth = 205;
    int paperHeight = 100;
    QPoint name{45, 30};
    int feeLeft = 19, feeTop = 35, feeRight = 162, feeBottom = 95;
    QPoint clerk{121, 90};
    QPoint date{67, 23};
};

// One thing to draw: a text whose baseline starts at a point, a text centred
// in a box, or (calibration only) an outlined box with its text centred.
struct DrawOp {
    enum Kind { Text, Box, Frame };
    Kind kind = Text;
    QString text;
    QPointF at; // Text: baseline start
    QRectF box; // Box, Frame: left, top, width, height

    bool operator==(const DrawOp &o) const
    {
        return kind == o.kind && text == o.text && at == o.at && box == o.box;
    }
};

// The selected child gets its capitals left-aligned (columns follow the
// length of the amount); a printed range uses one fixed column per place.
enum class CapitalPlacement { LeftAligned, FixedColumns };

// What a recorded receipt says of itself, in the form's blank right of the
// fee amounts: its serial, how it was paid, the rest still owed after a part
// payment, or that it is a copy (补打) and of which receipt.
struct ReceiptMarks {
    QString serial;
    QString method, reference;
    qint64 owedAfter = 0; // a part payment: what the receipt leaves owed
    QString copyOf;       // a copy: the serial it copies
    bool isEmpty() const { return serial.isEmpty() && copyOf.isEmpty(); }
};

namespace ReceiptLayout
{
// Where the marks go, in millimetres (baseline start): below the credit
// line, right of the fee amounts, above the capitals.
QPointF serialAt(const SheetLayout &sheet = {});
QPointF methodAt(const SheetLayout &sheet = {});
QPointF noteAt(const SheetLayout &sheet = {});

// Why a receipt cannot be printed, or empty when it can: an amount that does
// not fit the form's boxes (negative, more than eight digits) is refused
// rather than printed wrong.
QString refusal(const Receipt &receipt);

// The drawing instructions of one receipt; offset is the printer's
// calibration shift, added to every position.
QVector<DrawOp> layout(const Receipt &receipt, const QDate &date, CapitalPlacement placement,
                       const QPointF &offset = {}, const SheetLayout &sheet = {},
                       const ReceiptMarks &marks = {});

// The pre-printed form's boxes with their captions, for the preview only
// (never printed: the paper has them already).
QVector<DrawOp> formOutline(const QPointF &offset = {}, const SheetLayout &sheet = {});

// A calibration page: a millimetre grid with the form's fields outlined.
QVector<DrawOp> calibrationPage(const QPointF &offset = {}, const SheetLayout &sheet = {});

} // namespace ReceiptLayout
