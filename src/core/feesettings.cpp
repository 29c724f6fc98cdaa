#include "feesettings.h"

#include <QSettings>
#include <cmath>
#include <limits>

namespace
{
const char16_t *const keyNames[FeeSettings::KeyCount] = {u"name", u"a", u"b", u"c",
                                                         u"d",    u"e", u"f"};
const char16_t *const captions[FeeSettings::KeyCount] = {
    u"经办人",         u"折扣 （%）",     u"住宿费价格",    u"伙食费每日价格",
    u"床上用品费价格", u"校车接送费价格", u"意外伤害保险费"};
} // namespace

QString FeeSettings::keyName(Key key)
{
    return QString::fromUtf16(keyNames[key]);
}

QString FeeSettings::caption(Key key)
{
    return QString::fromUtf16(captions[key]);
}

std::optional<float> FeeSettings::number(Key key) const
{
    if (key == Clerk)
        return std::nullopt;
    const QString text = texts[key].trimmed();
    if (text.isEmpty())
        return 0.0f;
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
        return std::nullopt;
    return static_cast<float>(value);
}

FeeSettings::Key FeeSettings::firstInvalid() const
{
    for (int k = Discount; k < KeyCount; ++k)
        if (!number(Key(k)))
            return Key(k);
    return KeyCount;
}

QString FeeSettings::problem(const FeeSettings &settings, Key key)
{
    return QStringLiteral("设置“%1”的值“%2”不是有效的数字：费用没有重新计算，收据也不能打印。"
                          "请在设置中改正后点击“应用并保存”。")
        .arg(caption(key), settings.texts[key]);
}

FeeMirror FeeSettings::mirror() const
{
    FeeMirror m;
    for (int k = Discount; k < KeyCount; ++k)
        m.feePrices[k - Discount] = number(Key(k)).value_or(0.0f);
    m.discountSet = !texts[Discount].trimmed().isEmpty();
    m.clerkName = texts[Clerk];
    m.tuitionPrices = childcareFees;
    return m;
}

FeeSettings FeeSettings::fromSettings(QSettings &settings)
{
    FeeSettings s;
    // A value written by hand with a comma ("0,9", "1,200", a clerk named
    // "张三,李四") reads as a list: it is the text that was written, never
    // an empty one counted as 0.
    for (int k = 0; k < KeyCount; ++k) {
        const QVariant v = settings.value(keyName(Key(k)));
        s.texts[k] = v.typeId() == QMetaType::QStringList ? v.toStringList().join(QLatin1Char(','))
                                                          : v.toString();
    }
    // Written by hand without quotes, "800,900," reads as a list.
    const QVariant list = settings.value(childcareKey());
    const QString joined = list.typeId() == QMetaType::QStringList
                               ? list.toStringList().join(QLatin1Char(','))
                               : list.toString();
    s.childcareFees = joined.split(QLatin1Char(','), Qt::SkipEmptyParts, Qt::CaseSensitive);
    return s;
}

bool FeeSettings::toSettings(QSettings &settings) const
{
    for (int k = 0; k < KeyCount; ++k)
        settings.setValue(keyName(Key(k)), texts[k]);
    QString list;
    for (const QString &fee : childcareFees)
        list += fee + QLatin1Char(',');
    settings.setValue(childcareKey(), list);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

namespace SettingsStore
{
std::unique_ptr<QSettings> open()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("invoiceconfig"));
}
} // namespace SettingsStore
