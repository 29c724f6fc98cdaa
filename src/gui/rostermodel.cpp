#include "rostermodel.h"

#include <QSet>
#include <QSignalBlocker>
#include <algorithm>

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

QVector<QStringList> RosterModel::asLoaded(const QVector<QStringList> &stored,
                                           const QString &className, const QString &printedNow,
                                           const FeeMirror &fees, bool recompute)
{
    QVector<QStringList> records;
    records.reserve(stored.size());
    for (const QStringList &s : stored) {
        QStringList r = s.mid(0, Roster::ColumnCount);
        while (r.size() < Roster::ColumnCount)
            r << QString();
        if (r.at(Roster::PrintStatus) != printedNow)
            r[Roster::PrintStatus] = Roster::notPrinted();
        if (recompute) {
            Roster::Cells cells;
            for (int c = 0; c < Roster::ColumnCount; ++c)
                cells[c] = r.at(c);
            const qint32 total = Fees::rosterTotal(cells, fees);
            r[Roster::Clerk] = fees.clerkName;
            if (Fees::totalCellNeedsRewrite(cells[Roster::Total], total))
                r[Roster::Total] = QString::number(total);
        }
        records << (r << className);
    }
    return records;
}

int RosterModel::appendCopyOfLast(const QString &clerk, const QString &className)
{
    const int n = rowCount();
    setRowCount(n + 1);
    for (int c = Roster::Age; n > 0 && c <= Roster::Insurance; ++c)
        if (const QStandardItem *above = item(n - 1, c))
            setItem(n, c, new QStandardItem(above->text()));
    setItem(n, Roster::Clerk, new QStandardItem(clerk));
    setPrintStatus(n, Roster::notPrinted(), className);
    return n;
}

void RosterModel::removeRowsOf(const QModelIndexList &selected)
{
    QSet<int> rows;
    for (const QModelIndex &index : selected)
        rows.insert(index.row());
    QList<int> ordered = rows.values();
    std::sort(ordered.begin(), ordered.end(), std::greater<int>());
    for (int r : ordered)
        removeRow(r);
}

void RosterModel::setClassTag(const QModelIndexList &selected, const QString &className)
{
    for (const QModelIndex &index : selected) {
        QStandardItem *status = item(index.row(), Roster::PrintStatus);
        if (!status) {
            status = new QStandardItem(QString());
            setItem(index.row(), Roster::PrintStatus, status);
        }
        status->setData(className, Roster::ClassTagRole);
    }
}

QList<int> RosterModel::rowNumbersWhere(int column, const QString &text) const
{
    QList<int> rows;
    for (int r = 0; r < rowCount(); ++r) {
        const QStandardItem *it = item(r, column);
        if (it && it->text() == text)
            rows << r;
    }
    return rows;
}

QVector<QStringList> RosterModel::rowsWhere(int column, const QString &text,
                                            const QString &className) const
{
    QVector<QStringList> rows;
    for (int r : rowNumbersWhere(column, text))
        rows << (rowTexts(r) << className);
    return rows;
}

void RosterModel::appendResultRow(const QStringList &data)
{
    const int n = rowCount();
    setColumnCount(Roster::ResultColumnCount);
    setHorizontalHeaderItem(Roster::ResultClass, new QStandardItem(Roster::resultClassHeader()));
    setRowCount(n + 1);
    for (int k = 0; k < Roster::ResultColumnCount; ++k)
        setItem(n, k, new QStandardItem(data.value(k)));
}

void RosterModel::recomputeRow(int r, const FeeMirror &fees)
{
    if (r < 0 || r >= rowCount())
        return;
    const Roster::Cells row = cells(r);
    const qint32 total = Fees::rosterTotal(row, fees);
    if (Fees::totalCellNeedsRewrite(row[Roster::Total], total))
        setText(r, Roster::Total, QString::number(total));
}
