#pragma once

#include "accountservice.h"
#include "journal.h"
#include "ledger.h"

#include <QAbstractTableModel>
#include <QDialog>

class OfficeSession;
class QChartView;
class QComboBox;
class MonthPicker;
class QLabel;
class QLineEdit;
class QTableView;
class QTableWidget;

// The chart's amount axis: from 0 to top in ticks - 1 round steps (1, 2
// or 5 times a power of ten), at least to 100 元.
struct RoundAxis {
    double top = 0;
    int ticks = 0;
};
RoundAxis roundAxis(double highest);

// The month's receipts as a table: serial, time, class, child, total,
// clerk, reprint mark; under them a 合计 row of the receipts that took
// money (copies, voided and unprinted ones not counted).
class JournalModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setEntries(QVector<JournalEntry> entries);
    const QVector<JournalEntry> &entries() const { return m_entries; }
    // Whether the row is the 合计 row after the receipts.
    bool isTotalRow(int row) const { return row == m_entries.size() && !m_entries.isEmpty(); }
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QVector<JournalEntry> m_entries;
    int m_counted = 0;
    qint64 m_sum = 0;
};

// "收据记录": every receipt printed in a month, filtered by class and name,
// the month's count and total per class and in all, a bar chart of the
// totals, the export to a workbook and printing a receipt again.
class JournalDialog : public QDialog
{
    Q_OBJECT
public:
    JournalDialog(OfficeSession &session, QWidget *parent);

    // Loads the month ("yyyy-MM" of the date) from the database.
    bool showMonth(const QDate &month);
    const QVector<JournalEntry> &monthEntries() const { return m_month; }
    JournalModel *tableModel() const { return m_model; }
    QTableView *table() const { return m_table; }
    QComboBox *classFilter() const { return m_class; }
    QLineEdit *nameFilter() const { return m_name; }
    QLabel *totals() const { return m_totals; }
    QChartView *chart() const { return m_chart; }
    // The month's refunds, each with its own serial, under the receipts.
    QTableWidget *refundTable() const { return m_refundTable; }
    const QVector<LedgerEntry> &monthRefunds() const { return m_refunds; }

public slots:
    void exportMonth();
    void reprintSelected();
    // "作废": takes the selected receipt back, with a reason.
    void voidSelected();
    // "退款": money handed back for the selected receipt, with its own serial.
    void refundSelected();

private:
    void applyFilter();
    void showTotals();
    // The signed-in user may, or a 会计/园长 approves on the spot: the
    // approver (none needed) or nullopt when refused or cancelled.
    std::optional<std::optional<AccountService::Approver>> approval(Roles::Permission permission,
                                                                    const QString &what);

    OfficeSession &m_session;
    QVector<JournalEntry> m_month;
    QVector<LedgerEntry> m_refunds;
    QDate m_shown;
    JournalModel *m_model = nullptr;
    MonthPicker *m_monthEdit = nullptr;
    QComboBox *m_class = nullptr;
    QLineEdit *m_name = nullptr;
    QTableView *m_table = nullptr;
    QLabel *m_totals = nullptr;
    QChartView *m_chart = nullptr;
    QTableWidget *m_refundTable = nullptr;
};
