#pragma once

#include "roster.h"

#include <QString>
#include <QStringList>
#include <array>

// One child of a roster: the twelve roster texts (a cell may be absent,
// which several fee rules treat differently from an empty one), the class
// the child is in (or moves to at the next save) and, once stored, the row's
// key in the student table.
struct ChildRecord {
    std::array<Roster::Cell, Roster::ColumnCount> cells;
    QString className;
    qint64 id = 0; // 0: not stored yet
    // Who the child is, for as long as the child is on any roster: kept
    // through saves (which give the row a new key), moves and restarts. The
    // money on the child's account is booked under it.
    QString childId;

    // The text of a cell; empty for an absent one.
    QString text(int column) const;
    bool has(int column) const { return cells[size_t(column)].has_value(); }
    void set(int column, const QString &text) { cells[size_t(column)] = text; }

    // The cells as the fee rules read them; the class in the thirteenth.
    Roster::Cells feeCells() const;
    // The twelve texts and the class, for exports and messages.
    QStringList texts() const;
    // From stored texts: twelve texts (a null text is an absent cell) and
    // optionally the class as the thirteenth.
    static ChildRecord fromTexts(const QStringList &texts, const QString &className = {});

    // A new identity, for a child seen for the first time.
    static QString newChildId();

    // Equal in what is stored: cells and class (the key is the table's).
    bool sameContent(const ChildRecord &o) const
    {
        return cells == o.cells && className == o.className;
    }
};

namespace Roster
{
// The roster's columns, each named once: the caption a page shows and the
// column of the student table that stores it.
struct ColumnName {
    const char16_t *caption;
    const char16_t *stored;
};
const std::array<ColumnName, ColumnCount> &columnNames();
} // namespace Roster
