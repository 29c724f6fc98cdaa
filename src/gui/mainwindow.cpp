#include "mainwindow.h"

#include "calibrationdialog.h"
#include "clock.h"
#include "configview.h"
#include "excelengine.h"
#include "invoice.h"
#include "journaldialog.h"
#include "journalstore.h"
#include "prompts.h"
#include "rosterdialogs.h"
#include "rosterexchange.h"
#include "rostersync.h"

#include <QAction>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QStringListModel>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace
{
// Page property: the note that another PC saved the page's class.
const char *const savedElsewhereNote = "feeofficeSavedElsewhere";

DbConfig configuredDatabase()
{
    const auto settings = SettingsStore::open();
    return DbConfig::fromSettings(*settings);
}
} // namespace

int MainWindow::s_eagerLoadLimit = 20000;

void MainWindow::setEagerLoadLimit(int children)
{
    s_eagerLoadLimit = children;
}

MainWindow::MainWindow(QWidget *parent) : MainWindow(configuredDatabase(), parent) {}

MainWindow::MainWindow(const DbConfig &config, QWidget *parent)
    : QMainWindow(parent), m_config(config)
{
    build();
}

MainWindow::~MainWindow()
{
    if (excelEngine)
        excelEngine->close();
    excelEngine.reset();
    // The pages use the connection; they go before it.
    delete tabWidget;
    tabWidget = nullptr;
}

void MainWindow::build()
{
    setObjectName(QStringLiteral("MainWindow"));

    auto *toolBar = new QToolBar(this);
    const struct {
        const char16_t *text;
        const char *name;
    } actions[] = {{u"保存到数据库", "saveDatabase"},
                   {u"查询", "query"},
                   {u"导出未打印名单", "exportUnprinted"},
                   {u"添加班级", "addClass"},
                   {u"收据记录", "journal"}};
    for (const auto &a : actions) {
        m_actions << new QAction(QString::fromUtf16(a.text), this);
        m_actions.last()->setObjectName(QLatin1String(a.name));
    }
    // A window on rosters kept locally while the database was away can
    // hand them to the database once it is back.
    if (RosterSync::isKeptCopy(m_config)) {
        m_actions << new QAction(QStringLiteral("保存到服务器"), this);
        m_actions.last()->setObjectName(QStringLiteral("uploadToServer"));
        connect(m_actions.last(), &QAction::triggered, this, &MainWindow::onButtonUpload);
    }
    toolBar->addActions(m_actions);
    addToolBar(toolBar);

    m_status = new QLabel(this);
    statusBar()->addWidget(m_status, 1);

    m_classes = new QStringListModel(this);
    tabWidget = new QTabWidget(this);
    // Tabs show a close button, but a class is never closed from here.
    tabWidget->setTabsClosable(true);
    connect(tabWidget, &QTabWidget::currentChanged, this, [this](int i) {
        if (Invoice *p = page(i))
            p->ensureLoaded();
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

    openDatabase();
    setCentralWidget(tabWidget);

    buildQueryPanel();

    // Add-class dialog.
    addclassWidget = new AddClassDialog(this);
    addclassEdit = addclassWidget->nameEdit;
    connect(addclassWidget->addButton, &QToolButton::clicked, this,
            &MainWindow::onButtonAddclassOK);

    // Fee settings: the first load computes every page's fees.
    configview = new configView(this);
    connect(configview, &configView::expensesChange, this, &MainWindow::onExpensesChange);
    configview->loadSettings();

    buildDock();

    connect(m_actions[0], &QAction::triggered, this, &MainWindow::onButtonSaveDB);
    connect(m_actions[1], &QAction::triggered, this, &MainWindow::onButtonSelectWidget);
    connect(m_actions[2], &QAction::triggered, this, &MainWindow::onButtonSaveUnprint);
    connect(m_actions[3], &QAction::triggered, this, &MainWindow::onButtonAddclass);
    connect(m_actions[4], &QAction::triggered, this, &MainWindow::showJournal);

    // What the window shows now is what "unchanged" means until the next save.
    for (Invoice *p : pages())
        p->markSaved();
}

QAction *MainWindow::toolAction(const QString &name) const
{
    for (QAction *a : m_actions)
        if (a->objectName() == name)
            return a;
    return nullptr;
}

void MainWindow::buildQueryPanel()
{
    // Query panel.
    selectWidget = new QDialog(this);
    selectWidget->setObjectName(QStringLiteral("queryDialog"));
    selectWidget->setWindowTitle(QStringLiteral("查询儿童"));
    // Wide enough for the thirteen columns of a result.
    selectWidget->resize(1280, 520);
    selectPage = new Invoice(this);
    selectPage->setDatabase(m_database.get());
    // A result list is printed and saved, not edited.
    selectPage->showOnlyCommands({QStringLiteral("printSelected"), QStringLiteral("printRange"),
                                  QStringLiteral("preview"), QStringLiteral("saveExcel")});
    selectEdit = new QLineEdit;
    selectEdit->setObjectName(QStringLiteral("queryText"));
    auto *selectButton = new QToolButton;
    selectButton->setObjectName(QStringLiteral("queryRun"));
    selectButton->setText(QStringLiteral("查询"));
    {
        auto *outer = new QVBoxLayout;
        auto *top = new QHBoxLayout;
        top->addWidget(selectEdit);
        top->addWidget(selectButton);
        auto *bottom = new QVBoxLayout;
        bottom->addWidget(selectPage);
        outer->addLayout(top);
        outer->addLayout(bottom);
        selectWidget->setLayout(outer);
    }
    connect(selectButton, &QToolButton::clicked, this, &MainWindow::onButtonSelect);
    connect(selectPage, &Invoice::isPrint, this, &MainWindow::updataPrintType);
    connect(selectPage, &Invoice::statusMessage, this, &MainWindow::showStatus);
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
    addDockWidget(Qt::RightDockWidgetArea, dockWidget);
}

Invoice *MainWindow::page(int index) const
{
    return qobject_cast<Invoice *>(tabWidget->widget(index));
}

QList<Invoice *> MainWindow::pages() const
{
    QList<Invoice *> list;
    for (int i = 0; tabWidget && i < tabWidget->count(); ++i)
        list << page(i);
    return list;
}

bool MainWindow::hasUnsavedChanges() const
{
    for (Invoice *p : pages())
        if (p->isModified())
            return true;
    return false;
}

QString MainWindow::statusText() const
{
    return m_status->text();
}

void MainWindow::showStatus(const QString &text)
{
    m_status->setText(text);
}

// ------------------------------------------------------------ database

bool MainWindow::openDatabase()
{
    delete m_sync;
    m_sync = nullptr;
    m_database = std::make_unique<Database>(m_config);
    // Even a database that cannot be opened now may be reached at the save.
    m_sync = new RosterSync(m_database.get(), this);
    connect(m_sync, &RosterSync::classSavedElsewhere, this, &MainWindow::onClassSavedElsewhere);
    connect(m_sync, &RosterSync::classListChanged, this, &MainWindow::onClassListChanged);
    if (!m_database->open()) {
        showStatus(QStringLiteral("无法打开数据库 %1").arg(m_database->errorString()));
        return false;
    }
    const auto classes = m_database->readClasses();
    const auto students = m_database->readAllStudents();
    if (!classes || !students) {
        showStatus(QStringLiteral("无法读取数据库 %1").arg(m_database->errorString()));
        return false;
    }
    showStatus(QStringLiteral("数据库：%1").arg(m_config.describe()));
    m_sync->watch();
    if (!m_database->schemaError().isEmpty()) {
        showStatus(m_database->schemaError());
        Prompts::error(this, m_database->schemaError());
    }
    if (classes->isEmpty())
        return false;
    classList = *classes;
    m_classes->setStringList(classList);
    qsizetype children = 0;
    for (const auto &rows : *students)
        children += rows.size();
    // A big database fills each roster when its tab is first shown.
    const bool later = children > s_eagerLoadLimit;
    // Qt lays every tab out again for each close button: with hundreds of
    // classes that grows with the square of their number. The buttons close
    // nothing, so such a window goes without them.
    tabWidget->setTabsClosable(classes->size() <= MaxClosableTabs);
    QSet<QString> loaded;
    for (const QString &name : *classes) {
        const bool first = tabWidget->count() == 0;
        Invoice *p = addClassTab(name, later && !first ? Invoice::Widgets::WhenShown
                                                       : Invoice::Widgets::Now);
        // A class listed twice gets its children once, on its first tab, so
        // that saving never stores them twice.
        if (!loaded.contains(name)) {
            if (later && !first)
                p->loadRosterLater(students->value(name));
            else
                p->loadRoster(students->value(name));
            loaded.insert(name);
        }
    }
    return true;
}

Invoice *MainWindow::addClassTab(const QString &name, Invoice::Widgets widgets)
{
    auto *p = new Invoice(this, widgets);
    p->setObjectName(name);
    p->setDatabase(m_database.get());
    // One list for all pages: a thousand classes are not copied a thousand
    // times.
    p->shareClassList(m_classes);
    connect(p, &Invoice::signaldata, this, &MainWindow::setSelectTableView);
    connect(p, &Invoice::signalunPrintdata, this, &MainWindow::saveUnprinterPeople);
    connect(p, &Invoice::statusMessage, this, &MainWindow::showStatus);
    connect(p, &Invoice::modifiedChanged, this, [this, p](bool m) { updateTabTitle(p, m); });
    tabWidget->addTab(p, name);
    return p;
}

void MainWindow::updateTabTitle(Invoice *p, bool modified)
{
    const int i = tabWidget->indexOf(p);
    if (i < 0)
        return;
    QString text = modified ? p->objectName() + QStringLiteral(" *") : p->objectName();
    // Another PC saved the class while this one holds unsaved edits.
    if (modified && !p->property(savedElsewhereNote).toString().isEmpty())
        text += QStringLiteral(" ⚠ 他处已保存");
    tabWidget->setTabText(i, text);
    tabWidget->setTabToolTip(i, modified ? p->property(savedElsewhereNote).toString() : QString());
}

void MainWindow::applyFees(Invoice *p)
{
    p->applyFeeSettings(configview->settings());
}

void MainWindow::onExpensesChange()
{
    for (Invoice *p : pages())
        applyFees(p);
    applyFees(selectPage);
    const FeeSettings &settings = configview->settings();
    const auto bad = settings.firstInvalid();
    if (bad != FeeSettings::KeyCount) {
        const QString problem = FeeSettings::problem(settings, bad);
        showStatus(problem);
        Prompts::warn(this, problem);
    }
}

bool MainWindow::onButtonSaveDB()
{
    const RosterSync::Plan plan = RosterSync::plan(pages());
    const QString refusal = RosterSync::refusal(plan);
    if (!refusal.isEmpty()) {
        showStatus(QStringLiteral("保存失败，数据库未改动"));
        Prompts::error(this, refusal);
        return false;
    }
    Database *db = m_database.get();
    if (!m_sync || !m_sync->save(plan)) {
        const QString reason = m_sync ? m_sync->errorString() : QString();
        showStatus(QStringLiteral("保存失败，数据库未改动：%1").arg(reason));
        if (db && db->lastFailureWasConflict())
            offerReload(QStringLiteral("保存"));
        else if (db && !db->schemaError().isEmpty())
            Prompts::error(nullptr, db->schemaError());
        else
            Prompts::error(nullptr, QStringLiteral("连接数据库失败"),
                           QStringLiteral("数据库没有回应，重新连接后再试一次也没有成功。"
                                          "花名册仍在窗口中，可以稍后再保存。"),
                           reason);
        return false;
    }
    for (Invoice *p : pages()) {
        p->setProperty(savedElsewhereNote, QVariant());
        p->markSaved();
    }
    writePendingJournal();
    showStatus(QStringLiteral("已保存 %1 名儿童到数据库").arg(plan.rows.size()));
    return true;
}

void MainWindow::offerReload(const QString &what)
{
    const QString when = m_database->lastSavedAt();
    const QString cls = m_database->lastConflictClass();
    const QString whose =
        cls.isEmpty() ? QStringLiteral("班级列表") : QStringLiteral("班级“%1”").arg(cls);
    const QString text =
        QStringLiteral("%1被拒绝：另一台电脑%2已保存了%3，本机的内容已过时。\n"
                       "是否重新载入数据库中的花名册？本机未保存的更改将被放弃。")
            .arg(what, when.isEmpty() ? QString() : QStringLiteral("于 %1 ").arg(when), whose);
    const auto answer = Prompts::current().question(this, Prompts::title(), text,
                                                    QMessageBox::Yes | QMessageBox::Cancel);
    if (answer == QMessageBox::Yes)
        reloadFromDatabase();
}

void MainWindow::reloadFromDatabase()
{
    while (tabWidget->count() > 0) {
        QWidget *w = tabWidget->widget(0);
        tabWidget->removeTab(0);
        delete w;
    }
    classList.clear();
    openDatabase();
    onExpensesChange();
    for (Invoice *p : pages())
        p->markSaved();
}

void MainWindow::onClassSavedElsewhere(const QString &className, const QString &savedAt)
{
    for (Invoice *p : pages()) {
        if (p->objectName() != className)
            continue;
        if (p->isModified()) {
            // The clerk's edits are not thrown away: the tab says so instead.
            const QString note =
                QStringLiteral("另一台电脑于 %1 保存了班级“%2”；本机的更改尚未保存，保存时会被拒绝")
                    .arg(savedAt, className);
            p->setProperty(savedElsewhereNote, note);
            updateTabTitle(p, true);
            showStatus(note);
            continue;
        }
        p->clearRows();
        p->loadRoster();
        applyFees(p);
        p->setProperty(savedElsewhereNote, QVariant());
        p->markSaved();
        showStatus(
            QStringLiteral("另一台电脑于 %1 保存了班级“%2”，已重新载入").arg(savedAt, className));
    }
}

void MainWindow::onClassListChanged()
{
    const auto classes = m_database->readClasses();
    if (!classes || !m_database->refreshClassTableRevision())
        return;
    QStringList added;
    for (const QString &name : *classes) {
        if (classList.contains(name))
            continue;
        classList << name;
        m_classes->setStringList(classList);
        Invoice *p = addClassTab(name);
        p->loadRoster();
        applyFees(p);
        p->markSaved();
        added << name;
    }
    if (!added.isEmpty())
        showStatus(
            QStringLiteral("另一台电脑添加了班级：%1").arg(added.join(QStringLiteral("、"))));
}

void MainWindow::onButtonAddclass()
{
    addclassWidget->show();
}

void MainWindow::onButtonAddclassOK()
{
    const QString name = addclassEdit->text();
    bool shown = false;
    for (Invoice *other : pages())
        shown = shown || other->objectName() == name;
    classList << name;
    m_classes->setStringList(classList);
    Invoice *p = addClassTab(name);
    // Children already stored under the name (say, after the class table
    // could not be saved) come back on the tab instead of being dropped by
    // the next save. A class already on a tab keeps them there.
    if (!shown)
        p->loadRoster();
    applyFees(p);
    p->markSaved();
    Database *db = m_database.get();
    if (!db || !db->isOpen() || !db->rewriteClasses(classList)) {
        const QString reason = db ? db->errorString() : QString();
        showStatus(QStringLiteral("班级保存失败：%1").arg(reason));
        if (db && db->lastFailureWasConflict()) {
            addclassWidget->close();
            offerReload(QStringLiteral("添加班级"));
            return;
        }
        Prompts::error(nullptr, QStringLiteral("班级保存失败"),
                       db && !db->schemaError().isEmpty()
                           ? db->schemaError()
                           : QStringLiteral("数据库没有接受新的班级列表，数据库中的班级没有改动。"
                                            "新班级的标签页仍在窗口中。"),
                       reason);
        addclassWidget->close();
        return;
    }
    showStatus(QStringLiteral("已添加班级 %1").arg(name));
    addclassWidget->close();
}

// ------------------------------------------------------------ query, export

void MainWindow::onButtonSelectWidget()
{
    selectWidget->show();
}

void MainWindow::onButtonSelect()
{
    selectPage->clearRows();
    const QString text = selectEdit->text();
    for (Invoice *p : pages())
        p->scanRoster(Roster::Name, text);
    showStatus(QStringLiteral("找到 %1 名儿童").arg(selectPage->model->rowCount()));
}

void MainWindow::setSelectTableView(QStringList data)
{
    selectPage->appendResultRow(data);
}

void MainWindow::updataPrintType(QString className, QString name)
{
    const QString status = Roster::printedStatus(Clock::now());
    for (Invoice *p : pages())
        if (p->objectName() == className)
            p->updataPrintType(name, status);
}

void MainWindow::onButtonSaveUnprint()
{
    unprintRow = 1;
    const QString dir = Prompts::current().existingDirectory(this);
    if (dir.isEmpty())
        return;
    const QString path = dir + QLatin1Char('/') + Clock::now().toString(QStringLiteral("yyyyMM")) +
                         QStringLiteral("未打印发票打印副本");
    QVector<QStringList> rows;
    for (Invoice *p : pages())
        rows += p->rowsWhere(Roster::PrintStatus, Roster::notPrinted());
    RosterExchange exchange;
    if (!exchange.writeRows(path, rows, Roster::ResultColumnCount)) {
        Prompts::error(this, exchange.errorString());
        return;
    }
    unprintRow = int(rows.size()) + 1;
    showStatus(QStringLiteral("未打印名单（%1 名儿童）已导出到 %2")
                   .arg(rows.size())
                   .arg(QDir::toNativeSeparators(exchange.filePath())));
}

void MainWindow::saveUnprinterPeople(QStringList data)
{
    // Rows scanned into an engine some caller opened; the export command
    // itself writes the rows it collected.
    if (!excelEngine || !excelEngine->isOpened())
        return;
    for (int k = 0; k < Roster::ResultColumnCount; ++k)
        excelEngine->setCellValue(unsigned(unprintRow), unsigned(k + 1), data.value(k));
    ++unprintRow;
}

void MainWindow::writePendingJournal()
{
    Database *db = m_database.get();
    QVector<JournalEntry> pending = db ? db->takePendingJournal() : QVector<JournalEntry>();
    if (pending.isEmpty())
        return;
    JournalStore store(*db);
    if (store.record(pending))
        return;
    db->keepJournal(pending);
    Prompts::warn(this, QStringLiteral("%1 张已打印的收据仍未记入收据记录").arg(pending.size()),
                  QStringLiteral("下次保存时会再试。"), store.errorString());
}

void MainWindow::showJournal()
{
    auto *dialog = new JournalDialog(m_database.get(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void MainWindow::showCalibration()
{
    auto *dialog = new CalibrationDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

// ------------------------------------------------------------ closing

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == tabWidget && event->type() == QEvent::Resize)
        m_emptyHint->setGeometry(tabWidget->rect());
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (hasUnsavedChanges()) {
        const auto answer = Prompts::current().question(
            this, Prompts::title(), QStringLiteral("花名册有未保存的更改。是否保存到数据库？"),
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        if (answer == QMessageBox::Cancel ||
            (answer == QMessageBox::Save && !onButtonSaveDB() && !keepLocalCopy())) {
            event->ignore();
            return;
        }
    }
    selectWidget->close();
    addclassWidget->close();
    event->accept();
}

void MainWindow::onButtonUpload()
{
    const auto store = SettingsStore::open();
    const DbConfig server = DbConfig::fromSettings(*store);
    const QString text =
        QStringLiteral("把本文件中的花名册保存到数据库 "
                       "%1？\n数据库中以下班级的花名册将被替换为本文件中的内容：\n%2")
            .arg(server.describe(), classList.join(QStringLiteral("、")));
    if (Prompts::current().question(this, Prompts::title(), text,
                                    QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    QVector<QStringList> records;
    for (Invoice *p : pages())
        records += p->rosterRecords();
    QString error;
    if (!RosterSync::upload(server, classList, records, &error)) {
        Prompts::error(this, QStringLiteral("无法保存到服务器"),
                       QStringLiteral("本文件没有改动，可以稍后再试。"), error);
        return;
    }
    showStatus(
        QStringLiteral("已把 %1 名儿童保存到 %2").arg(records.size()).arg(server.describe()));
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
    QVector<QStringList> records;
    for (Invoice *p : pages())
        records += p->rosterRecords();
    const QString path = m_sync ? m_sync->keepLocalCopy(classList, records) : QString();
    if (path.isEmpty()) {
        Prompts::error(this, QStringLiteral("无法把花名册另存到本机"),
                       QStringLiteral("窗口保持打开，内容仍在窗口中。"),
                       m_sync ? m_sync->errorString() : QString());
        return false;
    }
    Prompts::warn(this, QStringLiteral("花名册已另存到本机文件：\n%1").arg(path),
                  QStringLiteral("数据库恢复后，用 feeoffice --database \"%1\" 打开这个文件，"
                                 "再点击“保存到服务器”。")
                      .arg(path));
    return true;
}