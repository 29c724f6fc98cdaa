#include "officesettings.h"

#include "calibration.h"

#include <QDir>
#include <QSettings>

OfficeSettings::OfficeSettings(QObject *parent) : QObject(parent) {}

void OfficeSettings::load()
{
    const auto store = SettingsStore::open();
    m_fees = FeeSettings::fromSettings(*store);
    emit changed();
}

bool OfficeSettings::save(const FeeSettings &settings)
{
    m_error.clear();
    const auto store = SettingsStore::open();
    if (!settings.toSettings(*store)) {
        m_error = QStringLiteral("设置保存失败：%1 无法写入")
                      .arg(QDir::toNativeSeparators(store->fileName()));
        return false;
    }
    load();
    emit saved();
    return true;
}

QString OfficeSettings::feeProblem() const
{
    const auto bad = m_fees.firstInvalid();
    return bad == FeeSettings::KeyCount ? QString() : FeeSettings::problem(m_fees, bad);
}

DbConfig OfficeSettings::database()
{
    const auto store = SettingsStore::open();
    return DbConfig::fromSettings(*store);
}

QPointF OfficeSettings::calibration(const QString &printerName)
{
    return Calibration::offsetFor(printerName);
}

bool OfficeSettings::setCalibration(const QString &printerName, const QPointF &offset)
{
    return Calibration::setOffsetFor(printerName, offset);
}
