#pragma once

#include "rosterdocument.h"

#include <QPointer>
#include <QWidget>
#include <memory>

class ClassChangeDialog;
class ExchangeCommands;
class OfficeSession;
class PrintRangeDialog;
class QAbstractItemModel;
class QComboBox;
class QLineEdit;
class QTableView;
class QToolButton;
class ReadRangeDialog;
class ReceiptCommands;
class RosterExchange;
class RosterToolBar;

// The roster of one class on screen: a tool bar over a table with one row
// per child. The page is a view of the class's document; two tabs of the
// same class show one document. Receipts go through ReceiptCommands and
// workbooks through ExchangeCommands; the page holds the dialogs.
class RosterPage : public QWidget
{
    Q_OBJECT
public:
    // A page of a big database may build its tool bar, table and dialogs
    // when it is first shown (ensureBuilt); until then those members are
    // null.
    enum class Widgets { Now, WhenShown };
    // Without a session receipts print but are not journaled.
    explicit RosterPage(RosterDocument *document, OfficeSession *session = nullptr,
                        Widgets widgets = Widgets::Now);
    ~RosterPage() override;

    RosterDocument *document() const { return m_document; }
    // Shows another document (the session replaced them all).
    void setDocument(RosterDocument *document);
    QString className() const;

    QTableView *tableView = nullptr;
    PrintRangeDialog *printRangeDialog = nullptr;
    ReadRangeDialog *readRangeDialog = nullptr;
    ClassChangeDialog *classChangeDialog = nullptr;
    QLineEdit *printFromEdit = nullptr;
    QLineEdit *printToEdit = nullptr;
    QLineEdit *readColumnEdit = nullptr;
    QLineEdit *readFromEdit = nullptr;
    QLineEdit *readToEdit = nullptr;
    QComboBox *classCombo = nullptr;

    // The tool buttons in tool-bar order.
    QList<QToolButton *> toolButtons() const;
    // The tool button of a command, by its object name (e.g. "printSelected").
    QToolButton *toolButton(const QString &objectName) const;
    void ensureBuilt();
    bool isBuilt() const { return tableView != nullptr; }

    // Shows a list that the owner keeps up to date in the class-change
    // choice.
    void shareClassList(QAbstractItemModel *classes);
    // The selected rows, in order.
    QList<int> selectedRows() const;

    void printSelectedReceipt();
    void printReceiptRange(int from, int to);
    const RosterExchange &exchange() const;

public slots:
    void addRow();
    void deleteRow();
    void onButtonPrint();
    void showPrintallWidget();
    void onButtonPrintOK();
    void onButtonOpenExcel();
    void onButtonSaveExcel();
    void onButtonclassChange();
    void onreadExcelButtonOK();
    void onclassChange();
    void onButtonPreview();
    void showCalibration();
    void cancelImport();
    void undo();
    void redo();

signals:
    void statusMessage(const QString &text);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildWidgets();
    void buildToolBar();

    QPointer<RosterDocument> m_document;
    OfficeSession *m_session = nullptr;
    QAbstractItemModel *m_sharedClasses = nullptr;
    std::unique_ptr<ReceiptCommands> m_receipts;
    std::unique_ptr<ExchangeCommands> m_workbooks;
    RosterToolBar *m_toolBar = nullptr;
};
