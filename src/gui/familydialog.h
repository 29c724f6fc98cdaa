#pragma once

#include "familyservice.h"
#include "rosterdocument.h"

#include <QDialog>
#include <memory>
#include <optional>

class OfficeSession;
class ReceiptCommands;
class QLabel;
class QTableWidget;

// 家庭: the families on the left (payer, phone, children, what they owe
// together), the chosen family's card on the right: each child's account
// and the family's total. Families are made, their payer changed, and
// children joined or taken out here.
class FamilyDialog : public QDialog
{
    Q_OBJECT
public:
    FamilyDialog(OfficeSession &session, QWidget *parent);
    ~FamilyDialog() override;

    // Reads the families again, keeping the one chosen; false when they
    // could not be read (said).
    bool refresh();
    bool choose(int row);
    // The commands, for the buttons (and tests): each asks what it needs.
    bool newFamily();
    bool editPayer();
    bool addChild();
    bool removeChild();
    // One payment for the family: each child whose account is owed this
    // month gets its receipt, after the clerk has seen who and how much.
    bool payForFamily();

    QTableWidget *familyTable() const { return m_families; }
    QTableWidget *cardTable() const { return m_card; }
    QLabel *summary() const { return m_summary; }
    const std::optional<FamilyService::Card> &card() const { return m_shown; }

private:
    bool said(const WriteResult &r, const QString &what);
    bool showCard(qint64 id);

    OfficeSession &m_session;
    QTableWidget *m_families = nullptr;
    QTableWidget *m_card = nullptr;
    QLabel *m_summary = nullptr;
    QVector<FamilyStore::Family> m_list;
    std::optional<FamilyService::Card> m_shown;
    QVector<ChildRef> m_paying;
    std::unique_ptr<ReceiptCommands> m_receipts;
};
