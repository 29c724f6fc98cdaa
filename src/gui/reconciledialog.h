#pragma once

#include "reconcileservice.h"

#include <QDialog>

class MonthPicker;
class OfficeSession;
class QComboBox;
class QLabel;
class QLineEdit;
class QTabWidget;
class QTableWidget;

// 对账: a month's statement of WeChat Pay, Alipay or a bank imported and
// set against the books: what matched, what is on the statement only, what
// is in the books only, and per day the desk's takings against the
// statement's (对账单汇总), printed or exported. An import changes nothing
// in the books.
class ReconcileDialog : public QDialog
{
    Q_OBJECT
public:
    ReconcileDialog(OfficeSession &session, QWidget *parent);

    Statements::Source source() const;
    // A file the clerk chooses (or path, for tests); false when nothing was imported.
    bool importFile(const QString &path = QString());
    bool refresh();
    // The index'th row of 账单有、账上没有 booked as a payment of the child
    // the clerk names: a receipt of the statement's number, time and way
    // recorded (not printed: 重新打印 in 收据记录 prints it marked 补打),
    // then matched to the row.
    bool bookRow(int index);
    bool print();
    void exportWorkbook();

    QComboBox *sourceBox() const { return m_source; }
    QLineEdit *bankEdit() const { return m_bank; }
    // "1,3,5,6,0": the columns of time, amount, number, remark and fee,
    // from 1 (0: none), then the row of the captions.
    QLineEdit *columnsEdit() const { return m_columns; }
    MonthPicker *monthEdit() const { return m_month; }
    QTabWidget *tables() const { return m_tabs; }
    QLabel *status() const { return m_status; }
    const std::optional<ReconcileService::View> &view() const { return m_view; }

    static std::optional<Statements::BankColumns> parseColumns(const QString &text, QString *why);
    static QString columnsText(const Statements::BankColumns &columns);

private:
    QVector<QPair<QString, QVector<QStringList>>> sheets() const;
    // The columns of a bank's file the clerk has not given, read from its
    // captions and confirmed; false when they could not be, or the clerk
    // declined.
    bool chooseColumns(const std::optional<QVector<QStringList>> &sheetRows,
                       const QByteArray &bytes);
    void sourceChanged();

    OfficeSession &m_session;
    QComboBox *m_source = nullptr;
    QLineEdit *m_bank = nullptr;
    QLineEdit *m_columns = nullptr;
    MonthPicker *m_month = nullptr;
    QTabWidget *m_tabs = nullptr;
    QLabel *m_status = nullptr;
    std::optional<ReconcileService::View> m_view;
};
