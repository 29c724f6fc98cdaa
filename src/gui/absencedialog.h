#pragma once

#include "officesession.h"

#include <QDialog>

class QComboBox;
class QLabel;
class MonthPicker;
class QLineEdit;
class QTableWidget;

// "缺勤退费": a class's month of absences in a grid (children × school
// days; a click marks 缺, again 假 for leave asked, again clears), the
// month's holidays and make-up days, a list read from a spreadsheet, and the
// refunds the rule gives, shown with their reasons before "应用" records them.
class AbsenceDialog : public QDialog
{
    Q_OBJECT
public:
    AbsenceDialog(OfficeSession &session, const QString &className, QWidget *parent);

    // Reads the class's month (class and month as chosen) into the grid.
    bool load();
    // Stores the calendar and the grid; false (said) when they could not be.
    bool save();
    // Saves, then computes every child's refund into the result table.
    bool compute();
    // Records the computed refunds after asking once.
    void apply();
    // Reads names and absent days from a spreadsheet into the grid.
    void importList();

    QComboBox *classBox() const { return m_class; }
    MonthPicker *monthEdit() const { return m_month; }
    QLineEdit *holidaysEdit() const { return m_holidays; }
    QLineEdit *workdaysEdit() const { return m_workdays; }
    QTableWidget *grid() const { return m_grid; }
    QTableWidget *results() const { return m_results; }
    QLabel *summary() const { return m_summary; }
    // Marks the child's day: "" (present), "缺" or "假".
    void setMark(int row, const QDate &day, const QString &mark);

private:
    void cycle(int row, int column);
    std::optional<QDate> monthStart() const;
    // "1,2,25" → days of the month; nullopt (said) when one is no day of it.
    std::optional<QSet<QDate>> daysOf(const QString &text, const QString &what);

    OfficeSession &m_session;
    QComboBox *m_class = nullptr;
    MonthPicker *m_month = nullptr;
    QLineEdit *m_holidays = nullptr;
    QLineEdit *m_workdays = nullptr;
    QTableWidget *m_grid = nullptr;
    QTableWidget *m_results = nullptr;
    QLabel *m_summary = nullptr;
    QVector<QDate> m_days;        // the grid's columns
    QStringList m_ids;            // the grid's rows: child identities
    QHash<QString, int> m_counts; // counted days per child (from a list), with leave as negative
    std::optional<AttendanceService::RefundPlan> m_plan;
};
