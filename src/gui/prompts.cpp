#include "prompts.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollArea>
#include <QVBoxLayout>

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
    p.critical = [](QWidget *parent, const QString &title, const QString &text) {
        QMessageBox::critical(parent, title, text, QMessageBox::Ok);
    };
    p.warning = [](QWidget *parent, const QString &title, const QString &text) {
        QMessageBox::warning(parent, title, text, QMessageBox::Ok);
    };
    p.question = [](QWidget *parent, const QString &title, const QString &text,
                    QMessageBox::StandardButtons buttons) {
        return QMessageBox::question(parent, title, text, buttons);
    };
    p.preview = [](QWidget *parent, const QString &title, const QVector<QImage> &pages) {
        QDialog dialog(parent);
        dialog.setWindowTitle(title);
        auto *layout = new QVBoxLayout(&dialog);
        auto *area = new QScrollArea(&dialog);
        auto *content = new QWidget;
        auto *column = new QVBoxLayout(content);
        for (const QImage &page : pages) {
            auto *label = new QLabel;
            label->setPixmap(QPixmap::fromImage(page));
            column->addWidget(label);
        }
        area->setWidget(content);
        layout->addWidget(area);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        layout->addWidget(buttons);
        dialog.resize(900, 560);
        dialog.exec();
    };
    return p;
}

QString Prompts::title()
{
    return QCoreApplication::translate("MainWindow", "Collection");
}

Prompts &Prompts::current()
{
    static Prompts prompts = standard();
    return prompts;
}
