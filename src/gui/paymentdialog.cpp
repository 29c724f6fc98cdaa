#include "paymentdialog.h"

#include "journal.h"
#include "ledger.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

bool PaymentDialog::hasReference(const QString &method)
{
    return method != QStringLiteral("现金");
}

PaymentDialog::PaymentDialog(const Prompts::Payment &payment, QWidget *parent)
    : QDialog(parent), m_payment(payment)
{
    setObjectName(QStringLiteral("paymentDialog"));
    setWindowTitle(payment.refund ? QStringLiteral("退款方式") : QStringLiteral("收款"));
    auto *form = new QFormLayout(this);
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    const bool single = payment.dueFen > 0 && !payment.refund;

    m_due = new QLabel(QStringLiteral("%1 元").arg(Journal::yuan(payment.dueFen)), this);
    m_due->setObjectName(QStringLiteral("paymentDue"));
    QFont big = m_due->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    m_due->setFont(big);
    if (single)
        form->addRow(QStringLiteral("应收："), m_due);
    else
        m_due->hide();

    // The ways as buttons, each with its number key.
    auto *row = new QHBoxLayout;
    m_methods = new QButtonGroup(this);
    m_methods->setExclusive(true);
    const QStringList ways = Ledger::paymentMethods();
    for (int i = 0; i < ways.size(); ++i) {
        auto *b = new QPushButton(QStringLiteral("&%1 %2").arg(i + 1).arg(ways.at(i)), this);
        b->setObjectName(QStringLiteral("paymentMethod%1").arg(i + 1));
        b->setCheckable(true);
        b->setAutoDefault(false);
        b->setProperty("method", ways.at(i));
        m_methods->addButton(b, i);
        row->addWidget(b);
    }
    form->addRow(payment.refund ? QStringLiteral("退还方式：") : QStringLiteral("收款方式："), row);

    m_received = new QLineEdit(this);
    m_received->setObjectName(QStringLiteral("paymentReceived"));
    m_received->setPlaceholderText(QStringLiteral("收齐时不填；少收时填实收金额"));
    m_change = new QLabel(this);
    m_change->setObjectName(QStringLiteral("paymentChange"));
    m_credit = new QCheckBox(QStringLiteral("多收的钱不找零，记为预收"), this);
    m_credit->setObjectName(QStringLiteral("paymentCredit"));
    m_reference = new QLineEdit(this);
    m_reference->setObjectName(QStringLiteral("paymentReference"));
    m_reference->setPlaceholderText(QStringLiteral("转账或扫码的交易单号，可不填"));
    m_referenceCaption = new QLabel(QStringLiteral("交易单号："), this);
    for (QLineEdit *edit : {m_reference, m_received})
        edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(edit->placeholderText()) +
                              4 * edit->fontMetrics().averageCharWidth());
    if (single) {
        form->addRow(QStringLiteral("实收金额（元）："), m_received);
        form->addRow(QString(), m_change);
        form->addRow(QString(), m_credit);
        form->addRow(m_referenceCaption, m_reference);
    } else {
        for (QWidget *w : {static_cast<QWidget *>(m_received), static_cast<QWidget *>(m_change),
                           static_cast<QWidget *>(m_credit), static_cast<QWidget *>(m_reference),
                           static_cast<QWidget *>(m_referenceCaption)})
            w->hide();
    }

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setText(payment.refund ? QStringLiteral("确定") : QStringLiteral("打印收据"));
    m_ok->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // A way chosen, the next field: its number, or the amount.
    connect(m_methods, &QButtonGroup::idClicked, this, [this] {
        update();
        if (m_reference->isVisibleTo(this))
            m_reference->setFocus();
        else if (m_received->isVisibleTo(this))
            m_received->setFocus();
    });
    connect(m_received, &QLineEdit::textChanged, this, [this] { update(); });
    connect(m_credit, &QCheckBox::toggled, this, [this] { update(); });
    choose(payment.method);
    // The keys 1 … 5 choose the way first; the amount is typed after it.
    if (QAbstractButton *chosen = m_methods->checkedButton())
        chosen->setFocus();
}

void PaymentDialog::keyPressEvent(QKeyEvent *event)
{
    // 1 … 5 choose the way, unless they are being typed into a field.
    const int n = event->key() - Qt::Key_1;
    if (n >= 0 && n < m_methods->buttons().size() && !qobject_cast<QLineEdit *>(focusWidget()) &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        m_methods->button(n)->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

QPushButton *PaymentDialog::methodButton(const QString &method) const
{
    for (QAbstractButton *b : m_methods->buttons())
        if (b->property("method").toString() == method)
            return static_cast<QPushButton *>(b);
    return nullptr;
}

QString PaymentDialog::method() const
{
    const QAbstractButton *b = m_methods->checkedButton();
    return b ? b->property("method").toString() : Ledger::paymentMethods().first();
}

void PaymentDialog::choose(const QString &method)
{
    QPushButton *b = methodButton(method);
    if (!b)
        b = methodButton(Ledger::paymentMethods().first());
    b->setChecked(true);
    update();
}

void PaymentDialog::update()
{
    const bool single = m_payment.dueFen > 0 && !m_payment.refund;
    const bool number = single && hasReference(method());
    m_reference->setVisible(number);
    m_referenceCaption->setVisible(number);
    // 找零 and 尚欠 follow the way too.
    if (!single)
        return;
    const qint64 due = m_payment.dueFen;
    const QString typed = m_received->text().trimmed();
    bool over = false;
    QString text;
    if (typed.isEmpty()) {
        text = QStringLiteral("收齐 %1 元").arg(Journal::yuan(due));
    } else {
        QString why;
        const auto fen = Ledger::parseYuan(typed, &why);
        if (!fen)
            text = why;
        else if (*fen < due)
            text = QStringLiteral("部分缴费，尚欠 %1 元").arg(Journal::yuan(due - *fen));
        else if (*fen == due)
            text = QStringLiteral("收齐 %1 元").arg(Journal::yuan(due));
        else {
            over = true;
            const bool cash = method() == QStringLiteral("现金");
            text = cash && !m_credit->isChecked()
                       ? QStringLiteral("找零 %1 元").arg(Journal::yuan(*fen - due))
                       : QStringLiteral("多收 %1 元，记为预收").arg(Journal::yuan(*fen - due));
        }
    }
    m_change->setText(text);
    m_credit->setVisible(over && method() == QStringLiteral("现金"));
}

void PaymentDialog::fill(Prompts::Payment &payment) const
{
    payment.method = method();
    payment.reference = hasReference(payment.method) ? m_reference->text().trimmed() : QString();
    payment.received = m_received->text().trimmed();
    // Cash handed over beyond what is due comes back as change: the
    // receipt is for what was due.
    if (payment.method == QStringLiteral("现金") && !m_credit->isChecked() &&
        !payment.received.isEmpty()) {
        QString why;
        if (const auto fen = Ledger::parseYuan(payment.received, &why);
            fen && *fen > payment.dueFen)
            payment.received.clear();
    }
}
