#include "familydialog.h"

#include "childchoice.h"
#include "journal.h"
#include "officesession.h"
#include "officesettings.h"
#include "prompts.h"
#include "receiptcommands.h"
#include "receiptplan.h"
#include "reporttable.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace
{
QStringList cardHeader()
{
    return {QStringLiteral("班级"), QStringLiteral("姓名"), QStringLiteral("欠费（元）"),
            QStringLiteral("预收（元）"), QStringLiteral("余额（元）")};
}
} // namespace

FamilyDialog::~FamilyDialog() = default;

FamilyDialog::FamilyDialog(OfficeSession &session, QWidget *parent)
    : QDialog(parent), m_session(session)
{
    setWindowTitle(QStringLiteral("家庭"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(980, 560);
    auto *layout = new QVBoxLayout(this);
    auto *buttons = new QHBoxLayout;
    auto *create = ReportTable::button(this, buttons, QStringLiteral("新建家庭…"), "familyNew");
    auto *payer = ReportTable::button(this, buttons, QStringLiteral("修改付款人…"), "familyPayer");
    auto *add = ReportTable::button(this, buttons, QStringLiteral("加入儿童…"), "familyAdd");
    auto *remove = ReportTable::button(this, buttons, QStringLiteral("移出儿童"), "familyRemove");
    auto *pay = ReportTable::button(this, buttons, QStringLiteral("全家收款并打印…"), "familyPay");
    pay->setToolTip(QStringLiteral("一次收款：本月有应收的每名儿童各打印一张收据"));
    buttons->addStretch(1);
    layout->addLayout(buttons);
    m_summary = ReportTable::summary(this, "familySummary");
    layout->addWidget(m_summary);
    auto *tables = new QHBoxLayout;
    m_families = ReportTable::create(this, QStringLiteral("familyList"));
    m_families->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_families->setSelectionMode(QAbstractItemView::SingleSelection);
    m_card = ReportTable::create(this, QStringLiteral("familyCard"));
    m_card->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_card->setSelectionMode(QAbstractItemView::SingleSelection);
    tables->addWidget(m_families, 2);
    tables->addWidget(m_card, 3);
    layout->addLayout(tables, 1);
    connect(create, &QPushButton::clicked, this, [this] { newFamily(); });
    connect(payer, &QPushButton::clicked, this, [this] { editPayer(); });
    connect(add, &QPushButton::clicked, this, [this] { addChild(); });
    connect(remove, &QPushButton::clicked, this, [this] { removeChild(); });
    connect(pay, &QPushButton::clicked, this, [this] { payForFamily(); });
    m_receipts = std::make_unique<ReceiptCommands>(
        this, &m_session, [this] { return int(m_paying.size()); },
        [this](int r) { return m_paying.value(r); },
        [this](const QString &t) { m_summary->setText(t); });
    connect(m_families, &QTableWidget::currentCellChanged, this, [this](int row) { choose(row); });
    refresh();
}

bool FamilyDialog::refresh()
{
    QString error;
    const auto list = m_session.families().families(&error);
    if (!list) {
        Prompts::error(this, QStringLiteral("无法读取家庭"), QString(), error);
        return false;
    }
    const qint64 shown = m_shown ? m_shown->family.id : 0;
    m_list = *list;
    QVector<QStringList> rows{
        {QStringLiteral("付款人"), QStringLiteral("电话"), QStringLiteral("儿童")}};
    int current = -1;
    for (int i = 0; i < m_list.size(); ++i) {
        const FamilyStore::Family &f = m_list.at(i);
        QStringList names;
        for (const FamilyStore::Member &m : f.members)
            names << m.name;
        rows << QStringList{f.payer, f.phone, names.join(QStringLiteral("、"))};
        if (f.id == shown)
            current = i;
    }
    {
        const QSignalBlocker quiet(m_families);
        ReportTable::fill(m_families, rows);
    }
    if (m_list.isEmpty()) {
        m_shown.reset();
        ReportTable::fill(m_card, {cardHeader()});
        m_summary->setText(QStringLiteral("还没有家庭：用“新建家庭…”登记付款人，再加入儿童。"));
        return true;
    }
    return choose(current < 0 ? 0 : current);
}

bool FamilyDialog::choose(int row)
{
    if (row < 0 || row >= m_list.size())
        return false;
    if (m_families->currentRow() != row) {
        const QSignalBlocker quiet(m_families);
        m_families->setCurrentCell(row, 0);
    }
    return showCard(m_list.at(row).id);
}

bool FamilyDialog::showCard(qint64 id)
{
    QString error;
    const auto card = m_session.families().card(id, &error);
    if (!card) {
        Prompts::error(this, QStringLiteral("无法读取家庭的账目"), QString(), error);
        return false;
    }
    m_shown = card;
    QVector<QStringList> rows{cardHeader()};
    for (const FamilyService::Line &l : card->lines)
        rows << QStringList{l.child.className, l.child.name, Journal::yuan(l.owed),
                            Journal::yuan(l.credit), Journal::yuan(l.balance)};
    if (!card->lines.isEmpty())
        rows << QStringList{QStringLiteral("合计"), QStringLiteral("%1 名").arg(card->lines.size()),
                            Journal::yuan(card->owed), Journal::yuan(card->credit),
                            Journal::yuan(card->balance)};
    ReportTable::fill(m_card, rows);
    QString text = QStringLiteral("付款人 %1").arg(card->family.payer);
    if (!card->family.phone.isEmpty())
        text += QStringLiteral("（%1）").arg(card->family.phone);
    if (card->lines.isEmpty())
        text += QStringLiteral("：还没有儿童，用“加入儿童…”加入。");
    else if (card->balance > 0)
        text += QStringLiteral("：%1 名儿童，合计欠费 %2 元。")
                    .arg(card->lines.size())
                    .arg(Journal::yuan(card->balance));
    else
        text += QStringLiteral("：%1 名儿童，没有欠费，预收余额 %2 元。")
                    .arg(card->lines.size())
                    .arg(Journal::yuan(-card->balance));
    m_summary->setText(text);
    return true;
}

bool FamilyDialog::said(const WriteResult &r, const QString &what)
{
    if (r)
        return true;
    Prompts::error(this, r.kind == WriteResult::Refused ? r.text : what, QString(), r.detail);
    return false;
}

bool FamilyDialog::newFamily()
{
    const auto payer =
        Prompts::current().text(this, QStringLiteral("新建家庭"), QStringLiteral("付款人姓名："));
    if (!payer || payer->trimmed().isEmpty())
        return false;
    const auto phone = Prompts::current().text(this, QStringLiteral("新建家庭"),
                                               QStringLiteral("付款人电话（可以不填）："));
    if (!phone)
        return false;
    qint64 id = 0;
    if (!said(m_session.families().saveFamily(0, *payer, *phone, &id),
              QStringLiteral("家庭没有保存")))
        return false;
    m_shown.reset();
    m_shown.emplace();
    m_shown->family.id = id;
    return refresh();
}

bool FamilyDialog::editPayer()
{
    if (!m_shown) {
        Prompts::warn(this, QStringLiteral("请先在左边选中一个家庭"));
        return false;
    }
    const auto payer = Prompts::current().text(
        this, QStringLiteral("修改付款人"),
        QStringLiteral("付款人姓名（现在是 %1）：").arg(m_shown->family.payer));
    if (!payer || payer->trimmed().isEmpty())
        return false;
    const auto phone = Prompts::current().text(
        this, QStringLiteral("修改付款人"),
        QStringLiteral("付款人电话（现在是 %1）：").arg(m_shown->family.phone));
    if (!phone)
        return false;
    return said(m_session.families().saveFamily(m_shown->family.id, *payer, *phone),
                QStringLiteral("家庭没有保存")) &&
           refresh();
}

bool FamilyDialog::addChild()
{
    if (!m_shown) {
        Prompts::warn(this, QStringLiteral("请先在左边选中一个家庭"));
        return false;
    }
    QString name;
    const auto chosen = askForChild(this, m_session, QStringLiteral("加入儿童"),
                                    QStringLiteral("儿童姓名："), &name);
    if (!chosen)
        return false;
    const ChildRef child = *chosen;
    const int row = child.row();
    if (row < 0)
        return false;
    const FamilyStore::Member member{child.document->record(row).childId, name,
                                     child.document->className()};
    // A child is in one family: joining this one takes it out of another.
    for (const FamilyStore::Family &f : std::as_const(m_list))
        for (const FamilyStore::Member &m : f.members)
            if (m.childId == member.childId && !member.childId.isEmpty()) {
                if (f.id == m_shown->family.id) {
                    Prompts::warn(this, QStringLiteral("%1 已经在这个家庭里").arg(name));
                    return false;
                }
                if (!Prompts::current().confirm(
                        this,
                        QStringLiteral("%1 现在在付款人 %2 的家庭里：改为加入付款人 %3 的家庭？")
                            .arg(name, f.payer, m_shown->family.payer),
                        QStringLiteral("改为加入")))
                    return false;
            }
    return said(m_session.families().setMember(m_shown->family.id, member),
                QStringLiteral("没有加入家庭")) &&
           refresh();
}

bool FamilyDialog::removeChild()
{
    const int row = m_card->currentRow();
    if (!m_shown || row < 0 || row >= m_shown->lines.size()) {
        Prompts::warn(this, QStringLiteral("请先在右边的表中选中一名儿童"));
        return false;
    }
    const FamilyStore::Member child = m_shown->lines.at(row).child;
    if (!Prompts::current().confirm(this,
                                    QStringLiteral("把 %1 %2 移出付款人 %3 的家庭？账目不变。")
                                        .arg(child.className, child.name, m_shown->family.payer),
                                    QStringLiteral("移出")))
        return false;
    return said(m_session.families().setMember(0, child), QStringLiteral("没有移出家庭")) &&
           refresh();
}

bool FamilyDialog::payForFamily()
{
    if (!m_shown || m_shown->lines.isEmpty()) {
        Prompts::warn(this, QStringLiteral("请先在左边选中一个有儿童的家庭"));
        return false;
    }
    // The children as their rosters hold them now.
    QVector<ChildRef> members;
    QStringList missing;
    for (const FamilyService::Line &l : std::as_const(m_shown->lines)) {
        ChildRef found;
        for (RosterDocument *doc : m_session.documents())
            for (int r = 0; r < doc->size() && !found.document; ++r)
                if (doc->record(r).childId == l.child.childId)
                    found = ChildRef{doc, doc->uid(r)};
        if (found.document)
            members << found;
        else
            missing << QStringLiteral("%1 %2").arg(l.child.className, l.child.name);
    }
    ReceiptPlan plan(m_session.settings().mirror(), CapitalPlacement::FixedColumns);
    for (const ChildRef &c : std::as_const(members))
        plan.add(c);
    m_session.accounts().decide(plan);
    m_paying.clear();
    QStringList lines;
    qint64 total = 0;
    const QVector<PlannedReceipt> printable = plan.printable();
    for (int i = 0; i < printable.size(); ++i) {
        const auto d = plan.decision(i);
        if (!d || !d->isPayment() || d->due <= 0)
            continue;
        const ChildRef &c = plan.child(printable.at(i));
        m_paying << c;
        lines << QStringLiteral("%1 %2：%3 元")
                     .arg(c.document->className(), c.document->record(c.row()).text(Roster::Name),
                          Journal::yuan(d->due));
        total += d->due;
    }
    QStringList notes = plan.refusalsByRow();
    for (const QString &m : std::as_const(missing))
        notes << QStringLiteral("%1：不在现在的名单里").arg(m);
    if (m_paying.isEmpty()) {
        Prompts::warn(this, QStringLiteral("这个家庭本月没有要收的费用"), QString(),
                      notes.join(QLatin1Char('\n')));
        return false;
    }
    QString text =
        QStringLiteral("付款人 %1 一次缴清 %2 名儿童本月的费用，每人一张收据：\n%3\n合计 %4 元")
            .arg(m_shown->family.payer)
            .arg(m_paying.size())
            .arg(lines.join(QLatin1Char('\n')), Journal::yuan(total));
    if (!notes.isEmpty())
        text += QStringLiteral("\n不收：%1").arg(notes.join(QStringLiteral("；")));
    if (!Prompts::current().confirm(this, text, QStringLiteral("收款并打印")))
        return false;
    m_receipts->printRange(1, int(m_paying.size()));
    const QString status = m_summary->text();
    refresh();
    if (!status.isEmpty() && status.startsWith(QStringLiteral("已打印")))
        m_summary->setText(status + QStringLiteral("。") + m_summary->text());
    return true;
}
