#include "reportprinter.h"

#include "receiptjob.h"

#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <memory>

namespace
{
constexpr double MarginMm = 15.0;
constexpr double WidthMm = 210.0, HeightMm = 297.0;
// Where the columns of a table line start, from the left margin.
constexpr double tabsMm[7] = {0, 28, 42, 68, 92, 114, 134};

// Draws every page on the device; newPage starts the next one.
template <typename NewPage>
void paint(QPainter &p, double dotsPerMm, const QStringList &lines, NewPage newPage)
{
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(9.5);
    p.setFont(font);
    const QFontMetricsF metrics(p.font(), p.device());
    const double lineHeight = metrics.lineSpacing();
    const double left = MarginMm * dotsPerMm, top = MarginMm * dotsPerMm;
    const double bottom = (HeightMm - MarginMm) * dotsPerMm - lineHeight * 2;
    const int perPage = qMax(1, int((bottom - top) / lineHeight));
    const int pages = qMax(1, int((lines.size() + perPage - 1) / perPage));
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            newPage();
        double y = top + metrics.ascent();
        for (int i = page * perPage; i < lines.size() && i < (page + 1) * perPage; ++i) {
            // Cells separated by tabs stand in columns.
            const QStringList cells = lines.at(i).split(QLatin1Char('\t'));
            for (int c = 0; c < cells.size(); ++c)
                p.drawText(QPointF(left + tabsMm[qMin(c, 6)] * dotsPerMm, y), cells.at(c));
            y += lineHeight;
        }
        p.drawText(QPointF(left, (HeightMm - MarginMm) * dotsPerMm),
                   QStringLiteral("第 %1 页，共 %2 页").arg(page + 1).arg(pages));
    }
}
} // namespace

namespace ReportPrinter
{

void setUp(QPrinter &printer)
{
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
    printer.setFullPage(true);
}

bool print(QPrinter &printer, const QStringList &lines, QString *error)
{
    QPainter p;
    if (!p.begin(&printer)) {
        *error = QStringLiteral("打印失败：无法开始打印");
        return false;
    }
    const double dotsPerMm = printer.resolution() / 25.4;
    paint(p, dotsPerMm, lines, [&] { printer.newPage(); });
    p.end();
    return finished(printer, error);
}

bool finished(QPrinter &printer, QString *error)
{
    const QString file = printer.outputFileName();
    if (printer.printerState() == QPrinter::Error || printer.printerState() == QPrinter::Aborted) {
        *error = QStringLiteral("打印失败：打印机报告了错误");
        return false;
    }
    if (!file.isEmpty() && !ReceiptJob::outputComplete(file)) {
        *error = QStringLiteral("打印失败：文件 %1 没有写完整（磁盘已满或不可写？）")
                     .arg(QDir::toNativeSeparators(file));
        return false;
    }
    return true;
}

QVector<QImage> render(const QStringList &lines, int dpi)
{
    const double dotsPerMm = dpi / 25.4;
    const QSize size(int(WidthMm * dotsPerMm), int(HeightMm * dotsPerMm));
    QVector<QImage> pages;
    auto start = [&] {
        pages << QImage(size, QImage::Format_RGB32);
        pages.last().setDotsPerMeterX(int(dotsPerMm * 1000));
        pages.last().setDotsPerMeterY(int(dotsPerMm * 1000));
        pages.last().fill(Qt::white);
    };
    start();
    // One painter per page, ended before the next page is added.
    auto p = std::make_unique<QPainter>(&pages.last());
    paint(*p, dotsPerMm, lines, [&] {
        p.reset();
        start();
        p = std::make_unique<QPainter>(&pages.last());
    });
    p.reset();
    return pages;
}

} // namespace ReportPrinter
