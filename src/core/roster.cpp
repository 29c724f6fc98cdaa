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

int toInt(const QString &text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    return ok ? v : 0;
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
