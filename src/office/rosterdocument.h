#pragma once

#include "account.h"
#include "childrecord.h"
#include "fees.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QDateTime>
#include <QPointer>
#include <QSet>
#include <QUndoStack>
#include <QVector>
#include <functional>
#include <optional>

// One class's roster: the children as records, shown to views as a table of
// the twelve roster columns. Every change the clerk makes (adding, deleting,
// editing a cell, moving children to another class, importing names,
// recomputing fees) is a command on the document's undo stack, and the
// roster is modified when the stack is not at the index where it was last
// loaded or saved. Marking receipts printed is no command: paper is not
// taken back by undo.
class RosterDocument : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit RosterDocument(const QString &className, QObject *parent = nullptr);
    ~RosterDocument() override;

    QString className() const { return m_className; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // What a column's header says it counts, with today's price.
    QString columnTip(int column) const;
    // What the clerk types: control characters (a pasted tab or line break,
    // a NUL) are left out, since no database may store them; the row's
    // total follows.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // Beside the twelve roster columns, once an account source is set: the
    // month's 已收 and 尚欠 from each child's account, read-only and never
    // stored with the roster.
    static constexpr int ReceivedColumn = Roster::ColumnCount;
    static constexpr int OwedColumn = Roster::ColumnCount + 1;
    using AccountSource = std::function<std::optional<QHash<QString, Account::ChildMonth>>(
        const QStringList &childIds, QString *error)>;
    void setAccountSource(AccountSource source);
    bool hasAccountColumns() const { return bool(m_accountSource); }
    // The accounts changed: they are read again when next shown.
    void refreshAccounts();
    // A child's month as last read (nullopt for a child not stored yet, or
    // when the accounts cannot be read).
    std::optional<Account::ChildMonth> account(int row) const;

    int size() const { return int(m_rows.size()); }
    const ChildRecord &record(int row) const { return m_rows.at(row).record; }
    QVector<ChildRecord> records() const;
    // A row's identity for as long as this document holds the child: views
    // and print jobs keep it instead of a row number, which another PC's
    // save or a deletion may give to someone else.
    quint64 uid(int row) const { return m_rows.at(row).uid; }
    // The row of the child, or -1 when the document no longer holds it.
    int rowOf(quint64 uid) const;
    // A cell's text, or nullopt where the row has no such cell.
    Roster::Cell cell(int row, int column) const;
    // The cells as the fee rules read them.
    Roster::Cells cells(int row) const { return record(row).feeCells(); }

    // Replaces the whole roster with stored records: a print status of
    // another month reads as not printed and the fees are computed. Not a
    // command: the undo stack is emptied and the roster is unmodified. A
    // child with a receipt of the month on record (by identity) reads as
    // printed, whatever was saved.
    void load(QVector<ChildRecord> records, const QDateTime &now,
              const QSet<QString> &receipted = {});

    // The fee settings every total is computed with; problem says why they
    // cannot be used (a price that is not a number), or is empty.
    void setFees(const FeeMirror &fees, const QString &problem);
    const FeeMirror &fees() const { return m_fees; }
    QString feeProblem() const { return m_feeProblem; }
    // Recomputes every total and clerk; a command when anything changed.
    // Rows whose fees cannot be computed keep their totals.
    void recomputeFees();
    // Why rows' fees cannot be computed (see Fees::rowProblem), one reason
    // per row, in row order.
    QStringList uncomputable() const;
    // The background of a cell whose number counts as 0, or of a total that
    // could not be computed.
    static QColor problemColor();

    // Commands. A new, unprinted row with the fee quantities of the row
    // above and the clerk, its total computed; its number.
    int addRow();
    void removeRows(const QList<int> &rows);
    // The rows move to the class when the rosters are next saved.
    void moveToClass(const QList<int> &rows, const QString &className);
    // One new, unprinted child per name.
    void appendNames(const QStringList &names);
    // Children appended as they are (one command).
    void appendRecords(const QVector<ChildRecord> &records, const QString &text);
    // Sets a cell's text (an edit command, the total following).
    void setText(int row, int column, const QString &text);
    // The rows printed: not a command, and the changes before it can no
    // longer be undone; the roster is modified.
    void markPrinted(const QList<int> &rows, const QVector<QDateTime> &moments);

    QUndoStack *undoStack() { return &m_undo; }
    bool isModified() const { return !m_undo.isClean(); }
    void markSaved() { m_undo.setClean(); }

    // After a save: the children whose class is another one leave this
    // roster (they are stored with that class now), and children moved here
    // join it. Not commands; both rosters are unmodified afterwards.
    QVector<ChildRecord> takeMovedOut();
    void adopt(const QVector<ChildRecord> &records);
    // After a save: the keys the rows were stored under, in row order.
    void setStoredIds(const QVector<qint64> &ids);

    // Another PC saved this class while it held unsaved changes: the note
    // the views show, or empty.
    QString savedElsewhere() const { return m_savedElsewhere; }
    void setSavedElsewhere(const QString &note);

    // A document the session replaced: whoever still holds it must not act
    // on it.
    bool isRetired() const { return m_retired; }
    void retire() { m_retired = true; }

    struct Row {
        ChildRecord record;
        quint64 uid = 0;
    };

signals:
    void modifiedChanged(bool modified);
    void savedElsewhereChanged();
    // The rows were replaced by load() (another PC's save, a reload).
    void reloaded();

private:
    friend class RowChange;
    friend class RowInsertion;
    friend class RowRemoval;
    void insertRowsAt(int at, const QVector<Row> &rows);
    void removeRowsAt(const QList<int> &ascending);
    Row newRow() const;
    // The record with its total recomputed (when the fees are usable).
    void computeTotal(ChildRecord &record) const;
    void change(const QString &text, QVector<QPair<int, ChildRecord>> changes);
    QVariant accountData(int row, int column, int role) const;

    QString m_className;
    QVector<Row> m_rows;
    FeeMirror m_fees;
    QString m_feeProblem;
    bool m_feesSet = false;
    QUndoStack m_undo;
    QString m_savedElsewhere;
    bool m_retired = false;
    AccountSource m_accountSource;
    mutable QHash<QString, Account::ChildMonth> m_accounts;
    mutable bool m_accountsRead = false;
    mutable QString m_accountsError;
};

// A child as the query results and the print jobs hold it: its document and
// its identity there.
struct ChildRef {
    QPointer<RosterDocument> document;
    quint64 uid = 0;

    // The child's row, or -1 when its roster was replaced or it is gone.
    int row() const;
    bool isValid() const { return row() >= 0; }
};
