#include "noticedialog.h"

#include "clock.h"
#include "journal.h"
#include "monthpicker.h"
#include "noticeprinter.h"
#include "officesession.h"
#include "officesettings.h"
#include "prompts.h"
#include "reportdialogs.h"
#include "reporttable.h"
#include "rosterexchange.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace
{
// A name that cannot be part of a file name, or nullopt.
std::optional<QChar> unfit(const QString &text)
{
    static const QString bad = QStringLiteral("/\\:*?\"<>|");
    for (const QChar c : text)
        if (bad.contains(c) || c.category() == QChar::Other_Control ||
            c.category() == QChar::Other_Format)
            return c;
    return std::nullopt;
}

QString yyyyMM(const QString &month)
{
    QString m = month;
    return m.remove(QLatin1Char('-'));
}

const QStringList noticeHeader = {
    QStringLiteral("班级"),           QStringLiteral("儿童姓名"),
    QStringLiteral("本月应收（元）"), QStringLiteral("本月已缴（元）"),
    QStringLiteral("预收抵扣（元）"), QStringLiteral("以前欠费（元）"),
    QStringLiteral("应缴（元）")};
} // namespace

NoticeDialog::NoticeDialog(OfficeSession &session, QWidget *parent)
    : QDialog(parent), m_session(session)
{
    setWindowTitle(QStringLiteral("缴费通知单"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(960, 620);
    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    m_class = new QComboBox(this);
    m_class->setObjectName(QStringLiteral("noticeClass"));
    m_class->addItem(QStringLiteral("全部班级"), QString());
    for (RosterDocument *doc : session.documents())
        m_class->addItem(doc->className(), doc->className());
    m_month = new MonthPicker(Clock::now().date(), this);
    m_month->setObjectName(QStringLiteral("noticeMonth"));
    const QDate today = Clock::now().date();
    m_payBy =
        new QDateEdit(QDate(today.year(), today.month(), qMin(today.daysInMonth(), 10)), this);
    m_payBy->setObjectName(QStringLiteral("noticePayBy"));
    m_payBy->setCalendarPopup(true);
    m_payBy->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    top->addWidget(new QLabel(QStringLiteral("班级："), this));
    top->addWidget(m_class, 1);
    top->addWidget(new QLabel(QStringLiteral("月份："), this));
    top->addWidget(m_month);
    top->addWidget(new QLabel(QStringLiteral("缴费截止："), this));
    top->addWidget(m_payBy);
    layout->addLayout(top);
    m_table = ReportTable::create(this, QStringLiteral("noticeTable"));
    layout->addWidget(m_table, 1);
    m_status = ReportTable::summary(this, "noticeStatus");
    layout->addWidget(m_status);
    auto *buttons = new QHBoxLayout;
    auto *print =
        ReportTable::button(this, buttons, QStringLiteral("打印（每页 3 张）"), "noticePrint");
    auto *pdfs = ReportTable::button(this, buttons, QStringLiteral("每人一份 PDF"), "noticePdfs");
    auto *book = ReportTable::button(this, buttons, QStringLiteral("导出Excel"), "noticeExport");
    buttons->addStretch(1);
    auto *details =
        ReportTable::button(this, buttons, QStringLiteral("收款信息…"), "noticeDetails");
    layout->addLayout(buttons);
    connect(m_class, &QComboBox::currentIndexChanged, this, &NoticeDialog::refresh);
    connect(m_month, &MonthPicker::monthChanged, this, &NoticeDialog::refresh);
    connect(m_payBy, &QDateEdit::dateChanged, this, &NoticeDialog::refresh);
    connect(print, &QPushButton::clicked, this, &NoticeDialog::print);
    connect(pdfs, &QPushButton::clicked, this, &NoticeDialog::writePdfs);
    connect(book, &QPushButton::clicked, this, &NoticeDialog::exportWorkbook);
    connect(details, &QPushButton::clicked, this, &NoticeDialog::editDetails);
    refresh();
}

bool NoticeDialog::refresh()
{
    QVector<ReportService::Child> children;
    m_unsaved.clear();
    const QString only = m_class->currentData().toString();
    for (RosterDocument *doc : m_session.documents()) {
        if (!only.isEmpty() && doc->className() != only)
            continue;
        for (int r = 0; r < doc->size(); ++r) {
            const ChildRecord &rec = doc->record(r);
            const QString name = rec.cells[Roster::Name].value_or(QString());
            if (rec.childId.isEmpty()) {
                m_unsaved << name;
                continue;
            }
            children << ReportService::Child{rec.childId, doc->className(), name};
        }
    }
    QString error;
    const auto notices =
        m_session.reports().notices(children, m_month->month(), m_payBy->date(), &error);
    m_notices = notices.value_or(QVector<Notices::Notice>());
    QVector<QStringList> rows{noticeHeader};
    qint64 sums[5] = {0, 0, 0, 0, 0};
    for (const Notices::Notice &n : std::as_const(m_notices)) {
        const qint64 cells[5] = {n.charged, n.received, n.creditUsed, n.earlierOwed, n.due};
        QStringList row{n.className, n.childName};
        for (int i = 0; i < 5; ++i) {
            row << Journal::yuan(cells[i]);
            sums[i] += cells[i];
        }
        rows << row;
    }
    if (!m_notices.isEmpty()) {
        QStringList total{QStringLiteral("合计"), QStringLiteral("%1 名").arg(m_notices.size())};
        for (const qint64 s : sums)
            total << Journal::yuan(s);
        rows << total;
    }
    ReportTable::fill(m_table, rows);
    for (int r = 0; r < m_notices.size(); ++r)
        if (QTableWidgetItem *item = m_table->item(r, 1)) {
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
        }
    m_table->resizeColumnsToContents();
    if (!notices) {
        m_status->setText(QStringLiteral("无法读取账目：%1").arg(error));
        return false;
    }
    QString said = QStringLiteral("%1 名儿童，应缴合计 %2 元。勾选儿童只出所选的，不勾选出全部。")
                       .arg(m_notices.size())
                       .arg(Journal::yuan(sums[4]));
    if (!m_unsaved.isEmpty())
        said += QStringLiteral("\n%1 还没有保存，没有账目，不出通知单：请先保存。")
                    .arg(m_unsaved.join(QStringLiteral("、")));
    if (OfficeSettings::noticeDetails().isEmpty())
        said += QStringLiteral("\n还没有填写收款信息（“收款信息…”），通知单上不会写怎样缴费。");
    m_status->setText(said);
    return true;
}

QVector<Notices::Notice> NoticeDialog::chosen() const
{
    QVector<Notices::Notice> ticked;
    for (int r = 0; r < m_notices.size(); ++r)
        if (m_table->item(r, 1) && m_table->item(r, 1)->checkState() == Qt::Checked)
            ticked << m_notices.at(r);
    return ticked.isEmpty() ? m_notices : ticked;
}

bool NoticeDialog::print()
{
    const auto notices = chosen();
    if (notices.isEmpty()) {
        Prompts::warn(this, QStringLiteral("没有可以出通知单的儿童"));
        return false;
    }
    QPrinter printer(QPrinter::HighResolution);
    if (!Prompts::current().printDialog(&printer, this))
        return false;
    QVector<QStringList> blocks;
    const QString details = OfficeSettings::noticeDetails();
    for (const Notices::Notice &n : notices)
        blocks << Notices::lines(n, details);
    QString error;
    if (!NoticePrinter::print(printer, blocks, OfficeSettings::noticeImage(),
                              NoticePrinter::BlocksPerPage, &error)) {
        Prompts::error(this, error);
        return false;
    }
    m_status->setText(QStringLiteral("已打印 %1 张缴费通知单").arg(notices.size()));
    return true;
}

QString NoticeDialog::pdfName(const Notices::Notice &n, QString *why)
{
    for (const QString &part : {n.className, n.childName})
        if (const auto c = unfit(part)) {
            *why = QStringLiteral("“%1”含有不能用在文件名里的字符“%2”").arg(part, *c);
            return {};
        }
    return QStringLiteral("%1-%2-%3缴费通知单.pdf").arg(n.className, n.childName, yyyyMM(n.month));
}

int NoticeDialog::writePdfs()
{
    const auto notices = chosen();
    if (notices.isEmpty()) {
        Prompts::warn(this, QStringLiteral("没有可以出通知单的儿童"));
        return 0;
    }
    const QString dir = Prompts::current().existingDirectory(this);
    if (dir.isEmpty())
        return 0;
    const QString details = OfficeSettings::noticeDetails();
    const QImage image = OfficeSettings::noticeImage();
    QStringList failed;
    QSet<QString> names;
    int written = 0;
    for (const Notices::Notice &n : notices) {
        QString why;
        QString name = pdfName(n, &why);
        // Two children of one name in a class: the second is numbered.
        for (int i = 2; !name.isEmpty() && names.contains(name); ++i)
            name = QStringLiteral("%1-%2(%3)-%4缴费通知单.pdf")
                       .arg(n.className, n.childName)
                       .arg(i)
                       .arg(yyyyMM(n.month));
        if (name.isEmpty() ||
            !NoticePrinter::writePdf(QDir(dir).filePath(name), {Notices::lines(n, details)}, image,
                                     1, &why)) {
            failed << QStringLiteral("%1 %2：%3").arg(n.className, n.childName, why);
            continue;
        }
        names << name;
        ++written;
    }
    m_status->setText(QStringLiteral("已在 %1 写出 %2 份缴费通知单 PDF")
                          .arg(QDir::toNativeSeparators(dir))
                          .arg(written));
    if (!failed.isEmpty())
        Prompts::error(this, QStringLiteral("%1 份通知单没有写出").arg(failed.size()), QString(),
                       failed.join(QLatin1Char('\n')));
    return written;
}

void NoticeDialog::exportWorkbook()
{
    if (m_notices.isEmpty()) {
        Prompts::warn(this, QStringLiteral("没有可以导出的通知单"));
        return;
    }
    const QString dir = Prompts::current().existingDirectory(this);
    if (dir.isEmpty())
        return;
    // The items every child is charged, in the receipt's order.
    QStringList items;
    for (const Notices::Notice &n : std::as_const(m_notices))
        for (const auto &c : n.charges)
            if (!items.contains(c.first))
                items << c.first;
    Sheet sheet;
    QStringList header = noticeHeader.mid(0, 2);
    for (const QString &i : items)
        header << QStringLiteral("%1（元）").arg(i);
    header << noticeHeader.mid(2) << QStringLiteral("缴费截止");
    for (int c = 0; c < header.size(); ++c)
        sheet.setCell(1, c + 1, header.at(c));
    int row = 2;
    for (const Notices::Notice &n : std::as_const(m_notices)) {
        QStringList cells{n.className, n.childName};
        for (const QString &i : items) {
            qint64 fen = 0;
            for (const auto &c : n.charges)
                if (c.first == i)
                    fen = c.second;
            cells << Journal::yuan(fen);
        }
        cells << Journal::yuan(n.charged) << Journal::yuan(n.received)
              << Journal::yuan(n.creditUsed) << Journal::yuan(n.earlierOwed) << Journal::yuan(n.due)
              << n.payBy.toString(QStringLiteral("yyyy-MM-dd"));
        for (int c = 0; c < cells.size(); ++c)
            sheet.setCell(row, c + 1, cells.at(c));
        ++row;
    }
    const QString cls = m_class->currentData().toString();
    RosterExchange exchange;
    const QString path = QDir(dir).filePath(
        QStringLiteral("%1%2缴费通知单.xlsx")
            .arg(yyyyMM(m_month->month()), cls.isEmpty() ? QStringLiteral("全部班级") : cls));
    if (!exchange.writeSheets(path, {{QStringLiteral("缴费通知单"), sheet}})) {
        Prompts::error(this, exchange.errorString());
        return;
    }
    m_status->setText(
        QStringLiteral("已导出到 %1").arg(QDir::toNativeSeparators(exchange.filePath())));
}

void NoticeDialog::editDetails()
{
    if (const QString no = m_session.settings().pricesRefusal(); !no.isEmpty()) {
        Prompts::error(this, no);
        return;
    }
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("收款信息"));
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(
        QStringLiteral("印在每张缴费通知单上：收款单位、账号、微信或支付宝的说明……"), &dialog));
    auto *text = new QPlainTextEdit(OfficeSettings::noticeDetails(), &dialog);
    text->setObjectName(QStringLiteral("noticeDetailsText"));
    layout->addWidget(text);
    QString imagePath;
    auto *image = new QLabel(&dialog);
    const QImage stored = OfficeSettings::noticeImage();
    image->setText(stored.isNull() ? QStringLiteral("没有收款码图片")
                                   : QStringLiteral("已有收款码图片"));
    auto *row = new QHBoxLayout;
    row->addWidget(image, 1);
    auto *choose =
        ReportTable::button(&dialog, row, QStringLiteral("选择 PNG 图片…"), "noticeImageChoose");
    auto *none = ReportTable::button(&dialog, row, QStringLiteral("不用图片"), "noticeImageNone");
    layout->addLayout(row);
    connect(choose, &QPushButton::clicked, &dialog, [&] {
        const QString file = Prompts::current().openFile(&dialog);
        if (!file.isEmpty()) {
            imagePath = file;
            image->setText(QStringLiteral("将使用 %1").arg(QDir::toNativeSeparators(file)));
        }
    });
    connect(none, &QPushButton::clicked, &dialog, [&] {
        imagePath = QStringLiteral("-");
        image->setText(QStringLiteral("将去掉收款码图片"));
    });
    auto *box = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, &dialog);
    box->button(QDialogButtonBox::Save)->setText(QStringLiteral("保存"));
    box->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(box);
    dialog.resize(560, 360);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QString why;
    if (!m_session.settings().saveNoticeDetails(text->toPlainText(), imagePath, &why)) {
        Prompts::error(this, QStringLiteral("收款信息没有保存"), why);
        return;
    }
    refresh();
}

ReminderDialog::ReminderDialog(OfficeSession &session, QWidget *parent)
    : QDialog(parent), m_session(session)
{
    setWindowTitle(QStringLiteral("催费单"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(900, 560);
    auto *layout = new QVBoxLayout(this);
    m_table = ReportTable::create(this, QStringLiteral("reminderTable"));
    layout->addWidget(m_table, 1);
    m_status = ReportTable::summary(this, "reminderStatus");
    layout->addWidget(m_status);
    auto *buttons = new QHBoxLayout;
    auto *print =
        ReportTable::button(this, buttons, QStringLiteral("打印（每页 3 张）"), "reminderPrint");
    auto *pdfs = ReportTable::button(this, buttons, QStringLiteral("每人一份 PDF"), "reminderPdfs");
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(print, &QPushButton::clicked, this, &ReminderDialog::print);
    connect(pdfs, &QPushButton::clicked, this, &ReminderDialog::writePdfs);
    refresh();
}

bool ReminderDialog::refresh()
{
    QString error;
    const auto reminders = m_session.reports().reminders(Clock::now().date(), &error);
    m_reminders = reminders.value_or(QVector<Notices::Reminder>());
    const QStringList order = m_session.classes();
    std::stable_sort(m_reminders.begin(), m_reminders.end(),
                     [&order](const Notices::Reminder &a, const Notices::Reminder &b) {
                         const auto ia = order.indexOf(a.owing.className);
                         const auto ib = order.indexOf(b.owing.className);
                         return (ia < 0 ? order.size() : ia) < (ib < 0 ? order.size() : ib);
                     });
    QVector<QStringList> rows{{QStringLiteral("班级"), QStringLiteral("儿童姓名"),
                               QStringLiteral("欠费月份"), QStringLiteral("已欠天数"),
                               QStringLiteral("不满30天（元）"), QStringLiteral("30–60天（元）"),
                               QStringLiteral("60天以上（元）"), QStringLiteral("欠费（元）")}};
    qint64 sums[4] = {0, 0, 0, 0};
    for (const Notices::Reminder &r : std::as_const(m_reminders)) {
        rows << QStringList{r.owing.className,
                            r.owing.childName,
                            QStringList(r.months.keys()).join(QStringLiteral("、")),
                            QString::number(r.days),
                            Journal::yuan(r.buckets[0]),
                            Journal::yuan(r.buckets[1]),
                            Journal::yuan(r.buckets[2]),
                            Journal::yuan(r.owing.total)};
        for (int i = 0; i < 3; ++i)
            sums[i] += r.buckets[i];
        sums[3] += r.owing.total;
    }
    if (!m_reminders.isEmpty())
        rows << QStringList{QStringLiteral("合计"),
                            QStringLiteral("%1 名").arg(m_reminders.size()),
                            QString(),
                            QString(),
                            Journal::yuan(sums[0]),
                            Journal::yuan(sums[1]),
                            Journal::yuan(sums[2]),
                            Journal::yuan(sums[3])};
    ReportTable::fill(m_table, rows);
    if (!reminders) {
        m_status->setText(QStringLiteral("无法读取账目：%1").arg(error));
        return false;
    }
    m_status->setText(m_reminders.isEmpty() ? QStringLiteral("没有欠费的儿童。")
                                            : QStringLiteral("%1 名儿童欠费，合计 %2 元。")
                                                  .arg(m_reminders.size())
                                                  .arg(Journal::yuan(sums[3])));
    return true;
}

bool ReminderDialog::print()
{
    if (m_reminders.isEmpty()) {
        Prompts::warn(this, QStringLiteral("没有欠费的儿童"));
        return false;
    }
    QPrinter printer(QPrinter::HighResolution);
    if (!Prompts::current().printDialog(&printer, this))
        return false;
    QVector<QStringList> blocks;
    for (const Notices::Reminder &r : std::as_const(m_reminders))
        blocks << Notices::lines(r);
    QString error;
    if (!NoticePrinter::print(printer, blocks, OfficeSettings::noticeImage(),
                              NoticePrinter::BlocksPerPage, &error)) {
        Prompts::error(this, error);
        return false;
    }
    m_status->setText(QStringLiteral("已打印 %1 张催费单").arg(m_reminders.size()));
    return true;
}

int ReminderDialog::writePdfs()
{
    if (m_reminders.isEmpty()) {
        Prompts::warn(this, QStringLiteral("没有欠费的儿童"));
        return 0;
    }
    const QString dir = Prompts::current().existingDirectory(this);
    if (dir.isEmpty())
        return 0;
    const QString month = yyyyMM(Journal::month(Clock::now()));
    QStringList failed;
    int written = 0;
    for (const Notices::Reminder &r : std::as_const(m_reminders)) {
        QString why;
        Notices::Notice named;
        named.className = r.owing.className;
        named.childName = r.owing.childName;
        named.month = month;
        QString name = NoticeDialog::pdfName(named, &why);
        name.replace(QStringLiteral("缴费通知单"), QStringLiteral("催费单"));
        if (name.isEmpty() ||
            !NoticePrinter::writePdf(QDir(dir).filePath(name), {Notices::lines(r)},
                                     OfficeSettings::noticeImage(), 1, &why)) {
            failed << QStringLiteral("%1 %2：%3").arg(r.owing.className, r.owing.childName, why);
            continue;
        }
        ++written;
    }
    m_status->setText(QStringLiteral("已在 %1 写出 %2 份催费单 PDF")
                          .arg(QDir::toNativeSeparators(dir))
                          .arg(written));
    if (!failed.isEmpty())
        Prompts::error(this, QStringLiteral("%1 份催费单没有写出").arg(failed.size()), QString(),
                       failed.join(QLatin1Char('\n')));
    return written;
}

StatementDialog::StatementDialog(OfficeSession &session, const QString &childId,
                                 const QString &name, QWidget *parent)
    : QDialog(parent), m_session(session), m_childId(childId), m_name(name)
{
    setWindowTitle(QStringLiteral("对账单 — %1").arg(name));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(900, 560);
    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    const QDate today = Clock::now().date();
    m_from = new MonthPicker(today.addMonths(-2), this);
    m_from->setObjectName(QStringLiteral("statementFrom"));
    m_to = new MonthPicker(today, this);
    m_to->setObjectName(QStringLiteral("statementTo"));
    top->addWidget(new QLabel(QStringLiteral("从"), this));
    top->addWidget(m_from);
    top->addWidget(new QLabel(QStringLiteral("到"), this));
    top->addWidget(m_to);
    top->addStretch(1);
    layout->addLayout(top);
    m_table = ReportTable::create(this, QStringLiteral("statementTable"));
    layout->addWidget(m_table, 1);
    m_status = ReportTable::summary(this, "statementStatus");
    layout->addWidget(m_status);
    auto *buttons = new QHBoxLayout;
    auto *print = ReportTable::button(this, buttons, QStringLiteral("打印"), "statementPrint");
    auto *pdf = ReportTable::button(this, buttons, QStringLiteral("保存为 PDF"), "statementPdf");
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(m_from, &MonthPicker::monthChanged, this, &StatementDialog::refresh);
    connect(m_to, &MonthPicker::monthChanged, this, &StatementDialog::refresh);
    connect(print, &QPushButton::clicked, this, &StatementDialog::print);
    connect(pdf, &QPushButton::clicked, this, &StatementDialog::writePdf);
    refresh();
}

bool StatementDialog::refresh()
{
    QString error;
    if (m_from->date() > m_to->date()) {
        m_statement.reset();
        ReportTable::fill(m_table, {});
        m_status->setText(QStringLiteral("起始月份在结束月份之后"));
        return false;
    }
    m_statement = m_session.reports().statement(m_childId, m_from->month(), m_to->month(), &error);
    if (!m_statement) {
        ReportTable::fill(m_table, {});
        m_status->setText(QStringLiteral("无法读取账目：%1").arg(error));
        return false;
    }
    QVector<QStringList> rows{{QStringLiteral("时间"), QStringLiteral("月份"),
                               QStringLiteral("项目"), QStringLiteral("收据"),
                               QStringLiteral("金额（元）"), QStringLiteral("余额（元）")}};
    rows << QStringList{QStringLiteral("期初"),
                        QString(),
                        QString(),
                        QString(),
                        QString(),
                        Journal::yuan(m_statement->opening)};
    for (const Notices::Statement::Line &l : m_statement->lines)
        rows << QStringList{
            l.at, l.month, l.what, l.serial, Journal::yuan(l.amount), Journal::yuan(l.balance)};
    rows << QStringList{
        QStringLiteral("期末合计"),         QString(), QString(), QString(), QString(),
        Journal::yuan(m_statement->closing)};
    ReportTable::fill(m_table, rows);
    m_status->setText(QStringLiteral("余额为正是欠费，为负是预收。%1 至 %2 共 %3 笔。")
                          .arg(m_from->month(), m_to->month())
                          .arg(m_statement->lines.size()));
    return true;
}

bool StatementDialog::print()
{
    return m_statement && printReport(this, Notices::lines(*m_statement));
}

QString StatementDialog::writePdf()
{
    if (!m_statement)
        return {};
    const QString dir = Prompts::current().existingDirectory(this);
    if (dir.isEmpty())
        return {};
    Notices::Notice named;
    named.className = m_statement->className;
    named.childName = m_name;
    named.month = m_to->month();
    QString why;
    QString name = NoticeDialog::pdfName(named, &why);
    name.replace(QStringLiteral("缴费通知单"), QStringLiteral("对账单"));
    const QString path = name.isEmpty() ? QString() : QDir(dir).filePath(name);
    if (path.isEmpty() || !NoticePrinter::writeLinesPdf(path, Notices::lines(*m_statement), &why)) {
        Prompts::error(this, QStringLiteral("对账单没有写出"), why);
        return {};
    }
    m_status->setText(QStringLiteral("已保存到 %1").arg(QDir::toNativeSeparators(path)));
    return path;
}
