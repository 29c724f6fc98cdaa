#pragma once

#include "absence.h"
#include "dbconfig.h"
#include "feesettings.h"

#include <QImage>
#include <QObject>
#include <QPointF>
#include <functional>

// The settings the office works with, in one place: the fee settings
// (prices, discount, clerk, childcare list), the printers' calibration and
// the database to open. changed() follows every load and save of the fees.
class OfficeSettings : public QObject
{
    Q_OBJECT
public:
    explicit OfficeSettings(QObject *parent = nullptr);

    // Reads the fee settings from the store and announces them.
    void load();
    // Stores the fee settings and reads them back; false (and the store's
    // file named in errorString()) when they could not be written.
    bool save(const FeeSettings &settings);
    QString errorString() const { return m_error; }

    const FeeSettings &fees() const { return m_fees; }
    // The signed-in user is the 经办人 of everything written here, in place
    // of the stored clerk (kept as it is, for the program without users).
    void setSignedIn(const QString &name);
    QString signedIn() const { return m_signedIn; }
    // Why the user may not change prices and rules, or empty.
    QString pricesRefusal() const { return m_gate ? m_gate() : QString(); }
    // Who may change prices and rules: empty when the user may, otherwise
    // why not; save() asks it first.
    void setGate(std::function<QString()> gate) { m_gate = std::move(gate); }
    FeeMirror mirror() const { return m_fees.mirror(); }
    // Why fees cannot be computed with these settings, or empty.
    QString feeProblem() const;

    // The database named in the store.
    static DbConfig database();

    // How receipts are paid unless the clerk says otherwise: the last way
    // chosen, 现金 at first.
    static QString paymentMethod();
    static void setPaymentMethod(const QString &method);

    // The rule of meal refunds for days absent (退费规则), as texts: the least
    // consecutive days, leave required, the amount per day, discount
    // applies, credited to the next month ("是"/"否" for the yes/no ones),
    // then tuition back after a long absence: the least consecutive days
    // with leave (0: none) and the share in percent.
    static QStringList refundRuleTexts();
    // The rule, or nullopt with why when a stored value is not usable.
    static std::optional<Absence::Rule> refundRule(QString *why = nullptr);
    static std::optional<Absence::TuitionRule> tuitionRule(QString *why = nullptr);
    // Stores the texts (all seven, or the first five) after checking them;
    // false with why otherwise.
    static bool setRefundRule(const QStringList &texts, QString *why);

    // The panel's default way of payment and refund rule stored, each
    // change said in valuesChanged() for the audit log; false with why when
    // the rule is not usable or cannot be stored.
    bool savePaymentAndRefundRule(const QString &method, const QStringList &rule, QString *why);

    // How parents pay, printed on every payment notice: the office's text
    // and an optional picture (the collection code), kept as PNG bytes so
    // that it does not depend on the file it came from.
    static QString noticeDetails();
    static QImage noticeImage();
    // Stores both (imagePath empty: the picture as it is; "-": none), said
    // in valuesChanged(); only who may change prices and rules may change
    // where parents send money. False with why.
    bool saveNoticeDetails(const QString &text, const QString &imagePath, QString *why);

    // A bank's statement columns, as chosen once for it ("time=0;amount=2…").
    static QString bankColumns(const QString &bank);
    static void setBankColumns(const QString &bank, const QString &columns);

    static QPointF calibration(const QString &printerName);
    static bool setCalibration(const QString &printerName, const QPointF &offset);

signals:
    void changed();
    // The clerk stored the settings ("应用并保存"): every total is computed
    // again, even where the settings are as they were.
    void saved();
    // What the clerk changed in a save, "伙食费每日价格：12.5 → 15" each.
    void valuesChanged(const QStringList &changes);

private:
    void applySignedIn();

    FeeSettings m_fees;
    QString m_error;
    QString m_signedIn;
    std::function<QString()> m_gate;
};
