#pragma once

#include <QMap>
#include <QStringList>
#include <QWidget>
#include <memory>

class QComboBox;
class QSettings;
class QStandardItemModel;
class QTableView;

// The fee-settings panel: clerk, discount factor, prices and the childcare
// fee list, kept in the settings store and announced with expensesChange().
class configView : public QWidget
{
    Q_OBJECT
public:
    explicit configView(QWidget *parent = nullptr);

    // Reads every setting, refreshes the panel and emits expensesChange()
    // once, after everything has been read.
    void loadSettings();

    const QString &clerkName() const { return m_clerkName; }
    const QStringList &childcareFees() const { return m_childcareFees; }
    const QMap<int, float> &priceTable() const { return m_priceTable; }

    QTableView *tableView() const { return m_tableView; }
    QStandardItemModel *tableModel() const { return m_tableModel; }
    QComboBox *childcareCombo() const { return m_combo; }

    // The settings store: INI format, organisation "invoiceconfig", no
    // application name. On Linux the per-user file comes first and the
    // system-wide one is the fallback an administrator can provision.
    static std::unique_ptr<QSettings> openStore();

    static QStringList settingKeys();
    static QStringList settingCaptions();

public slots:
    void saveAll();
    void deleteComboBoxcurr();

signals:
    void expensesChange();

private:
    QString readSetting(const QString &key) const;
    bool writeSetting(const QString &key, const QString &value);
    void fillTable();

    QString m_clerkName;
    QStringList m_childcareFees;
    QMap<int, float> m_priceTable;
    QStringList m_keys;
    QMap<QString, QString> m_values;
    QStringList m_captions;
    QTableView *m_tableView = nullptr;
    QStandardItemModel *m_tableModel = nullptr;
    QComboBox *m_combo = nullptr;
};
