#pragma once

#include "fees.h"
#include "layout.h"
#include "receipt.h"
#include "roster.h"

#include <QMap>
#include <QStringList>
#include <QVector>
#include <QWidget>
#include <functional>
#include <memory>

class Database;
class ExcelEngine;
class QComboBox;
class QLineEdit;
class QPrinter;
class QStandardItemModel;
class QTableView;
class QToolButton;

// The roster of one class: a tool bar over a table with one row per child.
// The page's object name is its class. The main window keeps one more page
// of its own for query results, with a thirteenth column for the class.
class Invoice : public QWidget
{
    Q_OBJECT
public:
    // The creator is not the parent: whoever shows the page adopts it.
    explicit Invoice(QWidget *creator = nullptr);
    ~Invoice() override;

    // Fee mirror, copied in by the main window before every recomputation.
    QMap<int, float> feePrices;
    QString clerkName;
    QStringList tuitionPrices;

    // Engine of the page's latest import or export.
    std::unique_ptr<ExcelEngine> pageEngine;

    // Printing state: the last receipt built and the form's layout.
    Receipt receipt;
    SheetLayout sheetLayout;

    QTableView *tableView = nullptr;
    QStandardItemModel *model = nullptr;
    QWidget *printRangeDialog = nullptr;
    QWidget *readRangeDialog = nullptr;
    QWidget *classChangeDialog = nullptr;
    QLineEdit *printFromEdit = nullptr;
    QLineEdit *printToEdit = nullptr;
    QLineEdit *readColumnEdit = nullptr;
    QLineEdit *readFromEdit = nullptr;
    QLineEdit *readToEdit = nullptr;
    QComboBox *classCombo = nullptr;

    // The tool buttons in tool-bar order.
    QList<QToolButton *> toolButtons() const { return m_toolButtons; }

    void setDatabase(Database *database) { m_database = database; }
    // Loads the page's class from the student table.
    void loadRoster();
    // Fills the roster from already read records (twelve texts each).
    void loadRoster(const QVector<QStringList> &records);
    void recomputeFees();
    FeeMirror feeMirror() const;

    void resetReceipt();
    bool buildReceipt(int row);
    void addFeeEntry(const QByteArray &label, float amount, int slot);
    void printSelectedReceipt();
    void printReceiptRange(int from, int to);

    void fillClassCombo(const QStringList &classes);
    void scanRoster(int column, const QString &text);
    void clearRows();
    void appendResultRow(const QStringList &data);

    // One row's cells, absent cells as nullopt.
    Roster::Cells cells(int row) const;
    // Every row as stored: the twelve texts and the class tag.
    QVector<QStringList> rosterRecords() const;

    // Whether the roster differs from what was last loaded or saved.
    bool isModified() const;
    void markSaved();

public slots:
    void addRow();
    void deleteRow();
    void onButtonPrint();
    void showPrintallWidget();
    void onButtonPrintOK();
    bool writeDB();
    void onButtonOpenExcel();
    void onButtonSaveExcel();
    void onButtonclassChange();
    void onreadExcelButtonOK();
    void updataPrintType(const QString &name, const QString &type);
    void onclassChange();
    void onButtonPreview();
    void showCalibration();

signals:
    void signaldata(QStringList data);
    void signalunPrintdata(QStringList data);
    void isPrint(QString className, QString name);
    void modifiedChanged(bool modified);
    void statusMessage(const QString &text);

private:
    class BulkChange;
    // Appends count rows, filled by fill(row), telling views once.
    void appendRows(int count, const std::function<void(int row)> &fill);
    void setPrintStatus(int row, const QString &status);
    void reportPrinted(int row);
    QStringList rowTexts(int row) const;
    QPointF offsetFor(const QPrinter &printer) const;
    bool beginPrinter(QPrinter &printer);
    void onModelChanged();
    void cancelImport();

    Database *m_database = nullptr;
    QList<QToolButton *> m_toolButtons;
    QVector<QStringList> m_savedRecords;
    bool m_modified = false;
    bool m_checkPending = false;
    int m_bulk = 0;
};
