#include "mainwindow.h"

#include "calibrationdialog.h"
#include "clock.h"
#include "configview.h"
#include "excelengine.h"
#include "invoice.h"
#include "prompts.h"
#include "rosterdialogs.h"
#include "rosterexchange.h"

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
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace
{
DbConfig configuredDatabase()
{
    const auto settings = SettingsStore::open();
    return DbConfig::fromSettings(*settings);
}
} // namespace

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
                   {u"添加班级", "addClass"}};
    for (const auto &a : actions) {
        m_actions << new QAction(QString::fromUtf16(a.text), this);
        m_actions.last()->setObjectName(QLatin1String(a.name));
    }
    toolBar->addActions(m_actions);
    addToolBar(toolBar);

    m_status = new QLabel(this);
    statusBar()->addWidget(m_status, 1);

    tabWidget = new QTabWidget(this);
    // Tabs show a close button, but a class is never closed from here.
    tabWidget->setTabsClosable(true);

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
    selectPage = new Invoice(this);
    selectPage->setObjectName(QStringLiteral("queryResults"));
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
    m_database = std::make_unique<Database>(m_config);
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
    if (!m_database->schemaError().isEmpty()) {
        showStatus(m_database->schemaError());
        Prompts::current().critical(this, Prompts::title(), m_database->schemaError());
    }
    if (classes->isEmpty())
        return false;
    classList = *classes;
    QSet<QString> loaded;
    for (const QString &name : *classes) {
        Invoice *p = addClassTab(name, classList);
        // A class listed twice gets its children once, on its first tab, so
        // that saving never stores them twice.
        if (!loaded.contains(name)) {
            p->loadRoster(students->value(name));
            loaded.insert(name);
        }
    }
    return true;
}

Invoice *MainWindow::addClassTab(const QString &name, const QStringList &classes)
{
    auto *p = new Invoice(this);
    p->setObjectName(name);
    p->setDatabase(m_database.get());
    p->fillClassCombo(classes);
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
    if (i >= 0)
        tabWidget->setTabText(i,
                              modified ? p->objectName() + QStringLiteral(" *") : p->objectName());
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
        Prompts::current().warning(this, Prompts::title(), problem);
    }
}

bool MainWindow::onButtonSaveDB()
{
    Database *db = m_database.get();
    bool ok = db && db->isOpen() && db->beginStudentRewrite();
    int children = 0;
    if (ok) {
        // Every page's rows in tab order, one transaction for all.
        for (Invoice *p : pages()) {
            children += p->model->rowCount();
            if (!p->writeDB()) {
                ok = false;
                break;
            }
        }
        if (ok)
            ok = db->finishStudentRewrite();
        else
            db->abandonStudentRewrite();
    }
    if (!ok) {
        const QString reason = db ? db->errorString() : QString();
        showStatus(QStringLiteral("保存失败，数据库未改动：%1").arg(reason));
        if (db && db->lastFailureWasConflict())
            offerReload(QStringLiteral("保存"));
        else if (db && !db->schemaError().isEmpty())
            Prompts::current().critical(nullptr, Prompts::title(), db->schemaError());
        else
            Prompts::current().critical(nullptr, Prompts::title(),
                                        QStringLiteral("连接数据库失败"));
        return false;
    }
    for (Invoice *p : pages())
        p->markSaved();
    showStatus(QStringLiteral("已保存 %1 名儿童到数据库").arg(children));
    return true;
}

void MainWindow::offerReload(const QString &what)
{
    const QString when = m_database->lastSavedAt();
    const QString text =
        QStringLiteral("%1被拒绝：另一台电脑%2已保存了花名册，本机的内容已过时。\n"
                       "是否重新载入数据库中的花名册？本机未保存的更改将被放弃。")
            .arg(what, when.isEmpty() ? QString() : QStringLiteral("于 %1 ").arg(when));
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
    Invoice *p = addClassTab(name, classList);
    // Children already stored under the name (say, after the class table
    // could not be saved) come back on the tab instead of being dropped by
    // the next save. A class already on a tab keeps them there.
    if (!shown)
        p->loadRoster();
    applyFees(p);
    p->markSaved();
    Database *db = m_database.get();
    if (!db || !db->isOpen() || !db->rewriteClasses(classList)) {
        showStatus(QStringLiteral("班级保存失败：%1").arg(db ? db->errorString() : QString()));
        if (db && db->lastFailureWasConflict()) {
            addclassWidget->close();
            offerReload(QStringLiteral("添加班级"));
            return;
        }
        Prompts::current().critical(nullptr, Prompts::title(), QStringLiteral("班级保存失败"));
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
        Prompts::current().critical(this, Prompts::title(), exchange.errorString());
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

void MainWindow::showCalibration()
{
    auto *dialog = new CalibrationDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

// ------------------------------------------------------------ closing

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (hasUnsavedChanges()) {
        const auto answer = Prompts::current().question(
            this, Prompts::title(), QStringLiteral("花名册有未保存的更改。是否保存到数据库？"),
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        if (answer == QMessageBox::Cancel || (answer == QMessageBox::Save && !onButtonSaveDB())) {
            event->ignore();
            return;
        }
    }
    selectWidget->close();
    addclassWidget->close();
    event->accept();
}
