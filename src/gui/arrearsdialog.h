#pragma once

#include "ledger.h"

#include <QAbstractTableModel>
#include <QDialog>

class OfficeSession;
class QLabel;
class QTableView;

// The children owing anything, one row each: class, name, the months owed
// and the amount; a 合计 row last.
class ArrearsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    static constexpr int Columns = 4;
    static QString header(int column);
    static QString cellText(const Ledger::Owing &owing, int column);

    void setOwing(QVector<Ledger::Owing> owing);
    const QVector<Ledger::Owing> &owing() const { return m_owing; }
    bool isTotalRow(int row) const { return row == m_owing.size() && !m_owing.isEmpty(); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QVector<Ledger::Owing> m_owing;
    qint64 m_sum = 0;
};

// "欠费": who owes, per class, with totals, and the export of the list.
class ArrearsDialog : public QDialog
{
    Q_OBJECT
public:
    ArrearsDialog(OfficeSession &session, QWidget *parent);

    // Reads the accounts again.
    bool refresh();
    // Writes <YYYYMM>欠费名单.xlsx into a folder the clerk chooses.
    void exportList();

    QTableView *table() const { return m_table; }
    ArrearsModel *model() const { return m_model; }
    QLabel *totals() const { return m_totals; }

private:
    OfficeSession &m_session;
    ArrearsModel *m_model = nullptr;
    QTableView *m_table = nullptr;
    QLabel *m_totals = nullptr;
};
