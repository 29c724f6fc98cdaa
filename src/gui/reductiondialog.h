#pragma once

#include "reductionstore.h"

#include <QDialog>

class OfficeSession;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTableWidget;

// 减免: the reduction types on the left with the form that makes or
// changes one, the children granted one on the right. Each change is a
// row of its own; billing and the receipts take them from the accounts.
class ReductionDialog : public QDialog
{
    Q_OBJECT
public:
    ReductionDialog(OfficeSession &session, QWidget *parent);

    bool refresh();
    // The form shows the type of that row of the table.
    void chooseType(int row);
    // The commands, for the buttons (and tests).
    bool newType();  // a new type from the form
    bool saveType(); // the chosen type changed as the form says
    bool withdrawType();
    bool grant(); // asks for the child, type, months and reason
    bool withdrawGrant();

    QTableWidget *typeTable() const { return m_types; }
    QTableWidget *grantTable() const { return m_grants; }
    QLineEdit *nameEdit() const { return m_name; }
    QLineEdit *valueEdit() const { return m_value; }
    QComboBox *kindBox() const { return m_kind; }
    QComboBox *orderBox() const { return m_order; }
    QSpinBox *siblingBox() const { return m_sibling; }
    QCheckBox *itemBox(int i) const { return m_items.value(i); }
    QLabel *summary() const { return m_summary; }

private:
    std::optional<Reductions::Type> fromForm();
    bool said(const WriteResult &r);

    OfficeSession &m_session;
    QTableWidget *m_types = nullptr;
    QTableWidget *m_grants = nullptr;
    QLabel *m_summary = nullptr;
    QLineEdit *m_name = nullptr;
    QLineEdit *m_value = nullptr;
    QComboBox *m_kind = nullptr;
    QComboBox *m_order = nullptr;
    QSpinBox *m_sibling = nullptr;
    QVector<QCheckBox *> m_items;
    QVector<Reductions::Type> m_typeList;
    QVector<ReductionStore::Grant> m_grantList;
};
