#pragma once

#include "childsearch.h"

#include <QWidget>
#include <memory>

class OfficeSession;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class ReceiptCommands;

// The cashier's desk above the rosters: find a child as the name or its
// initials are typed, see what the account says (this month's charges,
// 已收, 尚欠, credit, the last payments) and take the money with one button.
// Afterwards the search field is ready for the next parent. Beside it,
// today at a glance: the day's receipts, takings by way, children unpaid.
class Desk : public QWidget
{
    Q_OBJECT
public:
    Desk(OfficeSession &session, QWidget *parent);
    ~Desk() override;

    QLineEdit *searchEdit() const { return m_search; }
    QListWidget *matchList() const { return m_matches; }
    QLabel *card() const { return m_card; }
    QLabel *today() const { return m_today; }
    QPushButton *payButton() const { return m_pay; }
    // The child whose card is shown (invalid: none).
    const ChildRef &shown() const { return m_shown; }

public slots:
    void focusSearch();
    // Opens the chosen match's card.
    void openMatch();
    // 收款并打印 for the child shown: the payment of what is owed.
    void takePayment();
    // The card and today's figures read again.
    void refresh();

signals:
    void statusMessage(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void search(const QString &text);
    void showCard();
    void showToday();

    OfficeSession &m_session;
    ChildSearch m_finder;
    QVector<ChildSearch::Match> m_found;
    ChildRef m_shown;
    QLineEdit *m_search = nullptr;
    QListWidget *m_matches = nullptr;
    QLabel *m_card = nullptr;
    QLabel *m_today = nullptr;
    QPushButton *m_pay = nullptr;
    std::unique_ptr<ReceiptCommands> m_receipts;
};
