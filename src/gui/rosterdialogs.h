#pragma once

#include <QDialog>
#include <QHash>
#include <QToolBar>
#include <functional>

class RosterPage;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

// The small windows of a roster page and of the main window. Each is a
// separate window owned by its parent; the parent connects the buttons.

// "输入需要编号打印区间：" from … to, with print, cancel and calibration.
class PrintRangeDialog : public QDialog
{
    Q_OBJECT
public:
    explicit PrintRangeDialog(QWidget *parent);
    QLineEdit *fromEdit = nullptr;
    QLineEdit *toEdit = nullptr;
    QPushButton *okButton = nullptr;
    QPushButton *cancelButton = nullptr;
    QPushButton *calibrateButton = nullptr;
};

// Which column and which rows of the chosen workbook hold the names.
class ReadRangeDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ReadRangeDialog(QWidget *parent);
    QLineEdit *columnEdit = nullptr;
    QLineEdit *fromEdit = nullptr;
    QLineEdit *toEdit = nullptr;
    QPushButton *okButton = nullptr;
    QPushButton *cancelButton = nullptr;
    // Which rows and how many names will be read, said before reading:
    // "将读取第 2–7 行，共 6 个" (the end row is not read).
    QLabel *summary = nullptr;
    static QString summaryFor(const QString &from, const QString &to);
};

// The class the selected children move to.
class ClassChangeDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ClassChangeDialog(QWidget *parent);
    QComboBox *classCombo = nullptr;
    QPushButton *okButton = nullptr;
    QPushButton *cancelButton = nullptr;
};

// The name of a new class.
class AddClassDialog : public QDialog
{
    Q_OBJECT
public:
    explicit AddClassDialog(QWidget *parent);
    QLineEdit *nameEdit = nullptr;
    QToolButton *addButton = nullptr;
    QToolButton *cancelButton = nullptr;
};

// A roster page's commands as tool buttons, found by object name.
class RosterToolBar : public QToolBar
{
    Q_OBJECT
public:
    struct Command {
        const char16_t *text;
        const char *name;
        std::function<void()> run;
    };
    RosterToolBar(const QVector<Command> &commands, QWidget *parent);
    QToolButton *button(const QString &objectName) const;
    QList<QToolButton *> buttons() const { return m_buttons; }
    // Hides every command but those named.
    void showOnly(const QStringList &objectNames);

private:
    QList<QToolButton *> m_buttons;
    QHash<QString, QAction *> m_actions;
};

// Builds a roster page's three dialogs into its members and connects them.
void buildRosterDialogs(RosterPage &page);
