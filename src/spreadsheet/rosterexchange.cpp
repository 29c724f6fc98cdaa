#include "rosterexchange.h"

#include "workbook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

RosterExchange::RosterExchange() = default;

RosterExchange::~RosterExchange()
{
    closeSource();
}

bool RosterExchange::openSource(const QString &path)
{
    closeSource();
    m_error.clear();
    m_sourcePath = path;
    // The engine would start a new, empty workbook for a missing file.
    if (!QFileInfo::exists(path)) {
        m_error = QStringLiteral("无法读取 %1：文件不存在").arg(QDir::toNativeSeparators(path));
        m_sourcePath.clear();
        return false;
    }
    Sheet sheet;
    QString reason;
    if (!Workbook::read(path, 1, sheet, &reason)) {
        m_sourcePath.clear();
        m_error = QStringLiteral("无法读取 %1：%2").arg(QDir::toNativeSeparators(path), reason);
        return false;
    }
    m_source = std::move(sheet);
    return true;
}

bool RosterExchange::hasSource() const
{
    return m_source.has_value();
}

void RosterExchange::closeSource()
{
    m_source.reset();
}

namespace
{
// A child's name is short and plain text.
constexpr int MaxNameLength = 100;

bool isName(const QString &text)
{
    if (text.size() > MaxNameLength)
        return false;
    for (const QChar ch : text)
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7f)
            return false;
    return true;
}

QString rowList(const QList<int> &rows)
{
    QStringList shown;
    for (int i = 0; i < rows.size() && i < 20; ++i)
        shown << QString::number(rows.at(i));
    QString text = QStringLiteral("第 %1 行").arg(shown.join(QStringLiteral("、")));
    if (rows.size() > shown.size())
        text += QStringLiteral("等 %1 行").arg(rows.size());
    return text;
}

// The mode a new file gets from open(2) under the user's umask.
mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}
} // namespace

std::optional<QStringList> RosterExchange::readNames(int column, int first, int end)
{
    m_error.clear();
    // The workbook may have been closed since it was chosen: read it again.
    if (!hasSource() && !m_sourcePath.isEmpty() && !openSource(m_sourcePath))
        return std::nullopt;
    if (!hasSource()) {
        m_error = QStringLiteral("没有打开的工作簿：请重新点击“读取Excel文件”选择要读取的文件");
        return std::nullopt;
    }
    QStringList names;
    QList<int> refused;
    for (int row = first; row < end; ++row) {
        names << m_source->cell(row, column);
        if (!isName(names.last()))
            refused << row;
    }
    closeSource();
    if (!refused.isEmpty()) {
        m_error =
            QStringLiteral("%1 的%2不是儿童姓名（超过 %3 个字或含有控制字符）：没有读取任何儿童")
                .arg(QDir::toNativeSeparators(m_sourcePath), rowList(refused))
                .arg(MaxNameLength);
        return std::nullopt;
    }
    return names;
}

bool RosterExchange::writeRows(const QString &path, const QVector<QStringList> &rows, int columns)
{
    // Exactly the current rows, in a fresh workbook replacing the old file
    // whole: nothing is carried over from an earlier export.
    Sheet sheet;
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < columns; ++c)
            sheet.setCell(r + 1, c + 1, rows.at(r).value(c));
    return writeSheets(path, {{QString(), sheet}});
}

bool RosterExchange::writeSheets(const QString &path, const QVector<QPair<QString, Sheet>> &sheets)
{
    m_error.clear();
    // A path without an extension becomes an .xlsx workbook, unless a file
    // already exists under exactly that name.
    m_filePath = path;
    if (!QFileInfo::exists(path) && QFileInfo(path).suffix().isEmpty())
        m_filePath += QStringLiteral(".xlsx");
    const QByteArray native = QFile::encodeName(m_filePath);
    struct stat st;
    const bool exists = ::stat(native.constData(), &st) == 0;
    // Even where the directory would allow the replacement, a file marked
    // read-only is the owner saying it must stay as it is.
    if (exists && (st.st_mode & 0222) == 0) {
        m_error = QStringLiteral("%1 是只读文件，没有替换它：请取消它的只读属性，或另选一个文件夹")
                      .arg(QDir::toNativeSeparators(m_filePath));
        return false;
    }
    QString reason;
    if (!Workbook::writeXlsx(m_filePath, sheets, &reason)) {
        m_error =
            QStringLiteral("无法写入 %1：%2").arg(QDir::toNativeSeparators(m_filePath), reason);
        return false;
    }
    ::chmod(native.constData(), exists ? (st.st_mode & 07777) : newFileMode());
    return true;
}
