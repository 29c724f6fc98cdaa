#include "receiptprinter.h"

#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <cmath>

namespace ReceiptPrinter
{

void setUp(QPrinter &printer, const SheetLayout &sheet, bool keepMargins)
{
    // Positions are measured from the printable area's corner: a printer
    // that cannot print to the paper's edge keeps its margins.
    printer.setFullPage(false);
    const QPageSize size(
        QSizeF(sheet.paperWidth, sheet.paperHeight), QPageSize::Millimeter,
        QStringLiteral("Receipt %1 x %2 mm").arg(sheet.paperWidth).arg(sheet.paperHeight),
        QPageSize::ExactMatch);
    if (keepMargins) {
        printer.setPageSize(size);
        printer.setPageOrientation(QPageLayout::Portrait);
        return;
    }
    printer.setPageLayout(
        QPageLayout(size, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
}

float scaleOf(int dotsPerInch)
{
    return static_cast<float>(dotsPerInch) / 25.4f;
}

int toDevice(double mm, float scale)
{
    return static_cast<int>(std::trunc(mm * double(scale)));
}

QFont receiptFont()
{
    QFont font;
    // Latin, then Chinese, then the rare characters of names outside the
    // basic plane (CJK Extension B and beyond), which the common Chinese
    // fonts lack and which would otherwise print as empty boxes.
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("SimSun"), QStringLiteral("HanaMinA"),
                      QStringLiteral("HanaMinB"), QStringLiteral("SimSun-ExtB")});
    font.setPointSize(12);
    font.setWeight(QFont::Bold);
    font.setItalic(false);
    font.setUnderline(false);
    font.setOverline(false);
    font.setCapitalization(QFont::SmallCaps);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0);
    return font;
}

void draw(QPainter &painter, const QVector<DrawOp> &ops, float scale)
{
    painter.setFont(receiptFont());
    painter.setPen(Qt::black);
    for (const DrawOp &op : ops) {
        if (op.kind == DrawOp::Text) {
            painter.drawText(QPoint(toDevice(op.at.x(), scale), toDevice(op.at.y(), scale)),
                             op.text);
            continue;
        }
        const QRect r(QPoint(toDevice(op.box.left(), scale), toDevice(op.box.top(), scale)),
                      QPoint(toDevice(op.box.right(), scale), toDevice(op.box.bottom(), scale)));
        if (op.kind == DrawOp::Frame) {
            if (r.width() <= 1 || r.height() <= 1)
                painter.drawLine(r.topLeft(), r.bottomRight());
            else
                painter.drawRect(r);
        }
        if (!op.text.isEmpty())
            painter.drawText(r, Qt::AlignCenter, op.text);
    }
}

QString defaultPrinterName()
{
    return QPrinterInfo::defaultPrinterName();
}

QString label(const QPrinter &printer)
{
    if (!printer.printerName().isEmpty())
        return printer.printerName();
    return printer.outputFileName().isEmpty()
               ? QString()
               : QStringLiteral("PDF %1").arg(QFileInfo(printer.outputFileName()).fileName());
}

bool printPages(QPrinter &printer, const QVector<QVector<DrawOp>> &pages)
{
    if (pages.isEmpty())
        return true;
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const float scale = scaleOf(printer.resolution());
    for (int i = 0; i < pages.size(); ++i) {
        if (i > 0)
            printer.newPage();
        draw(painter, pages.at(i), scale);
    }
    painter.end();
    return true;
}

QImage render(const QVector<DrawOp> &ops, int dotsPerInch, const SheetLayout &sheet,
              const QVector<DrawOp> &form)
{
    const float scale = scaleOf(dotsPerInch);
    QImage image(toDevice(sheet.paperWidth, scale) + 1, toDevice(sheet.paperHeight, scale) + 1,
                 QImage::Format_RGB32);
    image.setDotsPerMeterX(qRound(dotsPerInch / 0.0254));
    image.setDotsPerMeterY(qRound(dotsPerInch / 0.0254));
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(QPen(Qt::gray, 1, Qt::DashLine));
    painter.drawRect(0, 0, image.width() - 1, image.height() - 1);
    if (!form.isEmpty()) {
        painter.save();
        painter.setOpacity(0.35);
        QFont caption = receiptFont();
        caption.setPointSize(9);
        caption.setWeight(QFont::Normal);
        painter.setPen(QColor(90, 120, 200));
        for (const DrawOp &op : form) {
            const QRect r(
                QPoint(toDevice(op.box.left(), scale), toDevice(op.box.top(), scale)),
                QPoint(toDevice(op.box.right(), scale), toDevice(op.box.bottom(), scale)));
            painter.drawRect(r);
            painter.setFont(caption);
            painter.drawText(r.adjusted(2, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop, op.text);
        }
        painter.restore();
    }
    draw(painter, ops, scale);
    return image;
}

} // namespace ReceiptPrinter
