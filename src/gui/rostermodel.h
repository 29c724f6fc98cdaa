#pragma once

#include "fees.h"
#include "roster.h"

#include <QStandardItemModel>
#include <QStringList>
#include <QVector>
#include <functional>

// The rows of one roster page (or of the query results): twelve texts per
// child, the child's class travelling as item data on the print-status
// cell.
class RosterModel : public QStandardItemModel
{
    Q_OBJECT
public:
    explicit RosterModel(QObject *parent);

    // One row's cells, absent cells as nullopt.
    Roster::Cells cells(int row) const;
    // The twelve texts of a row, empty for absent cells.
    QStringList rowTexts(int row) const;
    // Every row: the twelve texts and the class tag (defaultClass for a row
    // without one).
    QVector<QStringList> records(const QString &defaultClass) const;

    // Appends count rows, filled by fill(row); views hear of the block once.
    void appendRows(int count, const std::function<void(int row)> &fill);
    // Appends stored records, twelve texts each; a print status of another
    // month reads as not printed.
    void appendRecords(const QVector<QStringList> &records, const QString &className,
                       const QString &printedNow);
    // Stored records (twelve texts each) as they read once appended and
    // recomputed, with the class added: the month's print status, and
    // (when recompute) the clerk and total from the fee settings.
    static QVector<QStringList> asLoaded(const QVector<QStringList> &stored,
                                         const QString &className, const QString &printedNow,
                                         const FeeMirror &fees, bool recompute);

    // Rewrites one row's total from the fee settings, where it differs.
    void recomputeRow(int row, const FeeMirror &fees);
    // Rewrites every row's total and clerk from the fee settings.
    void recompute(const FeeMirror &fees);

    void setText(int row, int column, const QString &text);

    // What the clerk types: control characters (a pasted tab or line break,
    // a NUL) are left out, since no database may store them.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    void setPrintStatus(int row, const QString &status, const QString &className);

    // A new, unprinted row with the fee quantities of the row above and the
    // clerk; its number.
    int appendCopyOfLast(const QString &clerk, const QString &className);
    void removeRowsOf(const QModelIndexList &selected);
    // The rows of the selected cells move to the class when saved.
    void setClassTag(const QModelIndexList &selected, const QString &className);
    QList<int> rowNumbersWhere(int column, const QString &text) const;
    // Those rows as twelve texts and the class.
    QVector<QStringList> rowsWhere(int column, const QString &text, const QString &className) const;
    // A query result: thirteen texts, the class last.
    void appendResultRow(const QStringList &data);

signals:
    // A cell was changed through setData (typed in the table, pasted).
    void cellEdited(int row, int column);
};
