#pragma once

#include "rosterdocument.h"

#include <QAbstractTableModel>
#include <QVector>

// The children a query found, each pointing at its row in its class's
// document: the twelve roster columns read from there (as they change) and
// the class as a thirteenth. A row whose child is gone shows what it held.
class QueryResults : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setResults(const QVector<ChildRef> &children);
    const ChildRef &child(int row) const { return m_rows.at(row).child; }
    // The thirteen texts of a row.
    QStringList texts(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // A result is the child's own row: an edit goes to its class's roster
    // (the class column is not edited here, but with 班级管理).
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

private:
    struct Row {
        ChildRef child;
        ChildRecord seen; // as found, for when the child is gone
        QString className;
    };
    void documentChanged();
    QVector<Row> m_rows;
    QList<QMetaObject::Connection> m_connections;
};
