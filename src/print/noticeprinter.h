#pragma once

#include <QImage>
#include <QPrinter>
#include <QStringList>
#include <QVector>

// Notices and reminders for parents on A4: each a block of lines (a tab
// puts the amount after it right-aligned in a column), perPage blocks a
// page with dashed lines between them for cutting, and the office's image
// (a collection code) on the right of each block when there is one.
namespace NoticePrinter
{
constexpr int BlocksPerPage = 3;

bool print(QPrinter &printer, const QVector<QStringList> &blocks, const QImage &image, int perPage,
           QString *error);
// One PDF file; false with why (the file could not be written whole).
bool writePdf(const QString &path, const QVector<QStringList> &blocks, const QImage &image,
              int perPage, QString *error);
// Lines on A4 (ReportPrinter's layout) as a PDF file.
bool writeLinesPdf(const QString &path, const QStringList &lines, QString *error);
} // namespace NoticePrinter
