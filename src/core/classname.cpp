#include "classname.h"

#include <QDir>
#include <QFileInfo>
#include <optional>

namespace
{
bool isDirectionControl(char32_t u)
{
    return u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) ||
           (u >= 0x2066 && u <= 0x2069);
}

bool isControl(char32_t u)
{
    return u < 0x20 || (u >= 0x7F && u <= 0x9F);
}

// The first character no file or tab may take (NUL among them).
std::optional<char32_t> forbidden(const QString &name)
{
    for (const char32_t u : name.toUcs4())
        if (u == U'/' || u == U'\\' || isControl(u) || isDirectionControl(u))
            return u;
    return std::nullopt;
}

QString describe(char32_t u)
{
    if (u == U'/' || u == U'\\')
        return QStringLiteral("“%1”").arg(QChar(char16_t(u)));
    return QStringLiteral("不可见的控制字符 U+%1")
        .arg(QString::number(uint(u), 16).toUpper().rightJustified(4, QLatin1Char('0')));
}
} // namespace

namespace ClassName
{

QString cleaned(const QString &typed)
{
    return typed.trimmed();
}

QString problem(const QString &name, const QStringList &existing)
{
    if (name.isEmpty())
        return QStringLiteral("班级名称不能为空");
    if (name.size() > MaxLength)
        return QStringLiteral("班级名称太长（%1 个字），最多 %2 个字")
            .arg(QString::number(name.size()), QString::number(MaxLength));
    if (const auto u = forbidden(name))
        return QStringLiteral("班级名称不能含有%1").arg(describe(*u));
    for (const QString &other : existing)
        if (cleaned(other) == name)
            return QStringLiteral("已经有名为“%1”的班级").arg(visible(name));
    return {};
}

QString visible(const QString &name)
{
    if (!forbidden(name))
        return name;
    QString out;
    out.reserve(name.size());
    for (const char32_t u : name.toUcs4()) {
        if (isDirectionControl(u) || isControl(u))
            out += QChar(0xFFFD);
        else
            out += QString::fromUcs4(&u, 1);
    }
    return out;
}

QString forTitle(const QString &name)
{
    QString out = visible(name);
    return out.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QString exportPath(const QString &dir, const QString &prefix, const QString &name,
                   const QString &suffix, QString *why)
{
    auto refuse = [&](const QString &text) {
        if (why)
            *why = text;
        return QString();
    };
    if (const auto u = forbidden(name))
        return refuse(QStringLiteral("班级“%1”的名称含有%2，不能作为文件名：没有导出。"
                                     "请改用新的班级名称。")
                          .arg(visible(name), describe(*u)));
    const QString file = prefix + name + suffix;
    // 255 bytes is the longest file name the common file systems take.
    if (QFile::encodeName(file).size() > 255)
        return refuse(QStringLiteral("班级名称“%1”太长，文件名“%2”超过了文件系统允许的长度："
                                     "没有导出。")
                          .arg(visible(name), file));
    const QString path = QDir(dir).absoluteFilePath(file);
    if (QFileInfo(path).absolutePath() != QDir(dir).absolutePath() || file == QLatin1String(".") ||
        file == QLatin1String(".."))
        return refuse(
            QStringLiteral("班级“%1”的文件名不在所选的文件夹中：没有导出。").arg(visible(name)));
    return path;
}

} // namespace ClassName

QStringList ClassName::inOrder(const QStringList &classes, const QStringList &order)
{
    QStringList listed, rest;
    for (const QString &c : order)
        if (classes.contains(c) && !listed.contains(c))
            listed << c;
    for (const QString &c : classes)
        if (!listed.contains(c) && !rest.contains(c))
            rest << c;
    rest.sort();
    return listed + rest;
}
