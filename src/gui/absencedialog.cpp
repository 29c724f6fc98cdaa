#include "absencedialog.h"

#include "busy.h"
#include "classname.h"
#include "clock.h"
#include "journal.h"
#include "monthpicker.h"
#include "prompts.h"
#include "workbook.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>
#include <QVBoxLayout>

namespace
{
const QString absentMark = QStringLiteral("缺");
const QString leaveMark = QStringLiteral("假");

QPushButton *button(QWidget *parent, const QString &text, const char *name)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}
} // namespace

AbsenceDialog::AbsenceDialog(OfficeSession &session, const QString &className, QWidget *parent)
    : QDialog(parent), m_session(session)
{
    setWindowTitle(QStringLiteral("缺勤退费"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(1000, 640);
    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    m_class = new QComboBox(this);
    m_class->setObjectName(QStringLiteral("absenceClass"));
    for (RosterDocument *doc : session.documents())
        m_class->addItem(ClassName::visible(doc->className()), doc->className());
    m_class->setCurrentIndex(qMax(0, m_class->findData(className)));
    m_month = new MonthPicker(Clock::now().date(), this);
    m_month->setObjectName(QStringLiteral("absenceMonth"));
    top->addWidget(new QLabel(QStringLiteral("班级："), this));
    top->addWidget(m_class, 1);
    top->addWidget(new QLabel(QStringLiteral("月份："), this));
    top->addWidget(m_month);
    auto *show = button(this, QStringLiteral("显示"), "absenceShow");
    top->addWidget(show);
    layout->addLayout(top);

    auto *calendarRow = new QHBoxLayout;
    m_holidays = new QLineEdit(this);
    m_holidays->setObjectName(QStringLiteral("absenceHolidays"));
    m_holidays->setPlaceholderText(QStringLiteral("如 1,2,3"));
    m_workdays = new QLineEdit(this);
    m_workdays->setObjectName(QStringLiteral("absenceWorkdays"));
    m_workdays->setPlaceholderText(QStringLiteral("如 6"));
    calendarRow->addWidget(new QLabel(QStringLiteral("假日（几号）："), this));
    calendarRow->addWidget(m_holidays, 1);
    calendarRow->addWidget(new QLabel(QStringLiteral("补班（几号）："), this));
    calendarRow->addWidget(m_workdays, 1);
    layout->addLayout(calendarRow);

    m_grid = new QTableWidget(this);
    m_grid->setObjectName(QStringLiteral("absenceGrid"));
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->horizontalHeader()->setDefaultSectionSize(34);
    m_grid->setToolTip(QStringLiteral("单击：缺（缺勤）→ 假（缺勤，已请假）→ 空（出勤）"));
    layout->addWidget(m_grid, 3);

    auto *buttons = new QHBoxLayout;
    auto *importing = button(this, QStringLiteral("读取Excel文件"), "absenceImport");
    auto *saving = button(this, QStringLiteral("保存缺勤"), "absenceSave");
    auto *computing = button(this, QStringLiteral("计算退费"), "absenceCompute");
    auto *applying = button(this, QStringLiteral("应用"), "absenceApply");
    for (QPushButton *b : {importing, saving, computing, applying})
        buttons->addWidget(b);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    m_results = new QTableWidget(0, 5, this);
    m_results->setObjectName(QStringLiteral("absenceRefunds"));
    m_results->setHorizontalHeaderLabels(
        {QStringLiteral("儿童姓名"), QStringLiteral("退费（元）"), QStringLiteral("说明"),
         QStringLiteral("保教费退还（元）"), QStringLiteral("保教费退还说明")});
    m_results->horizontalHeader()->setStretchLastSection(true);
    m_results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(m_results, 2);
    m_summary = new QLabel(this);
    m_summary->setWordWrap(true);
    layout->addWidget(m_summary);

    connect(show, &QPushButton::clicked, this, &AbsenceDialog::load);
    connect(m_class, &QComboBox::currentIndexChanged, this, &AbsenceDialog::load);
    connect(m_grid, &QTableWidget::cellClicked, this, &AbsenceDialog::cycle);
    connect(importing, &QPushButton::clicked, this, &AbsenceDialog::importList);
    connect(saving, &QPushButton::clicked, this, &AbsenceDialog::save);
    connect(computing, &QPushButton::clicked, this, &AbsenceDialog::compute);
    connect(applying, &QPushButton::clicked, this, &AbsenceDialog::apply);
    load();
}

std::optional<QDate> AbsenceDialog::monthStart() const
{
    const QDate d = m_month->date();
    return d.isValid() ? std::optional<QDate>(d) : std::nullopt;
}

bool AbsenceDialog::load()
{
    m_plan.reset();
    m_results->setRowCount(0);
    const auto start = monthStart();
    if (!start) {
        Prompts::error(this,
                       QStringLiteral("“%1”不是月份（应为 2026-12 这样）").arg(m_month->month()));
        return false;
    }
    const QString month = start->toString(QStringLiteral("yyyy-MM"));
    const QString className = m_class->currentData().toString();
    QString error;
    const auto cal = m_session.attendance().calendar(month, &error);
    const auto absent =
        cal ? m_session.attendance().absences(className, month, &error) : std::nullopt;
    if (!cal || !absent) {
        Prompts::error(this, QStringLiteral("无法读取缺勤记录"), QString(), error);
        return false;
    }
    auto dayList = [](const QSet<QDate> &days) {
        QList<QDate> sorted(days.cbegin(), days.cend());
        std::sort(sorted.begin(), sorted.end());
        QStringList t;
        for (const QDate &d : sorted)
            t << QString::number(d.day());
        return t.join(QLatin1Char(','));
    };
    m_holidays->setText(dayList(cal->holidays));
    m_workdays->setText(dayList(cal->workdays));
    m_days = Absence::schoolDays(start->year(), start->month(), *cal);
    m_ids.clear();
    m_counts.clear();
    RosterDocument *doc = m_session.document(className);
    QStringList names;
    for (int r = 0; doc && r < doc->size(); ++r) {
        const ChildRecord &rec = doc->record(r);
        if (rec.childId.isEmpty() || m_ids.contains(rec.childId))
            continue;
        m_ids << rec.childId;
        names << rec.text(Roster::Name);
    }
    m_grid->clear();
    m_grid->setRowCount(int(m_ids.size()));
    m_grid->setColumnCount(int(m_days.size()) + 1);
    QStringList headers;
    static const QString weekdays = QStringLiteral("一二三四五六日");
    for (const QDate &d : std::as_const(m_days))
        headers << QStringLiteral("%1\n%2").arg(d.day()).arg(weekdays.at(d.dayOfWeek() - 1));
    headers << QStringLiteral("按天数");
    m_grid->setHorizontalHeaderLabels(headers);
    m_grid->setColumnWidth(int(m_days.size()), 64);
    m_grid->setVerticalHeaderLabels(names);
    QStringList outside;
    for (int r = 0; r < m_ids.size(); ++r) {
        const auto mine = absent->value(m_ids.at(r));
        for (const Absence::Absent &a : mine.second) {
            if (!a.day.isValid()) {
                m_counts[m_ids.at(r)] = a.leave ? -a.count : a.count;
                continue;
            }
            if (!m_days.contains(a.day)) {
                outside << QStringLiteral("%1 %2").arg(names.at(r), Absence::dayText(a.day));
                continue;
            }
            setMark(r, a.day, a.leave ? leaveMark : absentMark);
        }
        if (m_counts.contains(m_ids.at(r))) {
            const int n = m_counts.value(m_ids.at(r));
            m_grid->setItem(
                r, int(m_days.size()),
                new QTableWidgetItem(n < 0 ? QStringLiteral("%1假").arg(-n) : QString::number(n)));
        }
    }
    m_summary->setText(
        outside.isEmpty()
            ? QStringLiteral("%1 个上学日，%2 名儿童。").arg(m_days.size()).arg(m_ids.size())
            : QStringLiteral("以下缺勤不在上学日（假日或周末），保存时会去掉：%1")
                  .arg(outside.join(QStringLiteral("、"))));
    return true;
}

void AbsenceDialog::setMark(int row, const QDate &day, const QString &mark)
{
    const int column = int(m_days.indexOf(day));
    if (row < 0 || row >= m_grid->rowCount() || column < 0)
        return;
    auto *item = new QTableWidgetItem(mark);
    item->setTextAlignment(Qt::AlignCenter);
    if (!mark.isEmpty())
        item->setBackground(mark == leaveMark ? QColor(255, 236, 179) : QColor(255, 205, 205));
    m_grid->setItem(row, column, item);
    m_plan.reset();
}

void AbsenceDialog::cycle(int row, int column)
{
    if (column >= m_days.size())
        return;
    const QTableWidgetItem *item = m_grid->item(row, column);
    const QString now = item ? item->text() : QString();
    setMark(row, m_days.at(column),
            now.isEmpty() ? absentMark : (now == absentMark ? leaveMark : QString()));
}

std::optional<QSet<QDate>> AbsenceDialog::daysOf(const QString &text, const QString &what)
{
    const QDate start = *monthStart();
    QSet<QDate> days;
    for (const QString &part :
         QString(text).replace(QStringLiteral("，"), QStringLiteral(",")).split(QLatin1Char(','))) {
        const QString t = part.trimmed();
        if (t.isEmpty())
            continue;
        bool ok = false;
        const int n = t.toInt(&ok);
        const QDate d(start.year(), start.month(), ok ? n : 0);
        if (!ok || !d.isValid()) {
            Prompts::error(
                this, QStringLiteral("%1“%2”不是本月的日子：请填写几号，用逗号分开").arg(what, t));
            return std::nullopt;
        }
        days.insert(d);
    }
    return days;
}

bool AbsenceDialog::save()
{
    const auto start = monthStart();
    if (!start) {
        Prompts::error(this,
                       QStringLiteral("“%1”不是月份（应为 2026-12 这样）").arg(m_month->month()));
        return false;
    }
    const QString month = start->toString(QStringLiteral("yyyy-MM"));
    const auto holidays = daysOf(m_holidays->text(), QStringLiteral("假日"));
    const auto workdays =
        holidays ? daysOf(m_workdays->text(), QStringLiteral("补班")) : std::nullopt;
    if (!holidays || !workdays)
        return false;
    AttendanceService::Absences absences;
    for (int r = 0; r < m_ids.size(); ++r) {
        auto &mine = absences[m_ids.at(r)];
        mine.first =
            m_grid->verticalHeaderItem(r) ? m_grid->verticalHeaderItem(r)->text() : QString();
        for (int c = 0; c < m_days.size(); ++c) {
            const QTableWidgetItem *item = m_grid->item(r, c);
            if (!item || item->text().isEmpty())
                continue;
            mine.second.append({m_days.at(c), 1, item->text() == leaveMark});
        }
        if (const int n = m_counts.value(m_ids.at(r)); n != 0)
            mine.second.append({QDate(), qAbs(n), n < 0});
    }
    WriteResult r = m_session.attendance().saveCalendar(month, {*holidays, *workdays});
    if (r)
        r = m_session.attendance().saveAbsences(m_class->currentData().toString(), month, absences);
    if (!r) {
        Prompts::error(this, QStringLiteral("缺勤没有保存"), r.text, r.detail);
        return false;
    }
    const bool calendarChanged =
        m_days != Absence::schoolDays(start->year(), start->month(), {*holidays, *workdays});
    if (calendarChanged)
        load();
    m_summary->setText(QStringLiteral("已保存 %1 的缺勤。").arg(month));
    return true;
}

bool AbsenceDialog::compute()
{
    if (!save())
        return false;
    QString error;
    m_plan =
        m_session.attendance().refunds(m_class->currentData().toString(),
                                       monthStart()->toString(QStringLiteral("yyyy-MM")), &error);
    if (!m_plan) {
        Prompts::error(this, QStringLiteral("无法计算退费"), error);
        return false;
    }
    m_results->setRowCount(int(m_plan->children.size()));
    qint64 tuition = 0;
    for (int r = 0; r < m_plan->children.size(); ++r) {
        const auto &c = m_plan->children.at(r);
        const QStringList cells = {c.name, Journal::yuan(c.refund.fen), c.refund.reason,
                                   Journal::yuan(c.tuition.fen), c.tuition.reason};
        for (int col = 0; col < cells.size(); ++col)
            m_results->setItem(r, col, new QTableWidgetItem(cells.at(col)));
        tuition += c.tuition.fen;
    }
    // Tuition back is shown where the office gives it.
    const bool tuitionBack = m_plan->tuitionRule.enabled();
    m_results->setColumnHidden(3, !tuitionBack);
    m_results->setColumnHidden(4, !tuitionBack);
    QString text = QStringLiteral("%1 名儿童，退费合计 %2 元，%3。")
                       .arg(m_plan->children.size())
                       .arg(Journal::yuan(m_plan->total), m_plan->rule.creditNextMonth
                                                              ? QStringLiteral("记入下月（预收）")
                                                              : QStringLiteral("应用时当即退还"));
    if (tuitionBack)
        text += QStringLiteral("其中保教费退还 %1 元，总是记入账上。").arg(Journal::yuan(tuition));
    if (!m_plan->problems.isEmpty())
        text += QStringLiteral("\n没有计入：%1").arg(m_plan->problems.join(QStringLiteral("；")));
    m_summary->setText(text);
    return true;
}

void AbsenceDialog::apply()
{
    if (!m_plan) {
        Prompts::warn(this, QStringLiteral("请先“计算退费”，看过每名儿童的退费和原因再应用"));
        return;
    }
    // "大一班" is said as it is, "A" as "A 班".
    QString shownClass = ClassName::visible(m_plan->className);
    if (!shownClass.endsWith(QChar(u'班')))
        shownClass += QStringLiteral(" 班");
    const QString text =
        QStringLiteral("应用 %1 %2 的缺勤退费：合计 %3 元，%4。\n再次应用只记录与上次的差额。"
                       "\n\n是否应用？")
            .arg(shownClass, m_plan->month, Journal::yuan(m_plan->total),
                 m_plan->rule.creditNextMonth ? QStringLiteral("记入各儿童下月的预收")
                                              : QStringLiteral("当即退还（每笔有退款编号）"));
    if (Prompts::current().question(this, Prompts::title(), text,
                                    QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    int written = 0;
    const WriteResult r = m_session.attendance().applyRefunds(*m_plan, &written);
    if (!r) {
        Prompts::error(
            this, r.kind == WriteResult::Refused ? r.text : QStringLiteral("退费没有记录"),
            r.kind == WriteResult::Refused ? QString()
                                           : QStringLiteral("账目没有改动，可以稍后再试。"),
            r.detail);
        return;
    }
    m_summary->setText(written == 0 ? QStringLiteral("退费已是最新，没有新的记录。")
                                    : QStringLiteral("已记录 %1 笔退费。").arg(written));
}

void AbsenceDialog::importList()
{
    const auto start = monthStart();
    if (!start)
        return;
    const QString path = Prompts::current().openFile(this);
    if (path.isEmpty())
        return;
    // A long list is read off the window's thread, with a progress window
    // past a second; the used columns once, not for every cell.
    QString error;
    QStringList problems;
    bool readable = false;
    QVector<Absence::ListRow> list;
    Busy::run(this, QStringLiteral("正在读取“%1”…").arg(QFileInfo(path).fileName()), [&] {
        Sheet sheet;
        readable = Workbook::read(path, 1, sheet, &error);
        if (!readable)
            return;
        QVector<QStringList> rows;
        const int firstColumn = sheet.firstColumn(), lastColumn = sheet.lastColumn();
        for (int r = sheet.firstRow(); r > 0 && r <= sheet.lastRow(); ++r) {
            QStringList cells;
            const auto found = sheet.rows().constFind(r);
            for (int c = firstColumn; c <= lastColumn; ++c)
                cells << (found == sheet.rows().cend() ? QString() : found->value(c));
            rows << cells;
        }
        list = Absence::readList(rows, start->year(), start->month(), &problems);
    });
    if (!readable) {
        Prompts::error(this, QStringLiteral("无法读取“%1”").arg(QFileInfo(path).fileName()), error);
        return;
    }
    int taken = 0;
    QSet<int> listed;
    for (const Absence::ListRow &row : list) {
        QVector<int> matches;
        for (int r = 0; r < m_grid->rowCount(); ++r)
            if (m_grid->verticalHeaderItem(r) && m_grid->verticalHeaderItem(r)->text() == row.name)
                matches << r;
        if (matches.size() != 1) {
            problems
                << (matches.isEmpty()
                        ? QStringLiteral("第 %1 行：班级里没有“%2”").arg(row.line).arg(row.name)
                        : QStringLiteral("第 %1 行：班级里有 %2 名“%3”，请在表格中逐个标记")
                              .arg(row.line)
                              .arg(matches.size())
                              .arg(row.name));
            continue;
        }
        const int r = matches.first();
        // A day that is no school day: nothing of the row is taken.
        QStringList noSchool;
        for (const Absence::Absent &a : row.days)
            if (a.day.isValid() && !m_days.contains(a.day))
                noSchool << Absence::dayText(a.day);
        if (!noSchool.isEmpty()) {
            problems << QStringLiteral("第 %1 行：%2 的 %3 不是上学日")
                            .arg(row.line)
                            .arg(row.name, noSchool.join(QStringLiteral("、")));
            continue;
        }
        // The list says the child's month: what the grid had is replaced
        // by the first of its rows, and a second row adds to it.
        if (!listed.contains(r)) {
            listed.insert(r);
            for (int c = 0; c < m_days.size(); ++c)
                setMark(r, m_days.at(c), QString());
            m_counts.remove(m_ids.at(r));
            ++taken;
        }
        for (const Absence::Absent &a : row.days) {
            if (!a.day.isValid()) {
                m_counts[m_ids.at(r)] += a.leave ? -a.count : a.count;
                continue;
            }
            setMark(r, a.day, a.leave ? leaveMark : absentMark);
        }
        const int n = m_counts.value(m_ids.at(r));
        m_grid->setItem(r, int(m_days.size()),
                        new QTableWidgetItem(n == 0  ? QString()
                                             : n < 0 ? QStringLiteral("%1假").arg(-n)
                                                     : QString::number(n)));
    }
    m_summary->setText(QStringLiteral("已读入 %1 名儿童的缺勤，请核对后保存。").arg(taken));
    if (!problems.isEmpty())
        Prompts::warn(this, QStringLiteral("以下行没有读入："),
                      problems.mid(0, 30).join(QLatin1Char('\n')));
}
