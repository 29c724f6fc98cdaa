#include "invoice.h"

#include "calibrationdialog.h"
#include "clock.h"
#include "database.h"
#include "exchangecommands.h"
#include "prompts.h"
#include "receiptcommands.h"
#include "rosterdialogs.h"
#include "rostermodel.h"
#include "rostertracker.h"

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QSet>
#include <QStandardItemModel>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

Invoice::Invoice(QWidget *creator) : Invoice(creator, Widgets::Now) {}

Invoice::Invoice(QWidget *, Widgets widgets) : QWidget(nullptr)
{
    model = new RosterModel(this);
    model->setColumnCount(Roster::ColumnCount);
    model->setHorizontalHeaderLabels(Roster::headers());
    if (widgets == Widgets::Now)
        buildWidgets();
    m_receipts = std::make_unique<ReceiptCommands>(this);
    m_workbooks = std::make_unique<ExchangeCommands>(this);

    m_tracker = new RosterTracker([this] { return rosterRecords(); }, this);
    connect(m_tracker, &RosterTracker::modifiedChanged, this, &Invoice::modifiedChanged);
    for (auto signal : {&QStandardItemModel::rowsInserted, &QStandardItemModel::rowsRemoved})
        connect(model, signal, m_tracker, &RosterTracker::changed);
    connect(model, &QStandardItemModel::dataChanged, m_tracker, &RosterTracker::changed);
    // A total follows its row as the clerk types.
    connect(model, &RosterModel::cellEdited, this, [this](int r, int c) {
        if (c != Roster::Total && c != Roster::Clerk && c != Roster::PrintStatus &&
            c < Roster::ColumnCount)
            recomputeRow(r);
    });
}

void Invoice::recomputeRow(int r)
{
    if (!m_feeProblem.isEmpty() || r < 0 || r >= model->rowCount())
        return;
    const Roster::Cells row = cells(r);
    const qint32 total = Fees::rosterTotal(row, feeMirror());
    if (Fees::totalCellNeedsRewrite(row[Roster::Total], total))
        model->setText(r, Roster::Total, QString::number(total));
}

Invoice::~Invoice() = default;

void Invoice::buildWidgets()
{
    if (tableView)
        return;
    tableView = new QTableView(this);
    tableView->setObjectName(QStringLiteral("rosterTable"));
    tableView->setModel(model);
    tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    buildToolBar();
    buildDialogs();
    if (m_sharedClasses)
        classCombo->setModel(m_sharedClasses);
}

void Invoice::buildToolBar()
{
    const struct {
        const char16_t *text;
        const char *name;
        void (Invoice::*slot)();
    } buttons[] = {
        {u"添加", "addRow", &Invoice::addRow},
        {u"删除", "deleteRow", &Invoice::deleteRow},
        {u"打印选中", "printSelected", &Invoice::onButtonPrint},
        {u"打印区间", "printRange", &Invoice::showPrintallWidget},
        {u"读取Excel文件", "openExcel", &Invoice::onButtonOpenExcel},
        {u"保存为Excel文件", "saveExcel", &Invoice::onButtonSaveExcel},
        {u"班级管理", "classChange", &Invoice::onButtonclassChange},
        {u"打印预览", "preview", &Invoice::onButtonPreview},
    };
    auto *toolBar = new QToolBar(this);
    for (const auto &b : buttons) {
        auto *button = new QToolButton(this);
        button->setAutoRaise(true);
        button->setText(QString::fromUtf16(b.text));
        button->setObjectName(QLatin1String(b.name));
        connect(button, &QToolButton::clicked, this, b.slot);
        m_toolActions.insert(button->objectName(), toolBar->addWidget(button));
        m_toolButtons << button;
    }
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(toolBar);
    layout->addWidget(tableView);
    layout->setContentsMargins(0, 0, 0, 0);
}

void Invoice::buildDialogs()
{
    printRangeDialog = new PrintRangeDialog(this);
    printFromEdit = printRangeDialog->fromEdit;
    printToEdit = printRangeDialog->toEdit;
    connect(printRangeDialog->okButton, &QPushButton::pressed, this, &Invoice::onButtonPrintOK);
    connect(printRangeDialog->calibrateButton, &QPushButton::pressed, this,
            &Invoice::showCalibration);

    readRangeDialog = new ReadRangeDialog(this);
    readColumnEdit = readRangeDialog->columnEdit;
    readFromEdit = readRangeDialog->fromEdit;
    readToEdit = readRangeDialog->toEdit;
    connect(readRangeDialog->okButton, &QPushButton::pressed, this, &Invoice::onreadExcelButtonOK);
    connect(readRangeDialog->cancelButton, &QPushButton::pressed, this, &Invoice::cancelImport);

    classChangeDialog = new ClassChangeDialog(this);
    classCombo = classChangeDialog->classCombo;
    connect(classChangeDialog->okButton, &QPushButton::pressed, this, &Invoice::onclassChange);
}

void Invoice::showOnlyCommands(const QStringList &names)
{
    for (auto it = m_toolActions.cbegin(); it != m_toolActions.cend(); ++it)
        it.value()->setVisible(names.contains(it.key()));
}

QToolButton *Invoice::toolButton(const QString &name) const
{
    for (QToolButton *b : m_toolButtons)
        if (b->objectName() == name)
            return b;
    return nullptr;
}

// ------------------------------------------------------------ roster state

Roster::Cells Invoice::cells(int r) const
{
    return model->cells(r);
}

QVector<QStringList> Invoice::rosterRecords() const
{
    if (!m_pending.isEmpty())
        return pendingRecords();
    return model->records(objectName());
}

QVector<QStringList> Invoice::pendingRecords() const
{
    // What the rows will read once loaded: the month's print status, the
    // clerk and the total recomputed, as loading and recomputing do.
    const QString printedNow = Roster::printedStatus(Clock::now());
    const FeeMirror fees = feeMirror();
    QVector<QStringList> records;
    records.reserve(m_pending.size());
    for (const QStringList &stored : m_pending) {
        QStringList r = stored.mid(0, Roster::ColumnCount);
        while (r.size() < Roster::ColumnCount)
            r << QString();
        if (r.at(Roster::PrintStatus) != printedNow)
            r[Roster::PrintStatus] = Roster::notPrinted();
        Roster::Cells cells;
        for (int c = 0; c < Roster::ColumnCount; ++c)
            cells[c] = r.at(c);
        const qint32 total = Fees::rosterTotal(cells, fees);
        if (m_feeProblem.isEmpty()) {
            r[Roster::Clerk] = clerkName;
            if (Fees::totalCellNeedsRewrite(cells[Roster::Total], total))
                r[Roster::Total] = QString::number(total);
        }
        records << (r << objectName());
    }
    return records;
}

void Invoice::loadRosterLater(const QVector<QStringList> &records)
{
    m_pending += records;
}

void Invoice::ensureLoaded()
{
    buildWidgets();
    if (m_pending.isEmpty())
        return;
    const QVector<QStringList> records = std::exchange(m_pending, {});
    loadRoster(records);
    if (m_feeProblem.isEmpty())
        recomputeFees();
    markSaved();
}

bool Invoice::isModified() const
{
    // Rows not yet loaded are as stored.
    return m_pending.isEmpty() && m_tracker->isModified();
}

void Invoice::markSaved()
{
    if (m_pending.isEmpty())
        m_tracker->markSaved();
}

QVector<QStringList> Invoice::savedRecords() const
{
    return m_pending.isEmpty() ? m_tracker->saved() : pendingRecords();
}

// ------------------------------------------------------------ loading, fees

void Invoice::loadRoster()
{
    if (!m_database)
        return;
    const auto records = m_database->readStudents(objectName());
    if (records)
        loadRoster(*records);
}

void Invoice::loadRoster(const QVector<QStringList> &records)
{
    RosterTracker::Bulk bulk(*m_tracker);
    model->appendRecords(records, objectName(), Roster::printedStatus(Clock::now()));
}

void Invoice::applyFeeSettings(const FeeSettings &settings)
{
    // A setting that is not a number is never charged as 0: the rows keep
    // their totals and printing waits until it is mended.
    const auto bad = settings.firstInvalid();
    m_feeProblem = bad == FeeSettings::KeyCount ? QString() : FeeSettings::problem(settings, bad);
    if (!m_feeProblem.isEmpty())
        return;
    const FeeMirror mirror = settings.mirror();
    feePrices = mirror.feePrices;
    clerkName = mirror.clerkName;
    tuitionPrices = mirror.tuitionPrices;
    recomputeFees();
}

FeeMirror Invoice::feeMirror() const
{
    return FeeMirror{feePrices, clerkName, tuitionPrices};
}

void Invoice::recomputeFees()
{
    if (!m_pending.isEmpty())
        return; // done when the rows are loaded
    RosterTracker::Bulk bulk(*m_tracker);
    model->recompute(feeMirror());
}

// ------------------------------------------------------------ add, delete

void Invoice::addRow()
{
    const int n = model->rowCount();
    model->setRowCount(n + 1);
    if (n > 0) {
        for (int c = Roster::Age; c <= Roster::Insurance; ++c)
            if (const QStandardItem *above = model->item(n - 1, c))
                model->setItem(n, c, new QStandardItem(above->text()));
    }
    model->setItem(n, Roster::Clerk, new QStandardItem(clerkName));
    setPrintStatus(n, Roster::notPrinted());
    // A new row is never saved without its total.
    recomputeRow(n);
}

void Invoice::deleteRow()
{
    QSet<int> rows;
    for (const QModelIndex &index : tableView->selectionModel()->selectedIndexes())
        rows.insert(index.row());
    QList<int> ordered = rows.values();
    std::sort(ordered.begin(), ordered.end(), std::greater<int>());
    for (int r : ordered)
        model->removeRow(r);
}

bool Invoice::writeDB()
{
    if (!m_database)
        return false;
    return m_database->appendStudents(rosterRecords());
}

// ------------------------------------------------------------ scans

void Invoice::fillClassCombo(const QStringList &classes)
{
    classCombo->addItems(classes);
}

void Invoice::shareClassList(QAbstractItemModel *classes)
{
    m_sharedClasses = classes;
    if (classCombo)
        classCombo->setModel(classes);
}

void Invoice::onButtonclassChange()
{
    QSet<int> rows;
    for (const QModelIndex &index : tableView->selectionModel()->selectedIndexes())
        rows.insert(index.row());
    classChangeDialog->setWindowTitle(
        QStringLiteral("调班：%1 名儿童从“%2”调出").arg(rows.size()).arg(objectName()));
    classChangeDialog->show();
}

void Invoice::onclassChange()
{
    const QString target = classCombo->currentText();
    for (const QModelIndex &index : tableView->selectionModel()->selectedIndexes()) {
        QStandardItem *status = model->item(index.row(), Roster::PrintStatus);
        if (!status) {
            status = new QStandardItem(QString());
            model->setItem(index.row(), Roster::PrintStatus, status);
        }
        status->setData(target, Roster::ClassTagRole);
    }
    classChangeDialog->close();
}

QVector<QStringList> Invoice::rowsWhere(int column, const QString &text) const
{
    QVector<QStringList> rows;
    if (column < 0 || column >= Roster::ColumnCount)
        return rows;
    if (!m_pending.isEmpty()) {
        for (const QStringList &r : pendingRecords())
            if (r.at(column) == text)
                rows << r;
        return rows;
    }
    for (int r = 0; r < model->rowCount(); ++r) {
        const QStandardItem *item = model->item(r, column);
        if (item && item->text() == text)
            rows << (model->rowTexts(r) << objectName());
    }
    return rows;
}

void Invoice::scanRoster(int column, const QString &text)
{
    if (column != Roster::Name && column != Roster::PrintStatus)
        return;
    for (const QStringList &data : rowsWhere(column, text)) {
        if (column == Roster::Name)
            emit signaldata(data);
        else
            emit signalunPrintdata(data);
    }
}

void Invoice::clearRows()
{
    m_pending.clear();
    RosterTracker::Bulk bulk(*m_tracker);
    model->removeRows(0, model->rowCount());
    model->setRowCount(0);
}

void Invoice::appendResultRow(const QStringList &data)
{
    const int n = model->rowCount();
    model->setColumnCount(Roster::ResultColumnCount);
    model->setHorizontalHeaderItem(Roster::ResultClass,
                                   new QStandardItem(Roster::resultClassHeader()));
    model->setRowCount(n + 1);
    for (int k = 0; k < Roster::ResultColumnCount; ++k)
        model->setItem(n, k, new QStandardItem(data.value(k)));
}

void Invoice::updataPrintType(const QString &name, const QString &type)
{
    ensureLoaded();
    for (int r = 0; r < model->rowCount(); ++r) {
        const QStandardItem *item = model->item(r, Roster::Name);
        if (item && item->text() == name)
            setPrintStatus(r, type);
    }
}

void Invoice::setPrintStatus(int r, const QString &status)
{
    model->setPrintStatus(r, status, objectName());
}

// ------------------------------------------------------------ receipts

void Invoice::markPrinted(int r, const QDateTime &when)
{
    setPrintStatus(r, Roster::printedStatus(when));
    // Only the query-result page tells the main window, which then marks
    // the child on the page of its class.
    if (model->columnCount() != Roster::ResultColumnCount)
        return;
    const QStandardItem *cls = model->item(r, Roster::ResultClass);
    const QStandardItem *name = model->item(r, Roster::Name);
    emit isPrint(cls ? cls->text() : QString(), name ? name->text() : QString());
}

void Invoice::appendNames(const QStringList &names)
{
    RosterTracker::Bulk bulk(*m_tracker);
    model->appendRows(int(names.size()), [&, n = model->rowCount()](int r) {
        model->setText(r, Roster::Name, names.at(r - n));
        setPrintStatus(r, Roster::notPrinted());
    });
}

void Invoice::setTotal(int r, qint32 total)
{
    model->setItem(r, Roster::Total, new QStandardItem(QString::number(total)));
}

void Invoice::printSelectedReceipt()
{
    m_receipts->printSelected(tableView->currentIndex().row());
}

void Invoice::printReceiptRange(int from, int to)
{
    m_receipts->printRange(from, to);
}

void Invoice::onButtonPrint()
{
    printSelectedReceipt();
}

void Invoice::showPrintallWidget()
{
    printRangeDialog->show();
}

void Invoice::onButtonPrintOK()
{
    printReceiptRange(Roster::toInt(printFromEdit->text()), Roster::toInt(printToEdit->text()));
    printRangeDialog->close();
}

void Invoice::onButtonPreview()
{
    // The range typed in the open print-range dialog, else the selected
    // child. Nothing is marked, rewritten or reported.
    if (printRangeDialog->isVisible())
        m_receipts->preview(Roster::toInt(printFromEdit->text()),
                            Roster::toInt(printToEdit->text()));
    else
        m_receipts->preview(tableView->currentIndex().row());
}

void Invoice::showCalibration()
{
    auto *dialog = new CalibrationDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

// ------------------------------------------------------------ spreadsheets

void Invoice::onButtonOpenExcel()
{
    if (m_workbooks->chooseSource()) {
        readRangeDialog->setWindowTitle(
            QStringLiteral("读取范围 — %1").arg(QFileInfo(exchange().sourcePath()).fileName()));
        readRangeDialog->show();
    }
}

void Invoice::cancelImport()
{
    readRangeDialog->close();
    m_workbooks->cancel();
}

void Invoice::onreadExcelButtonOK()
{
    m_workbooks->readRange();
}

void Invoice::onButtonSaveExcel()
{
    m_workbooks->saveRoster();
}

const RosterExchange &Invoice::exchange() const
{
    return m_workbooks->exchange();
}
