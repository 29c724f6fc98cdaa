#include "reconciledialog.h"

#include "childchoice.h"
#include "clock.h"
#include "journal.h"
#include "monthpicker.h"
#include "officesession.h"
#include "officesettings.h"
#include "prompts.h"
#include "receiptplan.h"
#include "reportdialogs.h"
#include "reporttable.h"
#include "workbook.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace
{
QString yuanSigned(const Statements::Row &r)
{
    return Journal::yuan(r.refund ? -r.fen : r.fen);
}

QString yuanSigned(const Statements::Payment &p)
{
    return Journal::yuan(p.refund ? -p.fen : p.fen);
}

QString time(const QDateTime &at)
{
    return at.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}
} // namespace

std::optional<Statements::BankColumns> ReconcileDialog::parseColumns(const QString &text,
                                                                     QString *why)
{
    const QStringList parts =
        text.split(QRegularExpression(QStringLiteral("[,，\\s]+")), Qt::SkipEmptyParts);
    QVector<int> n;
    for (const QString &p : parts) {
        bool ok = false;
        const int v = p.toInt(&ok);
        if (!ok || v < 0 || v > 200) {
            *why =
                QStringLiteral("“%1”不是列号：请写“时间,金额,单号,备注,手续费,标题行”的列号，从 1 "
                               "起，没有的写 0")
                    .arg(p);
            return std::nullopt;
        }
        n << v;
    }
    if (n.size() < 2 || n.at(0) == 0 || n.at(1) == 0) {
        *why = QStringLiteral("至少要写出“时间”和“金额”两列的列号，例如 1,3");
        return std::nullopt;
    }
    Statements::BankColumns c;
    c.time = n.at(0) - 1;
    c.amount = n.at(1) - 1;
    c.number = n.value(2) - 1;
    c.remark = n.value(3) - 1;
    c.fee = n.value(4) - 1;
    c.headerRow = qMax(0, n.value(5, 1) - 1);
    return c;
}

QString ReconcileDialog::columnsText(const Statements::BankColumns &c)
{
    return QStringLiteral("%1,%2,%3,%4,%5,%6")
        .arg(c.time + 1)
        .arg(c.amount + 1)
        .arg(c.number + 1)
        .arg(c.remark + 1)
        .arg(c.fee + 1)
        .arg(c.headerRow + 1);
}

ReconcileDialog::ReconcileDialog(OfficeSession &session, QWidget *parent)
    : QDialog(parent), m_session(session)
{
    setWindowTitle(QStringLiteral("对账"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(1100, 640);
    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    m_source = new QComboBox(this);
    m_source->setObjectName(QStringLiteral("reconcileSource"));
    m_source->addItem(QStringLiteral("微信支付账单"), int(Statements::Source::WeChat));
    m_source->addItem(QStringLiteral("支付宝账单"), int(Statements::Source::Alipay));
    m_source->addItem(QStringLiteral("银行流水/代扣结果"), int(Statements::Source::Bank));
    m_bank = new QLineEdit(this);
    m_bank->setObjectName(QStringLiteral("reconcileBank"));
    m_bank->setPlaceholderText(QStringLiteral("银行名称"));
    m_columns = new QLineEdit(this);
    m_columns->setObjectName(QStringLiteral("reconcileColumns"));
    m_columns->setPlaceholderText(QStringLiteral("列号：空着则按文件的标题认"));
    m_columns->setToolTip(QStringLiteral(
        "银行文件各列的列号：时间,金额,单号,备注,手续费,标题行，从 1 起，没有的写 "
        "0；例如 1,3,5,6,0,1。空着时按文件的标题认出，问过再读。每家银行记住一次。"));
    m_month = new MonthPicker(Clock::now().date(), this);
    m_month->setObjectName(QStringLiteral("reconcileMonth"));
    top->addWidget(new QLabel(QStringLiteral("账单："), this));
    top->addWidget(m_source);
    top->addWidget(m_bank);
    top->addWidget(m_columns, 3);
    top->addStretch(1);
    top->addWidget(new QLabel(QStringLiteral("月份："), this));
    top->addWidget(m_month);
    auto *importing =
        ReportTable::button(this, top, QStringLiteral("导入账单…"), "reconcileImport");
    layout->addLayout(top);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("reconcileStatus"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_status);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("reconcileTables"));
    m_tabs->setDocumentMode(true);
    layout->addWidget(m_tabs, 1);
    auto *buttons = new QHBoxLayout;
    auto *book = ReportTable::button(this, buttons, QStringLiteral("记为缴费…"), "reconcileBook");
    book->setToolTip(QStringLiteral("把“账单有、账上没有”中选中的一笔记为某个儿童的缴费"));
    auto *print = ReportTable::button(this, buttons, QStringLiteral("打印汇总"), "reconcilePrint");
    auto *exporting =
        ReportTable::button(this, buttons, QStringLiteral("导出Excel"), "reconcileExport");
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(m_source, &QComboBox::currentIndexChanged, this, &ReconcileDialog::sourceChanged);
    connect(m_bank, &QLineEdit::editingFinished, this, [this] {
        if (const QString stored = OfficeSettings::bankColumns(m_bank->text().trimmed());
            !stored.isEmpty())
            m_columns->setText(columnsText(Statements::BankColumns::fromText(stored)));
    });
    connect(m_month, &MonthPicker::monthChanged, this, &ReconcileDialog::refresh);
    connect(importing, &QPushButton::clicked, this, [this] { importFile(); });
    connect(book, &QPushButton::clicked, this, [this] {
        auto *table = qobject_cast<QTableWidget *>(m_tabs->widget(1));
        const int row = table ? table->currentRow() : -1;
        if (m_tabs->currentIndex() != 1 || !m_view || row < 0 ||
            row >= m_view->onlyOnStatement.size()) {
            Prompts::warn(this, QStringLiteral("请先在“账单有、账上没有”中选中一笔"));
            return;
        }
        bookRow(row);
    });
    connect(print, &QPushButton::clicked, this, &ReconcileDialog::print);
    connect(exporting, &QPushButton::clicked, this, &ReconcileDialog::exportWorkbook);
    sourceChanged();
}

Statements::Source ReconcileDialog::source() const
{
    return Statements::Source(m_source->currentData().toInt());
}

void ReconcileDialog::sourceChanged()
{
    const bool bank = source() == Statements::Source::Bank;
    m_bank->setVisible(bank);
    m_columns->setVisible(bank);
    refresh();
}

bool ReconcileDialog::importFile(const QString &given)
{
    const QString path = given.isEmpty() ? Prompts::current().openFile(this) : given;
    if (path.isEmpty())
        return false;
    const QString bank = m_bank->text().trimmed();
    const bool isBank = source() == Statements::Source::Bank;
    if (isBank && bank.isEmpty()) {
        Prompts::warn(this, QStringLiteral("请先填写银行名称：每家银行的列记住一次"));
        return false;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        Prompts::error(this, QStringLiteral("无法打开 %1").arg(QDir::toNativeSeparators(path)),
                       f.errorString());
        return false;
    }
    const QString name = QFileInfo(path).fileName();
    const Workbook::Format format = Workbook::detect(f.peek(8), path);
    // A bank's workbook is read as its first sheet's rows; everything else
    // as the file's bytes.
    std::optional<QVector<QStringList>> sheetRows;
    QByteArray bytes;
    if (isBank && (format == Workbook::Format::Xlsx || format == Workbook::Format::Xls)) {
        f.close();
        Sheet sheet;
        QString why;
        if (!Workbook::read(path, 1, sheet, &why)) {
            Prompts::error(this, QStringLiteral("没有导入"), why);
            return false;
        }
        sheetRows.emplace();
        for (int row = 1; row <= sheet.lastRow(); ++row) {
            QStringList cells;
            for (int c = 1; c <= sheet.lastColumn(); ++c)
                cells << sheet.cell(row, c);
            *sheetRows << cells;
        }
    } else {
        if (f.size() > Workbook::MaxFileBytes) {
            Prompts::error(this, QStringLiteral("文件太大，不像是一个月的账单：没有导入"));
            return false;
        }
        bytes = f.readAll();
    }
    Statements::BankColumns columns;
    if (isBank) {
        if (m_columns->text().trimmed().isEmpty() && !chooseColumns(sheetRows, bytes))
            return false;
        QString why;
        const auto parsed = parseColumns(m_columns->text(), &why);
        if (!parsed) {
            Prompts::warn(this, why);
            return false;
        }
        columns = *parsed;
    }
    ReconcileService::Imported imported;
    const WriteResult r = sheetRows
                              ? m_session.reconcile().importRows(source(), *sheetRows, columns,
                                                                 name, m_month->month(), &imported)
                              : m_session.reconcile().import(source(), bytes, columns, name,
                                                             m_month->month(), &imported);
    if (!r) {
        Prompts::error(this, r.kind == WriteResult::Refused ? r.text : QStringLiteral("没有导入"),
                       QString(), r.detail);
        return false;
    }
    if (isBank)
        OfficeSettings::setBankColumns(bank, columns.toText());
    refresh();
    QString said =
        QStringLiteral("已导入 %1：新增 %2 行，以前导入过 %3 行（没有再加），自动对上 %4 笔。")
            .arg(name)
            .arg(imported.report.added)
            .arg(imported.report.again)
            .arg(imported.report.linked);
    if (imported.otherMonths > 0)
        said += QStringLiteral("另有 %1 行不是 %2 的，没有导入。")
                    .arg(imported.otherMonths)
                    .arg(m_month->month());
    m_status->setText(said + QLatin1Char('\n') + m_status->text());
    if (!imported.problems.isEmpty())
        Prompts::warn(this, QStringLiteral("%1 行读不出来，没有导入").arg(imported.problems.size()),
                      QString(), imported.problems.join(QLatin1Char('\n')));
    return true;
}

bool ReconcileDialog::chooseColumns(const std::optional<QVector<QStringList>> &sheetRows,
                                    const QByteArray &bytes)
{
    QVector<QStringList> rows;
    if (sheetRows)
        rows = *sheetRows;
    else if (const auto text = Statements::decode(bytes))
        rows = Statements::csv(*text);
    QStringList captions;
    const auto guessed = Statements::guessBankColumns(rows, &captions);
    if (!guessed) {
        Prompts::warn(this,
                      QStringLiteral("认不出这个文件哪一列是时间、哪一列是金额：请在“列号”中写出"),
                      QStringLiteral("例如 1,3,5,6,0,1：时间、金额、单号、备注、手续费的列号（从 1 "
                                     "起，没有的写 0），再写标题在第几行。"),
                      rows.isEmpty() ? QString() : rows.first().join(QStringLiteral(" | ")));
        return false;
    }
    static const char *what[] = {"时间", "金额", "单号", "备注", "手续费"};
    QStringList said;
    for (int i = 0; i < captions.size(); ++i)
        said << QStringLiteral("%1：%2").arg(QString::fromUtf8(what[i]),
                                             captions.at(i).isEmpty()
                                                 ? QStringLiteral("（没有）")
                                                 : QStringLiteral("“%1”").arg(captions.at(i)));
    if (!Prompts::current().confirm(this,
                                    QStringLiteral("按第 %1 行的标题读这个银行的文件？\n%2")
                                        .arg(guessed->headerRow + 1)
                                        .arg(said.join(QLatin1Char('\n'))),
                                    QStringLiteral("按这些列读")))
        return false;
    m_columns->setText(columnsText(*guessed));
    return true;
}

bool ReconcileDialog::bookRow(int index)
{
    if (!m_view || index < 0 || index >= m_view->onlyOnStatement.size())
        return false;
    const Statements::Row row = m_view->onlyOnStatement.at(index).row;
    if (row.refund) {
        Prompts::warn(this, QStringLiteral("这是一笔退款，不能记为缴费：请在“收据记录”中退款"));
        return false;
    }
    const QString about =
        QStringLiteral("%1 %2 元（%3）")
            .arg(row.at.toString(QStringLiteral("M月d日 HH:mm")), Journal::yuan(row.fen),
                 row.remark.isEmpty() ? row.number : row.remark);
    // The children the remark names are offered first; any other is typed.
    QVector<ChildRef> named;
    QStringList namedNames;
    for (RosterDocument *doc : m_session.documents())
        for (int r = 0; r < doc->size(); ++r)
            if (doc->record(r).has(Roster::Name)) {
                const QString n = doc->record(r).text(Roster::Name);
                if (n.size() >= 2 && row.remark.contains(n)) {
                    named << ChildRef{doc, doc->uid(r)};
                    namedNames << n;
                }
            }
    ChildRef child{};
    QString childName;
    if (!named.isEmpty()) {
        QStringList choices;
        for (int i = 0; i < named.size(); ++i)
            choices << QStringLiteral("%1 %2").arg(named.at(i).document->className(),
                                                   namedNames.at(i));
        choices << QStringLiteral("其他儿童（输入姓名）…");
        const int chosen = Prompts::current().choose(
            this, QStringLiteral("%1 是哪个儿童的缴费？").arg(about), choices);
        if (chosen < 0)
            return false;
        if (chosen < named.size()) {
            child = named.at(chosen);
            childName = namedNames.at(chosen);
        }
    }
    if (!child.document) {
        const auto typed =
            askForChild(this, m_session, QStringLiteral("记为缴费"),
                        QStringLiteral("%1 是哪个儿童的缴费？儿童姓名：").arg(about), &childName);
        if (!typed)
            return false;
        child = *typed;
    }
    ReceiptPlan plan(m_session.settings().mirror(), CapitalPlacement::LeftAligned);
    plan.add(child);
    m_session.accounts().decide(plan);
    const auto decided = plan.decision(0);
    if (plan.printable().isEmpty() || !decided) {
        Prompts::warn(this, QStringLiteral("这个儿童现在不能记缴费"), QString(),
                      plan.refusalsByRow().join(QLatin1Char('\n')));
        return false;
    }
    if (!decided->isPayment()) {
        Prompts::warn(this,
                      QStringLiteral("%1 本月账上已经没有欠费，这笔钱不能记为缴费").arg(childName));
        return false;
    }
    if (row.fen > decided->due &&
        !Prompts::current().confirm(
            this,
            QStringLiteral("应收 %1 元，账单上是 %2 元：多出的 %3 元记为预收？")
                .arg(Journal::yuan(decided->due), Journal::yuan(row.fen),
                     Journal::yuan(row.fen - decided->due)),
            QStringLiteral("记为预收")))
        return false;
    if (row.fen != decided->due)
        plan.setReceived(row.fen);
    QVector<JournalEntry> entries = plan.journalEntries(
        {row.at}, QStringLiteral("对账入账（未打印）"), QSysInfo::machineHostName());
    for (JournalEntry &e : entries) {
        e.method = Statements::methodsOf(source()).first();
        e.reference = row.number.isEmpty() ? row.merchantNumber : row.number;
    }
    const WriteResult recorded = m_session.journal().recordReceipts(entries);
    if (!recorded) {
        Prompts::error(this,
                       recorded.kind == WriteResult::Refused ? recorded.text
                                                             : QStringLiteral("没有记为缴费"),
                       QString(), recorded.detail);
        return false;
    }
    plan.markPrinted({row.at});
    int linked = 0;
    const WriteResult r = m_session.reconcile().relink(source(), m_month->month(), &linked);
    refresh();
    if (!r) {
        Prompts::error(this, QStringLiteral("已记为缴费，但没有重新对账"), QString(), r.detail);
        return false;
    }
    m_status->setText(
        QStringLiteral("已把 %1 元记为 %2 的缴费（收据 %3，没有打印：可在“收据记录”中补打）。")
            .arg(Journal::yuan(row.fen), childName, entries.value(0).serial) +
        QLatin1Char('\n') + m_status->text());
    return true;
}

QVector<QPair<QString, QVector<QStringList>>> ReconcileDialog::sheets() const
{
    if (!m_view)
        return {};
    const ReconcileService::View &v = *m_view;
    QVector<QStringList> matched{{QStringLiteral("账单时间"), QStringLiteral("账单单号"),
                                  QStringLiteral("金额（元）"), QStringLiteral("班级"),
                                  QStringLiteral("儿童姓名"), QStringLiteral("收据"),
                                  QStringLiteral("收款方式"), QStringLiteral("对上依据")}};
    qint64 sum = 0;
    for (const auto &p : v.matched) {
        matched << QStringList{time(p.row.row.at),    p.row.row.number,
                               yuanSigned(p.row.row), p.payment.className,
                               p.payment.childName,   p.payment.receiptSerial,
                               p.payment.method,      p.how};
        sum += p.row.row.refund ? -p.row.row.fen : p.row.row.fen;
    }
    matched << QStringList{QStringLiteral("合计"), QStringLiteral("%1 笔").arg(v.matched.size()),
                           Journal::yuan(sum)};
    QVector<QStringList> statementOnly{{QStringLiteral("账单时间"), QStringLiteral("账单单号"),
                                        QStringLiteral("金额（元）"),
                                        QStringLiteral("手续费（元）"), QStringLiteral("备注")}};
    sum = 0;
    for (const auto &s : v.onlyOnStatement) {
        statementOnly << QStringList{time(s.row.at), s.row.number, yuanSigned(s.row),
                                     Journal::yuan(s.row.fee), s.row.remark};
        sum += s.row.refund ? -s.row.fen : s.row.fen;
    }
    statementOnly << QStringList{QStringLiteral("合计"),
                                 QStringLiteral("%1 笔").arg(v.onlyOnStatement.size()),
                                 Journal::yuan(sum)};
    QVector<QStringList> booksOnly{{QStringLiteral("记账时间"), QStringLiteral("收据"),
                                    QStringLiteral("金额（元）"), QStringLiteral("班级"),
                                    QStringLiteral("儿童姓名"), QStringLiteral("收款方式"),
                                    QStringLiteral("交易单号")}};
    sum = 0;
    for (const auto &p : v.onlyInBooks) {
        booksOnly << QStringList{time(p.at),  p.receiptSerial, yuanSigned(p), p.className,
                                 p.childName, p.method,        p.reference};
        sum += p.refund ? -p.fen : p.fen;
    }
    booksOnly << QStringList{QStringLiteral("合计"),
                             QStringLiteral("%1 笔").arg(v.onlyInBooks.size()), Journal::yuan(sum)};
    QVector<QStringList> days{{QStringLiteral("日期"), QStringLiteral("账上收款（元）"),
                               QStringLiteral("账单收款（元）"), QStringLiteral("手续费（元）"),
                               QStringLiteral("差额（元）")}};
    ReconcileService::View::Day all;
    for (auto it = v.days.cbegin(); it != v.days.cend(); ++it) {
        days << QStringList{it.key().toString(QStringLiteral("yyyy-MM-dd")),
                            Journal::yuan(it->desk), Journal::yuan(it->statement),
                            Journal::yuan(it->fees), Journal::yuan(it->difference())};
        all.desk += it->desk;
        all.statement += it->statement;
        all.fees += it->fees;
    }
    days << QStringList{QStringLiteral("合计"), Journal::yuan(all.desk),
                        Journal::yuan(all.statement), Journal::yuan(all.fees),
                        Journal::yuan(all.difference())};
    return {{QStringLiteral("已对上"), matched},
            {QStringLiteral("账单有、账上没有"), statementOnly},
            {QStringLiteral("账上有、账单没有"), booksOnly},
            {QStringLiteral("对账单汇总"), days}};
}

bool ReconcileDialog::refresh()
{
    QString error;
    m_view = m_session.reconcile().view(source(), m_month->month(), &error);
    ReportTable::fillTabs(m_tabs, QStringLiteral("reconcileTable"), sheets());
    if (!m_view) {
        m_status->setText(QStringLiteral("无法读取：%1").arg(error));
        return false;
    }
    m_status->setText(
        QStringLiteral("%1 %2：已对上 %3 笔；账单有、账上没有 %4 笔；账上有、账单没有 %5 笔。")
            .arg(Statements::sourceText(source()), m_month->month())
            .arg(m_view->matched.size())
            .arg(m_view->onlyOnStatement.size())
            .arg(m_view->onlyInBooks.size()));
    return true;
}

bool ReconcileDialog::print()
{
    if (!m_view)
        return false;
    QStringList lines{QStringLiteral("对账单汇总  %1  %2")
                          .arg(Statements::sourceText(source()), m_month->month())};
    for (const auto &sheet : sheets()) {
        lines << QString() << sheet.first;
        for (const QStringList &row : sheet.second)
            lines << row.join(QLatin1Char('\t'));
    }
    return printReport(this, lines);
}

void ReconcileDialog::exportWorkbook()
{
    if (!m_view)
        return;
    QString month = m_month->month();
    const QString path =
        ::exportReport(this,
                       QStringLiteral("%1%2对账单汇总.xlsx")
                           .arg(month.remove(QLatin1Char('-')), Statements::sourceText(source())),
                       sheets());
    if (!path.isEmpty())
        m_status->setText(m_status->text() +
                          QStringLiteral("\n已导出到 %1").arg(QDir::toNativeSeparators(path)));
}
