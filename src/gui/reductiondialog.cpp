#include "reductiondialog.h"

#include "childchoice.h"
#include "clock.h"
#include "journal.h"
#include "ledger.h"
#include "officesession.h"
#include "prompts.h"
#include "reporttable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

using Reductions::Kind;
using Reductions::Order;

ReductionDialog::ReductionDialog(OfficeSession &session, QWidget *parent)
    : QDialog(parent), m_session(session)
{
    setWindowTitle(QStringLiteral("减免"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(1080, 580);
    auto *layout = new QVBoxLayout(this);
    m_summary = ReportTable::summary(this, "reductionSummary");
    layout->addWidget(m_summary);
    auto *columns = new QHBoxLayout;
    layout->addLayout(columns, 1);

    auto *left = new QVBoxLayout;
    columns->addLayout(left, 1);
    m_types = ReportTable::create(this, QStringLiteral("reductionTypes"));
    m_types->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_types->setSelectionMode(QAbstractItemView::SingleSelection);
    left->addWidget(m_types, 1);
    auto *form = new QGroupBox(QStringLiteral("减免类型"), this);
    auto *fields = new QFormLayout(form);
    m_name = new QLineEdit(form);
    m_name->setObjectName(QStringLiteral("reductionName"));
    m_name->setPlaceholderText(QStringLiteral("二孩、教职工子女、困难家庭……"));
    fields->addRow(QStringLiteral("名称："), m_name);
    auto *items = new QHBoxLayout;
    for (const QString &item : Ledger::items()) {
        auto *box = new QCheckBox(item, form);
        m_items << box;
        items->addWidget(box);
    }
    fields->addRow(QStringLiteral("收费项目："), items);
    m_kind = new QComboBox(form);
    m_kind->setObjectName(QStringLiteral("reductionKind"));
    m_kind->addItems({Reductions::kindText(Kind::Percent), Reductions::kindText(Kind::Fixed)});
    m_value = new QLineEdit(form);
    m_value->setObjectName(QStringLiteral("reductionValue"));
    m_value->setPlaceholderText(QStringLiteral("比例填 50 表示 50%；定额填每月元数"));
    auto *value = new QHBoxLayout;
    value->addWidget(m_kind);
    value->addWidget(m_value, 1);
    fields->addRow(QStringLiteral("减免："), value);
    m_order = new QComboBox(form);
    m_order->setObjectName(QStringLiteral("reductionOrder"));
    for (Order o : {Order::AfterDiscount, Order::BeforeDiscount, Order::Alone})
        m_order->addItem(Reductions::orderText(o));
    fields->addRow(QStringLiteral("与折扣："), m_order);
    m_sibling = new QSpinBox(form);
    m_sibling->setObjectName(QStringLiteral("reductionSibling"));
    m_sibling->setRange(0, 9);
    m_sibling->setSpecialValueText(QStringLiteral("逐个批准"));
    m_sibling->setPrefix(QStringLiteral("家庭第 "));
    m_sibling->setSuffix(QStringLiteral(" 个孩子起自动减免"));
    fields->addRow(QStringLiteral("给谁："), m_sibling);
    left->addWidget(form);
    auto *typeButtons = new QHBoxLayout;
    auto *create =
        ReportTable::button(this, typeButtons, QStringLiteral("新建类型"), "reductionNewType");
    auto *save =
        ReportTable::button(this, typeButtons, QStringLiteral("保存修改"), "reductionSaveType");
    auto *withdraw =
        ReportTable::button(this, typeButtons, QStringLiteral("停用类型"), "reductionWithdrawType");
    typeButtons->addStretch(1);
    left->addLayout(typeButtons);

    auto *right = new QVBoxLayout;
    columns->addLayout(right, 1);
    m_grants = ReportTable::create(this, QStringLiteral("reductionGrants"));
    m_grants->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grants->setSelectionMode(QAbstractItemView::SingleSelection);
    right->addWidget(m_grants, 1);
    auto *grantButtons = new QHBoxLayout;
    auto *give =
        ReportTable::button(this, grantButtons, QStringLiteral("批准减免…"), "reductionGrant");
    auto *takeBack = ReportTable::button(this, grantButtons, QStringLiteral("撤销减免"),
                                         "reductionWithdrawGrant");
    grantButtons->addStretch(1);
    right->addLayout(grantButtons);

    connect(create, &QPushButton::clicked, this, [this] { newType(); });
    connect(save, &QPushButton::clicked, this, [this] { saveType(); });
    connect(withdraw, &QPushButton::clicked, this, [this] { withdrawType(); });
    connect(give, &QPushButton::clicked, this, [this] { grant(); });
    connect(takeBack, &QPushButton::clicked, this, [this] { withdrawGrant(); });
    connect(m_types, &QTableWidget::currentCellChanged, this, [this](int row) { chooseType(row); });
    refresh();
}

bool ReductionDialog::refresh()
{
    QString error;
    const auto types = m_session.reductions().types(&error);
    const auto grants = types ? m_session.reductions().grants(&error) : std::nullopt;
    if (!types || !grants) {
        Prompts::error(this, QStringLiteral("无法读取减免"), QString(), error);
        return false;
    }
    m_typeList = *types;
    m_grantList = *grants;
    QVector<QStringList> rows{{QStringLiteral("名称"), QStringLiteral("收费项目"),
                               QStringLiteral("减免"), QStringLiteral("与折扣"),
                               QStringLiteral("给谁")}};
    for (const Reductions::Type &t : std::as_const(m_typeList))
        rows << QStringList{t.name, t.items.join(QStringLiteral("、")), Reductions::valueText(t),
                            Reductions::orderText(t.order),
                            t.siblingFrom > 0
                                ? QStringLiteral("家庭第 %1 个孩子起").arg(t.siblingFrom)
                                : QStringLiteral("逐个批准")};
    ReportTable::fill(m_types, rows);
    QVector<QStringList> grantRows{{QStringLiteral("班级"), QStringLiteral("姓名"),
                                    QStringLiteral("减免类型"), QStringLiteral("起"),
                                    QStringLiteral("止"), QStringLiteral("理由"),
                                    QStringLiteral("批准人")}};
    for (const ReductionStore::Grant &g : std::as_const(m_grantList))
        grantRows << QStringList{g.className,
                                 g.childName,
                                 g.typeName,
                                 g.fromMonth,
                                 g.toMonth.isEmpty() ? QStringLiteral("不限") : g.toMonth,
                                 g.reason,
                                 g.grantedBy};
    ReportTable::fill(m_grants, grantRows);
    m_summary->setText(
        m_typeList.isEmpty()
            ? QStringLiteral("还没有减免类型：在左下填好名称、项目和减免，按“新建类型”。")
            : QStringLiteral("%1 种减免类型，%2 项批准的减免。生成本月应收和打印收据时，"
                             "每项减免都记为一笔以类型为名的调整。")
                  .arg(m_typeList.size())
                  .arg(m_grantList.size()));
    return true;
}

void ReductionDialog::chooseType(int row)
{
    if (row < 0 || row >= m_typeList.size())
        return;
    const Reductions::Type &t = m_typeList.at(row);
    m_name->setText(t.name);
    for (int i = 0; i < m_items.size(); ++i)
        m_items.at(i)->setChecked(t.items.contains(m_items.at(i)->text()));
    m_kind->setCurrentIndex(t.kind == Kind::Fixed ? 1 : 0);
    m_value->setText(t.kind == Kind::Fixed ? Journal::yuan(t.value)
                                           : Reductions::valueText(t).chopped(1));
    m_order->setCurrentIndex(int(t.order));
    m_sibling->setValue(t.siblingFrom);
}

std::optional<Reductions::Type> ReductionDialog::fromForm()
{
    Reductions::Type t;
    t.name = m_name->text().trimmed();
    for (QCheckBox *box : std::as_const(m_items))
        if (box->isChecked())
            t.items << box->text();
    t.kind = m_kind->currentIndex() == 1 ? Kind::Fixed : Kind::Percent;
    t.order = Order(m_order->currentIndex());
    t.siblingFrom = m_sibling->value();
    QString text = m_value->text().trimmed();
    if (text.endsWith(QLatin1Char('%')))
        text.chop(1);
    QString why;
    // Both are numbers with at most two decimals: yuan, or per cent.
    const auto hundredths = Ledger::parseYuan(text, &why);
    if (!hundredths) {
        Prompts::error(this, QStringLiteral("减免“%1”不是数字：比例填 50 表示 50%，"
                                            "定额填每月元数，最多两位小数")
                                 .arg(m_value->text().trimmed()));
        return std::nullopt;
    }
    t.value = *hundredths;
    if (const QString problem = Reductions::problem(t); !problem.isEmpty()) {
        Prompts::error(this, problem);
        return std::nullopt;
    }
    return t;
}

bool ReductionDialog::said(const WriteResult &r)
{
    if (!r)
        Prompts::error(this,
                       r.kind == WriteResult::Refused ? r.text : QStringLiteral("减免没有保存"),
                       QString(), r.detail);
    refresh();
    return bool(r);
}

bool ReductionDialog::newType()
{
    auto t = fromForm();
    if (!t)
        return false;
    t->id = 0;
    return said(m_session.reductions().saveType(*t));
}

bool ReductionDialog::saveType()
{
    const int row = m_types->currentRow();
    if (row < 0 || row >= m_typeList.size()) {
        Prompts::error(this, QStringLiteral("请先在左边的表中选中要修改的减免类型"));
        return false;
    }
    auto t = fromForm();
    if (!t)
        return false;
    t->id = m_typeList.at(row).id;
    return said(m_session.reductions().saveType(*t));
}

bool ReductionDialog::withdrawType()
{
    const int row = m_types->currentRow();
    if (row < 0 || row >= m_typeList.size()) {
        Prompts::error(this, QStringLiteral("请先在左边的表中选中要停用的减免类型"));
        return false;
    }
    const Reductions::Type t = m_typeList.at(row);
    if (!Prompts::current().confirm(
            this,
            QStringLiteral("停用减免类型“%1”？已记的减免不变；下次生成应收或打印收据时，"
                           "本月还没结的账会按没有这项减免重新计算。")
                .arg(t.name),
            QStringLiteral("停用")))
        return false;
    return said(m_session.reductions().withdrawType(t.id));
}

bool ReductionDialog::grant()
{
    QStringList choices;
    QVector<Reductions::Type> grantable;
    for (const Reductions::Type &t : std::as_const(m_typeList))
        if (t.siblingFrom == 0) {
            grantable << t;
            choices << QStringLiteral("%1（%2）").arg(t.name, Reductions::valueText(t));
        }
    if (grantable.isEmpty()) {
        Prompts::error(this, QStringLiteral("没有要逐个批准的减免类型：请先新建一个"));
        return false;
    }
    QString name;
    const auto child = askForChild(this, m_session, QStringLiteral("批准减免"),
                                   QStringLiteral("儿童姓名："), &name);
    if (!child)
        return false;
    const int pick =
        Prompts::current().choose(this, QStringLiteral("给“%1”哪一种减免？").arg(name), choices);
    if (pick < 0 || pick >= grantable.size())
        return false;
    const auto from = Prompts::current().text(
        this, QStringLiteral("批准减免"),
        QStringLiteral("从哪个月起（如 %1）：").arg(Journal::month(Clock::now())));
    if (!from)
        return false;
    const auto to = Prompts::current().text(this, QStringLiteral("批准减免"),
                                            QStringLiteral("到哪个月止（空着表示不限）："));
    if (!to)
        return false;
    const auto reason =
        Prompts::current().text(this, QStringLiteral("批准减免"), QStringLiteral("理由："));
    if (!reason)
        return false;
    const ChildRecord &rec = child->document->record(child->row());
    ReductionStore::Grant g;
    g.childId = rec.childId;
    g.childName = rec.text(Roster::Name);
    g.className = rec.className;
    g.typeId = grantable.at(pick).id;
    g.fromMonth = from->trimmed();
    g.toMonth = to->trimmed();
    g.reason = *reason;
    return said(m_session.reductions().grant(g));
}

bool ReductionDialog::withdrawGrant()
{
    const int row = m_grants->currentRow();
    if (row < 0 || row >= m_grantList.size()) {
        Prompts::error(this, QStringLiteral("请先在右边的表中选中要撤销的减免"));
        return false;
    }
    const ReductionStore::Grant g = m_grantList.at(row);
    if (!Prompts::current().confirm(
            this,
            QStringLiteral("撤销 %1 %2 的“%3”？已记的减免不变；本月还没结的账下次生成应收"
                           "或打印收据时按没有这项减免重新计算。")
                .arg(g.className, g.childName, g.typeName),
            QStringLiteral("撤销")))
        return false;
    return said(m_session.reductions().withdrawGrant(g.id));
}
