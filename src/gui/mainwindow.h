#pragma once

#include "database.h"
#include "invoice.h"

#include <QMainWindow>
#include <QStringList>
#include <memory>

class AddClassDialog;
class ExcelEngine;
class QDialog;
class QStringListModel;
class RosterSync;
class Invoice;
class QAction;
class QLabel;
class QLineEdit;
class QTabWidget;
class QDockWidget;
class configView;

// The program's one window: a tool bar of four commands, one tab per class,
// and the fee-settings dock.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // Opens the database named in the settings store.
    explicit MainWindow(QWidget *parent = nullptr);
    explicit MainWindow(const DbConfig &config, QWidget *parent = nullptr);
    ~MainWindow() override;

    QDockWidget *dockWidget = nullptr;
    QTabWidget *tabWidget = nullptr;
    configView *configview = nullptr;
    QDialog *selectWidget = nullptr;
    Invoice *selectPage = nullptr;
    QLineEdit *selectEdit = nullptr;
    QLineEdit *addclassEdit = nullptr;
    AddClassDialog *addclassWidget = nullptr;
    std::unique_ptr<ExcelEngine> excelEngine;
    QStringList classList;
    int unprintRow = 0;

    Database *database() const { return m_database.get(); }
    // Up to this many children every roster is filled at start; above, a
    // roster is filled when its tab is first shown.
    static void setEagerLoadLimit(int children);
    static constexpr int MaxClosableTabs = 200;
    QList<QAction *> toolActions() const { return m_actions; }
    // The tool-bar command with the object name (e.g. "saveDatabase").
    QAction *toolAction(const QString &objectName) const;
    Invoice *page(int index) const;
    QList<Invoice *> pages() const;
    bool hasUnsavedChanges() const;
    // The status-bar text, for the clerk (and tests).
    QString statusText() const;

public slots:
    bool onButtonSaveDB();
    void onExpensesChange();
    void onButtonSelect();
    void onButtonSelectWidget();
    void setSelectTableView(QStringList data);
    void saveUnprinterPeople(QStringList data);
    void onButtonSaveUnprint();
    void updataPrintType(QString className, QString name);
    void onButtonAddclass();
    void onButtonAddclassOK();
    void showCalibration();
    void onClassSavedElsewhere(const QString &className, const QString &savedAt);
    void onClassListChanged();
    void onButtonUpload();
    // "收据记录": the journal window for the month.
    void showJournal();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void build();
    void buildQueryPanel();
    void buildDock();
    bool openDatabase();
    Invoice *addClassTab(const QString &name, Invoice::Widgets widgets = Invoice::Widgets::Now);
    void applyFees(Invoice *page);
    void updateTabTitle(Invoice *page, bool modified);
    void showStatus(const QString &text);
    void offerReload(const QString &what);
    void reloadFromDatabase();
    // Offers to keep the rosters in a local file when they cannot be saved
    // at closing time; true when they were kept.
    bool keepLocalCopy();
    void writePendingJournal();

    std::unique_ptr<Database> m_database;
    DbConfig m_config;
    QList<QAction *> m_actions;
    QLabel *m_status = nullptr;
    QLabel *m_emptyHint = nullptr;
    static int s_eagerLoadLimit;
    RosterSync *m_sync = nullptr;
    // Every page's class-change choice shows this one list.
    QStringListModel *m_classes = nullptr;
};
