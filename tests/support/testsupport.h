#pragma once

#include "childrecord.h"
#include "database.h"
#include "prompts.h"
#include "roster.h"
#include "rosterdialogs.h"

#include <QDateTime>
#include <QMarginsF>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>
#include <functional>

// A private world for one test: settings, data directory and database file
// in a temporary directory, the clock pinned, and every modal prompt
// answered by the test instead of a person.
class OfficeSession;
class RosterDocument;
class RosterPage;
struct FeeMirror;
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
    // confirm: answered by questionAnswers too (Yes chooses the action);
    // the actions offered, in turn.
    QStringList confirmActions;
    QVector<QVector<QImage>> previews;
    bool previewPrints = false; // the preview's answer: 打印 (true) or 关闭
    // The payment prompt: the method and number it answers (the preset
    // method when empty), or cancelled.
    QString paymentMethod;
    QString paymentReference;
    bool paymentCancelled = false;
    QString paymentReceived; // the amount typed; empty: the amount due
    qint64 paymentDue = 0;   // what the prompt showed as due
    QString paymentPreset;   // the method it was opened with
    int paymentPrompts = 0;
    // Run once while the next payment prompt is open (another PC at work).
    std::function<void()> duringPayment;
    // Typed answers in turn; cancelled when none is left.
    QStringList textAnswers;
    QStringList textLabels;

private:
    QTemporaryDir m_dir;
    QByteArray m_home;
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
// The text of a PDF, read by poppler's pdftotext.
QString pdfText(const QString &pdf);

// The cells of the first worksheet as an independent program (openpyxl)
// reads them: rows from 1, columns from 1, empty text for empty cells.
// Fails the test when the reader refuses the file.
QVector<QStringList> readWithOpenpyxl(const QString &path, int sheet = 0);

// A roster cell's text, or "<absent>" where the row has no such cell.
QString cell(const RosterDocument &doc, int row, int column);
QString cell(const RosterPage &page, int row, int column);
// Records from texts (twelve and the class; a null text is an absent cell)
// and back.
QVector<ChildRecord> records(const QVector<QStringList> &texts);
QVector<QStringList> texts(const QVector<ChildRecord> &records);
// The same with every cell present, as databases written before absent
// cells were kept hold them (empty text).
QVector<ChildRecord> storedRecords(const QVector<QStringList> &texts);
// Storage shorthands: replaces the children (of the classes, or all) with
// the rows (twelve texts and the class); the twelve texts of a class's
// children; the class list.
WriteResult saveRows(Database &db, const QVector<QStringList> &rows,
                     const std::optional<QStringList> &classes = std::nullopt);
QVector<QStringList> readRows(Database &db, const QString &className);
WriteResult writeClasses(Database &db, const QStringList &names);
QStringList readClassNames(Database &db);
// The push button of a dialog, and the tool button of a window, by object name.
QPushButton *button(QWidget *dialog, const char *objectName);
QToolButton *findButton(QWidget *window, const char *objectName);
QStringList comboItems(const QComboBox *combo);
QByteArray bytesOf(const QString &path);

// A roster page on a document of its own, as a class tab would show it but
// without a window: fees as given (none by default).
class TestPage
{
public:
    explicit TestPage(const QString &className = QString(), OfficeSession *session = nullptr);
    ~TestPage();
    // Appends a child: the texts given (a null text is an absent cell) and
    // the status "否"; its row.
    int add(const QStringList &cells);
    void setFees(const FeeMirror &fees, const QString &problem = {});
    void select(int row);
    RosterDocument &doc;
    RosterPage &page;

private:
    RosterDocument *m_doc;
    RosterPage *m_page;
};

// The PostgreSQL server scripts/test.sh starts, if it runs.
bool postgresAvailable();
DbConfig postgresConfig();
// The same, with the program's tables dropped.
DbConfig freshPostgres();
