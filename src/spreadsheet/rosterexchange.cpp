#include "rosterexchange.h"

#include "excelengine.h"

#include <QDir>

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
    m_source = std::make_unique<ExcelEngine>();
    if (!m_source->open(path, 1, false)) {
        m_error = QStringLiteral("无法读取 %1：%2")
                      .arg(QDir::toNativeSeparators(path), m_source->errorString());
        m_source.reset();
        return false;
    }
    return true;
}

bool RosterExchange::hasSource() const
{
    return m_source && m_source->isOpened();
}

void RosterExchange::closeSource()
{
    if (m_source)
        m_source->closeWithoutSaving();
    m_source.reset();
}

std::optional<QStringList> RosterExchange::readNames(int column, int first, int end)
{
    m_error.clear();
    if (!hasSource()) {
        m_error = QStringLiteral("没有打开的工作簿：请重新选择要读取的文件");
        return std::nullopt;
    }
    QStringList names;
    for (int row = first; row < end; ++row)
        names << m_source->cellValue(unsigned(row), unsigned(column)).toString();
    closeSource();
    return names;
}

bool RosterExchange::writeRows(const QString &path, const QVector<QStringList> &rows, int columns)
{
    m_error.clear();
    ExcelEngine engine;
    bool ok = engine.open(path, 1, false);
    for (int r = 0; ok && r < rows.size(); ++r)
        for (int c = 0; c < columns; ++c)
            engine.setCellValue(unsigned(r + 1), unsigned(c + 1), rows.at(r).value(c));
    ok = ok && engine.close();
    m_filePath = engine.filePath();
    if (!ok)
        m_error = QStringLiteral("无法写入 %1：%2")
                      .arg(QDir::toNativeSeparators(m_filePath), engine.errorString());
    return ok;
}
