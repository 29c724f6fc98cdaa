#include "mainwindow.h"

#include "absencedialog.h"
#include "arrearsdialog.h"
#include "backupdialog.h"
#include "calibrationdialog.h"
#include "classname.h"
#include "clock.h"
#include "configview.h"
#include "desk.h"
#include "familydialog.h"
#include "journal.h"
#include "journaldialog.h"
#include "noticedialog.h"
#include "officesession.h"
#include "officesettings.h"
#include "prompts.h"
#include "querywindow.h"
#include "reconciledialog.h"
#include "reductiondialog.h"
#include "reportdialogs.h"
#include "rosterdialogs.h"
#include "rosterexchange.h"
#include "signin.h"
#include "staydialog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QDockWidget>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStatusBar>
#include <QStringListModel>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

int MainWindow::s_eagerLoadLimit = 20000;

void MainWindow::setEagerLoadLimit(int children)
{
    s_eagerLoadLimit = children;
}

MainWindow::MainWindow(OfficeSession &session, QWidget *parent)
    : QMainWindow(parent), m_session(&session)
{
    build();
}

MainWindow::MainWindow(const DbConfig &config, QWidget *parent)
    : QMainWindow(parent), m_ownSession(std::make_unique<OfficeSession>(config)),
      m_session(m_ownSession.get())
{
    build();
}

MainWindow::MainWindow(QWidget *parent) : MainWindow(OfficeSettings::database(), parent) {}

MainWindow::~MainWindow()
{
    // The pages show the session's documents; they go first.
    delete tabWidget;
    tabWidget = nullptr;
}

void MainWindow::build()
{
    setObjectName(QStringLiteral("MainWindow"));

    auto *toolBar = new QToolBar(QStringLiteral("常用命令"), this);
    toolBar->setObjectName(QStringLiteral("commands"));
    const struct {
        const char16_t *text;
        const char *name;
    } actions[] = {{u"保存到数据库", "saveDatabase"},
                   {u"查询", "query"},
                   {u"导出未打印名单", "exportUnprinted"},
                   {u"添加班级", "addClass"},
                   {u"收据记录", "journal"},
                   {u"备份与恢复", "backups"}};
    for (const auto &a : actions) {
        m_actions << new QAction(QString::fromUtf16(a.text), this);
        m_actions.last()->setObjectName(QLatin1String(a.name));
    }
    // The accounts live in the shared database, never in a local copy.
    if (!m_session->isKeptCopy())
        for (const auto &a :
             {std::pair{u"生成本月应收", "billMonth"}, std::pair{u"欠费", "arrears"},
              std::pair{u"缺勤退费", "absences"}, std::pair{u"日结", "dayReport"},
              std::pair{u"月报", "monthReport"}, std::pair{u"月结", "closeMonth"},
              std::pair{u"操作记录", "auditLog"}, std::pair{u"缴费通知单", "notices"},
              std::pair{u"催费单", "reminders"}, std::pair{u"对账", "reconcile"},
              std::pair{u"家庭", "families"}, std::pair{u"减免", "reductions"},
              std::pair{u"插班退园", "stays"}}) {
            m_actions << new QAction(QString::fromUtf16(a.first), this);
            m_actions.last()->setObjectName(QLatin1String(a.second));
        }
    // A window on rosters kept locally while the database was away can
    // hand them to the database once it is back.
    if (m_session->isKeptCopy()) {
        m_actions << new QAction(QStringLiteral("保存到服务器"), this);
        m_actions.last()->setObjectName(QStringLiteral("uploadToServer"));
        connect(m_actions.last(), &QAction::triggered, this, &MainWindow::onButtonUpload);
    }
    // Who works here: locking the window, another user, one's password and
    // the administrator's users.
    for (const auto &a : {std::pair{u"锁定", "lock"}, std::pair{u"切换用户", "switchUser"},
                          std::pair{u"修改密码", "ownPassword"}, std::pair{u"用户", "users"}}) {
        m_actions << new QAction(QString::fromUtf16(a.first), this);
        m_actions.last()->setObjectName(QLatin1String(a.second));
    }
    // The tool bar holds the day's commands, in groups, each with an icon
    // from the desktop's theme (Qt's own where the theme has none) and its
    // text under it; the rest are in the menus.
    const struct {
        const char *name, *theme;
        QStyle::StandardPixmap fallback;
    } daily[] = {
        {"saveDatabase", "document-save", QStyle::SP_DialogSaveButton},
        {"addClass", "list-add", QStyle::SP_FileDialogNewFolder},
        {nullptr, nullptr, QStyle::SP_CustomBase},
        {"query", "edit-find", QStyle::SP_FileDialogContentsView},
        {"billMonth", "x-office-spreadsheet", QStyle::SP_FileDialogDetailedView},
        {"journal", "document-open-recent", QStyle::SP_FileDialogListView},
        {"absences", "x-office-calendar", QStyle::SP_FileDialogInfoView},
        {nullptr, nullptr, QStyle::SP_CustomBase},
        {"arrears", "dialog-warning", QStyle::SP_MessageBoxWarning},
        {"dayReport", "document-print", QStyle::SP_FileIcon},
        {"exportUnprinted", "document-export", QStyle::SP_ArrowDown},
        {"uploadToServer", "network-server", QStyle::SP_DriveNetIcon},
        {nullptr, nullptr, QStyle::SP_CustomBase},
        {"lock", "system-lock-screen", QStyle::SP_BrowserStop},
    };
    toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    for (const auto &d : daily) {
        if (!d.name) {
            toolBar->addSeparator();
            continue;
        }
        QAction *a = toolAction(QLatin1String(d.name));
        if (!a)
            continue;
        a->setIcon(QIcon::fromTheme(QLatin1String(d.theme), style()->standardIcon(d.fallback)));
        toolBar->addAction(a);
    }
    addToolBar(toolBar);

    m_status = new QLabel(this);
    statusBar()->addWidget(m_status, 1);
    m_userLabel = new QLabel(this);
    m_userLabel->setObjectName(QStringLiteral("signedInUser"));
    statusBar()->addPermanentWidget(m_userLabel);

    m_classes = new QStringListModel(this);
    tabWidget = new QTabWidget(this);
    // A class is never closed from here: its tab has no close button.
    tabWidget->setTabsClosable(false);
    connect(tabWidget, &QTabWidget::currentChanged, this, [this](int i) {
        if (RosterPage *p = page(i))
            p->ensureBuilt();
        m_emptyHint->setVisible(tabWidget->count() == 0);
    });
    // An empty window says how to start.
    m_emptyHint = new QLabel(
        QStringLiteral("还没有班级。请点击工具栏上的“添加班级”，填写班级名称后添加第一个班级。"),
        tabWidget);
    m_emptyHint->setObjectName(QStringLiteral("emptyHint"));
    m_emptyHint->setAlignment(Qt::AlignCenter);
    m_emptyHint->setWordWrap(true);
    tabWidget->installEventFilter(this);

    // Beyond a few hundred classes the classes are chosen from a list beside
    // the tabs, and only the classes opened have a tab: a tab bar of
    // thousands is unusable, and Qt lays it all out again for every tab.
    m_classPanel = new QWidget(this);
    m_classPanel->setObjectName(QStringLiteral("classPanel"));
    auto *panelLayout = new QVBoxLayout(m_classPanel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    m_classFilter = new QLineEdit(m_classPanel);
    m_classFilter->setObjectName(QStringLiteral("classFilter"));
    m_classFilter->setPlaceholderText(QStringLiteral("查找班级"));
    m_classFilter->setClearButtonEnabled(true);
    auto *filtered = new QSortFilterProxyModel(m_classPanel);
    filtered->setSourceModel(m_classes);
    filtered->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_classList = new QListView(m_classPanel);
    m_classList->setObjectName(QStringLiteral("classList"));
    m_classList->setModel(filtered);
    m_classList->setUniformItemSizes(true);
    m_classList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    panelLayout->addWidget(m_classFilter);
    panelLayout->addWidget(m_classList);
    connect(m_classFilter, &QLineEdit::textChanged, filtered,
            &QSortFilterProxyModel::setFilterFixedString);
    connect(m_classList, &QListView::activated, this,
            [this](const QModelIndex &i) { openClassTab(i.data().toString()); });
    connect(m_classList, &QListView::clicked, this,
            [this](const QModelIndex &i) { openClassTab(i.data().toString()); });
    auto *split = new QSplitter(this);
    split->addWidget(m_classPanel);
    split->addWidget(tabWidget);
    split->setStretchFactor(1, 1);
    m_classPanel->hide();
    // The desk above the rosters: a parent at the window comes first.
    auto *central = new QWidget(this);
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    m_desk = new Desk(*m_session, central);
    column->addWidget(m_desk);
    column->addWidget(split, 1);
    setCentralWidget(central);
    connect(m_desk, &Desk::statusMessage, this, &MainWindow::showStatus);
    connect(m_session, &OfficeSession::accountsRefreshed, m_desk, &Desk::refresh);

    OfficeSession &s = *m_session;
    connect(&s, &OfficeSession::documentsReplaced, this, &MainWindow::rebuildTabs);
    connect(&s, &OfficeSession::classAdded, this, [this](const QString &name, RosterDocument *d) {
        m_classes->setStringList(m_session->classes());
        // With the class list, a class added elsewhere is listed, not opened.
        if (!m_classPanel->isVisibleTo(this))
            addClassTab(name, d);
    });
    connect(&s, &OfficeSession::classReloaded, this,
            [this](const QString &className, const QString &savedAt) {
                showStatus(QStringLiteral("另一台电脑于 %1 保存了班级“%2”，已重新载入")
                               .arg(savedAt, className));
            });
    connect(&s, &OfficeSession::classSavedElsewhere, this,
            [this](const QString &, const QString &note) { showStatus(note); });
    connect(&s, &OfficeSession::classesAddedElsewhere, this, [this](const QStringList &names) {
        showStatus(
            QStringLiteral("另一台电脑添加了班级：%1").arg(names.join(QStringLiteral("、"))));
    });

    openDatabase();
    rebuildTabs();

    selectWidget = new QueryWindow(s, this);
    selectEdit = selectWidget->queryEdit();
    connect(selectWidget, &QueryWindow::statusMessage, this, &MainWindow::showStatus);

    // Add-class dialog.
    addclassWidget = new AddClassDialog(this);
    addclassEdit = addclassWidget->nameEdit;
    connect(addclassWidget->addButton, &QToolButton::clicked, this,
            &MainWindow::onButtonAddclassOK);

    // Fee settings: the panel shows the session's, and says when one is
    // not a number.
    configview = new configView(s.settings(), this);
    connect(configview, &configView::expensesChange, this, &MainWindow::onExpensesChange);
    // After the session has computed every total again.
    connect(&s.settings(), &OfficeSettings::saved, this, &MainWindow::reportUncomputable);
    configview->loadSettings();

    buildDock();

    connect(m_actions[0], &QAction::triggered, this, &MainWindow::onButtonSaveDB);
    connect(m_actions[1], &QAction::triggered, this, &MainWindow::onButtonSelectWidget);
    connect(m_actions[2], &QAction::triggered, this, &MainWindow::onButtonSaveUnprint);
    connect(m_actions[3], &QAction::triggered, this, &MainWindow::onButtonAddclass);
    connect(m_actions[4], &QAction::triggered, this, &MainWindow::showJournal);
    if (QAction *bill = toolAction(QStringLiteral("billMonth")))
        connect(bill, &QAction::triggered, this, &MainWindow::billMonth);
    if (QAction *owing = toolAction(QStringLiteral("arrears")))
        connect(owing, &QAction::triggered, this, &MainWindow::showArrears);
    if (QAction *absences = toolAction(QStringLiteral("absences")))
        connect(absences, &QAction::triggered, this, &MainWindow::showAbsences);
    if (QAction *audit = toolAction(QStringLiteral("auditLog")))
        connect(audit, &QAction::triggered, this, [this] { showOnce<AuditDialog>(); });
    if (QAction *backups = toolAction(QStringLiteral("backups")))
        connect(backups, &QAction::triggered, this, [this] { showOnce<BackupDialog>(); });
    if (QAction *day = toolAction(QStringLiteral("dayReport")))
        connect(day, &QAction::triggered, this, [this] { showOnce<DayReportDialog>(); });
    if (QAction *month = toolAction(QStringLiteral("monthReport")))
        connect(month, &QAction::triggered, this, [this] { showOnce<MonthReportDialog>(); });
    if (QAction *notices = toolAction(QStringLiteral("notices")))
        connect(notices, &QAction::triggered, this, [this] { showOnce<NoticeDialog>(); });
    if (QAction *reminders = toolAction(QStringLiteral("reminders")))
        connect(reminders, &QAction::triggered, this, [this] { showOnce<ReminderDialog>(); });
    if (QAction *reconcile = toolAction(QStringLiteral("reconcile")))
        connect(reconcile, &QAction::triggered, this, [this] { showOnce<ReconcileDialog>(); });
    if (QAction *families = toolAction(QStringLiteral("families")))
        connect(families, &QAction::triggered, this, [this] { showOnce<FamilyDialog>(); });
    if (QAction *reductions = toolAction(QStringLiteral("reductions")))
        connect(reductions, &QAction::triggered, this, [this] { showOnce<ReductionDialog>(); });
    if (QAction *stays = toolAction(QStringLiteral("stays")))
        connect(stays, &QAction::triggered, this, [this] { showOnce<StayDialog>(); });
    if (QAction *close = toolAction(QStringLiteral("closeMonth")))
        connect(close, &QAction::triggered, this, &MainWindow::closeMonth);
    connect(toolAction(QStringLiteral("lock")), &QAction::triggered, this, &MainWindow::lock);
    connect(toolAction(QStringLiteral("switchUser")), &QAction::triggered, this,
            &MainWindow::switchUser);
    connect(toolAction(QStringLiteral("ownPassword")), &QAction::triggered, this,
            [this] { showOnce<PasswordDialog>(); });
    connect(toolAction(QStringLiteral("users")), &QAction::triggered, this,
            [this] { showOnce<UsersDialog>(); });

    buildMenus();
    connect(tabWidget, &QTabWidget::currentChanged, this, &MainWindow::updateTitle);

    m_signIn = new SignInPanel(s, this);
    m_signIn->hide();
    connect(m_signIn, &SignInPanel::signedIn, this, &MainWindow::onSignedIn);
    connect(&s.users(), &UserService::userChanged, this, &MainWindow::applyRole);
    // The window locks itself after a while without input.
    m_idle = new QTimer(this);
    m_idle->setObjectName(QStringLiteral("idleLock"));
    m_idle->setSingleShot(true);
    connect(m_idle, &QTimer::timeout, this, &MainWindow::lock);
    qApp->installEventFilter(this);
    if (!s.access().isSignedIn())
        showSignIn();
    else
        restartIdle();
    applyRole();
    // The search field is where a parent at the window starts.
    if (!isLocked())
        m_desk->focusSearch();
}

namespace
{
// What each command needs; commands not listed are open to every user.
const std::pair<const char *, Roles::Permission> commandPermissions[] = {
    {"saveDatabase", Roles::Rosters},
    {"exportUnprinted", Roles::Rosters},
    {"addClass", Roles::Rosters},
    {"uploadToServer", Roles::Rosters},
    {"billMonth", Roles::BillMonth},
    {"absences", Roles::Calendar},
    {"dayReport", Roles::OwnDayReport},
    {"monthReport", Roles::MonthReport},
    {"closeMonth", Roles::CloseMonth},
    {"users", Roles::Users},
    {"notices", Roles::Print},
    {"reminders", Roles::ArrearsExport},
    {"reconcile", Roles::MonthReport},
    {"families", Roles::Print},
    {"reductions", Roles::PricesAndRules},
    {"stays", Roles::Rosters},
};
} // namespace

std::optional<Roles::Permission> MainWindow::permissionOf(const QString &command)
{
    for (const auto &c : commandPermissions)
        if (command == QLatin1String(c.first))
            return c.second;
    return std::nullopt;
}

void MainWindow::applyRole()
{
    const Access &access = m_session->access();
    const bool covered = m_signIn && !m_signIn->isHidden();
    for (QAction *a : std::as_const(m_actions)) {
        const auto needs = permissionOf(a->objectName());
        const bool may = !covered && (!needs || access.may(*needs));
        a->setEnabled(may);
        a->setToolTip(needs && !may && !covered ? Roles::whoMay(*needs) : a->text());
    }
    const bool calibrates = !covered && access.may(Roles::Calibration);
    if (QWidget *calibrate = findChild<QWidget *>(QStringLiteral("calibrate"))) {
        calibrate->setEnabled(calibrates);
        calibrate->setToolTip(calibrates ? QString() : Roles::whoMay(Roles::Calibration));
    }
    for (QAction *a : std::as_const(m_menuActions)) {
        a->setEnabled(!covered &&
                      (a->objectName() != QStringLiteral("calibrateMenu") || calibrates));
        if (a->objectName() == QStringLiteral("deskPay"))
            a->setEnabled(!covered && access.may(Roles::Print));
    }
    if (m_desk)
        m_desk->setEnabled(!covered);
    // Prices editable for those who may change them.
    if (configview)
        configview->refreshRights();
    const auto me = access.user();
    m_userLabel->setText(me && !me->name.isEmpty()
                             ? QStringLiteral("%1（%2）").arg(me->name, Roles::name(me->role))
                             : QString());
}

void MainWindow::buildMenus()
{
    // Every command in a menu by what it is for; the tool bar keeps the daily ones.
    const struct {
        const char16_t *menu;
        std::initializer_list<const char *> commands;
    } menus[] = {
        {u"文件", {"saveDatabase", "exportUnprinted", "addClass", "uploadToServer", "backups"}},
        {u"收费",
         {"deskPay", "query", "billMonth", "absences", "journal", "notices", "families",
          "reductions", "stays"}},
        {u"账目", {"arrears", "reminders", "reconcile", "closeMonth", "auditLog"}},
        {u"报表", {"dayReport", "monthReport"}},
        {u"系统", {"settings", "calibrateMenu", "users", "ownPassword", "switchUser", "lock"}},
    };
    auto *pay = new QAction(QStringLiteral("收款并打印"), this);
    pay->setObjectName(QStringLiteral("deskPay"));
    pay->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(pay, &QAction::triggered, m_desk, &Desk::takePayment);
    auto *find = new QAction(QStringLiteral("查找儿童"), this);
    find->setObjectName(QStringLiteral("deskFind"));
    find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(find, &QAction::triggered, m_desk, &Desk::focusSearch);
    addAction(find);
    auto *settings = new QAction(QStringLiteral("设置"), this);
    settings->setObjectName(QStringLiteral("settings"));
    connect(settings, &QAction::triggered, this, [this] {
        dockWidget->show();
        dockWidget->raise();
    });
    auto *calibrate = new QAction(QStringLiteral("打印校准…"), this);
    calibrate->setObjectName(QStringLiteral("calibrateMenu"));
    connect(calibrate, &QAction::triggered, this, &MainWindow::showCalibration);
    auto *undo = new QAction(QStringLiteral("撤销"), this);
    undo->setObjectName(QStringLiteral("undo"));
    undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    connect(undo, &QAction::triggered, this, [this] {
        if (RosterPage *p = page(tabWidget->currentIndex()))
            p->document()->undoStack()->undo();
    });
    auto *redo = new QAction(QStringLiteral("重做"), this);
    redo->setObjectName(QStringLiteral("redo"));
    redo->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    connect(redo, &QAction::triggered, this, [this] {
        if (RosterPage *p = page(tabWidget->currentIndex()))
            p->document()->undoStack()->redo();
    });
    m_menuActions = {pay, find, settings, calibrate, undo, redo};
    if (QAction *save = toolAction(QStringLiteral("saveDatabase")))
        save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    auto byName = [this](const char *name) -> QAction * {
        if (QAction *a = toolAction(QLatin1String(name)))
            return a;
        for (QAction *a : std::as_const(m_menuActions))
            if (a->objectName() == QLatin1String(name))
                return a;
        return nullptr;
    };
    for (const auto &m : menus) {
        QMenu *menu = menuBar()->addMenu(QString::fromUtf16(m.menu));
        for (const char *name : m.commands)
            if (QAction *a = byName(name))
                menu->addAction(a);
        if (QString::fromUtf16(m.menu) == QStringLiteral("文件")) {
            menu->addSeparator();
            menu->addAction(undo);
            menu->addAction(redo);
            menu->addSeparator();
            QAction *quit = menu->addAction(QStringLiteral("退出"));
            quit->setObjectName(QStringLiteral("quit"));
            connect(quit, &QAction::triggered, this, &QWidget::close);
        }
    }
    updateTitle();
}

void MainWindow::updateTitle()
{
    RosterPage *p = tabWidget ? page(tabWidget->currentIndex()) : nullptr;
    QStringList parts{QStringLiteral("收费室")};
    if (p)
        parts << ClassName::visible(p->document()->className());
    parts << m_session->config().describe();
    // [*] is where Qt marks unsaved changes.
    setWindowTitle(parts.join(QStringLiteral(" — ")) + QStringLiteral("[*]"));
    setWindowModified(hasUnsavedChanges());
}

void MainWindow::showSignIn(const QString &name)
{
    m_idle->stop();
    m_signIn->setGeometry(rect());
    m_signIn->showFor(name);
    applyRole();
}

void MainWindow::lock()
{
    if (isLocked())
        return;
    // The same user, or another, signs in again; the rosters stay as they are.
    const auto me = m_session->access().user();
    // The other windows close with the lock: nothing of the books stays
    // readable behind it.
    for (QDialog *d : findChildren<QDialog *>())
        if (d->isVisible())
            d->reject();
    m_session->users().signOut();
    showSignIn(me ? me->name : QString());
    showStatus(QStringLiteral("已锁定：请重新登录"));
}

void MainWindow::switchUser()
{
    lock();
}

void MainWindow::onSignedIn()
{
    restartIdle();
    applyRole();
    m_desk->refresh();
    m_desk->focusSearch();
    if (const auto me = m_session->access().user())
        showStatus(QStringLiteral("%1已登录").arg(me->name));
    if (m_askInterruptedAfterSignIn) {
        m_askInterruptedAfterSignIn = false;
        askInterruptedPrints();
    }
}

void MainWindow::restartIdle()
{
    const int minutes = UsersDialog::idleMinutes();
    if (minutes > 0 && m_session->access().isSignedIn())
        m_idle->start(minutes * 60 * 1000);
    else
        m_idle->stop();
}

bool MainWindow::isLocked() const
{
    return m_signIn && !m_signIn->isHidden();
}

void MainWindow::openDatabase()
{
    OfficeSession &s = *m_session;
    bool opened = s.open();
    // A database another program holds locked, or one that cannot be read,
    // is said, and can be tried again; it is never shown as empty.
    while (!opened) {
        const auto answer = Prompts::current().question(
            this, Prompts::title(),
            QStringLiteral("无法读取数据库：%1\n\n可能另一个程序正在使用它。是否重试？")
                .arg(s.openError()),
            QMessageBox::Retry | QMessageBox::Cancel);
        if (answer != QMessageBox::Retry)
            break;
        opened = s.reload();
    }
    if (!opened) {
        showStatus(QStringLiteral("数据库没有读出来，这个窗口不会写入它：%1").arg(s.openError()));
        m_emptyHint->setText(
            QStringLiteral("数据库没有读出来。请关闭程序，待数据库可以读取后再打开。"
                           "在此之前，这个窗口不会写入数据库。"));
        return;
    }
    showStatus(QStringLiteral("数据库：%1").arg(s.config().describe()));
    if (!s.schemaError().isEmpty()) {
        showStatus(s.schemaError());
        Prompts::error(this, s.schemaError());
    } else if (const QString why = s.readOnlyReason(); !why.isEmpty()) {
        const QString text = QStringLiteral("%1：可以查看和打印，但不能保存。").arg(why);
        showStatus(text);
        Prompts::warn(this, text,
                      QStringLiteral("请让管理员给 %1 和它所在的文件夹加上写入权限。")
                          .arg(QDir::toNativeSeparators(s.config().path)));
    }
    // Receipts of a print that never ended are the signed-in user's to
    // answer for.
    if (s.schemaError().isEmpty()) {
        if (s.access().isSignedIn())
            askInterruptedPrints();
        else
            m_askInterruptedAfterSignIn = true;
    }
    // The day's first copy, once the window is up: work never waits for it
    // to start, and a failure is only said.
    QTimer::singleShot(0, this, [this] {
        if (const QString failed = m_session->automaticBackup(true); !failed.isEmpty())
            showStatus(QStringLiteral("自动备份失败：%1").arg(failed));
    });
}

QAction *MainWindow::toolAction(const QString &name) const
{
    for (QAction *a : m_actions)
        if (a->objectName() == name)
            return a;
    return nullptr;
}

void MainWindow::buildDock()
{
    dockWidget = new QDockWidget(this);
    dockWidget->setMinimumSize(100, 100);
    auto *dockContent = new QWidget(dockWidget);
    auto *dockLayout = new QVBoxLayout(dockContent);
    dockLayout->setContentsMargins(0, 0, 0, 0);
    dockLayout->addWidget(configview);
    auto *calibrate = new QPushButton(QStringLiteral("打印校准…"), dockContent);
    calibrate->setObjectName(QStringLiteral("calibrate"));
    dockLayout->addWidget(calibrate);
    connect(calibrate, &QPushButton::clicked, this, &MainWindow::showCalibration);
    dockWidget->setWidget(dockContent);
    dockWidget->setObjectName(QStringLiteral("dockwidget_"));
    // The settings cannot be closed away; they move or float instead, and
    // 系统 → 设置 brings them back to the front.
    dockWidget->setWindowTitle(QStringLiteral("设置"));
    dockWidget->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    addDockWidget(Qt::RightDockWidgetArea, dockWidget);
}

RosterPage *MainWindow::page(int index) const
{
    return qobject_cast<RosterPage *>(tabWidget->widget(index));
}

QList<RosterPage *> MainWindow::pages() const
{
    QList<RosterPage *> list;
    for (int i = 0; tabWidget && i < tabWidget->count(); ++i)
        list << page(i);
    return list;
}

bool MainWindow::hasUnsavedChanges() const
{
    return m_session->hasUnsavedChanges();
}

QString MainWindow::statusText() const
{
    return m_status->text();
}

void MainWindow::showStatus(const QString &text)
{
    m_status->setText(text);
}

// ------------------------------------------------------------ tabs

void MainWindow::rebuildTabs()
{
    while (tabWidget->count() > 0) {
        QWidget *w = tabWidget->widget(0);
        tabWidget->removeTab(0);
        delete w;
    }
    const QStringList classes = m_session->classes();
    m_classes->setStringList(classes);
    qsizetype children = 0;
    for (RosterDocument *d : m_session->documents())
        children += d->size();
    // A big database builds each page's widgets when its tab is first shown.
    const bool later = children > s_eagerLoadLimit;
    // Qt lays every tab out again for each close button: with hundreds of
    // classes that grows with the square of their number. The buttons close
    // nothing, so such a window goes without them.
    const bool listed = classes.size() > MaxClosableTabs;
    m_classPanel->setVisible(listed);
    if (listed) {
        if (!classes.isEmpty())
            openClassTab(classes.first());
    } else {
        for (const QString &name : classes)
            addClassTab(name, m_session->document(name),
                        later && tabWidget->count() > 0 ? RosterPage::Widgets::WhenShown
                                                        : RosterPage::Widgets::Now);
    }
    m_emptyHint->setVisible(tabWidget->count() == 0);
}

RosterPage *MainWindow::openClassTab(const QString &name)
{
    RosterDocument *document = m_session->document(name);
    for (int i = 0; i < tabWidget->count(); ++i)
        if (page(i)->document() == document && page(i)->objectName() == name) {
            tabWidget->setCurrentIndex(i);
            return page(i);
        }
    RosterPage *p = addClassTab(name, document);
    tabWidget->setCurrentWidget(p);
    return p;
}

RosterPage *MainWindow::addClassTab(const QString &name, RosterDocument *document,
                                    RosterPage::Widgets widgets)
{
    auto *p = new RosterPage(document, m_session, widgets);
    // One list for all pages: a thousand classes are not copied a thousand
    // times.
    p->shareClassList(m_classes);
    connect(p, &RosterPage::statusMessage, this, &MainWindow::showStatus);
    if (document) {
        // Two tabs of a class show one document: both follow it.
        connect(document, &RosterDocument::modifiedChanged, p,
                [this, document] { updateTabTitles(document); });
        connect(document, &RosterDocument::savedElsewhereChanged, p,
                [this, document] { updateTabTitles(document); });
    }
    tabWidget->addTab(p, ClassName::forTitle(name));
    if (document && document->isModified())
        updateTabTitles(document);
    return p;
}

void MainWindow::updateTabTitles(RosterDocument *document)
{
    if (!document)
        return;
    const bool modified = document->isModified();
    const QString note = document->savedElsewhere();
    for (int i = 0; i < tabWidget->count(); ++i) {
        if (page(i)->document() != document)
            continue;
        const QString title = ClassName::forTitle(document->className());
        QString text = modified ? title + QStringLiteral(" *") : title;
        // Another PC saved the class while this one holds unsaved edits.
        if (modified && !note.isEmpty())
            text += QStringLiteral(" ⚠ 他处已保存");
        tabWidget->setTabText(i, text);
        tabWidget->setTabToolTip(i, modified ? note : QString());
    }
    updateTitle();
}

void MainWindow::onExpensesChange()
{
    const QString problem = m_session->settings().feeProblem();
    if (!problem.isEmpty()) {
        showStatus(problem);
        Prompts::warn(this, problem);
        return;
    }
    const QStringList rows = m_session->uncomputable();
    if (!rows.isEmpty())
        showStatus(QStringLiteral("%1 名儿童的费用无法计算（表中红色的格子）：%2")
                       .arg(rows.size())
                       .arg(rows.first()));
}

void MainWindow::reportUncomputable()
{
    const QStringList rows = m_session->uncomputable();
    if (rows.isEmpty() || !m_session->settings().feeProblem().isEmpty())
        return;
    constexpr int shown = 20;
    QStringList lines = rows.mid(0, shown);
    if (rows.size() > shown)
        lines << QStringLiteral("……另有 %1 名").arg(rows.size() - shown);
    Prompts::warn(this,
                  QStringLiteral("%1 名儿童的费用没有重新计算，合计保持原样：").arg(rows.size()),
                  lines.join(QLatin1Char('\n')));
}

// ------------------------------------------------------------ saving

bool MainWindow::onButtonSaveDB()
{
    int saved = 0;
    const WriteResult r = m_session->save(&saved);
    if (!r) {
        showStatus(QStringLiteral("保存失败，数据库未改动：%1")
                       .arg(r.detail.isEmpty() ? r.text : r.detail));
        if (r.kind == WriteResult::Refused)
            Prompts::error(this, r.text);
        else if (r.isConflict())
            offerReload(QStringLiteral("保存"), r);
        else if (r.kind == WriteResult::Schema || r.kind == WriteResult::File)
            Prompts::error(this, r.text, QString(), r.detail);
        else
            Prompts::error(this, QStringLiteral("连接数据库失败"),
                           QStringLiteral("数据库没有回应，重新连接后再试一次也没有成功。"
                                          "花名册仍在窗口中，可以稍后再保存。"),
                           r.detail);
        return false;
    }
    showStatus(QStringLiteral("已保存 %1 名儿童到数据库").arg(saved));
    warnPendingJournal(QStringLiteral("下次保存时会再试。"));
    return true;
}

void MainWindow::askInterruptedPrints()
{
    const QVector<JournalEntry> entries = m_session->journal().interruptedPrints();
    if (entries.isEmpty())
        return;
    QStringList named;
    for (const JournalEntry &e : entries)
        if (named.size() < 20)
            named << QStringLiteral("%1 %2（%3）%4 元")
                         .arg(e.serial.isEmpty() ? QStringLiteral("（未编号）") : e.serial, e.name,
                              ClassName::visible(e.className), Journal::yuan(e.total));
    if (entries.size() > named.size())
        named << QStringLiteral("……");
    const QString text =
        QStringLiteral("上次打印时程序中断。以下 %1 张收据已经记入收据记录并记了收款，"
                       "但不知道纸质收据是否打印出来了：\n%2\n\n"
                       "这些收据都已打印出来并交给家长了吗？\n"
                       "选“是”：保持原样。选“否”：在收据记录中注明“未打印”，收款作废，"
                       "可以重新打印。")
            .arg(entries.size())
            .arg(named.join(QLatin1Char('\n')));
    const auto answer = Prompts::current().question(this, Prompts::title(), text,
                                                    QMessageBox::Yes | QMessageBox::No);
    const WriteResult r =
        m_session->journal().answerInterruptedPrints(entries, answer == QMessageBox::Yes);
    if (!r)
        Prompts::error(this, r.text, QStringLiteral("下次打开程序时会再问一次。"), r.detail);
    else if (answer != QMessageBox::Yes)
        showStatus(QStringLiteral("已注明 %1 张收据未打印").arg(entries.size()));
}

void MainWindow::warnPendingJournal(const QString &when)
{
    WriteResult failure;
    const int waiting = m_session->journal().flushPendingJournal(&failure);
    if (waiting == 0)
        return;
    Prompts::warn(this, QStringLiteral("%1 张已打印的收据仍未记入收据记录").arg(waiting), when,
                  failure.detail);
}

void MainWindow::offerReload(const QString &what, const WriteResult &refused)
{
    const QString when = refused.savedAt;
    const QString whose = refused.conflictClass.isEmpty()
                              ? QStringLiteral("班级列表")
                              : QStringLiteral("班级“%1”").arg(refused.conflictClass);
    const QString text =
        QStringLiteral("%1被拒绝：另一台电脑%2已保存了%3，本机的内容已过时。\n"
                       "是否重新载入数据库中的花名册？本机未保存的更改将被放弃。")
            .arg(what, when.isEmpty() ? QString() : QStringLiteral("于 %1 ").arg(when), whose);
    const auto answer = Prompts::current().question(this, Prompts::title(), text,
                                                    QMessageBox::Yes | QMessageBox::Cancel);
    if (answer != QMessageBox::Yes)
        return;
    if (!m_session->reload())
        showStatus(m_session->openError());
}

void MainWindow::onButtonAddclass()
{
    addclassWidget->show();
}

void MainWindow::onButtonAddclassOK()
{
    const QString name = ClassName::cleaned(addclassEdit->text());
    const WriteResult r = m_session->addClass(name);
    if (r.kind == WriteResult::Refused) {
        // The dialog stays open for the name to be corrected.
        Prompts::error(addclassWidget, r.text);
        return;
    }
    addclassWidget->close();
    if (!r) {
        showStatus(QStringLiteral("班级保存失败：%1").arg(r.detail.isEmpty() ? r.text : r.detail));
        if (r.isConflict()) {
            offerReload(QStringLiteral("添加班级"), r);
            return;
        }
        Prompts::error(this, QStringLiteral("班级保存失败"),
                       r.kind == WriteResult::Schema
                           ? r.text
                           : QStringLiteral("数据库没有接受新的班级列表，数据库中的班级没有改动。"
                                            "新班级的标签页仍在窗口中，下次“保存到数据库”时"
                                            "会连同班级列表一起保存。"),
                       r.detail);
        return;
    }
    if (m_classPanel->isVisibleTo(this))
        openClassTab(name);
    showStatus(QStringLiteral("已添加班级 %1").arg(ClassName::visible(name)));
}

// ------------------------------------------------------------ query, export

void MainWindow::onButtonSelectWidget()
{
    selectWidget->show();
}

void MainWindow::onButtonSelect()
{
    selectWidget->runQuery();
}

void MainWindow::onButtonSaveUnprint()
{
    const QString dir = Prompts::current().existingDirectory(this);
    if (dir.isEmpty())
        return;
    const QString path = dir + QLatin1Char('/') + Clock::now().toString(QStringLiteral("yyyyMM")) +
                         QStringLiteral("未打印发票打印副本");
    const QVector<QStringList> rows = m_session->unprintedRows();
    RosterExchange exchange;
    if (!exchange.writeRows(path, rows, Roster::ResultColumnCount)) {
        Prompts::error(this, exchange.errorString());
        return;
    }
    showStatus(QStringLiteral("未打印名单（%1 名儿童）已导出到 %2")
                   .arg(rows.size())
                   .arg(QDir::toNativeSeparators(exchange.filePath())));
}

void MainWindow::showJournal()
{
    showOnce<JournalDialog>()->setAttribute(Qt::WA_DeleteOnClose);
}

void MainWindow::showCalibration()
{
    if (const QString no = m_session->access().refusal(Roles::Calibration); !no.isEmpty()) {
        Prompts::error(this, no);
        return;
    }
    auto *dialog = new CalibrationDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

// ------------------------------------------------------------ accounts

void MainWindow::billMonth()
{
    const QString month = Clock::now().toString(QStringLiteral("yyyy年MM月"));
    RosterPage *current = page(tabWidget->currentIndex());
    QStringList classes;
    if (current) {
        const int answer = Prompts::current().choose(
            this,
            QStringLiteral("生成 %1 的应收：只为当前班级“%2”，还是为全部班级？")
                .arg(month, ClassName::visible(current->objectName())),
            {QStringLiteral("本班"), QStringLiteral("全部班级")});
        if (answer < 0)
            return;
        classes = answer == 0 ? QStringList{current->objectName()} : m_session->classes();
    } else {
        classes = m_session->classes();
    }
    if (classes.isEmpty()) {
        Prompts::warn(this, QStringLiteral("还没有班级，没有可生成应收的儿童"));
        return;
    }
    const AccountService::Billing b = m_session->accounts().billMonth(classes);
    if (const WriteResult &r = b.result; !r) {
        if (r.isConflict())
            offerReload(QStringLiteral("生成应收"), r);
        else
            Prompts::error(
                this, r.kind == WriteResult::Refused ? r.text : QStringLiteral("应收没有记录"),
                r.kind == WriteResult::Refused ? QString()
                                               : QStringLiteral("账目没有改动，可以稍后再试。"),
                r.detail);
        return;
    }
    QString text = b.entries == 0
                       ? QStringLiteral("%1 的应收已是最新：%2 名儿童，没有新的应收或调整")
                             .arg(month, QString::number(b.children))
                       : QStringLiteral("已记录 %1 的应收：%2 名儿童，%3 笔，合计 %4 元")
                             .arg(month, QString::number(b.children), QString::number(b.entries),
                                  Journal::yuan(b.amount));
    showStatus(text);
    if (!b.refused.isEmpty())
        Prompts::warn(this,
                      QStringLiteral("%1 名儿童的费用无法计算，没有记应收：").arg(b.refused.size()),
                      b.refused.mid(0, 20).join(QLatin1Char('\n')));
}

void MainWindow::showAbsences()
{
    if (m_session->documents().isEmpty()) {
        Prompts::warn(this, QStringLiteral("还没有班级，没有可记缺勤的儿童"));
        return;
    }
    RosterPage *current = page(tabWidget->currentIndex());
    auto *dialog = new AbsenceDialog(*m_session, current ? current->objectName() : QString(), this);
    dialog->show();
}

void MainWindow::closeMonth()
{
    // Last month: the one a fee office closes at the start of the next.
    const QString month = Journal::month(Clock::now().addMonths(-1));
    QString error;
    const auto closed = m_session->accounts().monthClosing(month, &error);
    if (!closed) {
        Prompts::error(this, QStringLiteral("无法读取月结记录"), QString(), error);
        return;
    }
    if (!closed->isEmpty()) {
        Prompts::warn(this, *closed, QStringLiteral("月结不能撤销，也不用再结一次。"));
        return;
    }
    // What is being closed, as the books hold it.
    QString summary;
    if (const auto report = m_session->reports().monthReport(month, &error)) {
        int receipts = 0;
        for (const JournalEntry &e :
             m_session->journal().journalMonth(month).value_or(QVector<JournalEntry>()))
            receipts += !e.voided && !e.unprinted && !e.isReprint() ? 1 : 0;
        const MonthReport::Sums &all = report->all;
        summary = QStringLiteral("%1：收据 %2 张，应收 %3 元，实收 %4 元，缺勤退费 %5 元，"
                                 "退款 %6 元，尚欠 %7 元。\n\n")
                      .arg(month)
                      .arg(receipts)
                      .arg(Journal::yuan(all.charged), Journal::yuan(all.received),
                           Journal::yuan(all.credited), Journal::yuan(all.refunded),
                           Journal::yuan(all.owed));
    }
    const QString text =
        summary + QStringLiteral("月结之后，%1 不能再生成应收、收款、作废收据或退款；"
                                 "以后对它的更正记在当时未结的月份，并注明 %1。\n月结不能撤销。")
                      .arg(month);
    if (!Prompts::current().confirm(this, text, QStringLiteral("月结")))
        return;
    const WriteResult r = m_session->accounts().closeMonth(month);
    if (!r) {
        Prompts::error(this, r.kind == WriteResult::Refused ? r.text : QStringLiteral("没有月结"),
                       r.kind == WriteResult::Refused
                           ? QString()
                           : QStringLiteral("账目没有改动，可以稍后再试。"),
                       r.detail);
        return;
    }
    showStatus(QStringLiteral("%1 已月结").arg(month));
}

void MainWindow::showArrears()
{
    auto *dialog = findChild<ArrearsDialog *>();
    if (!dialog) {
        dialog = new ArrearsDialog(*m_session, this);
    } else {
        dialog->refresh();
    }
    dialog->show();
    dialog->raise();
}

// ------------------------------------------------------------ closing

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == tabWidget && event->type() == QEvent::Resize)
        m_emptyHint->setGeometry(tabWidget->rect());
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
        // The same interval again: no reading of the settings per event.
        if (m_idle && m_idle->isActive())
            m_idle->start();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (m_signIn)
        m_signIn->setGeometry(rect());
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Unsaved rosters behind the lock are saved by someone signed in.
    if (isLocked() && hasUnsavedChanges()) {
        m_signIn->messageLabel()->setText(
            QStringLiteral("花名册有未保存的更改：请先登录，保存后再关闭程序"));
        event->ignore();
        return;
    }
    if (hasUnsavedChanges()) {
        // What 丢弃 would throw away, by class.
        QStringList lost;
        for (RosterDocument *d : m_session->documents())
            if (d->isModified())
                lost << QStringLiteral("班级“%1”（%2 名儿童）")
                            .arg(ClassName::visible(d->className()))
                            .arg(d->size());
        const auto answer = Prompts::current().question(
            this, Prompts::title(),
            QStringLiteral(
                "花名册有未保存的更改。是否保存到数据库？\n选“丢弃”将失去这些班级的更改：%1")
                .arg(lost.join(QStringLiteral("、"))),
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        if (answer == QMessageBox::Cancel ||
            (answer == QMessageBox::Save && !onButtonSaveDB() && !keepLocalCopy())) {
            event->ignore();
            return;
        }
    }
    // Receipts the journal did not take are tried once more; those still
    // waiting stay on disk for the next start.
    warnPendingJournal(QStringLiteral("它们已保存在本机，下次打开时会再记一次。"));
    // A copy at every close; a failure, now or earlier, is said again.
    const QString failedNow = m_session->automaticBackup(false);
    if (!failedNow.isEmpty())
        Prompts::warn(this, QStringLiteral("关闭时的自动备份失败了，数据库没有受影响"), failedNow);
    else if (!m_session->backups().lastFailure().isEmpty())
        Prompts::warn(this, QStringLiteral("打开时的自动备份失败过；关闭时的备份已经成功"),
                      m_session->backups().lastFailure());
    selectWidget->close();
    addclassWidget->close();
    event->accept();
}

void MainWindow::onButtonUpload()
{
    const DbConfig server = m_session->uploadTarget();
    const QStringList classes = m_session->uploadClasses();
    const QString text =
        classes.isEmpty()
            ? QStringLiteral(
                  "本文件中没有修改过的班级。是否把本文件中等待记录的收据保存到数据库 %1？")
                  .arg(server.describe())
            : QStringLiteral("把本文件中修改过的花名册保存到数据库 %1？\n"
                             "数据库中以下班级的花名册将被替换为本文件中的内容：\n%2\n"
                             "其他班级不会改动。")
                  .arg(server.describe(), classes.join(QStringLiteral("、")));
    if (Prompts::current().question(this, Prompts::title(), text,
                                    QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    // A class another PC saved since the copy was made: the clerk chooses.
    const auto decide = [this](const QString &className, const QString &savedAt) {
        return Prompts::current().question(
                   this, Prompts::title(),
                   QStringLiteral("班级“%1”在本文件保存之后，已于 %2 在数据库中由另一台电脑保存过。"
                                  "\n选“是”用本文件的内容替换数据库中的这个班级；"
                                  "选“否”保留数据库中的版本，这个班级不上传。")
                       .arg(ClassName::visible(className), savedAt),
                   QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    OfficeSession::UploadReport done;
    const WriteResult r = m_session->upload(decide, &done);
    if (!r) {
        Prompts::error(this, QStringLiteral("无法保存到服务器"),
                       QStringLiteral("本文件没有改动，可以稍后再试。"),
                       r.detail.isEmpty() ? r.text : r.detail);
        return;
    }
    QString status = QStringLiteral("已把 %1 名儿童（%2）保存到 %3")
                         .arg(QString::number(done.rows), done.written.join(QStringLiteral("、")),
                              server.describe());
    if (!done.kept.isEmpty())
        status +=
            QStringLiteral("；保留了数据库中的：%1").arg(done.kept.join(QStringLiteral("、")));
    if (done.receipts > 0)
        status += QStringLiteral("；记入收据 %1 张").arg(done.receipts);
    showStatus(status);
}

bool MainWindow::keepLocalCopy()
{
    const auto answer = Prompts::current().question(
        this, Prompts::title(),
        QStringLiteral("无法保存到数据库。是否把所有花名册另存到本机的一个文件中？\n"
                       "选“是”后关闭窗口，输入的内容不会丢失；选“否”则留在窗口中。"),
        QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return false;
    WriteResult error;
    const int receipts = m_session->journal().pendingJournalCount();
    const QString path = m_session->keepLocalCopy(&error);
    if (path.isEmpty()) {
        Prompts::error(this, QStringLiteral("无法把花名册另存到本机"),
                       QStringLiteral("窗口保持打开，内容仍在窗口中。"),
                       error.detail.isEmpty() ? error.text : error.detail);
        return false;
    }
    QString how = QStringLiteral("数据库恢复后，用 feeoffice --database \"%1\" 打开这个文件，"
                                 "再点击“保存到服务器”。")
                      .arg(path);
    if (receipts > 0)
        how += QStringLiteral("还没有记入收据记录的 %1 张已打印收据也在这个文件中，"
                              "保存到服务器时一并记入。")
                   .arg(receipts);
    Prompts::warn(this, QStringLiteral("花名册已另存到本机文件：\n%1").arg(path), how);
    return true;
}

QAction *MainWindow::menuAction(const QString &objectName) const
{
    for (QAction *a : m_menuActions)
        if (a->objectName() == objectName)
            return a;
    return nullptr;
}
