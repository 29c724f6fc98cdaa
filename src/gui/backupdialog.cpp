#include "backupdialog.h"

#include "officesession.h"
#include "prompts.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

BackupDialog::BackupDialog(OfficeSession &session, QWidget *parent)
    : QDialog(parent), m_session(session)
{
    setWindowTitle(QStringLiteral("备份与恢复"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(760, 460);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral(
            "自动备份在 %1：每天第一次打开和每次关闭时各备份一次，保留最近 30 天的每天一份"
            "和 24 个月的每月一份。")
            .arg(QDir::toNativeSeparators(m_session.backups().folder())),
        this));
    m_table = new QTableWidget(0, 5, this);
    m_table->setObjectName(QStringLiteral("backupList"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("备份时间"), QStringLiteral("大小"),
                                        QStringLiteral("班级"), QStringLiteral("儿童"),
                                        QStringLiteral("最后收据编号")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table, 1);
    auto *buttons = new QHBoxLayout;
    auto *now = new QPushButton(QStringLiteral("立即备份"), this);
    now->setObjectName(QStringLiteral("backupNow"));
    auto *restore = new QPushButton(QStringLiteral("恢复"), this);
    restore->setObjectName(QStringLiteral("backupRestore"));
    auto *fromFile = new QPushButton(QStringLiteral("从文件恢复…"), this);
    fromFile->setObjectName(QStringLiteral("backupRestoreFile"));
    buttons->addWidget(now);
    buttons->addWidget(restore);
    buttons->addWidget(fromFile);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    layout->addWidget(m_status);
    connect(now, &QPushButton::clicked, this, &BackupDialog::backupNow);
    connect(restore, &QPushButton::clicked, this, &BackupDialog::restoreSelected);
    connect(fromFile, &QPushButton::clicked, this, &BackupDialog::restoreFromFile);
    refresh();
}

void BackupDialog::refresh()
{
    const QVector<Backup::Info> copies = m_session.backups().copies();
    m_paths.clear();
    m_table->setRowCount(int(copies.size()));
    const QLocale locale(QLocale::Chinese, QLocale::China);
    for (int r = 0; r < copies.size(); ++r) {
        const Backup::Info &c = copies.at(r);
        m_paths << c.path;
        const bool read = c.children >= 0;
        QString taken = c.taken.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (c.beforeRestore)
            taken += QStringLiteral("（恢复前）");
        if (c.future)
            taken += QStringLiteral("（晚于现在：当时电脑时间有误）");
        const QStringList cells = {taken, locale.formattedDataSize(c.bytes),
                                   read ? QString::number(c.classes) : QStringLiteral("—"),
                                   read ? QString::number(c.children) : QStringLiteral("—"),
                                   read ? c.lastSerial : QStringLiteral("（无法读取）")};
        for (int col = 0; col < cells.size(); ++col)
            m_table->setItem(r, col, new QTableWidgetItem(cells.at(col)));
    }
    if (!copies.isEmpty())
        m_table->selectRow(0);
    if (const QString failed = m_session.backups().lastFailure(); !failed.isEmpty())
        m_status->setText(QStringLiteral("上次自动备份失败：%1").arg(failed));
}

void BackupDialog::backupNow()
{
    const QString dir = Prompts::current().existingDirectory(this);
    if (dir.isEmpty())
        return;
    QString error;
    const QString path = m_session.backups().backupTo(dir, &error);
    if (path.isEmpty()) {
        Prompts::error(this, error);
        return;
    }
    m_status->setText(QStringLiteral("已备份到 %1").arg(QDir::toNativeSeparators(path)));
    refresh();
}

void BackupDialog::restoreSelected()
{
    const int row = m_table->currentRow();
    if (row < 0 || row >= m_paths.size()) {
        Prompts::warn(this, QStringLiteral("请先选中要恢复的备份"));
        return;
    }
    restore(m_paths.at(row));
}

void BackupDialog::restoreFromFile()
{
    const QString path = Prompts::current().openFile(this);
    if (!path.isEmpty())
        restore(path);
}

void BackupDialog::restore(const QString &path)
{
    QString why;
    const auto info = m_session.backups().check(path, &why);
    if (!info) {
        Prompts::error(this, why, QStringLiteral("当前数据库没有改动。"));
        return;
    }
    const auto lost = m_session.backups().losses(path, &why);
    if (!lost) {
        Prompts::error(this, QStringLiteral("无法比较当前数据库和这份备份：%1").arg(why),
                       QStringLiteral("当前数据库没有改动。"));
        return;
    }
    const QString losing =
        lost->any() ? QStringLiteral("当前数据库中有这份备份没有的：\n%1\n恢复后它们只在恢复前的"
                                     "备份中。")
                          .arg(lost->text())
                    : QStringLiteral("当前数据库中没有这份备份缺少的收据、收款、退款或操作记录。");
    const QString text =
        QStringLiteral("恢复 %1 的备份（%2）：%3 个班级，%4 名儿童，%5 张收据（最后一张 %6）。\n\n"
                       "%7\n\n恢复前会先备份当前数据库，之后可以再恢复回来；收据编号接着已用过"
                       "的最大编号继续。")
            .arg(info->taken.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                 QDir::toNativeSeparators(path))
            .arg(info->classes)
            .arg(info->children)
            .arg(info->receipts)
            .arg(info->lastSerial.isEmpty() ? QStringLiteral("无") : info->lastSerial, losing);
    if (!Prompts::current().confirm(this, text, QStringLiteral("恢复此备份")))
        return;
    QString before;
    const WriteResult r = m_session.restore(path, &before);
    if (!r) {
        Prompts::error(this, QStringLiteral("没有恢复"), r.text, r.detail);
        return;
    }
    m_status->setText(QStringLiteral("已恢复 %1 的备份；恢复前的数据库已备份为 %2")
                          .arg(info->taken.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                               QDir::toNativeSeparators(before)));
    refresh();
}
