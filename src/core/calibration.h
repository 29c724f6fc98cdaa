#pragma once

#include <QPointF>
#include <QString>

// Every printer feeds the form a little differently: a shift in millimetres
// per printer, added to every position of every receipt, kept in the
// settings store under calibration/<printer>/x and /y.
namespace Calibration
{
QPointF offsetFor(const QString &printerName);
bool setOffsetFor(const QString &printerName, const QPointF &offset);
} // namespace Calibration
