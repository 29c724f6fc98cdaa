#include "queryresults.h"

#include <QSet>

void QueryResults::setResults(const QVector<ChildRef> &children)
{
    beginResetModel();
    for (const auto &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    m_rows.clear();
    QSet<RosterDocument *> watched;
    for (const ChildRef &c : children) {
        const int r = c.row();
        if (r < 0)
            continue;
        m_rows << Row{c, c.document->record(r), c.document->className()};
        if (!watched.contains(c.document.data())) {
            watched.insert(c.document.data());
            m_connections << connect(c.document.data(), &QAbstractItemModel::dataChanged, this,
                                     &QueryResults::documentChanged);
        }
    }
    endResetModel();
}

void QueryResults::documentChanged()
{
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, Roster::ResultClass));
}

QStringList QueryResults::texts(int row) const
{
    const Row &r = m_rows.at(row);
    const int at = r.child.row();
    QStringList t = at >= 0 ? r.child.document->record(at).texts() : r.seen.texts();
    t.last() = r.className;
    return t;
}

int QueryResults::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int QueryResults::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Roster::ResultColumnCount;
}

QVariant QueryResults::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole) ||
        index.row() >= m_rows.size())
        return {};
    return texts(index.row()).value(index.column());
}

Qt::ItemFlags QueryResults::flags(const QModelIndex &index) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return Qt::NoItemFlags;
    const Qt::ItemFlags shown = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    const ChildRef &c = m_rows.at(index.row()).child;
    // A child that is gone, or the class column, shows only.
    if (index.column() >= Roster::ColumnCount || !c.document || c.row() < 0)
        return shown;
    return shown | Qt::ItemIsEditable;
}

bool QueryResults::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    const ChildRef &c = m_rows.at(index.row()).child;
    c.document->setData(c.document->index(c.row(), index.column()), value, role);
    return true;
}

QVariant QueryResults::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        if (section == Roster::ResultClass)
            return Roster::resultClassHeader();
        if (section >= 0 && section < Roster::ColumnCount)
            return QString::fromUtf16(Roster::columnNames()[size_t(section)].caption);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}
