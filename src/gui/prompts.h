#pragma once

#include <QImage>
#include <QMessageBox>
#include <QString>
#include <QVector>
#include <functional>
#include <optional>

class QPrinter;
class QWidget;

// Every modal question the program asks goes through here, so that tests
// can answer them without a person at the screen.
struct Prompts {
    std::function<QString(QWidget *parent)> openFile;
    std::function<QString(QWidget *parent)> existingDirectory;
    std::function<bool(QPrinter *printer, QWidget *parent)> printDialog;
    // Critical and warning messages with one OK button; the informative
    // text (the cause, for the clerk) and the detailed text (what the
    // database or file said) may be empty.
    using Message = std::function<void(QWidget *parent, const QString &title, const QString &text,
                                       const QString &informative, const QString &detailed)>;
    Message critical;
    Message warning;
    std::function<QMessageBox::StandardButton(QWidget *parent, const QString &title,
                                              const QString &text,
                                              QMessageBox::StandardButtons buttons)>
        question;
    // A question whose yes is a button named for the action ("恢复此备份")
    // and whose default is not to act; true when the clerk chose the action.
    std::function<bool(QWidget *parent, const QString &text, const QString &action)> confirm;
    // A question whose buttons are named for what each does ("本班",
    // "全部班级") with 取消 last, the default and the Esc key: the index of
    // the choice, or -1 for 取消.
    std::function<int(QWidget *parent, const QString &text, const QStringList &choices)> choose;
    // The pages as they will print, each with its caption; true when the
    // clerk pressed 打印 there (关闭, the default, prints nothing).
    std::function<bool(QWidget *parent, const QString &title, const QVector<QImage> &pages)>
        preview;
    // How the money of the receipts about to print is paid: the method
    // (preset with the last one used) and, for a single receipt, a
    // transaction number and the amount received (empty: the amount due);
    // false when the clerk cancelled.
    struct Payment {
        QString method;
        QString reference;
        QString received;
        qint64 dueFen = 0; // shown to the clerk; 0 for several receipts
        // Asked for money handed back: the way only, under this title.
        bool refund = false;
    };
    std::function<bool(QWidget *parent, Payment &payment)> payment;
    // A line of text the clerk types (a reason); nullopt when cancelled.
    std::function<std::optional<QString>(QWidget *parent, const QString &title,
                                         const QString &label)>
        text;

    // A 会计 or 园长 approving money going back signs in on the spot: the
    // name chosen from approvers and the password; nullopt when cancelled.
    struct Approval {
        QString name, password;
    };
    std::function<std::optional<Approval>(QWidget *parent, const QString &what,
                                          const QStringList &approvers)>
        approve;

    // The title of every message box.
    static QString title();
    // Shorthands for the prompts in force, with that title.
    static void error(QWidget *parent, const QString &text, const QString &informative = {},
                      const QString &detailed = {});
    static void warn(QWidget *parent, const QString &text, const QString &informative = {},
                     const QString &detailed = {});

    // The box confirm shows: the action's button, and 取消 as the default.
    static QMessageBox *confirmBox(QWidget *parent, const QString &text, const QString &action);

    // The prompts in force (the real dialogs unless a test replaced them).
    static Prompts &current();
    static Prompts standard();
};
