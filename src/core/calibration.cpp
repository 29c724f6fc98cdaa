#include "calibration.h"

#include "feesettings.h"

#include <QSettings>

namespace
{
QString keyFor(const QString &printerName)
{
    QString key = printerName.trimmed();
    if (key.isEmpty())
        key = QStringLiteral("default");
    key.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    return QStringLiteral("calibration/") + key;
}
} // namespace

namespace Calibration
{
QPointF offsetFor(const QString &printerName)
{
    const auto s = SettingsStore::open();
    const QString key = keyFor(printerName);
    return QPointF(s->value(key + QStringLiteral("/x"), 0.0).toDouble(),
                   s->value(key + QStringLiteral("/y"), 0.0).toDouble());
}

bool setOffsetFor(const QString &printerName, const QPointF &offset)
{
    const auto s = SettingsStore::open();
    const QString key = keyFor(printerName);
    s->setValue(key + QStringLiteral("/x"), QString::number(offset.x(), 'f', 1));
    s->setValue(key + QStringLiteral("/y"), QString::number(offset.y(), 'f', 1));
    s->sync();
    return s->status() == QSettings::NoError;
}
} // namespace Calibration
