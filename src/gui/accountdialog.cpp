#include "accountdialog.h"

#include "journal.h"
#include "noticedialog.h"
#include "officesession.h"
#include "prompts.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

AccountDialog::AccountDialog(OfficeSession &session, const QString &childId, const QString &name,
                             QWidget *parent)
    : QDialog(parent), m_session(session), m_childId(childId)
{
    setObjectName(QStringLiteral("accountDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("缴费记录 — %1").arg(name));
    resize(900, 500);
    auto *layout = new QVBoxLayout(this);
    m_table = new QTableWidget(this);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setColumnCount(8);
    m_table->setHorizontalHeaderLabels({QStringLiteral("月份"), QStringLiteral("类别"),
                                        QStringLiteral("项目"), QStringLiteral("金额（元）"),
                                        QStringLiteral("收款方式"), QStringLiteral("收据编号"),
                                        QStringLiteral("说明"), QStringLiteral("时间")});
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table);
    m_balance = new QLabel(this);
    m_balance->setObjectName(QStringLiteral("accountBalance"));
    m_balance->setWordWrap(true);
    layout->addWidget(m_balance);
    // The same entries for the parents, with the balance after each.
    auto *statement = new QPushButton(QStringLiteral("对账单…"), this);
    statement->setObjectName(QStringLiteral("accountStatement"));
    layout->addWidget(statement, 0, Qt::AlignLeft);
    connect(statement, &QPushButton::clicked, this,
            [this, name] { (new StatementDialog(m_session, m_childId, name, this))->show(); });
    refresh();
}

QString AccountDialog::balanceText(const QVector<LedgerEntry> &entries)
{
    QMap<QString, qint64> months;
    qint64 all = 0;
    for (const LedgerEntry &e : entries) {
        months[e.month] += e.amount;
        all += e.amount;
    }
    QStringList parts;
    for (auto it = months.cbegin(); it != months.cend(); ++it) {
        if (it.value() > 0)
            parts << QStringLiteral("%1 欠 %2 元").arg(it.key(), Journal::yuan(it.value()));
        else if (it.value() < 0)
            parts << QStringLiteral("%1 多交 %2 元").arg(it.key(), Journal::yuan(-it.value()));
        else
            parts << QStringLiteral("%1 已结清").arg(it.key());
    }
    const QString total = all > 0   ? QStringLiteral("合计欠费 %1 元").arg(Journal::yuan(all))
                          : all < 0 ? QStringLiteral("合计预收 %1 元").arg(Journal::yuan(-all))
                                    : QStringLiteral("没有欠费");
    return parts.isEmpty() ? QStringLiteral("还没有账目。")
                           : parts.join(QStringLiteral("；")) + QStringLiteral("。") + total;
}

bool AccountDialog::refresh()
{
    QString error;
    const auto entries = m_session.reports().account(m_childId, &error);
    if (!entries) {
        m_balance->setText(QStringLiteral("无法读取账目：%1").arg(error));
        return false;
    }
    m_table->setRowCount(int(entries->size()));
    for (int r = 0; r < entries->size(); ++r) {
        const LedgerEntry &e = entries->at(r);
        // Money in shows as received; what is owed as charged.
        const qint64 shown = e.kind == LedgerEntry::Payment ? -e.amount : e.amount;
        const QStringList cells = {
            e.month,
            LedgerEntry::kindText(e.kind),
            e.item,
            Journal::yuan(shown),
            e.method,
            e.ownSerial.isEmpty() ? e.receiptSerial
                                  : QStringLiteral("%1（退 %2）").arg(e.ownSerial, e.receiptSerial),
            e.reason.isEmpty() ? e.reference : e.reason,
            e.at.toString(QStringLiteral("yyyy-MM-dd HH:mm"))};
        for (int c = 0; c < cells.size(); ++c)
            m_table->setItem(r, c, new QTableWidgetItem(cells.at(c)));
    }
    m_balance->setText(balanceText(*entries));
    return true;
}

void AccountDialog::show(OfficeSession *session, const QString &childId, const QString &name,
                         QWidget *parent)
{
    if (!session || childId.isEmpty()) {
        Prompts::warn(parent, QStringLiteral("请先选中一名儿童"));
        return;
    }
    auto *dialog = new AccountDialog(*session, childId, name, parent);
    dialog->QDialog::show();
}
