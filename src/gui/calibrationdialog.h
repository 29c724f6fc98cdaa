#pragma once

#include <QDialog>
#include <QPointF>

class QComboBox;
class QDoubleSpinBox;

// Every printer feeds the form a little differently: a shift in millimetres
// per printer, added to every position of every receipt.
class CalibrationDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CalibrationDialog(QWidget *parent = nullptr);

    QComboBox *printerCombo() const { return m_printer; }
    QDoubleSpinBox *xSpin() const { return m_x; }
    QDoubleSpinBox *ySpin() const { return m_y; }

public slots:
    void save();
    void printCalibrationPage();

private:
    void showOffset();

    QComboBox *m_printer = nullptr;
    QDoubleSpinBox *m_x = nullptr;
    QDoubleSpinBox *m_y = nullptr;
};
