#include "prompts.h"

#include "journal.h"
#include "ledger.h"
#include "paymentdialog.h"
#include "signin.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <memory>

namespace
{
void showMessage(QMessageBox::Icon icon, QWidget *parent, const QString &title, const QString &text,
                 const QString &informative, const QString &detailed)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setInformativeText(informative);
    box.setDetailedText(detailed);
    box.exec();
}
} // namespace

QMessageBox *Prompts::confirmBox(QWidget *parent, const QString &text, const QString &action)
{
    auto *box = new QMessageBox(QMessageBox::Warning, title(), text, QMessageBox::NoButton, parent);
    box->setObjectName(QStringLiteral("confirmBox"));
    box->addButton(action, QMessageBox::AcceptRole)->setObjectName(QStringLiteral("confirmAction"));
    QPushButton *cancel = box->addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    cancel->setObjectName(QStringLiteral("confirmCancel"));
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    return box;
}

Prompts Prompts::standard()
{
    Prompts p;
    p.openFile = [](QWidget *parent) { return QFileDialog::getOpenFileName(parent); };
    p.existingDirectory = [](QWidget *parent) {
        return QFileDialog::getExistingDirectory(parent, QString(), QString(),
                                                 QFileDialog::ShowDirsOnly);
    };
    p.printDialog = [](QPrinter *printer, QWidget *parent) {
        QPrintDialog dialog(printer, parent);
        return dialog.exec() == QDialog::Accepted;
    };
    p.critical = [](QWidget *parent, const QString &title, const QString &text,
                    const QString &informative, const QString &detailed) {
        showMessage(QMessageBox::Critical, parent, title, text, informative, detailed);
    };
    p.warning = [](QWidget *parent, const QString &title, const QString &text,
                   const QString &informative, const QString &detailed) {
        showMessage(QMessageBox::Warning, parent, title, text, informative, detailed);
    };
    p.confirm = [](QWidget *parent, const QString &text, const QString &action) {
        std::unique_ptr<QMessageBox> box(confirmBox(parent, text, action));
        box->exec();
        return box->buttonRole(box->clickedButton()) == QMessageBox::AcceptRole;
    };
    p.choose = [](QWidget *parent, const QString &text, const QStringList &choices) {
        QMessageBox box(QMessageBox::Question, title(), text, QMessageBox::NoButton, parent);
        box.setObjectName(QStringLiteral("chooseBox"));
        QList<QAbstractButton *> buttons;
        for (const QString &c : choices)
            buttons << box.addButton(c, QMessageBox::AcceptRole);
        QPushButton *cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
        box.setDefaultButton(cancel);
        box.setEscapeButton(cancel);
        box.exec();
        return int(buttons.indexOf(box.clickedButton()));
    };
    p.question = [](QWidget *parent, const QString &title, const QString &text,
                    QMessageBox::StandardButtons buttons) {
        return QMessageBox::question(parent, title, text, buttons);
    };
    p.payment = [](QWidget *parent, Payment &payment) {
        PaymentDialog dialog(payment, parent);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        dialog.fill(payment);
        return true;
    };
    p.text = [](QWidget *parent, const QString &title,
                const QString &label) -> std::optional<QString> {
        bool ok = false;
        const QString typed =
            QInputDialog::getText(parent, title, label, QLineEdit::Normal, QString(), &ok);
        if (!ok)
            return std::nullopt;
        return typed;
    };
    p.preview = [](QWidget *parent, const QString &title, const QVector<QImage> &pages) {
        QDialog dialog(parent);
        dialog.setWindowTitle(title);
        auto *layout = new QVBoxLayout(&dialog);
        auto *area = new QScrollArea(&dialog);
        auto *content = new QWidget;
        auto *column = new QVBoxLayout(content);
        // The whole 205 × 100 mm form fits the window's width; a report's
        // A4 page is as wide.
        const int width = 900;
        for (int i = 0; i < pages.size(); ++i) {
            auto *caption =
                new QLabel(QStringLiteral("第 %1 张，共 %2 张").arg(i + 1).arg(pages.size()));
            QFont f = caption->font();
            f.setBold(true);
            caption->setFont(f);
            column->addWidget(caption);
            auto *label = new QLabel;
            label->setPixmap(
                QPixmap::fromImage(pages.at(i).scaledToWidth(width, Qt::SmoothTransformation)));
            column->addWidget(label);
        }
        area->setWidget(content);
        layout->addWidget(area);
        auto *buttons = new QDialogButtonBox(&dialog);
        auto *print = buttons->addButton(QStringLiteral("打印"), QDialogButtonBox::AcceptRole);
        print->setObjectName(QStringLiteral("previewPrint"));
        print->setAutoDefault(false);
        auto *close = buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
        close->setDefault(true);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        layout->addWidget(buttons);
        const QSize screen =
            parent && parent->screen() ? parent->screen()->availableSize() : QSize(1366, 768);
        dialog.resize(qMin(width + 60, screen.width()),
                      qMin(int(qMin(pages.size(), qsizetype(2))) * (width * 100 / 205 + 40) + 90,
                           screen.height() - 60));
        return dialog.exec() == QDialog::Accepted;
    };
    p.approve = [](QWidget *parent, const QString &what,
                   const QStringList &approvers) -> std::optional<Approval> {
        ApprovalDialog dialog(what, approvers, parent);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return Approval{dialog.nameBox()->currentText(), dialog.passwordEdit()->text()};
    };
    return p;
}

QString Prompts::title()
{
    return QCoreApplication::translate("MainWindow", "Collection");
}

void Prompts::error(QWidget *parent, const QString &text, const QString &informative,
                    const QString &detailed)
{
    current().critical(parent, title(), text, informative, detailed);
}

void Prompts::warn(QWidget *parent, const QString &text, const QString &informative,
                   const QString &detailed)
{
    current().warning(parent, title(), text, informative, detailed);
}

Prompts &Prompts::current()
{
    static Prompts prompts = standard();
    return prompts;
}
