#include "configview.h"

#include "prompts.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

std::unique_ptr<QSettings> configView::openStore()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("invoiceconfig"));
}

QStringList configView::settingKeys()
{
    return {QStringLiteral("name"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
            QStringLiteral("d"),    QStringLiteral("e"), QStringLiteral("f")};
}

QStringList configView::settingCaptions()
{
    return {QStringLiteral("经办人"),         QStringLiteral("折扣 （%）"),
            QStringLiteral("住宿费价格"),     QStringLiteral("伙食费每日价格"),
            QStringLiteral("床上用品费价格"), QStringLiteral("校车接送费价格"),
            QStringLiteral("意外伤害保险费")};
}

configView::configView(QWidget *parent)
    : QWidget(parent), m_keys(settingKeys()), m_captions(settingCaptions())
{
    for (const QString &k : m_keys)
        m_values.insert(k, QString());

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

    auto *saveButton = new QPushButton(QStringLiteral("应用并保存"), this);
    layout->addWidget(saveButton);

    connect(deleteButton, &QPushButton::clicked, this, &configView::deleteComboBoxcurr);
    connect(saveButton, &QPushButton::clicked, this, &configView::saveAll);
}

QString configView::readSetting(const QString &key) const
{
    return openStore()->value(key).toString();
}

bool configView::writeSetting(const QString &key, const QString &value)
{
    const auto s = openStore();
    s->setValue(key, value);
    s->sync();
    return s->status() == QSettings::NoError;
}

void configView::fillTable()
{
    int r = 0, g = 0;
    for (int i = 0; i < m_keys.size(); ++i) {
        const QString &key = m_keys.at(i);
        if (m_tableModel->columnCount() < g + 3)
            m_tableModel->setColumnCount(g + 3);
        if (m_tableModel->rowCount() < r + 1)
            m_tableModel->setRowCount(r + 1);
        auto *caption = new QStandardItem(m_captions.value(i));
        caption->setEditable(false);
        auto *value = new QStandardItem(m_values.value(key));
        value->setToolTip(tr("double click here to edit"));
        m_tableModel->setItem(r, g, caption);
        m_tableModel->setItem(r, g + 1, value);
        m_tableModel->setItem(r, g + 2, new QStandardItem(key));
        if (++r > 6) {
            r = 0;
            g += 3;
        }
    }
    // Seven settings fill the first group of three columns.
    m_tableModel->setHorizontalHeaderLabels(
        {QStringLiteral("name"), QStringLiteral("value"), QStringLiteral("note")});
    m_tableView->setColumnHidden(2, true);
    // No vertical scroll bar: the table is as tall as its seven rows.
    int height =
        m_tableView->horizontalHeader()->sizeHint().height() + 2 * m_tableView->frameWidth();
    for (int row = 0; row < m_tableModel->rowCount(); ++row)
        height += m_tableView->verticalHeader()->defaultSectionSize();
    m_tableView->setMinimumHeight(height);
}

void configView::loadSettings()
{
    for (int i = 0; i < m_keys.size(); ++i) {
        const QString &key = m_keys.at(i);
        const QString value = readSetting(key);
        m_values[key] = value;
        if (key == QLatin1String("name")) {
            m_clerkName = value;
        } else {
            bool ok = false;
            const float f = value.trimmed().toFloat(&ok);
            m_priceTable[i - 1] = ok ? f : 0.0f;
        }
    }
    m_childcareFees = readSetting(QStringLiteral("bjcombox"))
                          .split(QLatin1Char(','), Qt::SkipEmptyParts, Qt::CaseSensitive);
    m_combo->clear();
    m_combo->addItems(m_childcareFees);
    fillTable();
    emit expensesChange();
}

void configView::saveAll()
{
    bool ok = true;
    for (int g = 0; g < m_tableModel->columnCount(); g += 3) {
        for (int r = 0; r < m_tableModel->rowCount(); ++r) {
            const QStandardItem *key = m_tableModel->item(r, g + 2);
            if (!key)
                continue;
            const QStandardItem *value = m_tableModel->item(r, g + 1);
            ok = writeSetting(key->data(Qt::EditRole).toString(),
                              value ? value->data(Qt::EditRole).toString() : QString()) &&
                 ok;
        }
    }
    QString list;
    for (int i = 0; i < m_combo->count(); ++i)
        list += m_combo->itemText(i) + QLatin1Char(',');
    ok = writeSetting(QStringLiteral("bjcombox"), list) && ok;
    if (!ok)
        Prompts::current().critical(
            this, QStringLiteral("Collection"),
            QStringLiteral("设置保存失败：%1 无法写入").arg(openStore()->fileName()));
    loadSettings();
}

void configView::deleteComboBoxcurr()
{
    if (m_combo->count() > 0 && m_combo->currentIndex() >= 0)
        m_combo->removeItem(m_combo->currentIndex());
}
