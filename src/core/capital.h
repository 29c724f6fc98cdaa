#pragma once

#include <QString>
#include <QVector>
#include <optional>

// Amounts in fen written the way the receipt form wants them: the amount text
// (1500.00, .45) and the capital numerals, one digit glyph per digit, each
// followed by the glyph of its place value. Zeros are written literally so
// that every glyph lands in its own box of the pre-printed form.
namespace Capital
{

// Largest amount the form's boxes can hold: eight digits of fen.
constexpr qint32 MaxAmount = 99999999;

struct GlyphPair {
    QChar digit;
    QChar unit; // null for place values above 6 (no unit box)
    int place;  // power of ten counted in fen
};

// Whether the amount fits the form (0 to 99,999,999 fen).
bool writable(qint32 fen);

// 150000 → "1500.00", 45 → ".45", 5 → ".05"; nullopt for amounts that do not
// fit the form.
std::optional<QString> amountText(qint32 fen);

// Glyph pairs, most significant digit first; amounts below 10 fen get the
// two pairs 角 and 分.
std::optional<QVector<GlyphPair>> glyphPairs(qint32 fen);

// The pairs as one readable string, "壹仟 伍佰 …" (for messages and tests).
QString pairsText(const QVector<GlyphPair> &pairs);

} // namespace Capital
