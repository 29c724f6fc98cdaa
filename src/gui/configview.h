#pragma once

#include "feesettings.h"

#include <QMap>
#include <QStringList>
#include <QWidget>

class QComboBox;
class QStandardItemModel;
class QTableView;

// The fee-settings panel: clerk, discount factor, prices and the childcare
// fee list. It edits a FeeSettings kept in the settings store and announces
// every load with expensesChange().
class configView : public QWidget
{
    Q_OBJECT
public:
    explicit configView(QWidget *parent = nullptr);

    // Reads every setting, refreshes the panel and emits expensesChange()
    // once, after everything has been read.
    void loadSettings();

    // The settings as last loaded (or kept after a failed save).
    const FeeSettings &settings() const { return m_settings; }
    QString clerkName() const { return m_settings.clerk(); }
    const QStringList &childcareFees() const { return m_settings.childcareFees; }
    QMap<int, float> priceTable() const { return m_settings.mirror().feePrices; }

    QTableView *tableView() const { return m_tableView; }
    QStandardItemModel *tableModel() const { return m_tableModel; }
    QComboBox *childcareCombo() const { return m_combo; }

    static QStringList settingKeys();
    static QStringList settingCaptions();

public slots:
    void saveAll();
    void deleteComboBoxcurr();

signals:
    void expensesChange();

private:
    void show(const FeeSettings &settings);
    void fillTable();
    FeeSettings edited() const;
    // Asks before storing a discount that is not between 0 and 1.
    bool confirmDiscount(const FeeSettings &settings);

    FeeSettings m_settings;
    QTableView *m_tableView = nullptr;
    QStandardItemModel *m_tableModel = nullptr;
    QComboBox *m_combo = nullptr;
};
