#pragma once

#include "ledger.h"

#include <QDialog>

class OfficeSession;
class QLabel;
class QTableWidget;

// "缴费记录": one child's account — charges, adjustments, payments and
// voids, oldest first — and what is owed (or paid ahead) month by month.
class AccountDialog : public QDialog
{
    Q_OBJECT
public:
    AccountDialog(OfficeSession &session, const QString &childId, const QString &name,
                  QWidget *parent);

    bool refresh();
    QTableWidget *table() const { return m_table; }
    QLabel *balance() const { return m_balance; }
    static QString balanceText(const QVector<LedgerEntry> &entries);

    // Opens the account of a roster row (nothing for a row without one).
    static void show(OfficeSession *session, const QString &childId, const QString &name,
                     QWidget *parent);

private:
    OfficeSession &m_session;
    QString m_childId;
    QTableWidget *m_table = nullptr;
    QLabel *m_balance = nullptr;
};
