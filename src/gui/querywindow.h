#pragma once

#include <QDialog>
#include <memory>

class OfficeSession;
class QLineEdit;
class QTableView;
class QToolButton;
class QueryResults;
class ReceiptCommands;
class RosterExchange;
class RosterToolBar;
class PrintRangeDialog;

// "查询": every child of a name across all classes, with the receipt
// commands and the export. A receipt printed from here marks exactly the
// child it was printed for, on its class's roster.
class QueryWindow : public QDialog
{
    Q_OBJECT
public:
    QueryWindow(OfficeSession &session, QWidget *parent);
    ~QueryWindow() override;

    QLineEdit *queryEdit() const { return m_edit; }
    QueryResults *results() const { return m_results; }
    QTableView *tableView() const { return m_table; }
    QToolButton *toolButton(const QString &objectName) const;
    QList<QToolButton *> toolButtons() const;

public slots:
    // Looks for the name typed; the number found goes to the status.
    void runQuery();
    void printSelectedReceipt();
    void printReceiptRange(int from, int to);

signals:
    void statusMessage(const QString &text);

private:
    OfficeSession &m_session;
    QString m_lastQuery;
    bool m_hasQueried = false;
    QLineEdit *m_edit = nullptr;
    QTableView *m_table = nullptr;
    QueryResults *m_results = nullptr;
    RosterToolBar *m_toolBar = nullptr;
    PrintRangeDialog *m_range = nullptr;
    std::unique_ptr<ReceiptCommands> m_receipts;
    std::unique_ptr<RosterExchange> m_exchange;
};
