#include "desk.h"

#include "clock.h"
#include "journal.h"
#include "ledger.h"
#include "officesession.h"
#include "officesettings.h"
#include "receiptcommands.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{
QString yuan(qint64 fen)
{
    return Journal::yuan(fen) + QStringLiteral(" 元");
}
} // namespace

Desk::Desk(OfficeSession &session, QWidget *parent) : QWidget(parent), m_session(session)
{
    setObjectName(QStringLiteral("desk"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(4, 4, 4, 4);
    auto *left = new QVBoxLayout;
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("deskSearch"));
    m_search->setPlaceholderText(QStringLiteral("查找儿童：姓名的一部分或拼音首字母（Ctrl+F）"));
    m_search->setClearButtonEnabled(true);
    m_search->setMinimumWidth(
        m_search->fontMetrics().horizontalAdvance(m_search->placeholderText()) + 40);
    m_matches = new QListWidget(this);
    m_matches->setObjectName(QStringLiteral("deskMatches"));
    m_matches->setMaximumHeight(m_matches->fontMetrics().height() * 6);
    left->addWidget(m_search);
    left->addWidget(m_matches);
    row->addLayout(left);

    auto *middle = new QVBoxLayout;
    m_card = new QLabel(QStringLiteral("输入姓名找到儿童后，这里显示本月应收、已收和尚欠。"), this);
    m_card->setObjectName(QStringLiteral("deskCard"));
    m_card->setWordWrap(true);
    m_card->setTextFormat(Qt::PlainText);
    m_card->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_pay = new QPushButton(QStringLiteral("收款并打印 (Ctrl+P)"), this);
    m_pay->setObjectName(QStringLiteral("deskPay"));
    m_pay->setEnabled(false);
    middle->addWidget(m_card, 1);
    middle->addWidget(m_pay);
    row->addLayout(middle, 1);

    m_today = new QLabel(this);
    m_today->setObjectName(QStringLiteral("deskToday"));
    m_today->setTextFormat(Qt::PlainText);
    m_today->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    row->addWidget(m_today);

    m_receipts = std::make_unique<ReceiptCommands>(
        this, &m_session, [this] { return m_shown.isValid() ? 1 : 0; },
        [this](int) { return m_shown; }, [this](const QString &t) { emit statusMessage(t); });

    connect(m_search, &QLineEdit::textChanged, this, &Desk::search);
    connect(m_search, &QLineEdit::returnPressed, this, &Desk::openMatch);
    connect(m_matches, &QListWidget::itemActivated, this, &Desk::openMatch);
    connect(m_pay, &QPushButton::clicked, this, &Desk::takePayment);
    m_search->installEventFilter(this);
    showToday();
}

Desk::~Desk() = default;

void Desk::focusSearch()
{
    m_search->setFocus();
    m_search->selectAll();
}

bool Desk::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_search && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const int count = m_matches->count();
        if ((key == Qt::Key_Down || key == Qt::Key_Up) && count > 0) {
            const int now = m_matches->currentRow();
            m_matches->setCurrentRow(key == Qt::Key_Down ? qMin(now + 1, count - 1)
                                                         : qMax(now - 1, 0));
            return true;
        }
        if (key == Qt::Key_Escape) {
            m_search->clear();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Desk::search(const QString &text)
{
    m_found = m_finder.find(m_session.documents(), text);
    m_matches->clear();
    for (const ChildSearch::Match &m : std::as_const(m_found))
        m_matches->addItem(QStringLiteral("%1（%2）").arg(m.name, m.className));
    if (!m_found.isEmpty())
        m_matches->setCurrentRow(0);
    else if (!text.trimmed().isEmpty())
        m_matches->addItem(QStringLiteral("没有找到“%1”").arg(text.trimmed()));
}

void Desk::openMatch()
{
    const int row = m_matches->currentRow();
    if (row < 0 || row >= m_found.size())
        return;
    m_shown = m_found.at(row).child;
    showCard();
    m_pay->setFocus();
}

void Desk::showCard()
{
    const int row = m_shown.row();
    m_pay->setEnabled(row >= 0);
    if (row < 0) {
        m_card->setText(QStringLiteral("这名儿童已不在花名册上。"));
        return;
    }
    RosterDocument *doc = m_shown.document;
    const ChildRecord &rec = doc->record(row);
    QStringList lines;
    lines << QStringLiteral("%1　%2　%3")
                 .arg(rec.text(Roster::Name), doc->className(),
                      QStringLiteral("本月 %1").arg(Journal::month(Clock::now())));
    const auto account = doc->account(row);
    if (!account) {
        lines << QStringLiteral("账目读不出来：请检查数据库连接。");
    } else {
        QStringList items;
        for (auto it = account->charged.cbegin(); it != account->charged.cend(); ++it)
            if (it.value() != 0)
                items << QStringLiteral("%1 %2").arg(it.key(), Journal::yuan(it.value()));
        lines << (items.isEmpty()
                      ? QStringLiteral("本月还没有应收（请先“生成本月应收”）")
                      : QStringLiteral("应收：%1，合计 %2")
                            .arg(items.join(QStringLiteral("，")), yuan(account->chargedTotal())));
        lines << QStringLiteral("已收 %1　尚欠 %2　预收余额 %3")
                     .arg(yuan(account->received), yuan(qMax<qint64>(0, account->owed())),
                          yuan(account->credit));
    }
    if (!rec.childId.isEmpty()) {
        QString error;
        const auto entries = m_session.reports().account(rec.childId, &error);
        QStringList paid;
        if (entries)
            for (auto it = entries->crbegin(); it != entries->crend() && paid.size() < 3; ++it)
                if (it->kind == LedgerEntry::Payment)
                    paid << QStringLiteral("%1 %2 %3 %4")
                                .arg(it->receiptSerial,
                                     it->at.toString(QStringLiteral("yyyy-MM-dd")),
                                     yuan(-it->amount), it->method);
        lines << (paid.isEmpty() ? QStringLiteral("还没有收据")
                                 : QStringLiteral("最近收据：") + paid.join(QStringLiteral("；")));
    }
    m_card->setText(lines.join(QLatin1Char('\n')));
}

void Desk::takePayment()
{
    if (!m_shown.isValid())
        return;
    m_receipts->printSelected(0);
    refresh();
    // The next parent.
    m_search->clear();
    focusSearch();
}

void Desk::refresh()
{
    if (m_shown.document)
        showCard();
    showToday();
}

void Desk::showToday()
{
    const auto me = m_session.access().user();
    if (!me) {
        m_today->clear();
        return;
    }
    QString error;
    const QDate day = Clock::now().date();
    const auto report = m_session.reports().dayReport(
        day, me->name.isEmpty() ? m_session.settings().fees().clerk() : me->name, &error);
    QStringList lines{QStringLiteral("今天（%1）").arg(day.toString(QStringLiteral("M月d日")))};
    if (report) {
        int receipts = 0;
        for (const DayReport::Row &r : report->rows)
            receipts += r.paid != 0 ? 1 : 0;
        lines << QStringLiteral("收据 %1 张，实收 %2").arg(receipts).arg(yuan(report->received));
        for (auto it = report->byMethod.cbegin(); it != report->byMethod.cend(); ++it)
            lines << QStringLiteral("  %1 %2").arg(it.key(), yuan(it.value()));
    }
    // One reading of every account, not one per class after each write.
    if (const auto unpaid = m_session.childrenOwing())
        lines << QStringLiteral("本月未缴清 %1 名儿童").arg(*unpaid);
    else
        lines << QStringLiteral("本月未缴清的儿童：账目读不出来");
    m_today->setText(lines.join(QLatin1Char('\n')));
}
