#include "officesettings.h"

#include "calibration.h"
#include "ledger.h"

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

QString OfficeSettings::paymentMethod()
{
    const auto store = SettingsStore::open();
    const QString method = store->value(QStringLiteral("payment/method")).toString();
    return Ledger::paymentMethods().contains(method) ? method : Ledger::paymentMethods().first();
}

void OfficeSettings::setPaymentMethod(const QString &method)
{
    if (!Ledger::paymentMethods().contains(method))
        return;
    const auto store = SettingsStore::open();
    store->setValue(QStringLiteral("payment/method"), method);
}

QPointF OfficeSettings::calibration(const QString &printerName)
{
    return Calibration::offsetFor(printerName);
}

bool OfficeSettings::setCalibration(const QString &printerName, const QPointF &offset)
{
    return Calibration::setOffsetFor(printerName, offset);
}
