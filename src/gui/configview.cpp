#include "configview.h"

#include "ledger.h"
#include "officesettings.h"
#include "prompts.h"

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace
{
constexpr int ValueColumn = 1;
constexpr int KeyColumn = 2;
} // namespace

QStringList configView::settingKeys()
{
    QStringList keys;
    for (int k = 0; k < FeeSettings::KeyCount; ++k)
        keys << FeeSettings::keyName(FeeSettings::Key(k));
    return keys;
}

QStringList configView::settingCaptions()
{
    QStringList captions;
    for (int k = 0; k < FeeSettings::KeyCount; ++k)
        captions << FeeSettings::caption(FeeSettings::Key(k));
    return captions;
}

configView::configView(QWidget *parent) : QWidget(parent)
{
    m_settings = new OfficeSettings(this);
    build();
}

configView::configView(OfficeSettings &settings, QWidget *parent)
    : QWidget(parent), m_settings(&settings)
{
    build();
}

const FeeSettings &configView::settings() const
{
    return m_settings->fees();
}

void configView::build()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    auto *group = new QGroupBox(QStringLiteral("设置保教费费用:"), this);
    auto *row = new QHBoxLayout(group);
    row->addWidget(new QLabel(QStringLiteral(" 保教费: "), group));
    m_combo = new QComboBox(group);
    m_combo->setEditable(true);
    m_combo->setObjectName(QStringLiteral("width_box_"));
    row->addWidget(m_combo);
    auto *deleteButton = new QPushButton(QStringLiteral("删除当前项"), group);
    deleteButton->setObjectName(QStringLiteral("deleteChildcareFee"));
    row->addWidget(deleteButton);
    layout->addWidget(group);

    m_tableModel = new QStandardItemModel(this);
    m_tableView = new QTableView(this);
    m_tableView->setObjectName(QStringLiteral("shortcutconfig_shortcut_view"));
    m_tableView->setModel(m_tableModel);
    m_tableView->verticalHeader()->hide();
    m_tableView->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_tableView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_tableView->setEditTriggers(QAbstractItemView::DoubleClicked);
    layout->addWidget(m_tableView);

    // How receipts are paid unless the clerk chooses otherwise when printing
    // (the last choice made there is remembered here too).
    auto *paymentRow = new QHBoxLayout;
    paymentRow->addWidget(new QLabel(QStringLiteral("默认收款方式："), this));
    m_payment = new QComboBox(this);
    m_payment->setObjectName(QStringLiteral("defaultPaymentMethod"));
    m_payment->addItems(Ledger::paymentMethods());
    paymentRow->addWidget(m_payment, 1);
    layout->addLayout(paymentRow);

    // Meal fees given back for days absent.
    auto *rule = new QGroupBox(QStringLiteral("退费规则"), this);
    auto *form = new QFormLayout(rule);
    m_refundMinDays = new QLineEdit(rule);
    m_refundMinDays->setObjectName(QStringLiteral("refundMinDays"));
    m_refundMinDays->setToolTip(QStringLiteral("连续缺勤满几个上学日才退（0 表示每天都退）"));
    m_refundLeave = new QCheckBox(QStringLiteral("须请假"), rule);
    m_refundLeave->setObjectName(QStringLiteral("refundLeave"));
    m_refundPerDay = new QLineEdit(rule);
    m_refundPerDay->setObjectName(QStringLiteral("refundPerDay"));
    m_refundPerDay->setPlaceholderText(QStringLiteral("空：按每天伙食费"));
    m_refundDiscounted = new QCheckBox(QStringLiteral("享受折扣的儿童按折扣退"), rule);
    m_refundDiscounted->setObjectName(QStringLiteral("refundDiscounted"));
    m_refundMode = new QComboBox(rule);
    m_refundMode->setObjectName(QStringLiteral("refundMode"));
    m_refundMode->addItems({QStringLiteral("记入下月"), QStringLiteral("当即退还")});
    form->addRow(QStringLiteral("连续缺勤满（天）："), m_refundMinDays);
    form->addRow(m_refundLeave);
    form->addRow(QStringLiteral("每天退（元）："), m_refundPerDay);
    form->addRow(m_refundDiscounted);
    form->addRow(QStringLiteral("退费方式："), m_refundMode);
    // Tuition back after a long absence, as credit.
    m_tuitionDays = new QLineEdit(rule);
    m_tuitionDays->setObjectName(QStringLiteral("tuitionBackDays"));
    m_tuitionDays->setToolTip(
        QStringLiteral("请假连续缺勤满几个上学日，退还本月保教费的一部分（记入账上）；0 表示不退"));
    m_tuitionShare = new QLineEdit(rule);
    m_tuitionShare->setObjectName(QStringLiteral("tuitionBackShare"));
    m_tuitionShare->setToolTip(QStringLiteral("退还本月保教费的百分之几（1 到 100）"));
    auto *tuition = new QHBoxLayout;
    tuition->addWidget(m_tuitionDays, 1);
    tuition->addWidget(new QLabel(QStringLiteral("天，退"), rule));
    tuition->addWidget(m_tuitionShare, 1);
    tuition->addWidget(new QLabel(QStringLiteral("%"), rule));
    form->addRow(QStringLiteral("保教费退还：请假连续满"), tuition);
    layout->addWidget(rule);

    auto *saveButton = new QPushButton(QStringLiteral("应用并保存"), this);
    saveButton->setObjectName(QStringLiteral("saveSettings"));
    layout->addWidget(saveButton);

    connect(deleteButton, &QPushButton::clicked, this, &configView::deleteComboBoxcurr);
    connect(saveButton, &QPushButton::clicked, this, &configView::saveAll);
    connect(m_settings, &OfficeSettings::changed, this, [this] {
        show();
        emit expensesChange();
    });
}

void configView::fillTable()
{
    m_tableModel->setColumnCount(3);
    m_tableModel->setRowCount(FeeSettings::KeyCount);
    for (int k = 0; k < FeeSettings::KeyCount; ++k) {
        const auto key = FeeSettings::Key(k);
        auto *caption = new QStandardItem(FeeSettings::caption(key));
        caption->setEditable(false);
        auto *value = new QStandardItem(settings().texts[k]);
        value->setToolTip(tr("double click here to edit"));
        // The 经办人 is whoever signed in; prices are the administrator's.
        if (key == FeeSettings::Clerk && !m_settings->signedIn().isEmpty()) {
            value->setEditable(false);
            value->setToolTip(QStringLiteral("经办人是登录的用户"));
        } else if (key != FeeSettings::Clerk) {
            if (const QString no = m_settings->pricesRefusal(); !no.isEmpty()) {
                value->setEditable(false);
                value->setToolTip(no);
            }
        }
        const QString problem = valueProblem(key);
        if (!problem.isEmpty()) {
            // Shown as invalid rather than silently charged as 0.
            value->setBackground(QColor(255, 205, 205));
            value->setToolTip(problem);
        }
        m_tableModel->setItem(k, 0, caption);
        m_tableModel->setItem(k, ValueColumn, value);
        m_tableModel->setItem(k, KeyColumn, new QStandardItem(FeeSettings::keyName(key)));
    }
    m_tableModel->setHorizontalHeaderLabels({tr("name"), tr("value"), tr("note")});
    m_tableView->setColumnHidden(KeyColumn, true);
    // No vertical scroll bar: the table is as tall as its seven rows.
    int height =
        m_tableView->horizontalHeader()->sizeHint().height() + 2 * m_tableView->frameWidth();
    for (int row = 0; row < m_tableModel->rowCount(); ++row)
        height += m_tableView->verticalHeader()->defaultSectionSize();
    m_tableView->setMinimumHeight(height);
}

QString configView::valueProblem(FeeSettings::Key key) const
{
    if (key == FeeSettings::Clerk)
        return {};
    const auto number = settings().number(key);
    if (!number)
        return QStringLiteral("不是有效的数字");
    if (key != FeeSettings::Discount)
        return {};
    if (settings().texts[key].trimmed().isEmpty())
        return QStringLiteral("还没有设置折扣：享受折扣的儿童不能计算费用，也不能打印收据。"
                              "折扣是乘数（0.9 = 九折）");
    if (!(*number > 0 && *number <= 1))
        return QStringLiteral("折扣是乘数（0.9 = 九折），应大于 0 且不大于 1："
                              "现在享受折扣的儿童按原价的 %1 倍收费")
            .arg(settings().texts[key].trimmed());
    return {};
}

void configView::showRefundRule()
{
    const QStringList t = OfficeSettings::refundRuleTexts();
    const QString yes = QStringLiteral("是");
    m_refundMinDays->setText(t.at(0));
    m_refundLeave->setChecked(t.at(1) == yes);
    m_refundPerDay->setText(t.at(2));
    m_refundDiscounted->setChecked(t.at(3) == yes);
    m_refundMode->setCurrentIndex(t.at(4) == QStringLiteral("否") ? 1 : 0);
    m_tuitionDays->setText(t.at(5));
    m_tuitionShare->setText(t.at(6));
    m_shownRule = shownRule();
    QString why;
    const bool usable =
        bool(OfficeSettings::refundRule(&why)) && bool(OfficeSettings::tuitionRule(&why));
    for (QLineEdit *e : {m_refundMinDays, m_refundPerDay, m_tuitionDays, m_tuitionShare}) {
        e->setStyleSheet(usable ? QString() : QStringLiteral("background: rgb(255, 205, 205)"));
        e->setToolTip(usable ? QString() : why);
    }
}

void configView::show()
{
    showRefundRule();
    showPaymentMethod();
    m_combo->clear();
    m_combo->addItems(settings().childcareFees);
    // An entry that is not a whole number of yuan would charge 0.
    for (int i = 0; i < m_combo->count(); ++i) {
        if (Fees::isChildcareEntryValid(m_combo->itemText(i)))
            continue;
        m_combo->setItemData(i, QColor(255, 205, 205), Qt::BackgroundRole);
        m_combo->setItemData(
            i, QStringLiteral("不是整数元：用这一项的儿童不能计算费用，也不能打印收据"),
            Qt::ToolTipRole);
    }
    fillTable();
}

void configView::loadSettings()
{
    m_settings->load();
}

FeeSettings configView::edited() const
{
    FeeSettings s;
    for (int r = 0; r < m_tableModel->rowCount(); ++r) {
        const QStandardItem *key = m_tableModel->item(r, KeyColumn);
        const QStandardItem *value = m_tableModel->item(r, ValueColumn);
        const int k = settingKeys().indexOf(key ? key->data(Qt::EditRole).toString() : QString());
        if (k >= 0)
            s.texts[k] = value ? value->data(Qt::EditRole).toString() : QString();
    }
    for (int i = 0; i < m_combo->count(); ++i)
        s.childcareFees << m_combo->itemText(i);
    return s;
}

bool configView::confirmDiscount(const FeeSettings &settings)
{
    const auto factor = settings.number(FeeSettings::Discount);
    if (settings.texts[FeeSettings::Discount].trimmed().isEmpty() || !factor ||
        (*factor > 0 && *factor <= 1))
        return true;
    const QString text = QStringLiteral("折扣“%1”会作为乘数使用：有折扣的儿童按原价的 %1 倍收费"
                                        "（0.9 表示九折，90 表示 90 倍）。是否仍然保存？")
                             .arg(settings.texts[FeeSettings::Discount].trimmed());
    return Prompts::current().question(this, Prompts::title(), text,
                                       QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void configView::saveAll()
{
    const FeeSettings settings = edited();
    if (!confirmDiscount(settings))
        return;
    // The refund rule is checked as the prices are: nothing is stored while
    // one of its values is not usable.
    const QStringList rule = shownRule();
    QString why;
    if (!Absence::Rule::fromTexts(rule.at(0), rule.at(1), rule.at(2), rule.at(3), rule.at(4),
                                  &why) ||
        !Absence::TuitionRule::fromTexts(rule.at(5), rule.at(6), &why)) {
        Prompts::error(this, why, QStringLiteral("设置没有保存，请改正后再保存。"));
        return;
    }

    // Only what the clerk changed in the panel is written: a way of
    // payment chosen since at printing, or a rule stored meanwhile, is not
    // put back to what the panel showed. Read before the save, which shows
    // the stored settings again.
    const QString method = m_payment->currentText() == m_shownMethod
                               ? OfficeSettings::paymentMethod()
                               : m_payment->currentText();
    const QStringList storedRule = rule == m_shownRule ? OfficeSettings::refundRuleTexts() : rule;
    if (!m_settings->save(settings))
        Prompts::error(this, m_settings->errorString());
    else if (!m_settings->savePaymentAndRefundRule(method, storedRule, &why))
        Prompts::error(this, why);
    // The panel shows what is stored now, the rule and way included.
    showRefundRule();
    showPaymentMethod();
}

QStringList configView::shownRule() const
{
    const QString yes = QStringLiteral("是"), no = QStringLiteral("否");
    return {m_refundMinDays->text(),
            m_refundLeave->isChecked() ? yes : no,
            m_refundPerDay->text(),
            m_refundDiscounted->isChecked() ? yes : no,
            m_refundMode->currentIndex() == 0 ? yes : no,
            m_tuitionDays->text(),
            m_tuitionShare->text()};
}

void configView::showPaymentMethod()
{
    m_shownMethod = OfficeSettings::paymentMethod();
    m_payment->setCurrentText(m_shownMethod);
}

void configView::deleteComboBoxcurr()
{
    if (m_combo->count() > 0 && m_combo->currentIndex() >= 0)
        m_combo->removeItem(m_combo->currentIndex());
}
