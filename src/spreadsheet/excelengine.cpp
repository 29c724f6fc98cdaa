#include "excelengine.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QFileInfo>

ExcelEngine::ExcelEngine() = default;

ExcelEngine::ExcelEngine(const QString &name) : fileName(name) {}

ExcelEngine::~ExcelEngine()
{
    if (opened)
        close();
}

bool ExcelEngine::open(const QString &name, unsigned int index, bool show)
{
    // The open workbook is written under its own name, not the next one.
    if (opened)
        close();
    fileName = name;
    sheetIndex = index;
    visible = show;
    return open(index, show);
}

bool ExcelEngine::open(unsigned int index, bool show)
{
    if (opened)
        close();
    sheetIndex = index;
    visible = show;
    m_error.clear();
    m_sheet = Sheet();
    m_dirty = false;
    if (fileName.isEmpty()) {
        m_error = QStringLiteral("没有文件名");
        opened = false;
        return false;
    }
    // A path without an extension becomes an .xlsx workbook, unless a file
    // already exists under exactly that name.
    if (!QFileInfo::exists(fileName) && QFileInfo(fileName).suffix().isEmpty())
        fileName += QStringLiteral(".xlsx");
    newFile = !QFileInfo::exists(fileName);
    if (!newFile && !Workbook::read(fileName, int(sheetIndex), m_sheet, &m_error)) {
        m_sheet = Sheet();
        opened = false;
        return false;
    }
    if (newFile && sheetIndex != 1) {
        m_error = QStringLiteral("新建的工作簿只有第 1 个工作表");
        opened = false;
        return false;
    }
    usedFirstRow = m_sheet.isEmpty() ? 1 : m_sheet.firstRow();
    usedFirstColumn = m_sheet.isEmpty() ? 1 : m_sheet.firstColumn();
    usedRowCount = m_sheet.isEmpty() ? 0 : m_sheet.lastRow() - usedFirstRow + 1;
    usedColumnCount = m_sheet.isEmpty() ? 0 : m_sheet.lastColumn() - usedFirstColumn + 1;
    opened = true;
    return true;
}

bool ExcelEngine::writeOut()
{
    if (!Workbook::writeXlsx(fileName, m_sheet, &m_error))
        return false;
    m_dirty = false;
    newFile = false;
    return true;
}

bool ExcelEngine::save()
{
    if (!opened || saved)
        return true;
    saved = true;
    return writeOut();
}

bool ExcelEngine::close()
{
    if (!opened)
        return true;
    bool ok = save();
    // Closing keeps the changes made since the one save.
    if (ok && (m_dirty || newFile))
        ok = writeOut();
    opened = false;
    newFile = false;
    saved = true;
    m_sheet = Sheet();
    return ok;
}

void ExcelEngine::closeWithoutSaving()
{
    opened = false;
    newFile = false;
    m_dirty = false;
    m_sheet = Sheet();
}

QVariant ExcelEngine::cellValue(unsigned int row, unsigned int column) const
{
    if (!opened || row == 0 || column == 0 || row > unsigned(Workbook::MaxRow) ||
        column > unsigned(Workbook::MaxColumn) || !m_sheet.hasCell(int(row), int(column)))
        return QVariant();
    return m_sheet.cell(int(row), int(column));
}

bool ExcelEngine::setCellValue(unsigned int row, unsigned int column, QVariant value)
{
    if (!opened || row == 0 || column == 0 || row > unsigned(Workbook::MaxRow) ||
        column > unsigned(Workbook::MaxColumn))
        return false;
    m_sheet.setCell(int(row), int(column), value.toString());
    m_dirty = true;
    return true;
}

bool ExcelEngine::writeTable(const QAbstractItemModel *table)
{
    if (!table || !opened)
        return false;
    const int rows = table->rowCount(), cols = table->columnCount();
    for (int c = 0; c < cols; ++c) {
        const QVariant h = table->headerData(c, Qt::Horizontal, Qt::DisplayRole);
        if (h.isValid())
            setCellValue(1, unsigned(c + 1), h.toString());
    }
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const QVariant v = table->data(table->index(r, c));
            if (v.isValid())
                setCellValue(unsigned(r + 2), unsigned(c + 1), v.toString());
        }
    return save();
}

bool ExcelEngine::readTable(QAbstractItemModel *table)
{
    if (!table || !opened)
        return false;
    table->removeRows(0, table->rowCount());
    table->removeColumns(0, table->columnCount());
    table->insertColumns(0, usedColumnCount);
    for (int j = 0; j < usedColumnCount; ++j)
        table->setHeaderData(j, Qt::Horizontal, m_sheet.cell(usedFirstRow, usedFirstColumn + j));
    const int dataRows = qMax(0, usedRowCount - 1);
    table->insertRows(0, dataRows);
    for (int k = 0; k < dataRows; ++k)
        for (int j = 0; j < usedColumnCount; ++j)
            table->setData(table->index(k, j),
                           m_sheet.cell(usedFirstRow + 1 + k, usedFirstColumn + j));
    return true;
}

void ExcelEngine::reset()
{
    fileName.clear();
    usedRowCount = usedColumnCount = usedFirstRow = usedFirstColumn = 0;
}
