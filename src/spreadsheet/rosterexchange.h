#pragma once

#include "workbook.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

// Reading children's names from a workbook and writing rosters to one,
// without any window: the roster page keeps only the dialogs. Failures
// leave a Chinese reason in errorString().
class RosterExchange
{
public:
    RosterExchange();
    ~RosterExchange();
    RosterExchange(const RosterExchange &) = delete;
    RosterExchange &operator=(const RosterExchange &) = delete;

    // Opens a workbook to read names from; it is only read, never written.
    bool openSource(const QString &path);
    bool hasSource() const;
    QString sourcePath() const { return m_sourcePath; }
    void closeSource();

    // The texts of the column (from 1) in sheet rows first up to, but not
    // including, end; then closes the source. An absent cell reads as an
    // empty name.
    std::optional<QStringList> readNames(int column, int first, int end);

    // Writes the rows (texts from column 1) to the workbook at path, ".xlsx"
    // added to a path without extension. The file is replaced whole.
    bool writeRows(const QString &path, const QVector<QStringList> &rows, int columns);
    // The same with several named worksheets of prepared cells.
    bool writeSheets(const QString &path, const QVector<QPair<QString, Sheet>> &sheets);
    // The file of the last write.
    QString filePath() const { return m_filePath; }

    QString errorString() const { return m_error; }

private:
    std::optional<Sheet> m_source;
    QString m_sourcePath;
    QString m_filePath;
    QString m_error;
};
