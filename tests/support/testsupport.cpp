#include "testsupport.h"

#include "access.h"

#include <utility>

#include "clock.h"
#include "configview.h"
#include "database.h"
#include "rosterpage.h"
#include "rosterstore.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>
#include <QToolButton>

TestWorld::TestWorld()
{
    // Set FEEOFFICE_KEEP_TEST_DIR to look at what a test wrote.
    m_dir.setAutoRemove(!qEnvironmentVariableIsSet("FEEOFFICE_KEEP_TEST_DIR"));
    QStandardPaths::setTestModeEnabled(true);
    // The data folder (default database, kept copies, waiting receipts)
    // under this test's own home: tests running at once never meet there.
    m_home = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(m_dir.path()));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, path(QStringLiteral("user")));
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope,
                       path(QStringLiteral("system")));
    Clock::setFixed(QDateTime(QDate(2026, 5, 14), QTime(10, 0)));
    // Sessions act as an administrator named by the fee settings' clerk
    // unless a test signs someone in.
    Access::setStandIn([] { return std::optional<Access::User>(Access::User{{}, Roles::Head}); });

    Prompts &p = Prompts::current();
    p.openFile = [this](QWidget *) {
        return openFileAnswers.isEmpty() ? QString() : openFileAnswers.takeFirst();
    };
    p.existingDirectory = [this](QWidget *) {
        return directoryAnswers.isEmpty() ? QString() : directoryAnswers.takeFirst();
    };
    p.printDialog = [this](QPrinter *printer, QWidget *) {
        ++printDialogs;
        if (printToPdf.isEmpty())
            return false;
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(printToPdf);
        if (!printerMargins.isNull())
            printer->setPageMargins(printerMargins, QPageLayout::Millimeter);
        return true;
    };
    p.critical = [this](QWidget *, const QString &title, const QString &text,
                        const QString &informative, const QString &detailed) {
        messages << Message{QStringLiteral("critical"), title, text, informative, detailed};
    };
    p.warning = [this](QWidget *, const QString &title, const QString &text,
                       const QString &informative, const QString &detailed) {
        messages << Message{QStringLiteral("warning"), title, text, informative, detailed};
    };
    p.question = [this](QWidget *, const QString &, const QString &text,
                        QMessageBox::StandardButtons) {
        ++questions;
        questionTexts << text;
        return questionAnswers.isEmpty() ? questionAnswer : questionAnswers.takeFirst();
    };
    // Named choices: Yes is the first, No the second, anything else 取消.
    p.choose = [this](QWidget *, const QString &text, const QStringList &choices) {
        ++questions;
        questionTexts << text;
        confirmActions << choices.join(QLatin1Char('/'));
        const auto answer =
            questionAnswers.isEmpty() ? questionAnswer : questionAnswers.takeFirst();
        return answer == QMessageBox::Yes ? 0 : answer == QMessageBox::No ? 1 : -1;
    };
    p.confirm = [this](QWidget *, const QString &text, const QString &action) {
        ++questions;
        questionTexts << text;
        confirmActions << action;
        return (questionAnswers.isEmpty() ? questionAnswer : questionAnswers.takeFirst()) ==
               QMessageBox::Yes;
    };
    p.payment = [this](QWidget *, Prompts::Payment &payment) {
        ++paymentPrompts;
        if (duringPayment)
            std::exchange(duringPayment, nullptr)();
        paymentPreset = payment.method;
        paymentDue = payment.dueFen;
        if (!paymentMethod.isEmpty())
            payment.method = paymentMethod;
        if (payment.dueFen > 0) {
            payment.reference = paymentReference;
            payment.received = paymentReceived;
        }
        return !paymentCancelled;
    };
    p.text = [this](QWidget *, const QString &, const QString &label) -> std::optional<QString> {
        textLabels << label;
        if (textAnswers.isEmpty())
            return std::nullopt;
        return textAnswers.takeFirst();
    };
    p.preview = [this](QWidget *, const QString &, const QVector<QImage> &pages) {
        previews << pages;
        return previewPrints;
    };
}

TestWorld::~TestWorld()
{
    qputenv("HOME", m_home);
    Prompts::current() = Prompts::standard();
    Access::setStandIn({});
    Clock::reset();
}

void TestWorld::setSetting(const QString &key, const QString &value)
{
    const auto s = SettingsStore::open();
    s->setValue(key, value);
    s->sync();
}

QVector<QStringList> storedStudents(const QString &databasePath)
{
    return storedStudents(DbConfig::sqlite(databasePath));
}

QVector<QStringList> storedStudents(const DbConfig &config)
{
    Database db(config);
    QVector<QStringList> rows;
    if (!db.open())
        return rows;
    QSqlQuery q(db.connection());
    QStringList cols;
    for (const QString &c : Database::studentColumns())
        cols << QLatin1Char('"') + c + QLatin1Char('"');
    q.exec(QStringLiteral("SELECT %1 FROM student ORDER BY id").arg(cols.join(QLatin1Char(','))));
    while (q.next()) {
        QStringList row;
        for (int i = 0; i < 13; ++i)
            row << q.value(i).toString();
        rows << row;
    }
    return rows;
}

QStringList storedClasses(const QString &databasePath)
{
    return storedClasses(DbConfig::sqlite(databasePath));
}

QStringList storedClasses(const DbConfig &config)
{
    Database db(config);
    if (!db.open())
        return {};
    return RosterStore(db).readClasses().value_or(QStringList());
}

void seedDatabase(const QString &databasePath, const QStringList &classes,
                  const QVector<QStringList> &students)
{
    seedDatabase(DbConfig::sqlite(databasePath), classes, students);
}

void seedDatabase(const DbConfig &config, const QStringList &classes,
                  const QVector<QStringList> &students)
{
    Database db(config);
    QVERIFY2(db.open(), qPrintable(db.errorString()));
    RosterStore store(db);
    QVERIFY(store.rewriteClasses(classes));
    QVector<ChildRecord> rows = storedRecords(students);
    const WriteResult r = store.replaceStudents(std::nullopt, rows);
    QVERIFY2(r.ok(), qPrintable(r.oneLine()));
}

QString programOutput(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int pdfPageCount(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {pdf});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return -1;
    const auto m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
                       .match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString pdfText(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

QVector<QStringList> readWithOpenpyxl(const QString &path, int sheet)
{
    static const char *script = R"(
import json, sys, openpyxl
ws = openpyxl.load_workbook(sys.argv[1]).worksheets[int(sys.argv[2])]
rows = []
for row in ws.iter_rows(min_row=1, max_row=ws.max_row, min_col=1, max_col=ws.max_column, values_only=True):
    rows.append(['' if v is None else str(v) for v in row])
if ws.max_row == 1 and all(v == '' for v in rows[0]):
    rows = []
print(json.dumps(rows))
)";
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), QString::fromUtf8(script), path, QString::number(sheet)});
    QVector<QStringList> rows;
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning("openpyxl refused %s: %s", qPrintable(path), p.readAllStandardError().constData());
        return {{QStringLiteral("<unreadable>")}};
    }
    const QJsonArray array = QJsonDocument::fromJson(p.readAllStandardOutput()).array();
    for (const QJsonValue &row : array) {
        QStringList cells;
        for (const QJsonValue &v : row.toArray())
            cells << v.toString();
        rows << cells;
    }
    return rows;
}

QString cell(const RosterDocument &doc, int row, int column)
{
    const Roster::Cell c = doc.cell(row, column);
    return c ? *c : QStringLiteral("<absent>");
}

QString cell(const RosterPage &page, int row, int column)
{
    return page.document() ? cell(*page.document(), row, column) : QStringLiteral("<no roster>");
}

QVector<ChildRecord> records(const QVector<QStringList> &texts)
{
    QVector<ChildRecord> list;
    for (const QStringList &t : texts)
        list << ChildRecord::fromTexts(t);
    return list;
}

QVector<ChildRecord> storedRecords(const QVector<QStringList> &texts)
{
    QVector<ChildRecord> list = records(texts);
    for (ChildRecord &r : list)
        for (auto &c : r.cells)
            if (!c)
                c = QString(QLatin1String(""));
    return list;
}

QVector<QStringList> texts(const QVector<ChildRecord> &records)
{
    QVector<QStringList> list;
    for (const ChildRecord &r : records)
        list << r.texts();
    return list;
}

WriteResult saveRows(Database &db, const QVector<QStringList> &rows,
                     const std::optional<QStringList> &classes)
{
    QVector<ChildRecord> list = storedRecords(rows);
    return RosterStore(db).replaceStudents(classes, list);
}

QVector<QStringList> readRows(Database &db, const QString &className)
{
    QVector<QStringList> rows;
    for (const ChildRecord &r :
         RosterStore(db).readStudents(className).value_or(QVector<ChildRecord>{}))
        rows << r.texts().mid(0, Roster::ColumnCount);
    return rows;
}

WriteResult writeClasses(Database &db, const QStringList &names)
{
    return RosterStore(db).rewriteClasses(names);
}

QStringList readClassNames(Database &db)
{
    return RosterStore(db).readClasses().value_or(QStringList{QStringLiteral("<unreadable>")});
}

QPushButton *button(QWidget *dialog, const char *objectName)
{
    return dialog->findChild<QPushButton *>(QLatin1String(objectName));
}

QStringList comboItems(const QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool postgresAvailable()
{
    return !qEnvironmentVariableIsEmpty("FEEOFFICE_TEST_PG_HOST");
}

DbConfig freshPostgres()
{
    Database admin(postgresConfig());
    if (admin.open())
        QSqlQuery(admin.connection())
            .exec(QStringLiteral(
                "DROP TABLE IF EXISTS student, \"class\", feeoffice_revision, "
                "feeoffice_class_revision, receipt_journal, receipt_serial, "
                "receipt_unprinted, child_identity, ledger_entry, receipt_void, "
                "refund_serial, month_closing, school_calendar, attendance, audit_log, "
                "receipt_second_form, ledger_balance, receipt_child, user_entry, sign_in_failure, "
                "statement_row, statement_link, family_entry, family_member, reduction_type, "
                "reduction_grant, "
                "receipt_reduction, child_stay, part_month_rule "
                "CASCADE"));
    return postgresConfig();
}

DbConfig postgresConfig()
{
    DbConfig c;
    c.driver = QStringLiteral("QPSQL");
    c.host = qEnvironmentVariable("FEEOFFICE_TEST_PG_HOST");
    c.port = qEnvironmentVariableIntValue("FEEOFFICE_TEST_PG_PORT");
    c.user = qEnvironmentVariable("FEEOFFICE_TEST_PG_USER");
    c.name = qEnvironmentVariable("FEEOFFICE_TEST_PG_DB");
    // Test programs run in parallel: each gets a database of its own, so
    // that one's saves (and their notifications) never reach another.
    static QString own;
    if (own.isEmpty() && postgresAvailable()) {
        own = c.name + QStringLiteral("_%1").arg(QCoreApplication::applicationPid());
        QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"),
                                                       QStringLiteral("feeoffice-test-admin"));
        admin.setHostName(c.host);
        admin.setPort(c.port);
        admin.setUserName(c.user);
        admin.setDatabaseName(c.name);
        if (admin.open()) {
            QSqlQuery q(admin);
            q.exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(own));
            q.exec(QStringLiteral("CREATE DATABASE %1").arg(own));
            admin.close();
        }
    }
    if (!own.isEmpty())
        c.name = own;
    return c;
}

QToolButton *findButton(QWidget *window, const char *objectName)
{
    return window->findChild<QToolButton *>(QLatin1String(objectName));
}

TestPage::TestPage(const QString &className, OfficeSession *session)
    : doc(*(m_doc = new RosterDocument(className))),
      page(*(m_page = new RosterPage(m_doc, session)))
{
}

TestPage::~TestPage()
{
    delete m_page;
    delete m_doc;
}

int TestPage::add(const QStringList &cells)
{
    ChildRecord r;
    r.className = doc.className();
    for (int c = 0; c < cells.size() && c < Roster::PrintStatus; ++c)
        if (!cells.at(c).isNull())
            r.set(c, cells.at(c));
    r.set(Roster::PrintStatus, Roster::notPrinted());
    doc.appendRecords({r}, QStringLiteral("test"));
    return doc.size() - 1;
}

void TestPage::setFees(const FeeMirror &fees, const QString &problem)
{
    doc.setFees(fees, problem);
}

void TestPage::select(int row)
{
    page.tableView->setCurrentIndex(doc.index(row, 0));
}
