#pragma once

#include <QStringList>
#include <array>
#include <optional>

class QDateTime;

// The twelve columns of a roster page, one row per child. The query-result
// page adds a thirteenth column holding the class.
namespace Roster
{

enum Column {
    Name = 0,
    Age = 1,
    Tuition = 2,
    Accommodation = 3,
    Meals = 4,
    Bedding = 5,
    SchoolBus = 6,
    Insurance = 7,
    Total = 8,
    Discount = 9,
    Clerk = 10,
    PrintStatus = 11,
    ResultClass = 12,
};

constexpr int ColumnCount = 12;
constexpr int ResultColumnCount = 13;

// The child's class travels as item data on the print-status cell.
constexpr int ClassTagRole = 33;

// One roster row as read from the model: an absent cell is distinct from an
// empty one, since several rules treat them differently.
using Cell = std::optional<QString>;
using Cells = std::array<Cell, ResultColumnCount>;

QStringList headers();
QString resultClassHeader();

QString notPrinted();
// "MM已打印" for the month of the given moment (local time).
QString printedStatus(const QDateTime &when);

// Base-10 conversion as the roster has always done it: surrounding blanks are
// ignored, anything else that is not an integer counts as 0. Full-width
// digits (１２) are the digits they are.
int toInt(const QString &text);
// The integer a text holds, or nullopt when it holds none (an empty text,
// "是", "1500元", "3.5", a number beyond 32 bits).
std::optional<int> wholeNumber(const QString &text);

// The fee quantity columns and the discount flag: their texts are numbers.
bool isNumericColumn(int column);
// Whether a numeric cell's text counts as what it says: blank (nothing to
// count) or a whole number. Anything else would count as 0 unnoticed.
bool countsAsWritten(const QString &text);
// The tooltip of a numeric cell that does not: "不是整数，按 0 计".
QString notWholeNumberTip();

// Whether the text holds a C0 control character (NUL, tab, line breaks …),
// which no roster cell may store.
bool hasControlCharacter(const QString &text);
// The text without its control characters.
QString withoutControlCharacters(const QString &text);
// Why a stored row (twelve texts and the class) cannot be saved, naming the
// child, or empty.
QString controlCharacterRefusal(const QStringList &record);
int toInt(const Cell &cell);

} // namespace Roster
