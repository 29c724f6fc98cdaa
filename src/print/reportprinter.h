#pragma once

#include <QImage>
#include <QPrinter>
#include <QStringList>
#include <QVector>

// Reports (the day's closing, …) on A4 paper: lines of text (cells
// separated by tabs stand in columns), as many pages as they take, each
// page numbered.
namespace ReportPrinter
{
// Sets the printer up for A4 portrait.
void setUp(QPrinter &printer);
// Prints the lines; false with why (the printer failed, or the file was not
// written whole).
bool print(QPrinter &printer, const QStringList &lines, QString *error);
// After the painter ended: false with why when the printer failed or the
// file it wrote (when it wrote one) is not whole.
bool finished(QPrinter &printer, QString *error);
// The pages as images, for the preview.
QVector<QImage> render(const QStringList &lines, int dpi = 100);
} // namespace ReportPrinter
