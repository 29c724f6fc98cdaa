#pragma once

#include <QDateTime>

// Local time for everything that depends on the date (print status, receipt
// date, workbook names). Tests pin it to a chosen moment.
namespace Clock
{

QDateTime now();
void setFixed(const QDateTime &moment);
void reset();

} // namespace Clock
