#pragma once

#include "dbconfig.h"
#include "roles.h"
#include "rosterpage.h"
#include "writeresult.h"

#include <QMainWindow>
#include <QStringList>
#include <memory>
#include <optional>

class AddClassDialog;
class OfficeSession;
class QAction;
class QDockWidget;
class QLabel;
class QLineEdit;
class QStringListModel;
class QListView;
class QTabWidget;
class QTimer;
class SignInPanel;
class Desk;
class QueryWindow;
class configView;

// The program's one window: a tool bar of commands, one tab per class, and
// the fee-settings dock. It is a view of the office session: every command
// reads the widgets, asks the session and shows what came of it.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // Opens the session's database and shows it.
    explicit MainWindow(OfficeSession &session, QWidget *parent = nullptr);
    // A window with a session of its own, on the database given (or the one
    // named in the settings store).
    explicit MainWindow(const DbConfig &config, QWidget *parent = nullptr);
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    QDockWidget *dockWidget = nullptr;
    QTabWidget *tabWidget = nullptr;
    configView *configview = nullptr;
    QueryWindow *selectWidget = nullptr;
    QLineEdit *selectEdit = nullptr;
    QLineEdit *addclassEdit = nullptr;
    AddClassDialog *addclassWidget = nullptr;

    OfficeSession &session() const { return *m_session; }
    // Up to this many children every page builds its widgets at start;
    // above, a page builds them when its tab is first shown.
    static void setEagerLoadLimit(int children);
    static constexpr int MaxClosableTabs = 200;
    QList<QAction *> toolActions() const { return m_actions; }
    // The tool-bar command with the object name (e.g. "saveDatabase").
    QAction *toolAction(const QString &objectName) const;
    RosterPage *page(int index) const;
    QList<RosterPage *> pages() const;
    bool hasUnsavedChanges() const;
    // The status-bar text, for the clerk (and tests).
    QString statusText() const;
    // Covered by the sign-in panel (at start, after 锁定 or 切换用户).
    bool isLocked() const;
    SignInPanel *signInPanel() const { return m_signIn; }
    Desk *desk() const { return m_desk; }
    // The menu bar's own commands (收款并打印, 查找儿童, 设置, 撤销 …).
    QAction *menuAction(const QString &objectName) const;
    // What a tool-bar command needs of the user's role; none: anyone's.
    static std::optional<Roles::Permission> permissionOf(const QString &command);

public slots:
    bool onButtonSaveDB();
    void onExpensesChange();
    // After "应用并保存": the rows whose fees could not be computed.
    void reportUncomputable();
    void onButtonSelect();
    void onButtonSelectWidget();
    void onButtonSaveUnprint();
    void onButtonAddclass();
    void onButtonAddclassOK();
    void showCalibration();
    void onButtonUpload();
    // "收据记录": the journal window for the month.
    void showJournal();
    // "生成本月应收": the month's charges for the current class or all.
    void billMonth();
    void closeMonth();
    void showAbsences();
    // 锁定 and 切换用户: the window is covered until someone signs in.
    void lock();
    void switchUser();
    // "欠费": who owes what.
    void showArrears();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void build();
    // Opens the session's database, offering to try again when it cannot
    // be read.
    void openDatabase();
    void buildDock();
    void rebuildTabs();
    // The class's tab, made when it has none, and shown.
    RosterPage *openClassTab(const QString &name);
    RosterPage *addClassTab(const QString &name, RosterDocument *document,
                            RosterPage::Widgets widgets = RosterPage::Widgets::Now);
    void updateTabTitles(RosterDocument *document);
    void showStatus(const QString &text);
    void offerReload(const QString &what, const WriteResult &refused);
    // Offers to keep the rosters in a local file when they cannot be saved
    // at closing time; true when they were kept.
    bool keepLocalCopy();
    void warnPendingJournal(const QString &when);
    void askInterruptedPrints();
    void showSignIn(const QString &name = {});
    void onSignedIn();
    // Enables what the signed-in user's role may use, and says who may.
    void applyRole();
    void buildMenus();
    // "收费室 — <class> — <database>", marked while rosters are unsaved.
    void updateTitle();
    void restartIdle();
    // A window of the kind opens once: a second press brings the open one
    // to the front.
    template <typename Window> Window *showOnce()
    {
        for (Window *open : findChildren<Window *>(Qt::FindDirectChildrenOnly))
            if (open->isVisible()) {
                open->raise();
                open->activateWindow();
                return open;
            }
        auto *window = new Window(*m_session, this);
        window->show();
        return window;
    }

    std::unique_ptr<OfficeSession> m_ownSession;
    OfficeSession *m_session = nullptr;
    QList<QAction *> m_actions;
    QLabel *m_status = nullptr;
    QLabel *m_emptyHint = nullptr;
    static int s_eagerLoadLimit;
    // Every page's class-change choice shows this one list.
    QStringListModel *m_classes = nullptr;
    QWidget *m_classPanel = nullptr;
    QLineEdit *m_classFilter = nullptr;
    QListView *m_classList = nullptr;
    SignInPanel *m_signIn = nullptr;
    Desk *m_desk = nullptr;
    QList<QAction *> m_menuActions;
    QLabel *m_userLabel = nullptr;
    QTimer *m_idle = nullptr;
    bool m_askInterruptedAfterSignIn = false;
};
