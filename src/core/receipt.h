#pragma once

#include "fees.h"
#include "roster.h"

#include <QByteArray>
#include <QStringList>
#include <QVector>
#include <array>

// What one receipt prints: up to six fee lines, the child, the clerk and the
// total in fen. A form has four lines: a receipt with more prints on two
// forms (forms()). Texts are GB18030 bytes held within the fixed widths of the
// receipt fields.
struct FeeEntry {
    QByteArray label;  // at most LabelBytes
    qint32 amount = 0; // fen
};

struct Receipt {
    static constexpr int Slots = 6;
    static constexpr int FormLines = 4;   // lines one pre-printed form holds
    static constexpr int TextBytes = 29;  // name, age, clerk
    static constexpr int LabelBytes = 31; // fee-line labels

    std::array<FeeEntry, Slots> entries;
    QByteArray name;
    QByteArray age;
    QByteArray clerk;
    qint32 total = 0; // fen
    qint32 entryCount = 0;
    // Credit from earlier months that paid part of the fees (预收抵扣), in
    // fen: the lines and the total are what is left to pay.
    qint32 credit = 0;
    // Reductions (减免) the lines are already net of, in fen.
    qint32 reduced = 0;
};

namespace ReceiptText
{
// GB18030 bytes of the text, cut at a character boundary to at most maxBytes.
QByteArray encode(const QString &text, int maxBytes);
QString decode(const QByteArray &bytes);

QByteArray childcareLabel();     // "保 教 费"
QByteArray accommodationLabel(); // "住 宿 费"
} // namespace ReceiptText

// Stores one fee line: the amount in yuan becomes whole fen, rounded to the
// nearest fen.
void addFeeEntry(Receipt &receipt, const QByteArray &label, float amount, int slot);

struct BuiltReceipt {
    Receipt receipt;
    qint32 totalColumn = 0; // whole yuan: the roster total of the row
};

// The forms a receipt prints on: one, or two when it has more lines than a
// form holds. The first holds the two fixed lines and the first two
// further ones with the credit; the second the further lines left, under
// the same child and clerk. Each form's total is the sum of its lines.
QVector<Receipt> forms(const Receipt &receipt);

// The six amounts a row's receipt is made of, in fen, in the order
// childcare, accommodation, meals, bedding, school bus, insurance: the same
// the receipt prints, including fees its four lines leave off.
std::array<qint64, 6> receiptAmounts(const Roster::Cells &row, const FeeMirror &fees);

// Fills a receipt from a roster row and the page's fee settings; the roster
// total is the sum of its lines. Every further
// fee (meals, bedding, bus, insurance, in that order) has a line: beyond two
// they print on a second form.
BuiltReceipt buildReceipt(const Roster::Cells &row, const FeeMirror &fees);
