#pragma once

#include "feesettings.h"

#include <QMap>
#include <QStringList>
#include <QWidget>

class OfficeSettings;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QStandardItemModel;
class QTableView;

// The fee-settings panel: clerk, discount factor, prices and the childcare
// fee list. It edits the office's settings (its own when none is given) and
// announces every load with expensesChange().
class configView : public QWidget
{
    Q_OBJECT
public:
    explicit configView(QWidget *parent = nullptr);
    configView(OfficeSettings &settings, QWidget *parent);

    // Reads every setting, refreshes the panel and emits expensesChange()
    // once, after everything has been read.
    void loadSettings();
    // Shows the values again, editable as the signed-in user may.
    void refreshRights() { fillTable(); }

    // The settings as last loaded (or kept after a failed save).
    const FeeSettings &settings() const;
    QString clerkName() const { return settings().clerk(); }
    const QStringList &childcareFees() const { return settings().childcareFees; }
    QMap<int, float> priceTable() const { return settings().mirror().feePrices; }

    QTableView *tableView() const { return m_tableView; }
    QStandardItemModel *tableModel() const { return m_tableModel; }
    QComboBox *childcareCombo() const { return m_combo; }
    QComboBox *paymentCombo() const { return m_payment; }

    static QStringList settingKeys();
    static QStringList settingCaptions();

public slots:
    void saveAll();
    void deleteComboBoxcurr();

signals:
    void expensesChange();

private:
    void build();
    void show();
    void fillTable();
    void showRefundRule();
    void showPaymentMethod();
    // The refund rule as the panel shows it, as the settings keep it.
    QStringList shownRule() const;
    FeeSettings edited() const;
    // Why a stored value is shown red (not a number, an empty or
    // out-of-range discount), or empty.
    QString valueProblem(FeeSettings::Key key) const;
    // Asks before storing a discount that is not between 0 and 1.
    bool confirmDiscount(const FeeSettings &settings);

    OfficeSettings *m_settings = nullptr;
    QTableView *m_tableView = nullptr;
    QStandardItemModel *m_tableModel = nullptr;
    QComboBox *m_combo = nullptr;
    QComboBox *m_payment = nullptr;
    // The way of payment and the refund rule as last shown: what the clerk
    // did not change is not written back.
    QString m_shownMethod;
    QStringList m_shownRule;
    QLineEdit *m_refundMinDays = nullptr;
    QCheckBox *m_refundLeave = nullptr;
    QLineEdit *m_refundPerDay = nullptr;
    QCheckBox *m_refundDiscounted = nullptr;
    QComboBox *m_refundMode = nullptr;
    QLineEdit *m_tuitionDays = nullptr;
    QLineEdit *m_tuitionShare = nullptr;
};
