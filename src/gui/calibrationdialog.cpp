#include "calibrationdialog.h"

#include "calibration.h"
#include "layout.h"
#include "prompts.h"
#include "receiptjob.h"
#include "receiptprinter.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QVBoxLayout>

CalibrationDialog::CalibrationDialog(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("打印校准"));
    m_printer = new QComboBox(this);
    QStringList names = QPrinterInfo::availablePrinterNames();
    const QString def = ReceiptPrinter::defaultPrinterName();
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
    page->setObjectName(QStringLiteral("printCalibrationPage"));
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
    const QPointF o = Calibration::offsetFor(m_printer->currentText());
    m_x->setValue(o.x());
    m_y->setValue(o.y());
}

void CalibrationDialog::save()
{
    if (!Calibration::setOffsetFor(m_printer->currentText(), QPointF(m_x->value(), m_y->value()))) {
        Prompts::error(this, QStringLiteral("校准值保存失败"));
        return;
    }
    accept();
}

void CalibrationDialog::printCalibrationPage()
{
    ReceiptJob job(SheetLayout(), m_printer->currentText());
    if (!job.ask(
            [this](QPrinter *printer) { return Prompts::current().printDialog(printer, this); }))
        return;
    // The offsets being tried, not the stored ones.
    if (!job.print({ReceiptLayout::calibrationPage(QPointF(m_x->value(), m_y->value()))}))
        Prompts::error(this, job.errorString());
}
