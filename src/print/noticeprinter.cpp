#include "noticeprinter.h"

#include "reportprinter.h"

#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>

namespace
{
constexpr double MarginMm = 12.0;
constexpr double WidthMm = 210.0, HeightMm = 297.0;
constexpr double AmountRightMm = 125.0; // where amounts end, from the left margin
constexpr double ImageMm = 38.0;

void setUp(QPrinter &printer)
{
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
    printer.setFullPage(true);
}

void paintBlock(QPainter &p, double mm, const QRectF &box, const QStringList &lines,
                const QImage &image)
{
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(10.5);
    QFont title = font;
    title.setPointSizeF(14);
    title.setBold(true);
    double y = box.top();
    for (int i = 0; i < lines.size(); ++i) {
        p.setFont(i == 0 ? title : font);
        const QFontMetricsF m(p.font(), p.device());
        y += m.ascent();
        if (y > box.bottom())
            break;
        const QStringList cells = lines.at(i).split(QLatin1Char('\t'));
        p.drawText(QPointF(box.left(), y), cells.at(0));
        if (cells.size() > 1) {
            const double right = box.left() + AmountRightMm * mm;
            p.drawText(QPointF(right - m.horizontalAdvance(cells.at(1)), y), cells.at(1));
        }
        y += m.lineSpacing() - m.ascent() + (i == 0 ? 2 * mm : 0.6 * mm);
    }
    if (!image.isNull()) {
        const double side = qMin(ImageMm * mm, box.height());
        const QRectF target(box.right() - side, box.top(), side, side);
        p.drawImage(target, image);
    }
}

template <typename NewPage>
void paint(QPainter &p, double mm, const QVector<QStringList> &blocks, const QImage &image,
           int perPage, NewPage newPage)
{
    const int per = qMax(1, perPage);
    const double height = (HeightMm - 2 * MarginMm) * mm / per;
    for (int i = 0; i < blocks.size(); ++i) {
        const int slot = i % per;
        if (i > 0 && slot == 0)
            newPage();
        const double top = MarginMm * mm + slot * height;
        const QRectF box(MarginMm * mm, top + 4 * mm, (WidthMm - 2 * MarginMm) * mm,
                         height - 8 * mm);
        paintBlock(p, mm, box, blocks.at(i), image);
        if (slot + 1 < per && i + 1 < blocks.size()) {
            QPen pen(Qt::gray);
            pen.setStyle(Qt::DashLine);
            pen.setWidthF(0.2 * mm);
            p.save();
            p.setPen(pen);
            p.drawLine(QPointF(0, top + height), QPointF(WidthMm * mm, top + height));
            p.restore();
        }
    }
}

} // namespace

namespace NoticePrinter
{

bool print(QPrinter &printer, const QVector<QStringList> &blocks, const QImage &image, int perPage,
           QString *error)
{
    setUp(printer);
    QPainter p;
    if (!p.begin(&printer)) {
        *error = printer.outputFileName().isEmpty()
                     ? QStringLiteral("打印失败：无法开始打印")
                     : QStringLiteral("无法写入 %1")
                           .arg(QDir::toNativeSeparators(printer.outputFileName()));
        return false;
    }
    const double mm = printer.resolution() / 25.4;
    paint(p, mm, blocks, image, perPage, [&] { printer.newPage(); });
    p.end();
    return ReportPrinter::finished(printer, error);
}

bool writePdf(const QString &path, const QVector<QStringList> &blocks, const QImage &image,
              int perPage, QString *error)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setResolution(300);
    return print(printer, blocks, image, perPage, error);
}

bool writeLinesPdf(const QString &path, const QStringList &lines, QString *error)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setResolution(300);
    ReportPrinter::setUp(printer);
    return ReportPrinter::print(printer, lines, error);
}

} // namespace NoticePrinter
