#pragma once

#include "feesettings.h"
#include "layout.h"
#include "roster.h"
#include "rostermodel.h"

#include <QHash>
#include <QMap>
#include <QStringList>
#include <QVector>
#include <QWidget>
#include <functional>
#include <memory>

class ClassChangeDialog;
class RosterToolBar;
class QAction;
class QAbstractItemModel;
class Database;
class PrintRangeDialog;
class QComboBox;
class QLineEdit;
class QTableView;
class QToolButton;
class ReadRangeDialog;
class ExchangeCommands;
class ReceiptCommands;
class RosterExchange;
class RosterTracker;
class QDateTime;

// The roster of one class: a tool bar over a table with one row per child.
// The page's object name is its class. The main window keeps one more page
// of its own for query results, with a thirteenth column for the class.
// Receipts are built by ReceiptBatch and workbooks handled by
// RosterExchange; the page holds the rows and the dialogs.
class Invoice : public QWidget
{
    Q_OBJECT
public:
    // The creator is not the parent: whoever shows the page adopts it.
    explicit Invoice(QWidget *creator = nullptr);
    // A page of a big database may build its tool bar, table and dialogs
    // when it is first shown (ensureLoaded); until then those members are
    // null.
    enum class Widgets { Now, WhenShown };
    Invoice(QWidget *creator, Widgets widgets);
    ~Invoice() override;

    // Fee mirror, copied in by the main window before every recomputation.
    QMap<int, float> feePrices;
    QString clerkName;
    QStringList tuitionPrices;

    QTableView *tableView = nullptr;
    RosterModel *model = nullptr;
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
    // Hides every tool-bar command but those named.
    void showOnlyCommands(const QStringList &objectNames);

    void setDatabase(Database *database) { m_database = database; }
    Database *database() const { return m_database; }
    // Copies the settings into the fee mirror and recomputes every row.
    void applyFeeSettings(const FeeSettings &settings);
    // Loads the page's class from the student table.
    void loadRoster();
    // Fills the roster from already read records (twelve texts each).
    void loadRoster(const QVector<QStringList> &records);
    // Keeps the records to fill the roster when it is first needed on
    // screen: a thousand classes do not all become table cells at start.
    // Until then queries, exports and saves read the records themselves.
    void loadRosterLater(const QVector<QStringList> &records);
    void ensureLoaded();
    bool isLoaded() const { return m_pending.isEmpty(); }
    void recomputeFees();
    // The total of one row, by the same formula.
    void recomputeRow(int row);
    FeeMirror feeMirror() const;
    // Why fees cannot be computed now (a setting that is not a number), or
    // empty; printing is refused while it is set.
    QString feeProblem() const { return m_feeProblem; }

    void printSelectedReceipt();
    void printReceiptRange(int from, int to);

    void fillClassCombo(const QStringList &classes);
    // Shows a list that the owner keeps up to date in the class-change
    // choice, instead of a copy of its own.
    void shareClassList(QAbstractItemModel *classes);
    // Every row whose cell in the column holds exactly the text, as its
    // twelve texts and the page's class, in row order.
    QVector<QStringList> rowsWhere(int column, const QString &text) const;
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
    // The records as last loaded or saved.
    QVector<QStringList> savedRecords() const;

    const RosterExchange &exchange() const;

    // Marks a row printed at the moment given.
    void markPrinted(int row, const QDateTime &when);
    // Appends one new, unprinted child per name.
    void appendNames(const QStringList &names);

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
    void cancelImport();

signals:
    void signaldata(QStringList data);
    void signalunPrintdata(QStringList data);
    void isPrint(QString className, QString name);
    void modifiedChanged(bool modified);
    void statusMessage(const QString &text);

private:
    void buildWidgets();
    void buildToolBar();
    void setPrintStatus(int row, const QString &status);

    Database *m_database = nullptr;
    QVector<QStringList> pendingRecords() const;

    QString m_feeProblem;
    QVector<QStringList> m_pending;
    QAbstractItemModel *m_sharedClasses = nullptr;
    std::unique_ptr<ReceiptCommands> m_receipts;
    std::unique_ptr<ExchangeCommands> m_workbooks;
    RosterTracker *m_tracker = nullptr;
    RosterToolBar *m_toolBar = nullptr;
    QStringList m_shownCommands;
};
