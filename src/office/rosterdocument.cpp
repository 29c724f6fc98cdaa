#include "rosterdocument.h"

#include "journal.h"

#include <QAtomicInteger>
#include <QColor>
#include <QSet>
#include <QSignalBlocker>
#include <QUndoCommand>
#include <algorithm>

namespace
{
QAtomicInteger<quint64> uidCounter(1);

quint64 nextUid()
{
    return uidCounter.fetchAndAddRelaxed(1);
}
} // namespace

// Rows changed in place: each keeps its identity.
class RowChange : public QUndoCommand
{
public:
    RowChange(RosterDocument *doc, const QString &text, QVector<QPair<int, ChildRecord>> after)
        : QUndoCommand(text), m_doc(doc), m_after(std::move(after))
    {
        m_before.reserve(m_after.size());
        for (const auto &c : std::as_const(m_after))
            m_before << doc->m_rows.at(c.first).record;
    }
    void redo() override { apply(false); }
    void undo() override { apply(true); }

private:
    void apply(bool back)
    {
        if (m_after.isEmpty())
            return;
        int first = m_after.first().first, last = first;
        for (int i = 0; i < m_after.size(); ++i) {
            const int r = m_after.at(i).first;
            m_doc->m_rows[r].record = back ? m_before.at(i) : m_after.at(i).second;
            first = qMin(first, r);
            last = qMax(last, r);
        }
        emit m_doc->dataChanged(m_doc->index(first, 0),
                                m_doc->index(last, Roster::ColumnCount - 1));
    }
    RosterDocument *m_doc;
    QVector<QPair<int, ChildRecord>> m_after;
    QVector<ChildRecord> m_before;
};

class RowInsertion : public QUndoCommand
{
public:
    RowInsertion(RosterDocument *doc, const QString &text, int at,
                 QVector<RosterDocument::Row> rows)
        : QUndoCommand(text), m_doc(doc), m_at(at), m_rows(std::move(rows))
    {
    }
    void redo() override { m_doc->insertRowsAt(m_at, m_rows); }
    void undo() override
    {
        QList<int> rows;
        for (int i = 0; i < m_rows.size(); ++i)
            rows << m_at + i;
        m_doc->removeRowsAt(rows);
    }

private:
    RosterDocument *m_doc;
    int m_at;
    QVector<RosterDocument::Row> m_rows;
};

class RowRemoval : public QUndoCommand
{
public:
    RowRemoval(RosterDocument *doc, const QString &text, QList<int> ascending)
        : QUndoCommand(text), m_doc(doc), m_positions(std::move(ascending))
    {
        for (int r : m_positions)
            m_rows << doc->m_rows.at(r);
    }
    void redo() override { m_doc->removeRowsAt(m_positions); }
    void undo() override
    {
        for (int i = 0; i < m_positions.size(); ++i)
            m_doc->insertRowsAt(m_positions.at(i), {m_rows.at(i)});
    }

private:
    RosterDocument *m_doc;
    QList<int> m_positions;
    QVector<RosterDocument::Row> m_rows;
};

RosterDocument::RosterDocument(const QString &className, QObject *parent)
    : QAbstractTableModel(parent), m_className(className)
{
    connect(&m_undo, &QUndoStack::cleanChanged, this,
            [this](bool clean) { emit modifiedChanged(!clean); });
}

RosterDocument::~RosterDocument()
{
    // The stack empties itself as it goes; nobody hears of that from a
    // roster that is going away.
    QObject::disconnect(&m_undo, nullptr, this, nullptr);
}

int RosterDocument::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int RosterDocument::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Roster::ColumnCount + (m_accountSource ? 2 : 0);
}

void RosterDocument::setAccountSource(AccountSource source)
{
    const bool had = bool(m_accountSource);
    if (!had && source)
        beginInsertColumns({}, ReceivedColumn, OwedColumn);
    m_accountSource = std::move(source);
    if (!had && m_accountSource)
        endInsertColumns();
    refreshAccounts();
}

void RosterDocument::refreshAccounts()
{
    m_accountsRead = false;
    if (m_accountSource && !m_rows.isEmpty())
        emit dataChanged(index(0, ReceivedColumn), index(int(m_rows.size()) - 1, OwedColumn));
}

std::optional<Account::ChildMonth> RosterDocument::account(int row) const
{
    if (!m_accountSource || row < 0 || row >= m_rows.size())
        return std::nullopt;
    if (!m_accountsRead) {
        // Every child of the roster at once: a view asks cell by cell.
        QStringList ids;
        ids.reserve(m_rows.size());
        for (const Row &r : std::as_const(m_rows))
            if (!r.record.childId.isEmpty())
                ids << r.record.childId;
        m_accountsError.clear();
        const auto read = m_accountSource(ids, &m_accountsError);
        m_accounts = read.value_or(QHash<QString, Account::ChildMonth>());
        if (!read && m_accountsError.isEmpty())
            m_accountsError = QStringLiteral("无法读取");
        m_accountsRead = true;
    }
    const QString &id = m_rows.at(row).record.childId;
    if (id.isEmpty() || !m_accountsError.isEmpty())
        return std::nullopt;
    return m_accounts.value(id);
}

QVariant RosterDocument::accountData(int row, int column, int role) const
{
    switch (role) {
    case Qt::DisplayRole: {
        const auto month = account(row);
        if (!month)
            return {};
        return Journal::yuan(column == ReceivedColumn ? month->received
                                                      : qMax(qint64(0), month->owed()));
    }
    case Qt::TextAlignmentRole:
        return int(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        return QColor(240, 240, 240); // read-only: from the account
    case Qt::ToolTipRole: {
        const auto month = account(row);
        if (m_rows.at(row).record.childId.isEmpty())
            return QStringLiteral("新儿童：保存后显示账目");
        if (!month)
            return QStringLiteral("无法读取账目：%1").arg(m_accountsError);
        if (column == OwedColumn && month->charged.isEmpty())
            return QStringLiteral("本月还没有生成应收，也没有收据：账上没有欠费");
        if (column == OwedColumn && month->owed() < 0)
            return QStringLiteral("本月多交 %1 元").arg(Journal::yuan(-month->owed()));
        return column == ReceivedColumn
                   ? QStringLiteral("本月实收（已扣除作废和退款），来自儿童的账目")
                   : QStringLiteral("本月应收 %1 元，尚欠 %2 元，来自儿童的账目")
                         .arg(Journal::yuan(month->chargedTotal()),
                              Journal::yuan(qMax(qint64(0), month->owed())));
    }
    default:
        return {};
    }
}

Roster::Cell RosterDocument::cell(int row, int column) const
{
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= Roster::ColumnCount)
        return std::nullopt;
    return m_rows.at(row).record.cells[size_t(column)];
}

QVariant RosterDocument::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (index.column() >= Roster::ColumnCount)
        return accountData(index.row(), index.column(), role);
    const Roster::Cell c = cell(index.row(), index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return c ? QVariant(*c) : QVariant();
    case Qt::BackgroundRole:
    case Qt::ToolTipRole: {
        // A number that would count as 0 unnoticed is shown, and so is a
        // total that could not be computed, with the reason.
        QString why;
        if (c && Roster::isNumericColumn(index.column()) && !Roster::countsAsWritten(*c))
            why = Roster::notWholeNumberTip();
        else if (index.column() == Roster::Total && m_feeProblem.isEmpty())
            why = Fees::rowProblem(cells(index.row()), m_fees);
        if (why.isEmpty())
            return {};
        return role == Qt::ToolTipRole ? QVariant(why) : QVariant(problemColor());
    }
    default:
        return {};
    }
}

QColor RosterDocument::problemColor()
{
    return QColor(255, 205, 205);
}

QStringList RosterDocument::uncomputable() const
{
    QStringList reasons;
    if (!m_feeProblem.isEmpty())
        return reasons;
    for (const Row &r : std::as_const(m_rows)) {
        const QString why = Fees::rowProblem(r.record.feeCells(), m_fees);
        if (!why.isEmpty())
            reasons << why;
    }
    return reasons;
}

QVariant RosterDocument::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < Roster::ColumnCount)
        return QString::fromUtf16(Roster::columnNames()[size_t(section)].caption);
    if (orientation == Qt::Horizontal && role == Qt::ToolTipRole && section >= 0 &&
        section < Roster::ColumnCount)
        return columnTip(section);
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && m_accountSource &&
        (section == ReceivedColumn || section == OwedColumn))
        return section == ReceivedColumn ? QStringLiteral("已收") : QStringLiteral("尚欠");
    return QAbstractTableModel::headerData(section, orientation, role);
}

QString RosterDocument::columnTip(int column) const
{
    const auto price = [this](int index) {
        return QString::number(double(m_fees.price(index)), 'f', 2);
    };
    switch (column) {
    case Roster::Tuition:
        return m_fees.tuitionPrices.isEmpty()
                   ? QStringLiteral("每月保教费的金额（元）")
                   : QStringLiteral("每月保教费的金额（元），或从设置的保教费列表（%1）中选择")
                         .arg(m_fees.tuitionPrices.join(QStringLiteral("、")));
    case Roster::Accommodation:
        return QStringLiteral("住宿的月数，每月 %1 元").arg(price(Fees::AccommodationPrice));
    case Roster::Meals:
        return QStringLiteral("在园吃饭的天数，每天 %1 元").arg(price(Fees::MealPrice));
    case Roster::Bedding:
        return QStringLiteral("床上用品的套数，每套 %1 元").arg(price(Fees::BeddingPrice));
    case Roster::SchoolBus:
        return QStringLiteral("校车接送的份数，每份 %1 元").arg(price(Fees::SchoolBusPrice));
    case Roster::Insurance:
        return QStringLiteral("意外伤害保险的份数，每份 %1 元").arg(price(Fees::InsurancePrice));
    case Roster::Total:
        return QStringLiteral("按以上各项和折扣自动算出，不用填写");
    case Roster::Discount:
        return QStringLiteral("填 1 享受折扣（折扣率 %1），0 或空不享受")
            .arg(price(Fees::DiscountFactor));
    case Roster::Clerk:
        return QStringLiteral("经办人：算费时填为登录的人");
    case Roster::PrintStatus:
        return QStringLiteral("“否”是本月还没有打印收据，“05已打印”是 5 月打印过");
    default:
        return {};
    }
}

Qt::ItemFlags RosterDocument::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (index.column() >= Roster::ColumnCount)
        return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
}

bool RosterDocument::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || index.row() >= m_rows.size() ||
        index.column() >= Roster::ColumnCount)
        return false;
    setText(index.row(), index.column(), Roster::withoutControlCharacters(value.toString()));
    return true;
}

void RosterDocument::setText(int row, int column, const QString &text)
{
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= Roster::ColumnCount)
        return;
    const Roster::Cell &now = m_rows.at(row).record.cells[size_t(column)];
    if (now && *now == text)
        return;
    ChildRecord after = m_rows.at(row).record;
    after.set(column, text);
    // A total follows its row as the clerk types; one typed over is put
    // back to what the receipt charges.
    if (column != Roster::Clerk && column != Roster::PrintStatus)
        computeTotal(after);
    change(QStringLiteral("编辑"), {{row, after}});
}

QVector<ChildRecord> RosterDocument::records() const
{
    QVector<ChildRecord> list;
    list.reserve(m_rows.size());
    for (const Row &r : std::as_const(m_rows))
        list << r.record;
    return list;
}

int RosterDocument::rowOf(quint64 uid) const
{
    for (int r = 0; r < m_rows.size(); ++r)
        if (m_rows.at(r).uid == uid)
            return r;
    return -1;
}

void RosterDocument::computeTotal(ChildRecord &record) const
{
    if (!m_feeProblem.isEmpty())
        return;
    // A row with a cell, list entry or discount that would count as 0 keeps
    // its total until it is mended.
    const Roster::Cells cells = record.feeCells();
    if (!Fees::rowProblem(cells, m_fees).isEmpty())
        return;
    const qint32 total = Fees::rosterTotal(cells, m_fees);
    if (Fees::totalCellNeedsRewrite(record.cells[Roster::Total], total))
        record.set(Roster::Total, QString::number(total));
}

void RosterDocument::change(const QString &text, QVector<QPair<int, ChildRecord>> changes)
{
    if (!changes.isEmpty())
        m_undo.push(new RowChange(this, text, std::move(changes)));
}

void RosterDocument::load(QVector<ChildRecord> records, const QDateTime &now,
                          const QSet<QString> &receipted)
{
    const QString printedNow = Roster::printedStatus(now);
    beginResetModel();
    m_accountsRead = false;
    m_rows.clear();
    m_rows.reserve(records.size());
    for (ChildRecord &rec : records) {
        // A child stored before identities were kept gets one now; it is
        // stored with the next save or billing.
        if (rec.childId.isEmpty())
            rec.childId = ChildRecord::newChildId();
        // A receipt printed in an earlier month no longer counts.
        if (receipted.contains(rec.childId))
            rec.set(Roster::PrintStatus, printedNow);
        else if (rec.text(Roster::PrintStatus) != printedNow || !rec.has(Roster::PrintStatus))
            rec.set(Roster::PrintStatus, Roster::notPrinted());
        if (m_feeProblem.isEmpty()) {
            rec.set(Roster::Clerk, m_fees.clerkName);
            computeTotal(rec);
        }
        m_rows.push_back(Row{std::move(rec), nextUid()});
    }
    endResetModel();
    m_undo.clear();
    setSavedElsewhere(QString());
    emit reloaded();
}

void RosterDocument::setFees(const FeeMirror &fees, const QString &problem)
{
    // The same settings read again change nothing.
    if (m_feesSet && fees == m_fees && problem == m_feeProblem)
        return;
    m_feesSet = true;
    m_fees = fees;
    m_feeProblem = problem;
    // A setting that is not a number is never charged as 0: the rows keep
    // their totals and printing waits until it is mended.
    if (m_feeProblem.isEmpty())
        recomputeFees();
}

void RosterDocument::recomputeFees()
{
    if (!m_feeProblem.isEmpty())
        return;
    QVector<QPair<int, ChildRecord>> changes;
    for (int r = 0; r < m_rows.size(); ++r) {
        ChildRecord rec = m_rows.at(r).record;
        rec.set(Roster::Clerk, m_fees.clerkName);
        computeTotal(rec);
        if (!rec.sameContent(m_rows.at(r).record))
            changes.append({r, std::move(rec)});
    }
    change(QStringLiteral("重新计算费用"), std::move(changes));
}

RosterDocument::Row RosterDocument::newRow() const
{
    Row row;
    row.uid = nextUid();
    row.record.className = m_className;
    row.record.childId = ChildRecord::newChildId();
    row.record.set(Roster::PrintStatus, Roster::notPrinted());
    return row;
}

int RosterDocument::addRow()
{
    Row row = newRow();
    if (!m_rows.isEmpty()) {
        const ChildRecord &above = m_rows.last().record;
        for (int c = Roster::Age; c <= Roster::Insurance; ++c)
            row.record.cells[size_t(c)] = above.cells[size_t(c)];
    }
    row.record.set(Roster::Clerk, m_fees.clerkName);
    // A new row is never saved without its total.
    computeTotal(row.record);
    const int at = int(m_rows.size());
    m_undo.push(new RowInsertion(this, QStringLiteral("添加"), at, {row}));
    return at;
}

void RosterDocument::removeRows(const QList<int> &rows)
{
    QList<int> ascending;
    for (int r : QSet<int>(rows.begin(), rows.end()))
        if (r >= 0 && r < m_rows.size())
            ascending << r;
    if (ascending.isEmpty())
        return;
    std::sort(ascending.begin(), ascending.end());
    m_undo.push(new RowRemoval(this, QStringLiteral("删除"), ascending));
}

void RosterDocument::moveToClass(const QList<int> &rows, const QString &className)
{
    QVector<QPair<int, ChildRecord>> changes;
    for (int r : QSet<int>(rows.begin(), rows.end())) {
        if (r < 0 || r >= m_rows.size() || m_rows.at(r).record.className == className)
            continue;
        ChildRecord rec = m_rows.at(r).record;
        rec.className = className;
        changes.append({r, rec});
    }
    std::sort(changes.begin(), changes.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    change(QStringLiteral("调班"), std::move(changes));
}

void RosterDocument::appendNames(const QStringList &names)
{
    QVector<ChildRecord> records;
    records.reserve(names.size());
    for (const QString &name : names) {
        ChildRecord r = newRow().record;
        r.set(Roster::Name, name);
        // The clerk reading the list, as for a row typed in: its receipt
        // names who took the money.
        if (m_feeProblem.isEmpty() && !m_fees.clerkName.isEmpty())
            r.set(Roster::Clerk, m_fees.clerkName);
        records << r;
    }
    appendRecords(records, QStringLiteral("读取名单"));
}

void RosterDocument::appendRecords(const QVector<ChildRecord> &records, const QString &text)
{
    if (records.isEmpty())
        return;
    QVector<Row> rows;
    rows.reserve(records.size());
    for (const ChildRecord &r : records) {
        rows << Row{r, nextUid()};
        if (rows.last().record.childId.isEmpty())
            rows.last().record.childId = ChildRecord::newChildId();
    }
    m_undo.push(new RowInsertion(this, text, int(m_rows.size()), rows));
}

void RosterDocument::markPrinted(const QList<int> &rows, const QVector<QDateTime> &moments)
{
    // A receipt on paper is not taken back by undo: the marks are written
    // as they are, and nothing done before them can be undone past them
    // (an undone edit would bring the old print status back).
    int first = -1, last = -1;
    for (int i = 0; i < rows.size() && i < moments.size(); ++i) {
        const int r = rows.at(i);
        if (r < 0 || r >= m_rows.size())
            continue;
        m_rows[r].record.set(Roster::PrintStatus, Roster::printedStatus(moments.at(i)));
        first = first < 0 ? r : qMin(first, r);
        last = qMax(last, r);
    }
    if (first < 0)
        return;
    emit dataChanged(index(first, 0), index(last, Roster::ColumnCount - 1));
    const QSignalBlocker quiet(&m_undo);
    m_undo.clear();
    m_undo.resetClean();
    emit modifiedChanged(true);
}

void RosterDocument::insertRowsAt(int at, const QVector<Row> &rows)
{
    if (rows.isEmpty())
        return;
    beginInsertRows({}, at, at + int(rows.size()) - 1);
    m_rows.insert(at, rows.size(), Row());
    for (int i = 0; i < rows.size(); ++i)
        m_rows[at + i] = rows.at(i);
    endInsertRows();
}

void RosterDocument::removeRowsAt(const QList<int> &ascending)
{
    // Contiguous blocks from the end, so that the earlier numbers hold.
    int i = int(ascending.size()) - 1;
    while (i >= 0) {
        int j = i;
        while (j > 0 && ascending.at(j - 1) == ascending.at(j) - 1)
            --j;
        const int first = ascending.at(j), last = ascending.at(i);
        beginRemoveRows({}, first, last);
        m_rows.remove(first, last - first + 1);
        endRemoveRows();
        i = j - 1;
    }
}

QVector<ChildRecord> RosterDocument::takeMovedOut()
{
    QVector<ChildRecord> moved;
    QList<int> rows;
    for (int r = 0; r < m_rows.size(); ++r)
        if (m_rows.at(r).record.className != m_className) {
            rows << r;
            moved << m_rows.at(r).record;
        }
    if (rows.isEmpty())
        return moved;
    removeRowsAt(rows);
    m_undo.clear();
    return moved;
}

void RosterDocument::adopt(const QVector<ChildRecord> &records)
{
    if (records.isEmpty())
        return;
    QVector<Row> rows;
    for (const ChildRecord &r : records)
        rows << Row{r, nextUid()};
    m_accountsRead = false;
    insertRowsAt(int(m_rows.size()), rows);
    m_undo.clear();
}

void RosterDocument::setStoredIds(const QVector<qint64> &ids)
{
    for (int r = 0; r < m_rows.size() && r < ids.size(); ++r)
        m_rows[r].record.id = ids.at(r);
}

void RosterDocument::setSavedElsewhere(const QString &note)
{
    if (note == m_savedElsewhere)
        return;
    m_savedElsewhere = note;
    emit savedElsewhereChanged();
}

int ChildRef::row() const
{
    if (!document || document->isRetired())
        return -1;
    return document->rowOf(uid);
}
