#pragma once

#include "notice.h"

#include <QDialog>

class MonthPicker;
class OfficeSession;
class QComboBox;
class QDateEdit;
class QLabel;
class QTableWidget;

// 缴费通知单: for a class (or every class) and a month, each child's
// charges, what is paid, money paid ahead used, earlier months owed and
// what to pay, all from the accounts; printed three to an A4 page for
// cutting, one PDF per child for the parents' group, or a workbook.
class NoticeDialog : public QDialog
{
    Q_OBJECT
public:
    NoticeDialog(OfficeSession &session, QWidget *parent);

    bool refresh();
    // The children ticked (all when none is).
    QVector<Notices::Notice> chosen() const;
    bool print();
    // <class>-<name>-<yyyyMM>缴费通知单.pdf for each child chosen, into a
    // folder the clerk chooses; how many were written.
    int writePdfs();
    void exportWorkbook();
    // The office's payment text and picture.
    void editDetails();

    QComboBox *classBox() const { return m_class; }
    MonthPicker *monthEdit() const { return m_month; }
    QDateEdit *payByEdit() const { return m_payBy; }
    QTableWidget *table() const { return m_table; }
    QLabel *status() const { return m_status; }
    const QVector<Notices::Notice> &notices() const { return m_notices; }

    // The PDF's file name; empty with why when the name would not make one.
    static QString pdfName(const Notices::Notice &notice, QString *why);

private:
    OfficeSession &m_session;
    QComboBox *m_class = nullptr;
    MonthPicker *m_month = nullptr;
    QDateEdit *m_payBy = nullptr;
    QTableWidget *m_table = nullptr;
    QLabel *m_status = nullptr;
    QVector<Notices::Notice> m_notices;
    QStringList m_unsaved; // children without an account yet
};

// 催费单: the children owing, months and amounts, and how long each has
// been owing in buckets; printed or as a PDF per child.
class ReminderDialog : public QDialog
{
    Q_OBJECT
public:
    ReminderDialog(OfficeSession &session, QWidget *parent);

    bool refresh();
    bool print();
    int writePdfs();

    QTableWidget *table() const { return m_table; }
    QLabel *status() const { return m_status; }
    const QVector<Notices::Reminder> &reminders() const { return m_reminders; }

private:
    OfficeSession &m_session;
    QTableWidget *m_table = nullptr;
    QLabel *m_status = nullptr;
    QVector<Notices::Reminder> m_reminders;
};

// 对账单: one child's entries over months, the balance after each;
// printed or as a PDF.
class StatementDialog : public QDialog
{
    Q_OBJECT
public:
    StatementDialog(OfficeSession &session, const QString &childId, const QString &name,
                    QWidget *parent);

    bool refresh();
    bool print();
    QString writePdf();

    MonthPicker *fromEdit() const { return m_from; }
    MonthPicker *toEdit() const { return m_to; }
    QTableWidget *table() const { return m_table; }
    const std::optional<Notices::Statement> &statement() const { return m_statement; }

private:
    OfficeSession &m_session;
    QString m_childId, m_name;
    MonthPicker *m_from = nullptr;
    MonthPicker *m_to = nullptr;
    QTableWidget *m_table = nullptr;
    QLabel *m_status = nullptr;
    std::optional<Notices::Statement> m_statement;
};
