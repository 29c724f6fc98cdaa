#pragma once

#include "prompts.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// How a receipt's money is paid, at the window: 应收 as a fixed line, 实收
// typed with 找零 (cash) or 尚欠 (part) worked out as it is typed, the way of
// payment as a row of buttons with keys 1 … 5, the transaction number only
// for ways that have one. Enter prints, Esc cancels.
class PaymentDialog : public QDialog
{
    Q_OBJECT
public:
    PaymentDialog(const Prompts::Payment &payment, QWidget *parent);

    // The clerk's answer into payment (method, number, amount received).
    void fill(Prompts::Payment &payment) const;

    QString method() const;
    void choose(const QString &method);
    QPushButton *methodButton(const QString &method) const;
    QLineEdit *receivedEdit() const { return m_received; }
    QLineEdit *referenceEdit() const { return m_reference; }
    QLabel *dueLabel() const { return m_due; }
    // "找零 20.00 元", "部分缴费，尚欠 300.00 元", "收齐" …
    QLabel *changeLabel() const { return m_change; }
    QCheckBox *creditBox() const { return m_credit; }
    QPushButton *okButton() const { return m_ok; }

    // Whether the way of payment has a transaction number.
    static bool hasReference(const QString &method);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void update();

    Prompts::Payment m_payment;
    QButtonGroup *m_methods = nullptr;
    QLabel *m_due = nullptr;
    QLabel *m_change = nullptr;
    QLabel *m_referenceCaption = nullptr;
    QLineEdit *m_received = nullptr;
    QLineEdit *m_reference = nullptr;
    QCheckBox *m_credit = nullptr;
    QPushButton *m_ok = nullptr;
};
