#include "clock.h"

namespace
{
QDateTime &fixedMoment()
{
    static QDateTime moment;
    return moment;
}
} // namespace

namespace Clock
{

QDateTime now()
{
    const QDateTime &fixed = fixedMoment();
    return fixed.isValid() ? fixed : QDateTime::currentDateTime();
}

void setFixed(const QDateTime &moment)
{
    fixedMoment() = moment;
}

void reset()
{
    fixedMoment() = QDateTime();
}

} // namespace Clock
