#include "rostermodel.h"

#include <QSignalBlocker>

RosterModel::RosterModel(QObject *parent) : QStandardItemModel(parent) {}

Roster::Cells RosterModel::cells(int r) const
{
    Roster::Cells cells;
    const int columns = qMin(columnCount(), Roster::ResultColumnCount);
    for (int c = 0; c < columns; ++c)
        if (const QStandardItem *it = item(r, c))
            cells[c] = it->text();
    return cells;
}

QStringList RosterModel::rowTexts(int r) const
{
    QStringList texts;
    texts.reserve(Roster::ColumnCount);
    for (int c = 0; c < Roster::ColumnCount; ++c) {
        const QStandardItem *it = item(r, c);
        texts << (it ? it->text() : QString());
    }
    return texts;
}

QVector<QStringList> RosterModel::records(const QString &defaultClass) const
{
    QVector<QStringList> records;
    records.reserve(rowCount());
    for (int r = 0; r < rowCount(); ++r) {
        QStringList texts = rowTexts(r);
        // A row always carries its class; one without a tag stays in the
        // page's class rather than being stored nowhere.
        const QStandardItem *status = item(r, Roster::PrintStatus);
        const QVariant tag = status ? status->data(Roster::ClassTagRole) : QVariant();
        texts << (tag.isValid() ? tag.toString() : defaultClass);
        records << texts;
    }
    return records;
}

void RosterModel::appendRows(int count, const std::function<void(int row)> &fill)
{
    if (count <= 0)
        return;
    const int first = rowCount();
    setRowCount(first + count);
    {
        // Filling cell by cell would have the view react to every cell;
        // it hears of the whole block once instead.
        const QSignalBlocker blocker(this);
        for (int i = 0; i < count; ++i)
            fill(first + i);
    }
    emit dataChanged(index(first, 0), index(first + count - 1, columnCount() - 1));
}

void RosterModel::appendRecords(const QVector<QStringList> &records, const QString &className,
                                const QString &printedNow)
{
    const int first = rowCount();
    appendRows(int(records.size()), [&](int r) {
        const QStringList &rec = records.at(r - first);
        for (int c = 0; c < Roster::PrintStatus; ++c)
            setText(r, c, rec.value(c));
        // A receipt printed in an earlier month no longer counts.
        const QString stored = rec.value(Roster::PrintStatus);
        setPrintStatus(r, stored == printedNow ? stored : Roster::notPrinted(), className);
    });
}

void RosterModel::recompute(const FeeMirror &fees)
{
    const int rows = rowCount();
    if (rows == 0)
        return;
    {
        const QSignalBlocker blocker(this);
        for (int r = 0; r < rows; ++r) {
            const Roster::Cells row = cells(r);
            const qint32 total = Fees::rosterTotal(row, fees);
            setText(r, Roster::Clerk, fees.clerkName);
            if (Fees::totalCellNeedsRewrite(row[Roster::Total], total))
                setText(r, Roster::Total, QString::number(total));
        }
    }
    emit dataChanged(index(0, Roster::Total), index(rows - 1, Roster::Clerk));
}

void RosterModel::setText(int r, int c, const QString &text)
{
    // Changing an item in place costs the same for any row; replacing it
    // makes the model look the new item up among all of the roster's cells.
    if (QStandardItem *it = item(r, c)) {
        it->setText(text);
        return;
    }
    setItem(r, c, new QStandardItem(text));
}

void RosterModel::setPrintStatus(int r, const QString &status, const QString &className)
{
    auto *it = new QStandardItem(status);
    it->setData(className, Roster::ClassTagRole);
    setItem(r, Roster::PrintStatus, it);
}

bool RosterModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    QVariant stored = value;
    if ((role == Qt::EditRole || role == Qt::DisplayRole) && value.typeId() == QMetaType::QString &&
        Roster::hasControlCharacter(value.toString()))
        stored = Roster::withoutControlCharacters(value.toString());
    const bool changed = QStandardItemModel::setData(index, stored, role);
    if (changed && (role == Qt::EditRole || role == Qt::DisplayRole))
        emit cellEdited(index.row(), index.column());
    return changed;
}
