#include "rosterdialogs.h"

#include "rosterpage.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace
{
QHBoxLayout *row(std::initializer_list<QWidget *> widgets)
{
    auto *layout = new QHBoxLayout;
    for (QWidget *w : widgets)
        layout->addWidget(w);
    return layout;
}

QPushButton *pushButton(const QString &text, const char *name)
{
    auto *b = new QPushButton(text);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

QLineEdit *lineEdit(const char *name)
{
    auto *e = new QLineEdit;
    e->setObjectName(QLatin1String(name));
    return e;
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

PrintRangeDialog::PrintRangeDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("printRangeDialog"));
    setWindowTitle(QStringLiteral("打印区间"));
    fromEdit = lineEdit("printFrom");
    toEdit = lineEdit("printTo");
    okButton = pushButton(QStringLiteral("确认并打印"), "printRangeOk");
    cancelButton = pushButton(QStringLiteral("取消打印"), "printRangeCancel");
    calibrateButton = pushButton(QStringLiteral("校准…"), "printRangeCalibrate");
    auto *v = new QVBoxLayout(this);
    v->addLayout(row({new QLabel(QStringLiteral("输入需要编号打印区间：")), fromEdit,
                      new QLabel(QStringLiteral(" 至 ")), toEdit}));
    v->addLayout(row({okButton, cancelButton, calibrateButton}));
    connect(cancelButton, &QPushButton::pressed, this, &QWidget::close);
}

ReadRangeDialog::ReadRangeDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("readRangeDialog"));
    setWindowTitle(QStringLiteral("读取范围"));
    columnEdit = lineEdit("readColumn");
    fromEdit = lineEdit("readFrom");
    toEdit = lineEdit("readTo");
    for (QLineEdit *e : {columnEdit, fromEdit, toEdit})
        e->setValidator(new BoundedIntValidator(0, 1000, e));
    okButton = pushButton(QStringLiteral("确认"), "readRangeOk");
    cancelButton = pushButton(QStringLiteral("取消"), "readRangeCancel");
    auto *v = new QVBoxLayout(this);
    v->addLayout(row({new QLabel(QStringLiteral("输入需要读取列编号：")), columnEdit}));
    v->addLayout(row({new QLabel(QStringLiteral("输入需要读取编号区间：")), fromEdit,
                      new QLabel(QStringLiteral(" 至 ")), toEdit}));
    summary = new QLabel(this);
    summary->setObjectName(QStringLiteral("readSummary"));
    v->addWidget(summary);
    v->addLayout(row({okButton, cancelButton}));
    for (QLineEdit *e : {fromEdit, toEdit})
        connect(e, &QLineEdit::textChanged, this,
                [this] { summary->setText(summaryFor(fromEdit->text(), toEdit->text())); });
}

QString ReadRangeDialog::summaryFor(const QString &from, const QString &to)
{
    bool a = false, b = false;
    const int first = from.toInt(&a), end = to.toInt(&b);
    if (!a || !b)
        return {};
    if (end <= first)
        return QStringLiteral("结束编号那一行不读入：请让结束编号大于起始编号");
    if (end - first == 1)
        return QStringLiteral("将读取第 %1 行，共 1 个").arg(first);
    return QStringLiteral("将读取第 %1–%2 行，共 %3 个").arg(first).arg(end - 1).arg(end - first);
}

ClassChangeDialog::ClassChangeDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("classChangeDialog"));
    setWindowTitle(QStringLiteral("调班"));
    classCombo = new QComboBox;
    classCombo->setObjectName(QStringLiteral("classChangeCombo"));
    okButton = pushButton(QStringLiteral("确认"), "classChangeOk");
    cancelButton = pushButton(QStringLiteral("取消"), "classChangeCancel");
    auto *v = new QVBoxLayout(this);
    v->addLayout(row({new QLabel(QStringLiteral("请选择更改到的班级: ")), classCombo}));
    v->addLayout(row({okButton, cancelButton}));
    connect(cancelButton, &QPushButton::pressed, this, &QWidget::close);
}

AddClassDialog::AddClassDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("addClassDialog"));
    setWindowTitle(QStringLiteral("添加班级"));
    nameEdit = lineEdit("addClassName");
    addButton = new QToolButton;
    addButton->setObjectName(QStringLiteral("addClassOk"));
    addButton->setText(QStringLiteral(" 添加 "));
    cancelButton = new QToolButton;
    cancelButton->setObjectName(QStringLiteral("addClassCancel"));
    cancelButton->setText(QStringLiteral(" 取消 "));
    auto *v = new QVBoxLayout(this);
    v->addLayout(row({new QLabel(QStringLiteral(" 填写要添加班级名称： ")), nameEdit}));
    v->addLayout(row({addButton, cancelButton}));
    connect(cancelButton, &QToolButton::clicked, this, &QWidget::close);
}

RosterToolBar::RosterToolBar(const QVector<Command> &commands, QWidget *parent) : QToolBar(parent)
{
    for (const Command &c : commands) {
        auto *b = new QToolButton(this);
        b->setAutoRaise(true);
        b->setText(QString::fromUtf16(c.text));
        b->setObjectName(QLatin1String(c.name));
        connect(b, &QToolButton::clicked, this, c.run);
        m_actions.insert(b->objectName(), addWidget(b));
        m_buttons << b;
    }
}

QToolButton *RosterToolBar::button(const QString &name) const
{
    for (QToolButton *b : m_buttons)
        if (b->objectName() == name)
            return b;
    return nullptr;
}

void RosterToolBar::showOnly(const QStringList &names)
{
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it)
        it.value()->setVisible(names.contains(it.key()));
}

void buildRosterDialogs(RosterPage &page)
{
    auto *print = new PrintRangeDialog(&page);
    page.printRangeDialog = print;
    page.printFromEdit = print->fromEdit;
    page.printToEdit = print->toEdit;
    QObject::connect(print->okButton, &QPushButton::pressed, &page, &RosterPage::onButtonPrintOK);
    QObject::connect(print->calibrateButton, &QPushButton::pressed, &page,
                     &RosterPage::showCalibration);

    auto *read = new ReadRangeDialog(&page);
    page.readRangeDialog = read;
    page.readColumnEdit = read->columnEdit;
    page.readFromEdit = read->fromEdit;
    page.readToEdit = read->toEdit;
    QObject::connect(read->okButton, &QPushButton::pressed, &page,
                     &RosterPage::onreadExcelButtonOK);
    QObject::connect(read->cancelButton, &QPushButton::pressed, &page, &RosterPage::cancelImport);

    auto *change = new ClassChangeDialog(&page);
    page.classChangeDialog = change;
    page.classCombo = change->classCombo;
    QObject::connect(change->okButton, &QPushButton::pressed, &page, &RosterPage::onclassChange);
}
