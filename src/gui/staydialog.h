#pragma once

#include "staystore.h"

#include <QDialog>

class OfficeSession;
class QComboBox;
class QLabel;
class QSpinBox;
class QTableWidget;

// 插班退园: when children joined and left, the history of the chosen child,
// the rule for a part month's tuition, and the settling of a child who
// leaves (退园结算). Each change is a row of its own; billing and the
// receipts charge a part month from them.
class StayDialog : public QDialog
{
    Q_OBJECT
public:
    StayDialog(OfficeSession &session, QWidget *parent);

    bool refresh();
    // The commands, for the buttons (and tests).
    bool recordJoining(); // asks for the child and the day it joined
    bool settleLeaving(); // asks for the child, its last day and the way money goes back
    bool saveRule();      // the rule as the form says

    QTableWidget *table() const { return m_table; }
    QTableWidget *historyTable() const { return m_history; }
    QComboBox *ruleBox() const { return m_kind; }
    QSpinBox *fullBox() const { return m_full; }
    QSpinBox *halfBox() const { return m_half; }
    QLabel *summary() const { return m_summary; }
    // What the last settlement said to the clerk.
    QString lastSettlement() const { return m_settled; }

private:
    void showHistory(int row);
    bool said(const WriteResult &r, const QString &what);

    OfficeSession &m_session;
    QTableWidget *m_table = nullptr;
    QTableWidget *m_history = nullptr;
    QLabel *m_summary = nullptr;
    QComboBox *m_kind = nullptr;
    QSpinBox *m_full = nullptr;
    QSpinBox *m_half = nullptr;
    QVector<StayStore::Row> m_rows;
    QString m_settled;
};
