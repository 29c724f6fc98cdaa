#pragma once

#include <QMap>
#include <QPair>
#include <QString>
#include <QVector>

// One worksheet held in memory: sparse text cells addressed 1-based, as a
// spreadsheet numbers them.
class Sheet
{
public:
    QString cell(int row, int column) const;
    bool hasCell(int row, int column) const;
    void setCell(int row, int column, const QString &text);
    bool isEmpty() const { return m_rows.isEmpty(); }
    int cellCount() const { return m_cells; }

    // The used range: first and last row and column holding a cell
    // (0 when the sheet is empty).
    int firstRow() const;
    int lastRow() const;
    int firstColumn() const;
    int lastColumn() const;

    const QMap<int, QMap<int, QString>> &rows() const { return m_rows; }

private:
    QMap<int, QMap<int, QString>> m_rows;
    int m_cells = 0;
};

namespace Workbook
{

enum class Format { Xlsx, Xls, Csv, Unknown };

// Limits against hostile files: no workbook a kindergarten keeps comes near.
constexpr qint64 MaxEntryBytes = 64 * 1024 * 1024;
constexpr qint64 MaxFileBytes = 64 * 1024 * 1024;
constexpr int MaxZipEntries = 10000;
constexpr int MaxCells = 4 * 1000 * 1000;
constexpr int MaxRow = 1048576;
constexpr int MaxColumn = 16384;

// Decides the format from the first bytes, falling back on the file name.
Format detect(const QByteArray &head, const QString &fileName);

// Reads worksheet sheetIndex (1-based) of the file. False with a reason in
// error for anything that is not a readable workbook.
bool read(const QString &path, int sheetIndex, Sheet &sheet, QString *error);

// Writes the sheet as an .xlsx workbook, every cell as text. The file is
// written next to the target and renamed over it, so the target is either
// the old or the complete new workbook, never a broken one.
bool writeXlsx(const QString &path, const Sheet &sheet, QString *error);
// The same with several named worksheets, in order.
bool writeXlsx(const QString &path, const QVector<QPair<QString, Sheet>> &sheets, QString *error);

// Decodes CSV bytes: a BOM decides, else strict UTF-8, else GB18030 where it
// reads the bytes without a fault; false (and no text) when neither does.
bool decodeText(const QByteArray &bytes, QString *text);

} // namespace Workbook
