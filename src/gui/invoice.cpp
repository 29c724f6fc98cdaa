#include "invoice.h"

#include "calibrationdialog.h"
#include "capital.h"
#include "clock.h"
#include "database.h"
#include "excelengine.h"
#include "prompts.h"
#include "receiptprinter.h"

#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QSet>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

// Many cell changes at once (loading, recomputing, importing): the modified
// mark is worked out once at the end instead of after every cell.
class Invoice::BulkChange
{
public:
    explicit BulkChange(Invoice *page) : m_page(page) { ++m_page->m_bulk; }
    ~BulkChange()
    {
        if (--m_page->m_bulk == 0)
            m_page->onModelChanged();
    }

private:
    Invoice *m_page;
};

namespace
{
QHBoxLayout *row(std::initializer_list<QWidget *> widgets)
{
    auto *layout = new QHBoxLayout;
    for (QWidget *w : widgets)
        layout->addWidget(w);
    return layout;
}

QStandardItem *textItem(const QString &text)
{
    return new QStandardItem(text);
}

// Whole numbers within the range only: unlike a plain QIntValidator, a
// number above the top cannot even be typed.
class BoundedIntValidator : public QIntValidator
{
public:
    using QIntValidator::QIntValidator;
    State validate(QString &input, int &pos) const override
    {
        const State state = QIntValidator::validate(input, pos);
        bool ok = false;
        const qlonglong value = input.toLongLong(&ok);
        if (state == Intermediate && ok && value > top())
            return Invalid;
        return state;
    }
};
} // namespace

Invoice::Invoice(QWidget *) : QWidget(nullptr)
{
    const struct {
        const char16_t *text;
        void (Invoice::*slot)();
    } buttons[] = {
        {u"添加", &Invoice::addRow},
        {u"删除", &Invoice::deleteRow},
        {u"打印选中", &Invoice::onButtonPrint},
        {u"打印区间", &Invoice::showPrintallWidget},
        {u"读取Excel文件", &Invoice::onButtonOpenExcel},
        {u"保存为Excel文件", &Invoice::onButtonSaveExcel},
        {u"班级管理", &Invoice::onButtonclassChange},
        {u"打印预览", &Invoice::onButtonPreview},
    };
    auto *toolBar = new QToolBar(this);
    for (const auto &b : buttons) {
        auto *button = new QToolButton(this);
        button->setAutoRaise(true);
        button->setText(QString::fromUtf16(b.text));
        connect(button, &QToolButton::clicked, this, b.slot);
        toolBar->addWidget(button);
        m_toolButtons << button;
    }
    auto *layout = new QVBoxLayout;
    model = new QStandardItemModel(this);
    model->setColumnCount(Roster::ColumnCount);
    model->setHorizontalHeaderLabels(Roster::headers());
    tableView = new QTableView(this);
    tableView->setModel(model);
    tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    layout->addWidget(toolBar);
    layout->addWidget(tableView);
    layout->setContentsMargins(0, 0, 0, 0);
    setLayout(layout);

    // Print-range dialog.
    printRangeDialog = new QWidget;
    printFromEdit = new QLineEdit;
    printToEdit = new QLineEdit;
    auto *printOk = new QPushButton(QStringLiteral("确认并打印"));
    auto *printCancel = new QPushButton(QStringLiteral("取消打印"));
    auto *calibrate = new QPushButton(QStringLiteral("校准…"));
    {
        auto *v = new QVBoxLayout;
        v->addLayout(row({new QLabel(QStringLiteral("输入需要编号打印区间：")), printFromEdit,
                          new QLabel(QStringLiteral(" 至 ")), printToEdit}));
        v->addLayout(row({printOk, printCancel, calibrate}));
        printRangeDialog->setLayout(v);
    }
    connect(printOk, &QPushButton::pressed, this, &Invoice::onButtonPrintOK);
    connect(printCancel, &QPushButton::pressed, printRangeDialog, &QWidget::close);
    connect(calibrate, &QPushButton::pressed, this, &Invoice::showCalibration);

    // Read-range dialog.
    readRangeDialog = new QWidget;
    readColumnEdit = new QLineEdit;
    readFromEdit = new QLineEdit;
    readToEdit = new QLineEdit;
    for (QLineEdit *e : {readColumnEdit, readFromEdit, readToEdit})
        e->setValidator(new BoundedIntValidator(0, 1000, this));
    auto *readOk = new QPushButton(QStringLiteral("确认"));
    auto *readCancel = new QPushButton(QStringLiteral("取消"));
    {
        auto *v = new QVBoxLayout;
        v->addLayout(row({new QLabel(QStringLiteral("输入需要读取列编号：")), readColumnEdit}));
        v->addLayout(row({new QLabel(QStringLiteral("输入需要读取编号区间：")), readFromEdit,
                          new QLabel(QStringLiteral(" 至 ")), readToEdit}));
        v->addLayout(row({readOk, readCancel}));
        readRangeDialog->setLayout(v);
    }
    connect(readOk, &QPushButton::pressed, this, &Invoice::onreadExcelButtonOK);
    connect(readCancel, &QPushButton::pressed, this, &Invoice::cancelImport);

    // Class-change dialog.
    classChangeDialog = new QWidget;
    classCombo = new QComboBox;
    auto *classOk = new QPushButton(QStringLiteral("确认"));
    auto *classCancel = new QPushButton(QStringLiteral("取消"));
    {
        auto *v = new QVBoxLayout;
        v->addLayout(row({new QLabel(QStringLiteral("请选择更改到的班级: ")), classCombo}));
        v->addLayout(row({classOk, classCancel}));
        classChangeDialog->setLayout(v);
    }
    connect(classOk, &QPushButton::pressed, this, &Invoice::onclassChange);
    connect(classCancel, &QPushButton::pressed, classChangeDialog, &QWidget::close);

    resetReceipt();

    connect(model, &QStandardItemModel::dataChanged, this, &Invoice::onModelChanged);
    connect(model, &QStandardItemModel::rowsInserted, this, &Invoice::onModelChanged);
    connect(model, &QStandardItemModel::rowsRemoved, this, &Invoice::onModelChanged);
}

Invoice::~Invoice()
{
    // The dialogs are top-level windows of their own.
    delete printRangeDialog;
    delete readRangeDialog;
    delete classChangeDialog;
    if (pageEngine)
        pageEngine->closeWithoutSaving();
}

// ------------------------------------------------------------ roster state

Roster::Cells Invoice::cells(int r) const
{
    Roster::Cells cells;
    const int columns = qMin(model->columnCount(), Roster::ResultColumnCount);
    for (int c = 0; c < columns; ++c)
        if (const QStandardItem *item = model->item(r, c))
            cells[c] = item->text();
    return cells;
}

QStringList Invoice::rowTexts(int r) const
{
    QStringList texts;
    texts.reserve(Roster::ColumnCount);
    for (int c = 0; c < Roster::ColumnCount; ++c) {
        const QStandardItem *item = model->item(r, c);
        texts << (item ? item->text() : QString());
    }
    return texts;
}

QVector<QStringList> Invoice::rosterRecords() const
{
    QVector<QStringList> records;
    records.reserve(model->rowCount());
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList texts = rowTexts(r);
        // A row always carries its class; one without a tag stays in this
        // page's class rather than being stored nowhere.
        const QStandardItem *status = model->item(r, Roster::PrintStatus);
        const QVariant tag = status ? status->data(Roster::ClassTagRole) : QVariant();
        texts << (tag.isValid() ? tag.toString() : objectName());
        records << texts;
    }
    return records;
}

bool Invoice::isModified() const
{
    return rosterRecords() != m_savedRecords;
}

void Invoice::markSaved()
{
    m_savedRecords = rosterRecords();
    onModelChanged();
}

void Invoice::onModelChanged()
{
    // Comparing the whole roster after every cell would make bulk edits
    // quadratic; the mark is worked out once the event loop is free again.
    if (m_bulk > 0 || m_checkPending)
        return;
    m_checkPending = true;
    QTimer::singleShot(0, this, [this] {
        m_checkPending = false;
        const bool modified = isModified();
        if (modified != m_modified) {
            m_modified = modified;
            emit modifiedChanged(modified);
        }
    });
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

void Invoice::appendRows(int count, const std::function<void(int row)> &fill)
{
    if (count <= 0)
        return;
    BulkChange bulk(this);
    const int first = model->rowCount();
    model->setRowCount(first + count);
    {
        // Filling cell by cell would have the view react to every cell;
        // it hears of the whole block once instead.
        const QSignalBlocker blocker(model);
        for (int i = 0; i < count; ++i)
            fill(first + i);
    }
    emit model->dataChanged(model->index(first, 0),
                            model->index(first + count - 1, model->columnCount() - 1));
}

void Invoice::loadRoster(const QVector<QStringList> &records)
{
    const QString printedNow = Roster::printedStatus(Clock::now());
    const int first = model->rowCount();
    appendRows(records.size(), [&](int r) {
        const int i = r - first;
        const QStringList &rec = records.at(i);
        for (int c = 0; c < Roster::PrintStatus; ++c)
            model->setItem(r, c, textItem(rec.value(c)));
        // A receipt printed in an earlier month no longer counts.
        const QString stored = rec.value(Roster::PrintStatus);
        auto *status = textItem(stored == printedNow ? stored : Roster::notPrinted());
        status->setData(objectName(), Roster::ClassTagRole);
        model->setItem(r, Roster::PrintStatus, status);
    });
}

FeeMirror Invoice::feeMirror() const
{
    return FeeMirror{feePrices, clerkName, tuitionPrices};
}

void Invoice::recomputeFees()
{
    const int rows = model->rowCount();
    if (rows == 0)
        return;
    BulkChange bulk(this);
    const FeeMirror fees = feeMirror();
    {
        const QSignalBlocker blocker(model);
        for (int r = 0; r < rows; ++r) {
            const Roster::Cells row = cells(r);
            const qint32 total = Fees::rosterTotal(row, fees);
            model->setItem(r, Roster::Clerk, textItem(clerkName));
            if (Fees::totalCellNeedsRewrite(row[Roster::Total], total))
                model->setItem(r, Roster::Total, textItem(QString::number(total)));
        }
    }
    emit model->dataChanged(model->index(0, Roster::Total), model->index(rows - 1, Roster::Clerk));
}

// ------------------------------------------------------------ add, delete

void Invoice::addRow()
{
    const int n = model->rowCount();
    model->setRowCount(n + 1);
    if (n > 0) {
        for (int c = Roster::Age; c <= Roster::Insurance; ++c)
            if (const QStandardItem *above = model->item(n - 1, c))
                model->setItem(n, c, textItem(above->text()));
    }
    model->setItem(n, Roster::Clerk, textItem(clerkName));
    setPrintStatus(n, Roster::notPrinted());
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

void Invoice::onButtonclassChange()
{
    classChangeDialog->show();
}

void Invoice::onclassChange()
{
    const QString target = classCombo->currentText();
    for (const QModelIndex &index : tableView->selectionModel()->selectedIndexes()) {
        QStandardItem *status = model->item(index.row(), Roster::PrintStatus);
        if (!status) {
            status = textItem(QString());
            model->setItem(index.row(), Roster::PrintStatus, status);
        }
        status->setData(target, Roster::ClassTagRole);
    }
    classChangeDialog->close();
}

void Invoice::scanRoster(int column, const QString &text)
{
    if (column != Roster::Name && column != Roster::PrintStatus)
        return;
    for (int r = 0; r < model->rowCount(); ++r) {
        const QStandardItem *item = model->item(r, column);
        if (!item || item->text() != text)
            continue;
        QStringList data = rowTexts(r);
        data << objectName();
        if (column == Roster::Name)
            emit signaldata(data);
        else
            emit signalunPrintdata(data);
    }
}

void Invoice::clearRows()
{
    BulkChange bulk(this);
    model->removeRows(0, model->rowCount());
    model->setRowCount(0);
}

void Invoice::appendResultRow(const QStringList &data)
{
    const int n = model->rowCount();
    model->setColumnCount(Roster::ResultColumnCount);
    model->setHorizontalHeaderItem(Roster::ResultClass, textItem(Roster::resultClassHeader()));
    model->setRowCount(n + 1);
    for (int k = 0; k < Roster::ResultColumnCount; ++k)
        model->setItem(n, k, textItem(data.value(k)));
}

void Invoice::updataPrintType(const QString &name, const QString &type)
{
    for (int r = 0; r < model->rowCount(); ++r) {
        const QStandardItem *item = model->item(r, Roster::Name);
        if (item && item->text() == name)
            setPrintStatus(r, type);
    }
}

void Invoice::setPrintStatus(int r, const QString &status)
{
    auto *item = textItem(status);
    item->setData(objectName(), Roster::ClassTagRole);
    model->setItem(r, Roster::PrintStatus, item);
}

// ------------------------------------------------------------ receipts

void Invoice::resetReceipt()
{
    receipt = Receipt();
    sheetLayout = SheetLayout();
}

void Invoice::addFeeEntry(const QByteArray &label, float amount, int slot)
{
    ::addFeeEntry(receipt, label, amount, slot);
}

bool Invoice::buildReceipt(int r)
{
    if (r < 0 || r >= model->rowCount())
        return false;
    resetReceipt();
    const BuiltReceipt built = ::buildReceipt(cells(r), feeMirror());
    receipt = built.receipt;
    model->setItem(r, Roster::Total, textItem(QString::number(built.totalColumn)));
    return true;
}

void Invoice::reportPrinted(int r)
{
    // Only the query-result page tells the main window, which then marks
    // the child on the page of its class.
    if (model->columnCount() != Roster::ResultColumnCount)
        return;
    const QStandardItem *cls = model->item(r, Roster::ResultClass);
    const QStandardItem *name = model->item(r, Roster::Name);
    emit isPrint(cls ? cls->text() : QString(), name ? name->text() : QString());
}

QPointF Invoice::offsetFor(const QPrinter &printer) const
{
    return CalibrationDialog::offsetFor(printer.printerName());
}

bool Invoice::beginPrinter(QPrinter &printer)
{
    ReceiptPrinter::setUp(printer, sheetLayout);
    if (!Prompts::current().printDialog(&printer, this))
        return false;
    // Drivers may reset the paper in the dialog.
    ReceiptPrinter::setUp(printer, sheetLayout);
    return true;
}

void Invoice::printSelectedReceipt()
{
    const int r = tableView->currentIndex().row();
    if (r < 0 || r >= model->rowCount())
        return;
    const QString refusal = ReceiptLayout::refusal(receipt);
    if (!refusal.isEmpty()) {
        Prompts::current().critical(this, QStringLiteral("Collection"),
                                    QStringLiteral("未打印：%1").arg(refusal));
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    if (!beginPrinter(printer))
        return;
    QPainter painter;
    if (!painter.begin(&printer)) {
        Prompts::current().critical(this, QStringLiteral("Collection"),
                                    QStringLiteral("打印失败：无法开始打印"));
        return;
    }
    setPrintStatus(r, Roster::printedStatus(Clock::now()));
    reportPrinted(r);
    ReceiptPrinter::draw(painter,
                         ReceiptLayout::layout(receipt, Clock::now().date(),
                                               CapitalPlacement::LeftAligned, offsetFor(printer),
                                               sheetLayout),
                         ReceiptPrinter::scaleOf(printer.resolution()));
    painter.end();
    emit statusMessage(QStringLiteral("已打印 %1 的收据").arg(ReceiptText::decode(receipt.name)));
}

void Invoice::printReceiptRange(int from, int to)
{
    QPrinter printer(QPrinter::HighResolution);
    if (!beginPrinter(printer))
        return;
    // Only rows that exist can print; the bounds keep absurd numbers cheap.
    const qint64 first = qMax<qint64>(qint64(from) - 1, 0);
    const qint64 last = qMin<qint64>(qint64(to) - 1, model->rowCount() - 1);
    const float scale = ReceiptPrinter::scaleOf(printer.resolution());
    const QPointF offset = offsetFor(printer);
    QPainter painter;
    QStringList refused;
    int printed = 0;
    for (qint64 r = first; r <= last; ++r) {
        if (!buildReceipt(int(r)))
            continue;
        const QString refusal = ReceiptLayout::refusal(receipt);
        if (!refusal.isEmpty()) {
            refused << QStringLiteral("第 %1 行：%2").arg(r + 1).arg(refusal);
            continue;
        }
        // One document, one page per receipt.
        if (printed == 0) {
            if (!painter.begin(&printer)) {
                Prompts::current().critical(this, QStringLiteral("Collection"),
                                            QStringLiteral("打印失败：无法开始打印"));
                return;
            }
        } else {
            printer.newPage();
        }
        setPrintStatus(int(r), Roster::printedStatus(Clock::now()));
        reportPrinted(int(r));
        ReceiptPrinter::draw(painter,
                             ReceiptLayout::layout(receipt, Clock::now().date(),
                                                   CapitalPlacement::FixedColumns, offset,
                                                   sheetLayout),
                             scale);
        ++printed;
    }
    if (printed > 0)
        painter.end();
    if (!refused.isEmpty())
        Prompts::current().warning(
            this, QStringLiteral("Collection"),
            QStringLiteral("以下收据未打印：\n%1").arg(refused.join(QLatin1Char('\n'))));
    emit statusMessage(QStringLiteral("已打印 %1 张收据").arg(printed));
}

void Invoice::onButtonPrint()
{
    const int r = tableView->currentIndex().row();
    resetReceipt();
    if (r != -1 && buildReceipt(r))
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
    QVector<int> rows;
    CapitalPlacement placement = CapitalPlacement::LeftAligned;
    if (printRangeDialog->isVisible()) {
        placement = CapitalPlacement::FixedColumns;
        const int first = qMax(Roster::toInt(printFromEdit->text()) - 1, 0);
        const int last = qMin(Roster::toInt(printToEdit->text()) - 1, model->rowCount() - 1);
        for (int r = first; r <= last; ++r)
            rows << r;
    } else if (tableView->currentIndex().isValid()) {
        rows << tableView->currentIndex().row();
    }
    const QPointF offset = CalibrationDialog::offsetFor(CalibrationDialog::defaultPrinterName());
    QVector<QImage> pages;
    QStringList refused;
    for (int r : rows) {
        const Receipt preview = ::buildReceipt(cells(r), feeMirror()).receipt;
        const QString refusal = ReceiptLayout::refusal(preview);
        if (!refusal.isEmpty()) {
            refused << refusal;
            continue;
        }
        pages << ReceiptPrinter::render(
            ReceiptLayout::layout(preview, Clock::now().date(), placement, offset, sheetLayout));
    }
    if (!refused.isEmpty())
        Prompts::current().warning(
            this, QStringLiteral("Collection"),
            QStringLiteral("以下收据无法打印：\n%1").arg(refused.join(QLatin1Char('\n'))));
    if (pages.isEmpty()) {
        emit statusMessage(QStringLiteral("没有可预览的收据：请先选中一名儿童"));
        return;
    }
    Prompts::current().preview(this, QStringLiteral("打印预览"), pages);
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
    const QString path = Prompts::current().openFile(this);
    if (path.isEmpty())
        return;
    if (pageEngine)
        pageEngine->closeWithoutSaving();
    pageEngine = std::make_unique<ExcelEngine>();
    if (!pageEngine->open(path, 1, false)) {
        Prompts::current().critical(
            this, QStringLiteral("Collection"),
            QStringLiteral("无法读取 %1：%2")
                .arg(QDir::toNativeSeparators(path), pageEngine->errorString()));
        return;
    }
    readRangeDialog->show();
}

void Invoice::cancelImport()
{
    readRangeDialog->close();
    if (pageEngine)
        pageEngine->closeWithoutSaving();
}

void Invoice::onreadExcelButtonOK()
{
    const int column = Roster::toInt(readColumnEdit->text());
    const int first = Roster::toInt(readFromEdit->text());
    const int end = Roster::toInt(readToEdit->text());
    if (!pageEngine || !pageEngine->isOpened()) {
        readRangeDialog->close();
        return;
    }
    if (column < 1 || first < 1) {
        Prompts::current().warning(this, QStringLiteral("Collection"),
                                   QStringLiteral("列编号和起始行都从 1 开始：没有读取任何儿童"));
        return;
    }
    // The end row itself is not read.
    const int added = qMax(0, end - first);
    const int n = model->rowCount();
    appendRows(added, [&](int r) {
        const unsigned sheetRow = unsigned(first + r - n);
        model->setItem(r, Roster::Name,
                       textItem(pageEngine->cellValue(sheetRow, unsigned(column)).toString()));
        setPrintStatus(r, Roster::notPrinted());
    });
    readRangeDialog->close();
    // Only read: the source file is never written.
    pageEngine->closeWithoutSaving();
    emit statusMessage(QStringLiteral("已读取 %1 名儿童").arg(added));
}

void Invoice::onButtonSaveExcel()
{
    const QString dir = Prompts::current().existingDirectory(this);
    if (dir.isEmpty())
        return;
    const QString path = dir + QLatin1Char('/') + Clock::now().toString(QStringLiteral("yyyyMM")) +
                         objectName() + QStringLiteral("发票打印副本");
    if (pageEngine)
        pageEngine->closeWithoutSaving();
    pageEngine = std::make_unique<ExcelEngine>();
    ExcelEngine &engine = *pageEngine;
    bool ok = engine.open(path, 1, false);
    for (int r = 0; ok && r < model->rowCount(); ++r) {
        const QStringList texts = rowTexts(r);
        for (int c = 0; c < Roster::ColumnCount; ++c)
            engine.setCellValue(unsigned(r + 1), unsigned(c + 1), texts.at(c));
    }
    ok = ok && engine.close();
    if (!ok) {
        Prompts::current().critical(
            this, QStringLiteral("Collection"),
            QStringLiteral("无法写入 %1：%2")
                .arg(QDir::toNativeSeparators(engine.filePath()), engine.errorString()));
        return;
    }
    emit statusMessage(
        QStringLiteral("已导出到 %1").arg(QDir::toNativeSeparators(engine.filePath())));
}
