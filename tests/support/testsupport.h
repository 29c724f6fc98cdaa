#pragma once

#include "database.h"
#include "prompts.h"
#include "roster.h"
#include "rosterdialogs.h"

#include <QDateTime>
#include <QMarginsF>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

// A private world for one test: settings, data directory and database file
// in a temporary directory, the clock pinned, and every modal prompt
// answered by the test instead of a person.
class Invoice;
class QComboBox;
class QPushButton;
class QToolButton;
class QWidget;

class TestWorld
{
public:
    TestWorld();
    ~TestWorld();

    QString path(const QString &name) const { return m_dir.path() + QLatin1Char('/') + name; }
    QString databasePath() const { return path(QStringLiteral("rosters.sqlite")); }

    // Writes fee settings straight into the store.
    void setSetting(const QString &key, const QString &value);

    struct Message {
        QString kind, title, text, informative, detailed;
    };
    QVector<Message> messages;
    QStringList openFileAnswers;
    QStringList directoryAnswers;
    // Print dialog: accepted and printed to this PDF, or cancelled when empty.
    QString printToPdf;
    // Margins the printer reports after its dialog (a printer that cannot
    // print to the paper's edge); none when null.
    QMarginsF printerMargins;
    int printDialogs = 0;
    QMessageBox::StandardButton questionAnswer = QMessageBox::Cancel;
    // Answers for the next questions in turn; questionAnswer once used up.
    QList<QMessageBox::StandardButton> questionAnswers;
    QStringList questionTexts;
    int questions = 0;
    QVector<QVector<QImage>> previews;

private:
    QTemporaryDir m_dir;
};

// Rows of the student table as stored, key order, with the class last.
QVector<QStringList> storedStudents(const QString &databasePath);
QVector<QStringList> storedStudents(const DbConfig &config);
QStringList storedClasses(const QString &databasePath);
QStringList storedClasses(const DbConfig &config);
// Creates a database holding the classes and rows (twelve texts and the class).
void seedDatabase(const QString &databasePath, const QStringList &classes,
                  const QVector<QStringList> &students);
void seedDatabase(const DbConfig &config, const QStringList &classes,
                  const QVector<QStringList> &students);
// What a program writes to its standard output (within 30 s).
QString programOutput(const QString &program, const QStringList &args);
// Number of pages of a PDF, read by poppler's pdfinfo (an independent reader).
int pdfPageCount(const QString &pdf);

// The cells of the first worksheet as an independent program (openpyxl)
// reads them: rows from 1, columns from 1, empty text for empty cells.
// Fails the test when the reader refuses the file.
QVector<QStringList> readWithOpenpyxl(const QString &path, int sheet = 0);

// A roster cell's text, or "<absent>" where the cell has no item.
QString cell(const Invoice &page, int row, int column);
// The push button of a dialog with the given text.
QPushButton *button(QWidget *dialog, const QString &text);
// The tool button of a window with the given text.
QToolButton *findButton(QWidget *window, const QString &text);
QStringList comboItems(const QComboBox *combo);
QByteArray bytesOf(const QString &path);

// The PostgreSQL server scripts/test.sh starts, if it runs.
bool postgresAvailable();
DbConfig postgresConfig();
// The same, with the program's tables dropped.
DbConfig freshPostgres();
