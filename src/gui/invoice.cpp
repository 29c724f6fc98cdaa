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

#include <QComboBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
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
    if (m_feeProblem.isEmpty())
        model->recomputeRow(r, feeMirror());
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
    if (!m_shownCommands.isEmpty())
        m_toolBar->showOnly(m_shownCommands);
    buildRosterDialogs(*this);
    if (m_sharedClasses)
        classCombo->setModel(m_sharedClasses);
}

void Invoice::buildToolBar()
{
    const QVector<RosterToolBar::Command> commands = {
        {u"添加", "addRow", [this] { addRow(); }},
        {u"删除", "deleteRow", [this] { deleteRow(); }},
        {u"打印选中", "printSelected", [this] { onButtonPrint(); }},
        {u"打印区间", "printRange", [this] { showPrintallWidget(); }},
        {u"读取Excel文件", "openExcel", [this] { onButtonOpenExcel(); }},
        {u"保存为Excel文件", "saveExcel", [this] { onButtonSaveExcel(); }},
        {u"班级管理", "classChange", [this] { onButtonclassChange(); }},
        {u"打印预览", "preview", [this] { onButtonPreview(); }},
    };
    m_toolBar = new RosterToolBar(commands, this);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_toolBar);
    layout->addWidget(tableView);
    layout->setContentsMargins(0, 0, 0, 0);
}

void Invoice::showOnlyCommands(const QStringList &names)
{
    m_shownCommands = names;
    if (m_toolBar)
        m_toolBar->showOnly(names);
}

QToolButton *Invoice::toolButton(const QString &name) const
{
    return m_toolBar ? m_toolBar->button(name) : nullptr;
}

QList<QToolButton *> Invoice::toolButtons() const
{
    return m_toolBar ? m_toolBar->buttons() : QList<QToolButton *>();
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
    return RosterModel::asLoaded(m_pending, objectName(), Roster::printedStatus(Clock::now()),
                                 feeMirror(), m_feeProblem.isEmpty());
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
    const int n = model->appendCopyOfLast(clerkName, objectName());
    // A new row is never saved without its total.
    recomputeRow(n);
}

void Invoice::deleteRow()
{
    model->removeRowsOf(tableView->selectionModel()->selectedIndexes());
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
    model->setClassTag(tableView->selectionModel()->selectedIndexes(), classCombo->currentText());
    classChangeDialog->close();
}

QVector<QStringList> Invoice::rowsWhere(int column, const QString &text) const
{
    if (column < 0 || column >= Roster::ColumnCount)
        return {};
    QVector<QStringList> rows;
    if (m_pending.isEmpty())
        return model->rowsWhere(column, text, objectName());
    for (const QStringList &r : pendingRecords())
        if (r.at(column) == text)
            rows << r;
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
    model->appendResultRow(data);
}

void Invoice::updataPrintType(const QString &name, const QString &type)
{
    ensureLoaded();
    for (int r : model->rowNumbersWhere(Roster::Name, name))
        setPrintStatus(r, type);
}

void Invoice::setPrintStatus(int r, const QString &status)
{
    model->setPrintStatus(r, status, objectName());
}

// ------------------------------------------------------------ receipts

void Invoice::markPrinted(int r, const QDateTime &when)
{
    setPrintStatus(r, Roster::printedStatus(when));
}

void Invoice::appendNames(const QStringList &names)
{
    RosterTracker::Bulk bulk(*m_tracker);
    model->appendRows(int(names.size()), [&, n = model->rowCount()](int r) {
        model->setText(r, Roster::Name, names.at(r - n));
        setPrintStatus(r, Roster::notPrinted());
    });
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
    if (m_workbooks->chooseSource())
        readRangeDialog->show();
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
