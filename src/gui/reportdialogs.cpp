#include "reportdialogs.h"

#include "auditlog.h"
#include "clock.h"
#include "database.h"
#include "journal.h"
#include "monthpicker.h"
#include "officesession.h"
#include "officesettings.h"
#include "prompts.h"
#include "reportprinter.h"
#include "reporttable.h"
#include "rosterexchange.h"
#include "workbook.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace
{
QTabWidget *tabs(QWidget *parent, const char *name)
{
    auto *t = new QTabWidget(parent);
    t->setObjectName(QLatin1String(name));
    t->setDocumentMode(true);
    return t;
}

// A line added under the summary, as "已导出到 …".
void addLine(QLabel *label, const QString &line)
{
    label->setText(label->text() + QLatin1Char('\n') + line);
}
} // namespace

QString exportReport(QWidget *parent, const QString &fileName,
                     const QVector<QPair<QString, QVector<QStringList>>> &sheets)
{
    const QString dir = Prompts::current().existingDirectory(parent);
    if (dir.isEmpty())
        return {};
    QVector<QPair<QString, Sheet>> out;
    for (const auto &s : sheets) {
        Sheet sheet;
        for (int r = 0; r < s.second.size(); ++r)
            for (int c = 0; c < s.second.at(r).size(); ++c)
                sheet.setCell(r + 1, c + 1, s.second.at(r).at(c));
        out.append({s.first, sheet});
    }
    RosterExchange exchange;
    if (!exchange.writeSheets(QDir(dir).filePath(fileName), out)) {
        Prompts::error(parent, exchange.errorString());
        return {};
    }
    return exchange.filePath();
}

DayReportDialog::DayReportDialog(OfficeSession &session, QWidget *parent)
    : QDialog(parent), m_session(session)
{
    setWindowTitle(QStringLiteral("日结"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(820, 600);
    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    m_day = new QDateEdit(Clock::now().date(), this);
    m_day->setObjectName(QStringLiteral("dayReportDate"));
    m_day->setCalendarPopup(true);
    m_day->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_clerk = new QComboBox(this);
    m_clerk->setObjectName(QStringLiteral("dayReportClerk"));
    const QString me = session.settings().fees().clerk();
    if (!me.isEmpty())
        m_clerk->addItem(me, me);
    // Every clerk's closing is a 会计's.
    if (session.access().may(Roles::AllDayReports))
        m_clerk->addItem(QStringLiteral("全部经办人"), QString());
    top->addWidget(new QLabel(QStringLiteral("日期："), this));
    top->addWidget(m_day);
    top->addWidget(new QLabel(QStringLiteral("经办人："), this));
    top->addWidget(m_clerk, 1);
    layout->addLayout(top);
    m_summary = ReportTable::summary(this, "dayReportSummary");
    layout->addWidget(m_summary);
    m_tables = tabs(this, "dayReportTables");
    layout->addWidget(m_tables, 1);
    auto *buttons = new QHBoxLayout;
    auto *preview =
        ReportTable::button(this, buttons, QStringLiteral("打印预览"), "dayReportPreview");
    auto *print = ReportTable::button(this, buttons, QStringLiteral("打印"), "dayReportPrint");
    auto *exporting =
        ReportTable::button(this, buttons, QStringLiteral("导出Excel"), "dayReportExport");
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(m_day, &QDateEdit::dateChanged, this, &DayReportDialog::refresh);
    connect(m_clerk, &QComboBox::currentIndexChanged, this, &DayReportDialog::refresh);
    connect(preview, &QPushButton::clicked, this, &DayReportDialog::preview);
    connect(print, &QPushButton::clicked, this, &DayReportDialog::print);
    connect(exporting, &QPushButton::clicked, this, &DayReportDialog::exportReport);
    refresh();
}

bool DayReportDialog::refresh()
{
    QString error;
    m_report =
        m_session.reports().dayReport(m_day->date(), m_clerk->currentData().toString(), &error);
    if (!m_report) {
        m_summary->setText(QStringLiteral("无法读取收据记录：%1").arg(error));
        ReportTable::fillTabs(m_tables, QStringLiteral("dayReportTable"), {});
        return false;
    }
    // The serials' lines of the paper report, then the money to hand over.
    QStringList top = m_report->lines().mid(0, 3);
    QString money = QStringLiteral("实收合计：%1 元").arg(Journal::yuan(m_report->received));
    if (m_report->refundedCash != 0)
        money += QStringLiteral("；当天现金退款：%1 元").arg(Journal::yuan(m_report->refundedCash));
    money += QStringLiteral("；应交现金：%1 元").arg(Journal::yuan(m_report->cash));
    top << money;
    m_summary->setText(top.join(QLatin1Char('\n')));
    ReportTable::fillTabs(m_tables, QStringLiteral("dayReportTable"), m_report->sheets());
    return true;
}

QString DayReportDialog::shownText() const
{
    return m_summary->text() + QLatin1Char('\n') + ReportTable::text(m_tables);
}

void DayReportDialog::preview()
{
    if (m_report && Prompts::current().preview(this, QStringLiteral("日结预览"),
                                               ReportPrinter::render(m_report->lines())))
        print();
}

bool printReport(QWidget *parent, const QStringList &lines)
{
    QPrinter printer(QPrinter::HighResolution);
    ReportPrinter::setUp(printer);
    if (!Prompts::current().printDialog(&printer, parent))
        return false;
    ReportPrinter::setUp(printer);
    QString error;
    if (!ReportPrinter::print(printer, lines, &error)) {
        Prompts::error(parent, error);
        return false;
    }
    return true;
}

bool DayReportDialog::print()
{
    return m_report && printReport(this, m_report->lines());
}

void DayReportDialog::exportReport()
{
    if (!m_report)
        return;
    const QString path = ::exportReport(
        this, m_report->day.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("日结.xlsx"),
        m_report->sheets());
    if (!path.isEmpty())
        addLine(m_summary, QStringLiteral("已导出到 %1").arg(QDir::toNativeSeparators(path)));
}

MonthReportDialog::MonthReportDialog(OfficeSession &session, QWidget *parent)
    : QDialog(parent), m_session(session)
{
    setWindowTitle(QStringLiteral("月报"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(760, 520);
    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    m_month = new MonthPicker(Clock::now().date(), this);
    m_month->setObjectName(QStringLiteral("monthReportMonth"));
    top->addWidget(new QLabel(QStringLiteral("月份："), this));
    top->addWidget(m_month);
    auto *show = ReportTable::button(this, top, QStringLiteral("刷新"), "monthReportShow");
    top->addStretch(1);
    layout->addLayout(top);
    m_summary = ReportTable::summary(this, "monthReportSummary");
    layout->addWidget(m_summary);
    m_tables = tabs(this, "monthReportTables");
    layout->addWidget(m_tables, 1);
    auto *buttons = new QHBoxLayout;
    auto *exporting =
        ReportTable::button(this, buttons, QStringLiteral("导出Excel"), "monthReportExport");
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(show, &QPushButton::clicked, this, &MonthReportDialog::refresh);
    connect(m_month, &MonthPicker::monthChanged, this, &MonthReportDialog::refresh);
    connect(exporting, &QPushButton::clicked, this, &MonthReportDialog::exportReport);
    refresh();
}

bool MonthReportDialog::refresh()
{
    const QString month = m_month->month();
    QString error;
    m_report = m_session.reports().monthReport(month, &error);
    if (!m_report) {
        m_summary->setText(QStringLiteral("无法读取账目：%1").arg(error));
        ReportTable::fillTabs(m_tables, QStringLiteral("monthReportTable"), {});
        return false;
    }
    m_report->classOrder = m_session.classes();
    QString said =
        QStringLiteral("%1：应收 %2 元，实收 %3 元，欠费 %4 元。")
            .arg(month, Journal::yuan(m_report->all.charged), Journal::yuan(m_report->all.received),
                 Journal::yuan(m_report->all.owed));
    if (const auto c = m_session.accounts().monthClosing(month); c && !c->isEmpty())
        said += QLatin1Char('\n') + *c;
    else
        said += QStringLiteral("\n%1 还没有月结。").arg(month);
    m_summary->setText(said);
    ReportTable::fillTabs(m_tables, QStringLiteral("monthReportTable"), m_report->sheets());
    return true;
}

QString MonthReportDialog::shownText() const
{
    return m_summary->text() + QLatin1Char('\n') + ReportTable::text(m_tables);
}

void MonthReportDialog::exportReport()
{
    if (!m_report)
        return;
    QString month = m_report->month;
    const QString path = ::exportReport(
        this, month.remove(QLatin1Char('-')) + QStringLiteral("月报.xlsx"), m_report->sheets());
    if (!path.isEmpty())
        addLine(m_summary, QStringLiteral("已导出到 %1").arg(QDir::toNativeSeparators(path)));
}

AuditDialog::AuditDialog(OfficeSession &session, QWidget *parent)
    : QDialog(parent), m_session(session)
{
    setWindowTitle(QStringLiteral("操作记录"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(900, 560);
    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    const QDate today = Clock::now().date();
    m_from = new QDateEdit(today.addDays(-30), this);
    m_from->setObjectName(QStringLiteral("auditFrom"));
    m_to = new QDateEdit(today, this);
    m_to->setObjectName(QStringLiteral("auditTo"));
    for (QDateEdit *e : {m_from, m_to}) {
        e->setCalendarPopup(true);
        e->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    }
    m_clerk = new QLineEdit(this);
    m_clerk->setObjectName(QStringLiteral("auditClerk"));
    m_clerk->setPlaceholderText(QStringLiteral("全部"));
    m_kind = new QComboBox(this);
    m_kind->setObjectName(QStringLiteral("auditKind"));
    m_kind->addItem(QStringLiteral("全部"), QString());
    for (const QString &k : AuditService::kinds())
        m_kind->addItem(k, k);
    top->addWidget(new QLabel(QStringLiteral("从"), this));
    top->addWidget(m_from);
    top->addWidget(new QLabel(QStringLiteral("到"), this));
    top->addWidget(m_to);
    top->addWidget(new QLabel(QStringLiteral("经办人："), this));
    top->addWidget(m_clerk);
    top->addWidget(new QLabel(QStringLiteral("类别："), this));
    top->addWidget(m_kind);
    auto *show = ReportTable::button(this, top, QStringLiteral("查询"), "auditShow");
    layout->addLayout(top);
    m_table = new QTableWidget(0, 5, this);
    m_table->setObjectName(QStringLiteral("auditTable"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("时间"), QStringLiteral("经办人"),
                                        QStringLiteral("电脑"), QStringLiteral("类别"),
                                        QStringLiteral("内容")});
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(m_table, 1);
    auto *buttons = new QHBoxLayout;
    auto *exporting =
        ReportTable::button(this, buttons, QStringLiteral("导出Excel"), "auditExport");
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(show, &QPushButton::clicked, this, &AuditDialog::refresh);
    connect(m_kind, &QComboBox::currentIndexChanged, this, &AuditDialog::refresh);
    connect(exporting, &QPushButton::clicked, this, &AuditDialog::exportRows);
    refresh();
}

bool AuditDialog::refresh()
{
    QString error;
    const auto rows =
        m_session.audit().read(m_from->date(), m_to->date(), m_clerk->text().trimmed(),
                               m_kind->currentData().toString(), &error);
    if (!rows) {
        Prompts::error(this, QStringLiteral("无法读取操作记录"), QString(), error);
        return false;
    }
    m_table->setRowCount(int(rows->size()));
    for (int r = 0; r < rows->size(); ++r) {
        const AuditLog::Row &row = rows->at(r);
        const QStringList cells = {row.at, row.clerk, row.host, row.kind, row.what};
        for (int c = 0; c < cells.size(); ++c)
            m_table->setItem(r, c, new QTableWidgetItem(cells.at(c)));
    }
    return true;
}

void AuditDialog::exportRows()
{
    QVector<QStringList> rows{{QStringLiteral("时间"), QStringLiteral("经办人"),
                               QStringLiteral("电脑"), QStringLiteral("类别"),
                               QStringLiteral("内容")}};
    for (int r = 0; r < m_table->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m_table->columnCount(); ++c)
            cells << (m_table->item(r, c) ? m_table->item(r, c)->text() : QString());
        rows << cells;
    }
    ::exportReport(this,
                   QStringLiteral("操作记录%1-%2.xlsx")
                       .arg(m_from->date().toString(QStringLiteral("yyyyMMdd")),
                            m_to->date().toString(QStringLiteral("yyyyMMdd"))),
                   {{QStringLiteral("操作记录"), rows}});
}
