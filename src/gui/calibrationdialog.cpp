#include "calibrationdialog.h"

#include "feesettings.h"
#include "layout.h"
#include "prompts.h"
#include "receiptprinter.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace
{
QString keyFor(const QString &printerName)
{
    QString key = printerName.trimmed();
    if (key.isEmpty())
        key = QStringLiteral("default");
    key.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    return QStringLiteral("calibration/") + key;
}
} // namespace

QString CalibrationDialog::defaultPrinterName()
{
    return QPrinterInfo::defaultPrinterName();
}

QPointF CalibrationDialog::offsetFor(const QString &printerName)
{
    const auto s = SettingsStore::open();
    const QString key = keyFor(printerName);
    return QPointF(s->value(key + QStringLiteral("/x"), 0.0).toDouble(),
                   s->value(key + QStringLiteral("/y"), 0.0).toDouble());
}

bool CalibrationDialog::setOffsetFor(const QString &printerName, const QPointF &offset)
{
    const auto s = SettingsStore::open();
    const QString key = keyFor(printerName);
    s->setValue(key + QStringLiteral("/x"), QString::number(offset.x(), 'f', 1));
    s->setValue(key + QStringLiteral("/y"), QString::number(offset.y(), 'f', 1));
    s->sync();
    return s->status() == QSettings::NoError;
}

CalibrationDialog::CalibrationDialog(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("打印校准"));
    m_printer = new QComboBox(this);
    QStringList names = QPrinterInfo::availablePrinterNames();
    const QString def = defaultPrinterName();
    if (!names.contains(def))
        names.prepend(def);
    m_printer->addItems(names);
    m_printer->setCurrentText(def);
    auto makeSpin = [this] {
        auto *spin = new QDoubleSpinBox(this);
        spin->setRange(-30.0, 30.0);
        spin->setDecimals(1);
        spin->setSingleStep(0.1);
        spin->setSuffix(QStringLiteral(" mm"));
        return spin;
    };
    m_x = makeSpin();
    m_y = makeSpin();
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("打印机："), m_printer);
    form->addRow(QStringLiteral("向右移动："), m_x);
    form->addRow(QStringLiteral("向下移动："), m_y);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    auto *page = buttons->addButton(QStringLiteral("打印校准页"), QDialogButtonBox::ActionRole);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CalibrationDialog::save);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(page, &QPushButton::clicked, this, &CalibrationDialog::printCalibrationPage);
    connect(m_printer, &QComboBox::currentTextChanged, this, &CalibrationDialog::showOffset);
    showOffset();
}

void CalibrationDialog::showOffset()
{
    const QPointF o = offsetFor(m_printer->currentText());
    m_x->setValue(o.x());
    m_y->setValue(o.y());
}

void CalibrationDialog::save()
{
    if (!setOffsetFor(m_printer->currentText(), QPointF(m_x->value(), m_y->value()))) {
        Prompts::error(this, QStringLiteral("校准值保存失败"));
        return;
    }
    accept();
}

void CalibrationDialog::printCalibrationPage()
{
    QPrinter printer(QPrinter::HighResolution);
    if (!m_printer->currentText().isEmpty())
        printer.setPrinterName(m_printer->currentText());
    ReceiptPrinter::setUp(printer);
    if (!Prompts::current().printDialog(&printer, this))
        return;
    ReceiptPrinter::setUp(printer, SheetLayout(), true);
    QPainter painter;
    if (!painter.begin(&printer)) {
        Prompts::error(this, QStringLiteral("打印失败：无法开始打印"));
        return;
    }
    // The offsets being tried, not the stored ones.
    ReceiptPrinter::draw(painter,
                         ReceiptLayout::calibrationPage(QPointF(m_x->value(), m_y->value())),
                         ReceiptPrinter::scaleOf(printer.resolution()));
    painter.end();
}
