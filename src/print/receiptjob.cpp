#include "receiptjob.h"

#include "calibration.h"
#include "receiptprinter.h"

#include <QDir>
#include <QFile>

ReceiptJob::ReceiptJob(const SheetLayout &sheet, const QString &printerName) : m_sheet(sheet)
{
    if (!printerName.isEmpty())
        m_printer.setPrinterName(printerName);
}

bool ReceiptJob::ask(const Dialog &dialog)
{
    ReceiptPrinter::setUp(m_printer, m_sheet);
    if (!dialog(&m_printer))
        return false;
    ReceiptPrinter::setUp(m_printer, m_sheet, true);
    return true;
}

QPointF ReceiptJob::offset() const
{
    return Calibration::offsetFor(m_printer.printerName());
}

bool ReceiptJob::print(const QVector<QVector<DrawOp>> &pages)
{
    m_error.clear();
    const QString file = m_printer.outputFileName();
    if (!ReceiptPrinter::printPages(m_printer, pages)) {
        m_error = QStringLiteral("打印失败：无法开始打印");
        return false;
    }
    // A job the printer or the disk did not take is no receipt: the painter
    // reports success even when not a byte reached a full disk.
    if (m_printer.printerState() == QPrinter::Error ||
        m_printer.printerState() == QPrinter::Aborted) {
        m_error = QStringLiteral("打印失败：打印机报告了错误，收据可能没有打印出来");
        return false;
    }
    if (!file.isEmpty() && !pages.isEmpty() && !outputComplete(file)) {
        m_error = QStringLiteral("打印失败：文件 %1 没有写完整（磁盘已满或不可写？）")
                      .arg(QDir::toNativeSeparators(file));
        return false;
    }
    return true;
}

bool ReceiptJob::outputComplete(const QString &file)
{
    // A PDF is complete when it ends with its end-of-file marker.
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly) || f.size() <= 0)
        return false;
    const qint64 tail = qMin<qint64>(f.size(), 1024);
    if (!f.seek(f.size() - tail))
        return false;
    return f.read(tail).contains("%%EOF");
}

QString ReceiptJob::label() const
{
    return ReceiptPrinter::label(m_printer);
}
