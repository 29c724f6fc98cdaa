#pragma once

#include <QImage>
#include <QMessageBox>
#include <QString>
#include <QVector>
#include <functional>

class QPrinter;
class QWidget;

// Every modal question the program asks goes through here, so that tests
// can answer them without a person at the screen.
struct Prompts {
    std::function<QString(QWidget *parent)> openFile;
    std::function<QString(QWidget *parent)> existingDirectory;
    std::function<bool(QPrinter *printer, QWidget *parent)> printDialog;
    // Critical and warning messages with one OK button.
    std::function<void(QWidget *parent, const QString &title, const QString &text)> critical;
    std::function<void(QWidget *parent, const QString &title, const QString &text)> warning;
    std::function<QMessageBox::StandardButton(QWidget *parent, const QString &title,
                                              const QString &text,
                                              QMessageBox::StandardButtons buttons)>
        question;
    std::function<void(QWidget *parent, const QString &title, const QVector<QImage> &pages)>
        preview;

    // The title of every message box.
    static QString title();

    // The prompts in force (the real dialogs unless a test replaced them).
    static Prompts &current();
    static Prompts standard();
};
