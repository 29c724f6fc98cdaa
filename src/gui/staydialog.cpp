#include "staydialog.h"

#include "childchoice.h"
#include "journal.h"
#include "noticedialog.h"
#include "officesession.h"
#include "officesettings.h"
#include "prompts.h"
#include "reportdialogs.h"
#include "reporttable.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

using PartMonth::Kind;

namespace
{
QString dayText(const QDate &d)
{
    return d.isValid() ? d.toString(QStringLiteral("yyyy-MM-dd")) : QString();
}

// "2026-12-15" or "2026-12-5" (also with / or .); nullopt when it is none.
std::optional<QDate> parseDate(QString text)
{
    text = text.trimmed();
    text.replace(QLatin1Char('/'), QLatin1Char('-')).replace(QLatin1Char('.'), QLatin1Char('-'));
    const QDate d = QDate::fromString(text, QStringLiteral("yyyy-M-d"));
    if (!d.isValid())
        return std::nullopt;
    return d;
}

std::optional<QDate> askDate(QWidget *parent, const QString &title, const QString &label)
{
    const auto text = Prompts::current().text(parent, title, label);
    if (!text)
        return std::nullopt;
    const auto day = parseDate(*text);
    if (!day)
        Prompts::error(parent, QStringLiteral("“%1”不是日期：请写成 2026-12-15 这样").arg(*text));
    return day;
}
} // namespace

StayDialog::StayDialog(OfficeSession &session, QWidget *parent)
    : QDialog(parent), m_session(session)
{
    setWindowTitle(QStringLiteral("插班退园"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(1000, 560);
    auto *layout = new QVBoxLayout(this);
    m_summary = ReportTable::summary(this, "staySummary");
    layout->addWidget(m_summary);
    auto *columns = new QHBoxLayout;
    layout->addLayout(columns, 1);
    m_table = ReportTable::create(this, QStringLiteral("stayTable"));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    columns->addWidget(m_table, 3);
    m_history = ReportTable::create(this, QStringLiteral("stayHistory"));
    columns->addWidget(m_history, 2);

    auto *form =
        new QGroupBox(QStringLiteral("不足月的保教费、住宿费（伙食费总是按在园天数）"), this);
    auto *fields = new QHBoxLayout(form);
    m_kind = new QComboBox(form);
    m_kind->setObjectName(QStringLiteral("stayRule"));
    for (Kind k : {Kind::Full, Kind::ByDays, Kind::Thresholds})
        m_kind->addItem(PartMonth::kindText(k));
    fields->addWidget(m_kind);
    m_full = new QSpinBox(form);
    m_full->setObjectName(QStringLiteral("stayFullFrom"));
    m_full->setRange(1, 31);
    m_full->setPrefix(QStringLiteral("满 "));
    m_full->setSuffix(QStringLiteral(" 天收全月"));
    m_full->setValue(15);
    fields->addWidget(m_full);
    m_half = new QSpinBox(form);
    m_half->setObjectName(QStringLiteral("stayHalfFrom"));
    m_half->setRange(0, 30);
    m_half->setSpecialValueText(QStringLiteral("不收半月"));
    m_half->setPrefix(QStringLiteral("满 "));
    m_half->setSuffix(QStringLiteral(" 天收半月"));
    m_half->setValue(8);
    fields->addWidget(m_half);
    auto *save = ReportTable::button(this, fields, QStringLiteral("保存规则"), "stayRuleSave");
    fields->addStretch(1);
    layout->addWidget(form);
    auto syncRule = [this] {
        const bool thresholds = m_kind->currentIndex() == int(Kind::Thresholds);
        m_full->setEnabled(thresholds);
        m_half->setEnabled(thresholds);
    };
    connect(m_kind, &QComboBox::currentIndexChanged, this, syncRule);

    auto *buttons = new QHBoxLayout;
    auto *join = ReportTable::button(this, buttons, QStringLiteral("记录插班…"), "stayJoin");
    auto *leave = ReportTable::button(this, buttons, QStringLiteral("退园结算…"), "stayLeave");
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(join, &QPushButton::clicked, this, [this] { recordJoining(); });
    connect(leave, &QPushButton::clicked, this, [this] { settleLeaving(); });
    connect(save, &QPushButton::clicked, this, [this] { saveRule(); });
    connect(m_table, &QTableWidget::currentCellChanged, this,
            [this](int row) { showHistory(row); });
    refresh();
    syncRule();
}

bool StayDialog::refresh()
{
    QString error;
    const auto rows = m_session.stays().current(&error);
    const auto rule = rows ? m_session.stays().rule(&error) : std::nullopt;
    if (!rows || !rule) {
        Prompts::error(this, QStringLiteral("无法读取在园日期"), QString(), error);
        return false;
    }
    m_rows = *rows;
    QVector<QStringList> table{{QStringLiteral("班级"), QStringLiteral("姓名"),
                                QStringLiteral("入园日期"), QStringLiteral("最后在园"),
                                QStringLiteral("备注"), QStringLiteral("经办人"),
                                QStringLiteral("记录时间")}};
    int left = 0;
    for (const StayStore::Row &r : std::as_const(m_rows)) {
        table << QStringList{
            r.className, r.childName, dayText(r.stay.joined), dayText(r.stay.left), r.note,
            r.clerk,     r.at};
        if (r.stay.left.isValid())
            ++left;
    }
    ReportTable::fill(m_table, table);
    showHistory(-1);
    m_kind->setCurrentIndex(int(rule->kind));
    if (rule->kind == Kind::Thresholds) {
        m_full->setValue(rule->fullFrom);
        m_half->setValue(rule->halfFrom);
    }
    m_summary->setText(
        QStringLiteral("%1 名儿童记有在园日期，其中 %2 名已退园。不足月：%3；伙食费按在园的"
                       "上学日计算。没有记日期的儿童按全月收费。")
            .arg(m_rows.size())
            .arg(left)
            .arg(PartMonth::ruleText(*rule)));
    return true;
}

void StayDialog::showHistory(int row)
{
    QVector<QStringList> table{{QStringLiteral("入园日期"), QStringLiteral("最后在园"),
                                QStringLiteral("备注"), QStringLiteral("经办人"),
                                QStringLiteral("记录时间")}};
    if (row >= 0 && row < m_rows.size()) {
        QString error;
        const auto history = m_session.stays().history(m_rows.at(row).childId, &error);
        if (!history) {
            m_summary->setText(QStringLiteral("无法读取历史：%1").arg(error));
        } else {
            for (const StayStore::Row &r : *history)
                table << QStringList{dayText(r.stay.joined), dayText(r.stay.left), r.note, r.clerk,
                                     r.at};
        }
    }
    ReportTable::fill(m_history, table);
}

bool StayDialog::said(const WriteResult &r, const QString &what)
{
    if (!r)
        Prompts::error(this, r.kind == WriteResult::Refused ? r.text : what, QString(), r.detail);
    refresh();
    return bool(r);
}

bool StayDialog::recordJoining()
{
    QString name;
    const auto child = askForChild(this, m_session, QStringLiteral("记录插班"),
                                   QStringLiteral("儿童姓名："), &name);
    if (!child)
        return false;
    const auto day = askDate(this, QStringLiteral("记录插班"),
                             QStringLiteral("“%1”入园的日期（如 2026-12-15）：").arg(name));
    if (!day)
        return false;
    const ChildRecord &rec = child->document->record(child->row());
    QString error;
    const auto stay = m_session.stays().stay(rec.childId, &error);
    if (!stay) {
        Prompts::error(this, QStringLiteral("无法读取在园日期"), QString(), error);
        return false;
    }
    StayStore::Row row;
    row.childId = rec.childId;
    row.childName = rec.text(Roster::Name);
    row.className = rec.className;
    row.stay = *stay;
    row.stay.joined = *day;
    row.note = QStringLiteral("插班");
    return said(m_session.stays().record(row), QStringLiteral("在园日期没有保存"));
}

bool StayDialog::saveRule()
{
    PartMonth::Rule rule;
    rule.kind = Kind(m_kind->currentIndex());
    if (rule.kind == Kind::Thresholds) {
        rule.fullFrom = m_full->value();
        rule.halfFrom = m_half->value();
    }
    return said(m_session.stays().saveRule(rule), QStringLiteral("规则没有保存"));
}

bool StayDialog::settleLeaving()
{
    QString name;
    const auto child = askForChild(this, m_session, QStringLiteral("退园结算"),
                                   QStringLiteral("儿童姓名："), &name);
    if (!child)
        return false;
    const auto day = askDate(this, QStringLiteral("退园结算"),
                             QStringLiteral("“%1”最后在园的日期（如 2026-12-10）：").arg(name));
    if (!day)
        return false;
    if (!Prompts::current().confirm(
            this,
            QStringLiteral(
                "为“%1”办理退园结算，最后在园 %2？\n本月（及退园的月份）按在园天数重新"
                "生成应收，各月余额并入本月，预收的钱当即退还，账目结为零，并打印对账单。"
                "还欠费时不结算。")
                .arg(name, dayText(*day)),
            QStringLiteral("办理退园")))
        return false;
    Prompts::Payment way;
    way.refund = true;
    way.method = QStringLiteral("现金");
    if (!Prompts::current().payment(this, way))
        return false;
    const ChildRecord rec = child->document->record(child->row());
    const AccountService::Leaving done =
        m_session.accounts().settleLeaving(rec.className, child->row(), *day, way.method);
    if (!said(done.result, QStringLiteral("退园结算没有记录")))
        return false;
    m_settled = done.refunded > 0
                    ? QStringLiteral("“%1”已结算：退还 %2 元（%3，退款单号 %4），账目为零。")
                          .arg(name, Journal::yuan(done.refunded), way.method, done.serial)
                    : QStringLiteral("“%1”已结算：没有要退还的钱，账目为零。").arg(name);
    m_summary->setText(m_settled);
    // The statement goes with the child: every entry, the balance at zero.
    auto *statement = new StatementDialog(m_session, done.childId, name, this);
    statement->show();
    statement->print();
    return true;
}
