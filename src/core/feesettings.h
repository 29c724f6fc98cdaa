#pragma once

#include "fees.h"

#include <QString>
#include <QStringList>
#include <array>
#include <memory>
#include <optional>

class QSettings;

// The fee settings as the clerk keeps them: the clerk's name, the discount
// factor, five prices and the childcare fee list. The texts are held as
// written, so that a value that is not a number can be shown and refused
// instead of being charged as 0.
struct FeeSettings {
    enum Key { Clerk, Discount, Accommodation, Meals, Bedding, SchoolBus, Insurance, KeyCount };

    std::array<QString, KeyCount> texts;
    QStringList childcareFees;

    // The settings keys ("name", "a" … "f") and the panel's captions.
    static QString keyName(Key key);
    static QString caption(Key key);
    static QString childcareKey() { return QStringLiteral("bjcombox"); }

    QString clerk() const { return texts[Clerk]; }
    // The number of a price or of the discount; nullopt when its text is not
    // a finite number (an empty text is 0, as it has always been).
    std::optional<float> number(Key key) const;
    // The first price or factor whose text is not a usable number, or
    // KeyCount when all are.
    Key firstInvalid() const;

    // "设置“住宿费价格”的值“abc”不是有效的数字……", for the clerk.
    static QString problem(const FeeSettings &settings, Key key);

    // The roster pages' copy: feePrices 0 discount … 5 insurance.
    FeeMirror mirror() const;

    // Reads and writes the store's keys; toSettings writes the childcare list
    // as one quoted text "800,900,".
    static FeeSettings fromSettings(QSettings &settings);
    bool toSettings(QSettings &settings) const;

    bool operator==(const FeeSettings &o) const
    {
        return texts == o.texts && childcareFees == o.childcareFees;
    }
    bool operator!=(const FeeSettings &o) const { return !(*this == o); }
};

namespace SettingsStore
{
// The settings store: INI format, organisation "invoiceconfig", no
// application name. On Linux the per-user file comes first and the
// system-wide one is the fallback an administrator can provision.
std::unique_ptr<QSettings> open();
} // namespace SettingsStore
