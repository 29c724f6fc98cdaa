#include "roster.h"

#include "childrecord.h"

#include <QDateTime>

namespace Roster
{

QStringList headers()
{
    QStringList list;
    for (const ColumnName &c : columnNames())
        list << QString::fromUtf16(c.caption);
    return list;
}

QString resultClassHeader()
{
    return QStringLiteral("班级");
}

QString notPrinted()
{
    return QStringLiteral("否");
}

QString printedStatus(const QDateTime &when)
{
    return when.toString(QStringLiteral("MM")) + QStringLiteral("已打印");
}

namespace
{
// Full-width digits and signs (０–９, ＋, －), as a Chinese input method
// types them, read as the ASCII they stand for.
QString halfWidth(const QString &text)
{
    QString out = text.trimmed();
    for (QChar &ch : out) {
        const char16_t u = ch.unicode();
        if (u >= 0xFF10 && u <= 0xFF19)
            ch = QChar(u'0' + (u - 0xFF10));
        else if (u == 0xFF0B)
            ch = QLatin1Char('+');
        else if (u == 0xFF0D)
            ch = QLatin1Char('-');
    }
    return out;
}
} // namespace

std::optional<int> wholeNumber(const QString &text)
{
    // Most cells are a few plain digits: read at once, as toInt would.
    if (!text.isEmpty() && text.size() <= 9) {
        int v = 0;
        bool digits = true;
        for (const QChar ch : text) {
            const char16_t u = ch.unicode();
            if (u < u'0' || u > u'9') {
                digits = false;
                break;
            }
            v = v * 10 + int(u - u'0');
        }
        if (digits)
            return v;
    }
    bool ok = false;
    const int v = halfWidth(text).toInt(&ok, 10);
    return ok ? std::optional<int>(v) : std::nullopt;
}

int toInt(const QString &text)
{
    return wholeNumber(text).value_or(0);
}

bool isNumericColumn(int column)
{
    return (column >= Tuition && column <= Insurance) || column == Discount;
}

bool countsAsWritten(const QString &text)
{
    return text.trimmed().isEmpty() || wholeNumber(text).has_value();
}

QString notWholeNumberTip()
{
    return QStringLiteral("不是整数，按 0 计");
}

int toInt(const Cell &cell)
{
    return cell ? toInt(*cell) : 0;
}

bool hasControlCharacter(const QString &text)
{
    for (const QChar ch : text)
        if (ch.unicode() < 0x20)
            return true;
    return false;
}

QString withoutControlCharacters(const QString &text)
{
    if (!hasControlCharacter(text))
        return text;
    QString clean;
    clean.reserve(text.size());
    for (const QChar ch : text)
        if (ch.unicode() >= 0x20)
            clean += ch;
    return clean;
}

QString controlCharacterRefusal(const QStringList &record)
{
    const QStringList columns = headers() << resultClassHeader();
    for (int c = 0; c < record.size(); ++c) {
        if (!hasControlCharacter(record.at(c)))
            continue;
        return QStringLiteral("儿童“%1”（班级“%2”）的“%3”含有控制字符，无法保存：请改正后再保存")
            .arg(withoutControlCharacters(record.value(Name)),
                 withoutControlCharacters(record.value(ColumnCount)), columns.value(c));
    }
    return {};
}

} // namespace Roster
