// Benchmarks of the clerk's long operations on a generated database.
// Usage: feeoffice_bench [N] [--classes C] [--startup-only] [--quick] [--ledger CHILDREN]
//                        [--driver QPSQL --host H --port P --db NAME --user U]
// N children over C classes (default N/100). Prints one line per figure:
// "figure: NAME VALUE UNIT". Without N, also the large shapes (100,000
// children in 1,000 and in 10,000 classes; one class of 50,000), each in a
// process of its own so that its peak memory is its own.

#include "access.h"
#include "allocator.h"
#include "attendancestore.h"
#include "backup.h"
#include "childsearch.h"
#include "clock.h"
#include "database.h"
#include "feesettings.h"
#include "journaldialog.h"
#include "journalstore.h"
#include "ledgerstore.h"
#include "mainwindow.h"
#include "notice.h"
#include "noticeprinter.h"
#include "officesession.h"
#include "prompts.h"
#include "reportprinter.h"
#include "rosterpage.h"
#include "rosterstore.h"
#include "statementfile.h"
#include "userstore.h"
#include "workbook.h"
#include "writetransaction.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QSettings>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>

namespace
{
void figure(const char *name, double value, const char *unit)
{
    std::printf("figure: %s %.4f %s\n", name, value, unit);
    std::fflush(stdout);
}

double peakRssMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

// Starts the peak resident size again from what is resident now (Linux).
void resetPeakRss()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// The pages of a PDF as Qt writes it: one page object each.
int pdfPages(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray data = f.readAll();
    return int(data.count("/Type /Page\n")) + int(data.count("/Type /Page\r")) +
           int(data.count("/Type /Page "));
}

QStringList childRow(int i, const QString &cls)
{
    return {QStringLiteral("儿童%1").arg(i),
            QString::number(3 + i % 4),
            QString::number(i % 3),
            QStringLiteral("1"),
            QString::number(15 + i % 8),
            QStringLiteral("1"),
            QString::number(i % 2),
            QStringLiteral("1"),
            QString(),
            QString::number(i % 5 == 0),
            QStringLiteral("李老师"),
            QStringLiteral("否"),
            cls};
}

// The per-row save the program was first described with: a table model on
// the student table, every row inserted at the end and submitted on its own.
// Returns the rows stored before the time cap.
int baselineSave(const DbConfig &config, const QVector<QStringList> &rows, double capSeconds,
                 double &seconds)
{
    Database db(config);
    if (!db.open())
        return 0;
    QSqlQuery(db.connection()).exec(QStringLiteral("DELETE FROM student"));
    QElapsedTimer t;
    t.start();
    int stored = 0;
    QSqlTableModel model(nullptr, db.connection());
    model.setTable(QStringLiteral("student"));
    model.setEditStrategy(QSqlTableModel::OnManualSubmit);
    model.select();
    for (const QStringList &row : rows) {
        while (model.canFetchMore())
            model.fetchMore();
        const int r = model.rowCount();
        model.insertRow(r);
        for (int i = 0; i < 13; ++i)
            model.setData(model.index(r, i + 1), row.at(i));
        if (!model.submitAll())
            break;
        db.connection().commit();
        ++stored;
        if (t.elapsed() / 1000.0 > capSeconds)
            break;
    }
    seconds = t.elapsed() / 1000.0;
    return stored;
}
} // namespace

// Runs this program again on another shape and passes on the figures
// named in wanted, under their new names.
void childFigures(const QStringList &args, const QStringList &shape,
                  const QList<QPair<QString, QString>> &wanted)
{
    QStringList childArgs = shape;
    for (int i = 1; i < args.size(); ++i)
        if (args.at(i).startsWith(QLatin1String("--driver")) ||
            args.at(i).startsWith(QLatin1String("--host")) ||
            args.at(i).startsWith(QLatin1String("--port")) ||
            args.at(i).startsWith(QLatin1String("--db")) ||
            args.at(i).startsWith(QLatin1String("--user")))
            childArgs << args.at(i) << args.value(i + 1), ++i;
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(), childArgs << QStringLiteral("--startup-only"));
    p.waitForFinished(-1);
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() != 4 || parts.at(0) != "figure:")
            continue;
        for (const auto &w : wanted)
            if (w.first == QString::fromLatin1(parts.at(1)))
                figure(qPrintable(w.second), parts.at(2).toDouble(), parts.at(3).constData());
    }
}

// A year of accounts for children: every month charged and paid, except the
// last month of every tenth child. The rows are made by the database itself.
int ledgerShape(const DbConfig &config, int children)
{
    {
        Database db(config);
        if (!db.open())
            return 1;
        QSqlQuery q(db.connection());
        const bool pg = config.isPostgres();
        if (pg)
            q.exec(QStringLiteral("TRUNCATE ledger_entry, ledger_balance"));
        const QString numbers =
            pg ? QStringLiteral("SELECT generate_series(0, %1) AS i").arg(children * 12 - 1)
               : QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n "
                                "WHERE i < %1) SELECT i FROM n")
                     .arg(children * 12 - 1);
        const QString month = pg ? QStringLiteral("'2025-' || lpad(((i % 12) + 1)::text, 2, '0')")
                                 : QStringLiteral("printf('2025-%02d', (i % 12) + 1)");
        const QString insert = QStringLiteral(
            "INSERT INTO ledger_entry (kind, child_id, class_name, child_name, month, item, "
            "amount_fen, method, recorded_at) SELECT %1, 'c' || (i / 12), '班级' || ((i / 12) "
            "%% 1000), '儿童' || (i / 12), %2, %3, %4, %5, '2025-01-01 08:00:00' FROM (%6) s %7");
        QElapsedTimer t;
        t.start();
        const bool ok =
            q.exec(insert
                       .arg(QStringLiteral("'应收'"), month, QStringLiteral("'保教费'"),
                            QStringLiteral("150000"), QStringLiteral("NULL"), numbers, QString())
                       .replace(QStringLiteral("%%"), QStringLiteral("%"))) &&
            q.exec(insert
                       .arg(QStringLiteral("'实收'"), month, QStringLiteral("NULL"),
                            QStringLiteral("-150000"), QStringLiteral("'现金'"), numbers,
                            QStringLiteral("WHERE NOT ((i / 12) % 10 = 0 AND i % 12 = 11)"))
                       .replace(QStringLiteral("%%"), QStringLiteral("%")));
        if (!ok) {
            std::fprintf(stderr, "ledger rows: %s\n", qPrintable(q.lastError().text()));
            return 1;
        }
        // Rows made around the write path: their balances, as it adds them.
        QString error;
        if (!pg && !LedgerStore::addBalances(db, 0, &error)) {
            std::fprintf(stderr, "balances: %s\n", qPrintable(error));
            return 1;
        }
        std::printf("ledger rows for %d children made in %.1f s\n", children, t.elapsed() / 1000.0);
        // A year of rows has been seen by autovacuum long since; rows made a
        // moment ago have not.
        if (pg) {
            q.exec(QStringLiteral("VACUUM ANALYZE ledger_entry"));
            q.exec(QStringLiteral("VACUUM ANALYZE ledger_balance"));
        }
    }
    OfficeSession session(config);
    if (!session.open())
        return 1;
    QElapsedTimer t;
    t.start();
    const auto owing = session.reports().arrears();
    figure(qPrintable(QStringLiteral("arrears_%1_seconds").arg(children)), t.elapsed() / 1000.0,
           "s");
    std::printf("children owing: %lld\n", owing ? qlonglong(owing->size()) : -1LL);
    // What one print is, decided as the journal decides it: inside the
    // write, from a child's year of entries.
    {
        Database db(config);
        if (!db.open())
            return 1;
        Receipt full;
        full.entries[0] = {ReceiptText::childcareLabel(), 150000};
        full.entries[1] = {ReceiptText::accommodationLabel(), 0};
        full.entryCount = 2;
        full.total = 150000;
        const QVector<QPair<QString, qint64>> charges{{QStringLiteral("保教费"), 150000}};
        QElapsedTimer d;
        d.start();
        WriteTransaction tx(db, WriteTransaction::Ledger);
        QString error;
        const auto month =
            LedgerStore::childMonth(db, QStringLiteral("c10"), QStringLiteral("2025-12"), &error);
        const Account::Decision decision =
            Account::decide(month.value_or(Account::ChildMonth()), full, charges);
        tx.rollback();
        figure("receipt_decision_seconds", d.elapsed() / 1000.0, "s");
        std::printf("decision for c10 in 2025-12: %s, %s yuan\n",
                    qPrintable(Account::kindText(decision.kind)),
                    qPrintable(Journal::yuan(decision.due)));
        if (!month)
            return 1;
    }
    return owing ? 0 : 1;
}

// A checked backup of the embedded database: N children over N/100
// classes and a year of receipts (one per child and month), made by the
// database itself.
int backupShape(const DbConfig &config, int children, const QString &dir)
{
    {
        Database db(config);
        if (!db.open())
            return 1;
        QStringList classes;
        for (int c = 0; c < qMax(1, children / 100); ++c)
            classes << QStringLiteral("班级%1").arg(c, 4, 10, QLatin1Char('0'));
        QVector<ChildRecord> records;
        for (int i = 0; i < children; ++i)
            records << ChildRecord::fromTexts(childRow(i, classes.at(i % classes.size())));
        RosterStore store(db);
        store.rewriteClasses(classes);
        store.replaceStudents(std::nullopt, records);
        QSqlQuery q(db.connection());
        const bool ok = q.exec(
            QStringLiteral("INSERT INTO receipt_journal (serial, year, number, printed_at, month, "
                           "class_name, child_name, age, label1, amount1, label2, amount2, "
                           "total_fen, clerk, printer, host) WITH RECURSIVE n(i) AS (SELECT 1 "
                           "UNION ALL SELECT i + 1 FROM n WHERE i < %1) SELECT printf('2025-%06d', "
                           "i), 2025, i, printf('2025-%02d-10 09:00:00', (i %% 12) + 1), "
                           "printf('2025-%02d', (i %% 12) + 1), '班级' || (i %% %2), '儿童' || (i "
                           "/ 12), '4', '保 教 费', 120000, '住 宿 费', 30000, 150000, '李老师', "
                           "'PDF', 'pc' FROM n")
                .arg(children * 12)
                .arg(classes.size())
                .replace(QStringLiteral("%%"), QStringLiteral("%")));
        if (!ok) {
            std::fprintf(stderr, "journal rows: %s\n", qPrintable(q.lastError().text()));
            return 1;
        }
    }
    Database db(config);
    if (!db.open())
        return 1;
    QElapsedTimer t;
    t.start();
    QString error;
    const auto info = Backup::write(db, dir, Clock::now(), &error);
    figure(qPrintable(QStringLiteral("backup_%1_seconds").arg(children)), t.elapsed() / 1000.0,
           "s");
    if (!info) {
        std::fprintf(stderr, "backup failed: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("backup: %d children, %d receipts, %.1f MB\n", info->children, info->receipts,
                info->bytes / 1048576.0);
    return 0;
}

void largeShapes(const QStringList &args)
{
    if (!args.contains(QStringLiteral("QPSQL")))
        childFigures(
            args, {QStringLiteral("--backup-shape"), QStringLiteral("100000")},
            {{QStringLiteral("backup_100000_seconds"), QStringLiteral("backup_100000_seconds")}});
    childFigures(
        args, {QStringLiteral("--ledger"), QStringLiteral("100000")},
        {{QStringLiteral("arrears_100000_seconds"), QStringLiteral("arrears_100000_seconds")},
         {QStringLiteral("receipt_decision_seconds"), QStringLiteral("receipt_decision_seconds")}});
    childFigures(
        args, {QStringLiteral("100000"), QStringLiteral("--classes"), QStringLiteral("1000")},
        {{QStringLiteral("startup_seconds"), QStringLiteral("startup_seconds_1000_classes")},
         {QStringLiteral("startup_peak_rss_mb"),
          QStringLiteral("startup_peak_rss_mb_1000_classes")}});
    childFigures(
        args, {QStringLiteral("100000"), QStringLiteral("--classes"), QStringLiteral("10000")},
        {{QStringLiteral("startup_seconds"), QStringLiteral("startup_seconds_10000_classes")},
         {QStringLiteral("startup_peak_rss_mb"),
          QStringLiteral("startup_peak_rss_mb_10000_classes")}});
    childFigures(args, {QStringLiteral("50000"), QStringLiteral("--classes"), QStringLiteral("1")},
                 {{QStringLiteral("startup_seconds"), QStringLiteral("open_class_50000_seconds")}});
}

int main(int argc, char **argv)
{
    // As the program does.
    Allocator::tune();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The windows measured work as an administrator without a sign-in.
    Access::setStandIn([] { return std::optional<Access::User>(Access::User{{}, Roles::Head}); });
    const QStringList args = app.arguments();
    int n = 10000;
    int classCount = -1;
    bool startupOnly = false;
    bool quick = false; // the figures of the default shape, no baseline or large shapes
    int ledgerChildren = 0;
    int backupChildren = 0;
    bool defaultShape = true;
    DbConfig config;
    QTemporaryDir dir;
    config.path = dir.path() + QStringLiteral("/bench.sqlite");
    for (int i = 1; i < args.size(); ++i) {
        const QString a = args.at(i);
        const QString v = i + 1 < args.size() ? args.at(i + 1) : QString();
        if (a == QLatin1String("--driver"))
            config.driver = v, ++i;
        else if (a == QLatin1String("--host"))
            config.host = v, ++i;
        else if (a == QLatin1String("--port"))
            config.port = v.toInt(), ++i;
        else if (a == QLatin1String("--db"))
            config.name = v, ++i;
        else if (a == QLatin1String("--user"))
            config.user = v, ++i;
        else if (a == QLatin1String("--classes"))
            classCount = qMax(1, v.toInt()), ++i;
        else if (a == QLatin1String("--startup-only"))
            startupOnly = true;
        else if (a == QLatin1String("--quick"))
            quick = true;
        else if (a == QLatin1String("--ledger"))
            ledgerChildren = qMax(10, v.toInt()), ++i;
        else if (a == QLatin1String("--backup-shape"))
            backupChildren = qMax(100, v.toInt()), ++i;
        else
            n = qMax(100, a.toInt()), defaultShape = false;
    }
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       dir.path() + QStringLiteral("/user"));
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope,
                       dir.path() + QStringLiteral("/system"));
    {
        const auto s = SettingsStore::open();
        s->setValue(QStringLiteral("name"), QStringLiteral("李老师"));
        s->setValue(QStringLiteral("a"), QStringLiteral("0.9"));
        s->setValue(QStringLiteral("b"), QStringLiteral("300"));
        s->setValue(QStringLiteral("c"), QStringLiteral("12.5"));
        s->setValue(QStringLiteral("d"), QStringLiteral("80"));
        s->setValue(QStringLiteral("bjcombox"), QStringLiteral("1200,1500,1800,"));
    }
    Prompts &prompts = Prompts::current();
    QString pdf = dir.path() + QStringLiteral("/range.pdf");
    prompts.printDialog = [&](QPrinter *p, QWidget *) {
        p->setOutputFormat(QPrinter::PdfFormat);
        p->setOutputFileName(pdf);
        return true;
    };
    prompts.existingDirectory = [&](QWidget *) { return dir.path(); };
    prompts.payment = [](QWidget *, Prompts::Payment &) { return true; };
    prompts.critical = [](QWidget *, const QString &, const QString &text, const QString &,
                          const QString &) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    };
    prompts.warning = prompts.critical;
    prompts.question = [](QWidget *, const QString &, const QString &text,
                          QMessageBox::StandardButtons) {
        std::fprintf(stderr, "question: %s\n", qPrintable(text.left(60)));
        return QMessageBox::Yes;
    };

    if (ledgerChildren > 0)
        return ledgerShape(config, ledgerChildren);
    if (backupChildren > 0)
        return backupShape(config, backupChildren, dir.filePath(QStringLiteral("backups")));

    // The database: N children over N/100 classes.
    QVector<QStringList> rows;
    QStringList classes;
    {
        if (config.driver == QLatin1String("QPSQL")) {
            Database admin(config);
            if (admin.open())
                QSqlQuery(admin.connection())
                    .exec(QStringLiteral("DROP TABLE IF EXISTS student, \"class\", "
                                         "feeoffice_revision, feeoffice_class_revision, "
                                         "receipt_journal, receipt_serial, receipt_unprinted, "
                                         "receipt_void, child_identity, ledger_entry, "
                                         "ledger_balance, receipt_second_form, audit_log, "
                                         "month_closing, refund_serial, receipt_child, user_entry, "
                                         "sign_in_failure, statement_row, statement_link, "
                                         "family_entry, family_member, reduction_type, "
                                         "reduction_grant, receipt_reduction, child_stay, "
                                         "part_month_rule"));
        }
        Database db(config);
        if (!db.open()) {
            std::fprintf(stderr, "cannot open %s\n", qPrintable(db.errorString()));
            return 1;
        }
        if (classCount < 0)
            classCount = qMax(1, n / 100);
        for (int c = 0; c < classCount; ++c)
            classes << QStringLiteral("班级%1").arg(c, 3, 10, QLatin1Char('0'));
        for (int i = 0; i < n; ++i)
            rows << childRow(i, classes.at(i % classCount));
        RosterStore store(db);
        QVector<ChildRecord> records;
        for (const QStringList &r : rows)
            records << ChildRecord::fromTexts(r);
        store.rewriteClasses(classes);
        store.replaceStudents(std::nullopt, records);
        // A database this program has opened before: its children have
        // their identities. Giving them is the first start's work, once.
        QElapsedTimer once;
        once.start();
        QString error;
        if (!store.giveIdentities(&error)) {
            std::fprintf(stderr, "identities: %s\n", qPrintable(error));
            return 1;
        }
        std::printf("identities given to %d children in %.2f s (once, at the first start)\n", n,
                    once.elapsed() / 1000.0);
    }
    std::printf("children: %d, classes: %lld, driver: %s\n", n, qlonglong(classes.size()),
                qPrintable(config.driver));

    QElapsedTimer t;
    // A start on its own measures the program alone: the other figures are
    // the parent run's, and the rows built above are not the program's
    // memory, so they are freed and the high-water mark starts again here.
    if (startupOnly) {
        rows = {};
        Allocator::releaseFree();
        resetPeakRss();
    } else {
        // Checking a password with the library's interactive limits, as the
        // sign-in does (the slowest of three).
        {
            const QString hash = UserStore::hash(QStringLiteral("bench-password"));
            double slowest = 0;
            for (int i = 0; i < 3; ++i) {
                t.start();
                if (!UserStore::matches(hash, QStringLiteral("bench-password")))
                    std::fprintf(stderr, "password check failed\n");
                slowest = std::max(slowest, t.elapsed() / 1000.0);
            }
            figure("sign_in_verify_seconds", slowest, "s");
        }
        // The desk's search over 100,000 children, one key after the other:
        // names of three common characters, as the clerk types initials and
        // then part of a name (the slowest key).
        {
            const QString common = QStringLiteral("王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗"
                                                  "明华小晓丽伟芳娜敏静秀英杰强磊洋艳勇军涛");
            QList<RosterDocument *> docs;
            for (int c = 0; c < 100; ++c) {
                QVector<ChildRecord> records;
                for (int i = 0; i < 1000; ++i) {
                    const int k = c * 1000 + i;
                    ChildRecord rec;
                    rec.set(Roster::Name, QString(common.at(k % 20)) +
                                              common.at(20 + (k / 20) % 20) +
                                              common.at((k / 400) % common.size()));
                    records << rec;
                }
                auto *doc = new RosterDocument(QStringLiteral("班级%1").arg(c));
                doc->load(records, Clock::now());
                docs << doc;
            }
            ChildSearch search;
            double slowest = 0;
            for (const QString &typed :
                 {QStringLiteral("w"), QStringLiteral("wx"), QStringLiteral("wxm"),
                  QStringLiteral("王"), QStringLiteral("王晓"), QStringLiteral("晓明")}) {
                t.start();
                const auto found = search.find(docs, typed);
                slowest = std::max(slowest, t.nsecsElapsed() / 1e6);
                if (found.isEmpty())
                    std::fprintf(stderr, "search found nobody for %s\n", qPrintable(typed));
            }
            figure("desk_search_100000_key_ms", slowest, "ms");
            qDeleteAll(docs);
        }
        // A month's WeChat bill of 10,000 rows read and matched to 10,000 payments.
        {
            const QString family = QStringLiteral("王李张刘陈杨黄赵吴周");
            const QString given = QStringLiteral("明华小晓丽伟芳娜敏静秀英杰强磊");
            QString text =
                QStringLiteral("交易时间,微信订单号,商户订单号,交易状态,订单金额,退款金额,"
                               "微信退款单号,商品名称,手续费\n");
            QVector<Statements::Payment> books;
            for (int i = 0; i < 10000; ++i) {
                Statements::Payment p;
                p.entryId = i + 1;
                p.childName =
                    QString(family.at(i % 10)) + given.at((i / 10) % 15) + given.at((i / 150) % 15);
                p.method = QStringLiteral("微信");
                p.at = QDateTime(QDate(2026, 5, 1 + i % 28), QTime(8 + i % 9, i % 60));
                p.fen = 100000 + (i % 13) * 1000;
                p.receiptSerial = Journal::serial(2026, i + 1);
                const QString number = QStringLiteral("42000%1").arg(1000000 + i);
                if (i % 10 < 6)
                    p.reference = number;
                const QString remark = i % 10 < 6   ? QStringLiteral("保教费")
                                       : i % 10 < 9 ? p.childName + QStringLiteral(" 五月")
                                                    : QString();
                text +=
                    QStringLiteral("`%1,`%2,`,`SUCCESS,`%3,`0.00,`,`%4,`%5\n")
                        .arg(p.at.addSecs(20).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                             number, Journal::yuan(p.fen), remark, Journal::yuan(p.fen * 6 / 1000));
                books << p;
            }
            const QByteArray bytes = text.toUtf8();
            t.start();
            QString why;
            const auto file = Statements::read(Statements::Source::WeChat, bytes, {}, &why);
            const auto m = file ? Statements::match(Statements::Source::WeChat, file->rows, books)
                                : Statements::Matching();
            figure("statement_10000_read_and_match_seconds", t.elapsed() / 1000.0, "s");
            std::fprintf(stderr, "statement rows %d, matched %d\n",
                         file ? int(file->rows.size()) : -1, int(m.matched.size()));
        }
        // 500 payment notices, each its own PDF for the parents' group.
        {
            QTemporaryDir out;
            const QImage code(300, 300, QImage::Format_RGB32);
            Account::ChildMonth month;
            month.charged.insert(QStringLiteral("保教费"), 120000);
            month.charged.insert(QStringLiteral("伙食费"), 44000);
            t.start();
            int written = 0;
            for (int i = 0; i < 500; ++i) {
                const Notices::Notice n =
                    Notices::notice(QString::number(i), QStringLiteral("大%1班").arg(i / 30),
                                    QStringLiteral("儿童%1").arg(i), QStringLiteral("2026-05"),
                                    month, 0, QDate(2026, 5, 10));
                QString why;
                written += NoticePrinter::writePdf(
                    out.filePath(QStringLiteral("%1.pdf").arg(i)),
                    {Notices::lines(n, QStringLiteral("微信扫码缴费"))}, code, 1, &why);
            }
            figure("notices_500_pdf_seconds", t.elapsed() / 1000.0, "s");
            if (written != 500)
                std::fprintf(stderr, "only %d notices written\n", written);
        }
    }
    t.start();
    auto *mw = new MainWindow(config);
    figure("startup_seconds", t.elapsed() / 1000.0, "s");
    figure("startup_peak_rss_mb", peakRssMb(), "MB");
    if (startupOnly)
        return 0;

    // Every roster changed (one cell each), so that the save writes them all.
    for (RosterDocument *d : mw->session().documents())
        if (d->size() > 0)
            d->setText(0, 1, QStringLiteral("5"));
    t.start();
    const bool saved = mw->onButtonSaveDB();
    const double ours = t.elapsed() / 1000.0;
    figure("save_seconds", ours, "s");
    if (!saved)
        std::fprintf(stderr, "save failed\n");

    // Unprinted list: every child is unprinted.
    t.start();
    mw->onButtonSaveUnprint();
    figure("unprinted_export_seconds", t.elapsed() / 1000.0, "s");

    // One child in five has a reduction granted (困难家庭, 100.00 a month
    // off tuition and meals): billing writes them beside the charges.
    {
        Database &db = mw->session().database();
        QSqlDatabase c = db.connection();
        c.transaction();
        QSqlQuery q(c);
        q.exec(QStringLiteral("INSERT INTO reduction_type (type_id, name, items, kind, value, "
                              "combine, sibling_from, withdrawn, clerk, at) VALUES (NULL, "
                              "'困难家庭', '保教费,伙食费', 'fixed', 10000, 'after', 0, 0, '', "
                              "'2026-01-01 00:00:00')"));
        const qint64 type = q.lastInsertId().toLongLong();
        q.prepare(QStringLiteral("INSERT INTO reduction_grant (child_id, child_name, class_name, "
                                 "type_id, from_month, to_month, reason, granted_by, withdraws, "
                                 "at) VALUES (?, '', '', ?, '2000-01', '', '困难', '', NULL, "
                                 "'2026-01-01 00:00:00')"));
        int granted = 0, i = 0;
        for (RosterDocument *d : mw->session().documents())
            for (int r = 0; r < d->size(); ++r)
                if (i++ % 5 == 0) {
                    q.addBindValue(d->record(r).childId);
                    q.addBindValue(type);
                    granted += q.exec() ? 1 : 0;
                }
        // One child in twenty (500 of 10,000) joined on the month's 15th,
        // paying its school days from then on, by days attended.
        q.exec(QStringLiteral("INSERT INTO part_month_rule (kind, full_from, half_from, clerk, "
                              "at) VALUES ('days', 0, 0, '', '2026-01-01 00:00:00')"));
        const QString joined = Clock::now().date().toString(QStringLiteral("yyyy-MM-15"));
        q.prepare(QStringLiteral("INSERT INTO child_stay (child_id, child_name, class_name, "
                                 "joined_on, left_on, note, clerk, at) VALUES (?, '', '', ?, '', "
                                 "'插班', '', '2026-01-01 00:00:00')"));
        int parts = 0;
        i = 0;
        for (RosterDocument *d : mw->session().documents())
            for (int r = 0; r < d->size(); ++r)
                if (i++ % 20 == 3) {
                    q.addBindValue(d->record(r).childId);
                    q.addBindValue(joined);
                    parts += q.exec() ? 1 : 0;
                }
        c.commit();
        std::printf("reductions granted: %d, part months: %d\n", granted, parts);
    }
    // The month's charges of every child, recorded once.
    t.start();
    const AccountService::Billing billing =
        mw->session().accounts().billMonth(mw->session().classes());
    const WriteResult &billed = billing.result;
    figure(qPrintable(QStringLiteral("bill_month_%1_seconds").arg(n)), t.elapsed() / 1000.0, "s");
    if (!billed)
        std::fprintf(stderr, "billing failed: %s\n", qPrintable(billed.oneLine()));
    std::printf("charges recorded: %d\n", billing.entries);

    // A month of absences for every child (every seventh child away a
    // week with leave, every third child two single days), then every
    // class's refunds computed.
    {
        const QString month = Journal::month(Clock::now());
        const QDate first =
            QDate::fromString(month + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"));
        const QVector<QDate> days = Absence::schoolDays(first.year(), first.month(), {});
        AttendanceStore attendance(mw->session().database());
        int i = 0;
        for (RosterDocument *d : mw->session().documents()) {
            QHash<QString, AttendanceStore::ChildDays> absent;
            for (int r = 0; r < d->size(); ++r, ++i) {
                AttendanceStore::ChildDays c;
                c.name = d->record(r).text(0);
                if (i % 7 == 0)
                    for (int k = 3; k < 8 && k < days.size(); ++k)
                        c.days.append({days.at(k), 1, true});
                else if (i % 3 == 0)
                    c.days << Absence::Absent{days.value(1), 1, false}
                           << Absence::Absent{days.value(10), 1, false};
                if (!c.days.isEmpty())
                    absent.insert(d->record(r).childId, c);
            }
            attendance.save(d->className(), month, absent, QStringLiteral("李老师"), Clock::now());
        }
        t.start();
        qint64 total = 0;
        int children = 0;
        for (RosterDocument *d : mw->session().documents()) {
            QString error;
            const auto plan = mw->session().attendance().refunds(d->className(), month, &error);
            if (!plan) {
                std::fprintf(stderr, "refunds failed: %s\n", qPrintable(error));
                break;
            }
            total += plan->total;
            children += int(plan->children.size());
        }
        figure(qPrintable(QStringLiteral("refunds_%1_seconds").arg(n)), t.elapsed() / 1000.0, "s");
        std::printf("refunds computed for %d children: %.2f yuan\n", children, total / 100.0);
    }
    delete mw;

    // One class of N children: export, then import N names from one column.
    {
        QVector<ChildRecord> records;
        for (const QStringList &r : rows)
            records << ChildRecord::fromTexts(r.mid(0, 12), QStringLiteral("大班"));
        RosterDocument big(QStringLiteral("大班"));
        big.load(records, Clock::now());
        RosterPage page(&big);
        t.start();
        page.onButtonSaveExcel();
        figure("export_seconds", t.elapsed() / 1000.0, "s");

        // A names list as schools hand it over: a header, one name a row.
        const QString file = dir.path() + QStringLiteral("/names.xlsx");
        {
            Sheet names;
            names.setCell(1, 1, QStringLiteral("序号"));
            names.setCell(1, 2, QStringLiteral("姓名"));
            for (int i = 0; i < n; ++i) {
                names.setCell(i + 2, 1, QString::number(i + 1));
                names.setCell(i + 2, 2, rows.at(i).at(0));
            }
            QString error;
            Workbook::writeXlsx(file, names, &error);
        }
        RosterDocument imported(QStringLiteral("大班"));
        RosterPage target(&imported);
        prompts.openFile = [&](QWidget *) { return file; };
        t.start();
        target.onButtonOpenExcel();
        target.readColumnEdit->setText(QStringLiteral("2"));
        target.readFromEdit->setText(QStringLiteral("2"));
        target.readToEdit->setText(QString::number(n + 2));
        target.onreadExcelButtonOK();
        figure("import_seconds", t.elapsed() / 1000.0, "s");
        if (imported.size() != n)
            std::fprintf(stderr, "import read %d names\n", imported.size());

        // 500 receipts in one PDF.
        FeeMirror fees;
        fees.tuitionPrices = {QStringLiteral("1200"), QStringLiteral("1500")};
        fees.feePrices = {{0, 0.9f}, {1, 300.0f}, {2, 12.5f}, {3, 80.0f}};
        RosterDocument printingDoc(QStringLiteral("大班"));
        printingDoc.setFees(fees, QString());
        printingDoc.load(records.mid(0, 500), Clock::now());
        RosterPage printing(&printingDoc);
        t.start();
        printing.printReceiptRange(1, 500);
        figure("print_pdf_seconds", t.elapsed() / 1000.0, "s");
        int marked = 0;
        for (int r = 0; r < printingDoc.size(); ++r)
            marked += printingDoc.record(r).text(11) != QStringLiteral("否");
        std::printf("receipts printed: %d, pages %d, PDF size %lld bytes\n", marked, pdfPages(pdf),
                    QFileInfo(pdf).size());

        // The same with every receipt written to the journal.
        OfficeSession session(config);
        session.open();
        RosterDocument journaledDoc(QStringLiteral("大班"));
        journaledDoc.setFees(fees, QString());
        journaledDoc.load(records.mid(0, 500), Clock::now());
        RosterPage journaled(&journaledDoc, &session);
        t.start();
        journaled.printReceiptRange(1, 500);
        figure("journal_print_500_seconds", t.elapsed() / 1000.0, "s");
        std::printf("journal print pages: %d\n", pdfPages(pdf));

        // A day of 2,000 receipts (500 printed above), its closing to PDF.
        {
            QVector<JournalEntry> day;
            for (int i = 0; i < 1500; ++i) {
                JournalEntry e;
                e.printedAt = Clock::now();
                e.className = classes.at(i % classes.size());
                e.name = QStringLiteral("儿童%1").arg(i);
                e.labels[0] = QStringLiteral("保 教 费");
                e.amounts[0] = 120000;
                e.labels[1] = QStringLiteral("住 宿 费");
                e.labels[2] = QStringLiteral("伙 食 费");
                e.amounts[2] = 30000;
                e.total = 150000;
                e.clerk = QStringLiteral("李老师");
                e.method = i % 3 ? QStringLiteral("现金") : QStringLiteral("微信");
                day << e;
            }
            session.journal().recordReceipts(day);
            const QString reportPdf = dir.filePath(QStringLiteral("day.pdf"));
            t.start();
            const auto report = session.reports().dayReport(Clock::now().date(), QString());
            QPrinter printer(QPrinter::HighResolution);
            ReportPrinter::setUp(printer);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(reportPdf);
            QString error;
            const bool printed = report && ReportPrinter::print(printer, report->lines(), &error);
            figure("day_report_seconds", t.elapsed() / 1000.0, "s");
            std::printf("day report: %lld receipts, %s, PDF %lld bytes\n",
                        report ? qlonglong(report->rows.size()) : -1LL,
                        printed ? "printed" : qPrintable(error), QFileInfo(reportPdf).size());
        }

        // A month of 100,000 receipts in the journal, then its window.
        QVector<JournalEntry> month;
        for (int i = 0; i < 100000; ++i) {
            JournalEntry e;
            e.printedAt = QDateTime::currentDateTime();
            e.className = classes.at(i % classes.size());
            e.name = QStringLiteral("儿童%1").arg(i);
            e.labels[0] = QStringLiteral("保 教 费");
            e.amounts[0] = 120000;
            e.total = 120000;
            e.clerk = QStringLiteral("李老师");
            month << e;
        }
        session.journal().recordReceipts(month);
        t.start();
        {
            JournalDialog window(session, nullptr);
            figure("journal_open_100000_seconds", t.elapsed() / 1000.0, "s");
            std::printf("journal rows shown: %d\n", window.tableModel()->rowCount());
        }
    }

    if (quick)
        return 0;
    // The per-row baseline, capped; scaled to N when the cap stops it.
    double baseline = 0;
    const int stored = baselineSave(config, rows, 20.0, baseline);
    const double scaled = stored > 0 ? baseline * n / stored : 0;
    std::printf("baseline stored %d of %d rows in %.2f s%s\n", stored, n, baseline,
                stored < n ? " (figure scaled to N)" : "");
    figure("save_baseline_seconds", scaled, "s");
    figure("save_speedup", ours > 0 ? scaled / ours : 0, "x");
    // Last: on PostgreSQL the other shapes replace this run's tables.
    if (defaultShape)
        largeShapes(args);
    return 0;
}
