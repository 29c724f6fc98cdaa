#pragma once

#include "workbook.h"

#include <QObject>
#include <QString>
#include <QVariant>

class QAbstractItemModel;

// A workbook opened from a file (or started new when no file exists), read
// and written cell by cell, saved back as .xlsx. Cells are 1-based; row or
// column 0 is not a cell.
class ExcelEngine : public QObject
{
public:
    ExcelEngine();
    explicit ExcelEngine(const QString &fileName);
    ~ExcelEngine() override;

    bool open(const QString &fileName, unsigned int sheetIndex = 1, bool visible = false);
    bool open(unsigned int sheetIndex = 1, bool visible = false);
    // Writes the workbook once in the engine's life; later changes are
    // written by close().
    bool save();
    // Writes any unsaved changes and closes the workbook.
    bool close();
    // Closes the workbook without writing anything: for files only read.
    void closeWithoutSaving();

    QVariant cellValue(unsigned int row, unsigned int column) const;
    bool setCellValue(unsigned int row, unsigned int column, QVariant value);

    // Header texts to sheet row 1, the rows from sheet row 2; then save.
    bool writeTable(const QAbstractItemModel *table);
    // The used range into the table: its first row as header labels.
    bool readTable(QAbstractItemModel *table);

    bool isOpened() const { return opened; }
    // No outside application is needed: the engine always can work.
    bool hasApplication() const { return true; }
    int usedRows() const { return usedRowCount; }
    int usedColumns() const { return usedColumnCount; }
    void reset();

    bool isNewFile() const { return newFile; }
    bool wasSaved() const { return saved; }
    // The path actually used (".xlsx" added to a path without extension).
    QString filePath() const { return fileName; }
    QString errorString() const { return m_error; }

private:
    bool writeOut();

    QString fileName;
    unsigned int sheetIndex = 0;
    bool visible = false;
    int usedRowCount = 0;
    int usedColumnCount = 0;
    int usedFirstRow = 0;
    int usedFirstColumn = 0;
    bool opened = false;
    bool newFile = false;
    bool saved = false;

    Sheet m_sheet;
    bool m_dirty = false;
    QString m_error;
};
