#include "receiptcommands.h"

#include "calibrationdialog.h"
#include "clock.h"
#include "database.h"
#include "invoice.h"
#include "journalstore.h"
#include "prompts.h"
#include "receiptbatch.h"
#include "receiptprinter.h"

#include "rostermodel.h"
#include <QPrinter>
#include <QSysInfo>

ReceiptCommands::ReceiptCommands(Invoice *page) : m_page(page) {}

ReceiptBatch ReceiptCommands::batchFor(CapitalPlacement placement) const
{
    return ReceiptBatch(m_page->feeMirror(), placement, m_sheet);
}

void ReceiptCommands::writeTotals(const ReceiptBatch &batch)
{
    for (const PlannedReceipt &p : batch.built())
        m_page->model->setText(p.row, Roster::Total, QString::number(p.totalColumn));
}

bool ReceiptCommands::askPrinter(QPrinter &printer)
{
    ReceiptPrinter::setUp(printer, m_sheet);
    if (!Prompts::current().printDialog(&printer, m_page))
        return false;
    // Drivers may reset the paper in the dialog.
    ReceiptPrinter::setUp(printer, m_sheet, true);
    return true;
}

bool ReceiptCommands::feesUsable()
{
    if (m_page->feeProblem().isEmpty())
        return true;
    Prompts::error(m_page, m_page->feeProblem());
    return false;
}

bool ReceiptCommands::confirmLeftOff(const ReceiptBatch &batch)
{
    const QStringList lines = batch.leftOffFees();
    if (lines.isEmpty())
        return true;
    const QString text =
        QStringLiteral("收据只有两行其他费用，以下费用不会印在收据上，也不计入合计：\n%1\n\n"
                       "是否仍然打印？")
            .arg(lines.join(QLatin1Char('\n')));
    return Prompts::current().question(m_page, Prompts::title(), text,
                                       QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

int ReceiptCommands::print(QPrinter &printer, const ReceiptBatch &batch)
{
    const QPointF offset = CalibrationDialog::offsetFor(printer.printerName());
    const QVector<PlannedReceipt> receipts = batch.printable();
    // One reading of the clock per receipt: its date and its print status.
    QVector<QDateTime> moments;
    QVector<QVector<DrawOp>> pages;
    for (const PlannedReceipt &p : receipts) {
        moments << Clock::now();
        pages << batch.page(p, moments.last().date(), offset);
    }
    if (!ReceiptPrinter::printPages(printer, pages)) {
        Prompts::error(m_page, QStringLiteral("打印失败：无法开始打印"));
        return -1;
    }
    journal(receipts, moments, printer);
    for (int i = 0; i < receipts.size(); ++i) {
        const int r = receipts.at(i).row;
        m_page->markPrinted(r, moments.at(i));
        // The query-result page tells the main window, which then marks the
        // child on the page of its class.
        RosterModel *rows = m_page->model;
        if (rows->columnCount() == Roster::ResultColumnCount) {
            const QStandardItem *cls = rows->item(r, Roster::ResultClass);
            emit m_page->isPrint(cls ? cls->text() : QString(),
                                 rows->rowTexts(r).value(Roster::Name));
        }
    }
    return int(receipts.size());
}

void ReceiptCommands::journal(const QVector<PlannedReceipt> &receipts,
                              const QVector<QDateTime> &moments, const QPrinter &printer)
{
    Database *db = m_page->database();
    if (!db || receipts.isEmpty())
        return;
    RosterModel *rows = m_page->model;
    const bool results = rows->columnCount() == Roster::ResultColumnCount;
    QVector<JournalEntry> entries;
    for (int i = 0; i < receipts.size(); ++i) {
        const int r = receipts.at(i).row;
        const QStandardItem *cls = results ? rows->item(r, Roster::ResultClass) : nullptr;
        JournalEntry e = JournalEntry::fromReceipt(
            receipts.at(i).receipt,
            results ? (cls ? cls->text() : QString()) : m_page->objectName(), moments.at(i));
        e.printer = ReceiptPrinter::label(printer);
        e.host = QSysInfo::machineHostName();
        entries << e;
    }
    JournalStore store(*db);
    if (store.record(entries))
        return;
    db->keepJournal(entries);
    QStringList names;
    for (const JournalEntry &e : entries)
        names << e.name;
    Prompts::warn(m_page,
                  QStringLiteral("收据已经打印，但没有记入收据记录：%1")
                      .arg(names.join(QStringLiteral("、"))),
                  QStringLiteral("这些收据会在下次“保存到数据库”时再记一次。"),
                  store.errorString());
}

void ReceiptCommands::printSelected(int row)
{
    if (row < 0 || row >= m_page->model->rowCount() || !feesUsable())
        return;
    ReceiptBatch batch = batchFor(CapitalPlacement::LeftAligned);
    batch.add(row, m_page->cells(row));
    // The total is rewritten while the receipt is built, before any dialog.
    writeTotals(batch);
    const QStringList refused = batch.refusals(false);
    if (!refused.isEmpty()) {
        Prompts::error(m_page, QStringLiteral("未打印：%1").arg(refused.first()));
        return;
    }
    if (!confirmLeftOff(batch))
        return;
    QPrinter printer(QPrinter::HighResolution);
    if (!askPrinter(printer) || print(printer, batch) < 0)
        return;
    emit m_page->statusMessage(QStringLiteral("已打印 %1 的收据")
                                   .arg(ReceiptText::decode(batch.built().first().receipt.name)));
}

void ReceiptCommands::printRange(int from, int to)
{
    if (!feesUsable())
        return;
    // Numbers that select no row are said, not printed as nothing.
    const int rows = m_page->model->rowCount();
    if (rows == 0) {
        Prompts::warn(m_page, QStringLiteral("名单中还没有儿童，没有可打印的收据"));
        return;
    }
    if (qMax(from, 1) > qMin(to, rows)) {
        Prompts::warn(m_page, QStringLiteral("“%1 至 %2”没有选中任何一行").arg(from).arg(to),
                      QStringLiteral("可以打印第 1 至第 %1 行：请输入这个范围内的起始行和结束行，"
                                     "起始行不大于结束行。")
                          .arg(rows));
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    if (!askPrinter(printer))
        return;
    // Only rows that exist can print; the bounds keep absurd numbers cheap.
    const qint64 first = qMax<qint64>(qint64(from) - 1, 0);
    const qint64 last = qMin<qint64>(qint64(to) - 1, m_page->model->rowCount() - 1);
    ReceiptBatch batch = batchFor(CapitalPlacement::FixedColumns);
    for (qint64 r = first; r <= last; ++r)
        batch.add(int(r), m_page->cells(int(r)));
    writeTotals(batch);
    if (!confirmLeftOff(batch))
        return;
    const int printed = print(printer, batch);
    if (printed < 0)
        return;
    const QStringList refused = batch.refusals(true);
    if (!refused.isEmpty())
        Prompts::warn(m_page,
                      QStringLiteral("以下收据未打印：\n%1").arg(refused.join(QLatin1Char('\n'))));
    emit m_page->statusMessage(QStringLiteral("已打印 %1 张收据").arg(printed));
}

void ReceiptCommands::preview(int row)
{
    ReceiptBatch batch = batchFor(CapitalPlacement::LeftAligned);
    if (row >= 0 && row < m_page->model->rowCount())
        batch.add(row, m_page->cells(row));
    showPreview(batch);
}

void ReceiptCommands::preview(int from, int to)
{
    ReceiptBatch batch = batchFor(CapitalPlacement::FixedColumns);
    const int first = qMax(from - 1, 0);
    const int last = qMin(to - 1, m_page->model->rowCount() - 1);
    for (int r = first; r <= last; ++r)
        batch.add(r, m_page->cells(r));
    showPreview(batch);
}

void ReceiptCommands::showPreview(const ReceiptBatch &batch)
{
    if (!feesUsable())
        return;
    const QPointF offset = CalibrationDialog::offsetFor(CalibrationDialog::defaultPrinterName());
    QVector<QImage> pages;
    for (const PlannedReceipt &p : batch.printable())
        pages << ReceiptPrinter::render(batch.page(p, Clock::now().date(), offset), 200, m_sheet,
                                        ReceiptLayout::formOutline(offset, m_sheet));
    const QStringList refused = batch.refusals(false);
    if (!refused.isEmpty())
        Prompts::warn(
            m_page, QStringLiteral("以下收据无法打印：\n%1").arg(refused.join(QLatin1Char('\n'))));
    if (pages.isEmpty()) {
        emit m_page->statusMessage(QStringLiteral("没有可预览的收据：请先选中一名儿童"));
        return;
    }
    Prompts::current().preview(m_page, QStringLiteral("打印预览"), pages);
}
