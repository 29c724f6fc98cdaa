#pragma once

#include "dayreport.h"
#include "monthreport.h"

#include <QDialog>
#include <optional>

class MonthPicker;
class OfficeSession;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QTabWidget;
class QTableWidget;

// Writes sheets of text rows as one workbook into a folder the clerk
// chooses; the file's path, or empty (said) when nothing was written.
QString exportReport(QWidget *parent, const QString &fileName,
                     const QVector<QPair<QString, QVector<QStringList>>> &sheets);

// Prints lines of a report on A4 through the print dialog; false when
// cancelled or failed (said).
bool printReport(QWidget *parent, const QStringList &lines);

// "日结": a day's receipts of one clerk (or all), the totals by way of
// payment and by fee item and the cash to hand over; previewed, printed on
// A4 and exported.
class DayReportDialog : public QDialog
{
    Q_OBJECT
public:
    DayReportDialog(OfficeSession &session, QWidget *parent);

    // Reads the chosen day again.
    bool refresh();
    // The pages as they print; printed when the clerk presses 打印 there.
    void preview();
    // Prints through the print dialog; false when cancelled or failed (said).
    bool print();
    // Writes <yyyyMMdd>日结.xlsx.
    void exportReport();

    QDateEdit *dayEdit() const { return m_day; }
    QComboBox *clerkBox() const { return m_clerk; }
    // The serials and the money to hand over, above the tables.
    QLabel *summary() const { return m_summary; }
    // 收据, 合计 and 退款, each a table with its totals row.
    QTabWidget *tables() const { return m_tables; }
    // The summary and every table's cells, as the clerk reads them.
    QString shownText() const;
    const std::optional<DayReport> &report() const { return m_report; }

private:
    OfficeSession &m_session;
    QDateEdit *m_day = nullptr;
    QComboBox *m_clerk = nullptr;
    QLabel *m_summary = nullptr;
    QTabWidget *m_tables = nullptr;
    std::optional<DayReport> m_report;
};

// "月报": per class and per fee item, what a month charged, received, gave
// back or credited, and what is still owed; exported with a sheet per view.
class MonthReportDialog : public QDialog
{
    Q_OBJECT
public:
    MonthReportDialog(OfficeSession &session, QWidget *parent);

    bool refresh();
    // Writes <yyyyMM>月报.xlsx.
    void exportReport();

    MonthPicker *monthEdit() const { return m_month; }
    QLabel *summary() const { return m_summary; }
    // 按班级 and 按收费项目, classes in the tabs' order.
    QTabWidget *tables() const { return m_tables; }
    QString shownText() const;
    const std::optional<MonthReport> &report() const { return m_report; }

private:
    OfficeSession &m_session;
    MonthPicker *m_month = nullptr;
    QLabel *m_summary = nullptr;
    QTabWidget *m_tables = nullptr;
    std::optional<MonthReport> m_report;
};

// "操作记录": who changed what, filtered by date, clerk and kind, and
// exported.
class AuditDialog : public QDialog
{
    Q_OBJECT
public:
    AuditDialog(OfficeSession &session, QWidget *parent);

    bool refresh();
    // Writes 操作记录<from>-<to>.xlsx.
    void exportRows();

    QDateEdit *fromEdit() const { return m_from; }
    QDateEdit *toEdit() const { return m_to; }
    QLineEdit *clerkEdit() const { return m_clerk; }
    QComboBox *kindBox() const { return m_kind; }
    QTableWidget *table() const { return m_table; }

private:
    OfficeSession &m_session;
    QDateEdit *m_from = nullptr;
    QDateEdit *m_to = nullptr;
    QLineEdit *m_clerk = nullptr;
    QComboBox *m_kind = nullptr;
    QTableWidget *m_table = nullptr;
};
