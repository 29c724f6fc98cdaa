#pragma once

#include "dayreport.h"
#include "monthreport.h"

#include <QDialog>
#include <optional>

class OfficeSession;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPlainTextEdit;
class QTableWidget;

// Writes sheets of text rows as one workbook into a folder the clerk
// chooses; the file's path, or empty (said) when nothing was written.
QString exportReport(QWidget *parent, const QString &fileName,
                     const QVector<QPair<QString, QVector<QStringList>>> &sheets);

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
    void preview();
    // Prints through the print dialog; false when cancelled or failed (said).
    bool print();
    // Writes <yyyyMMdd>日结.xlsx.
    void exportReport();

    QDateEdit *dayEdit() const { return m_day; }
    QComboBox *clerkBox() const { return m_clerk; }
    QPlainTextEdit *text() const { return m_text; }
    const std::optional<DayReport> &report() const { return m_report; }

private:
    OfficeSession &m_session;
    QDateEdit *m_day = nullptr;
    QComboBox *m_clerk = nullptr;
    QPlainTextEdit *m_text = nullptr;
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

    QLineEdit *monthEdit() const { return m_month; }
    QPlainTextEdit *text() const { return m_text; }
    const std::optional<MonthReport> &report() const { return m_report; }

private:
    OfficeSession &m_session;
    QLineEdit *m_month = nullptr;
    QPlainTextEdit *m_text = nullptr;
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
