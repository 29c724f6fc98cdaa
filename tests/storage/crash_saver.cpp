// Helper for the crash tests: opens the rosters in a main window, renames
// every child (appending "新"), announces the save on stdout and saves. The
// test kills it with SIGKILL at some moment of that save. With
// FEEOFFICE_CRASH_PRINT_TO set it prints the first class's receipts to that
// file instead (a pipe nobody reads: the pages never finish going out);
// with FEEOFFICE_CRASH_RESTORE or FEEOFFICE_CRASH_BACKUP it restores a copy
// or takes copies.
#include "access.h"
#include "database.h"
#include "mainwindow.h"
#include "officesession.h"
#include "prompts.h"
#include "rosterpage.h"

#include <QApplication>
#include <QPrinter>
#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    // The helper works as an administrator without a sign-in.
    Access::setStandIn([] { return std::optional<Access::User>(Access::User{{}, Roles::Head}); });
    DbConfig config = DbConfig::sqlite(QString::fromLocal8Bit(argv[1]));
    if (argc >= 7 && qstrcmp(argv[2], "QPSQL") == 0) {
        config.driver = QStringLiteral("QPSQL");
        config.host = QString::fromLocal8Bit(argv[3]);
        config.port = QByteArray(argv[4]).toInt();
        config.name = QString::fromLocal8Bit(argv[5]);
        config.user = QString::fromLocal8Bit(argv[6]);
    }
    // FEEOFFICE_CRASH_RESTORE=<copy>: restores it; FEEOFFICE_CRASH_BACKUP=<dir>:
    // takes copies into it, one after the other, until killed.
    if (const QString copy = qEnvironmentVariable("FEEOFFICE_CRASH_RESTORE"); !copy.isEmpty()) {
        OfficeSession session(config);
        if (!session.open())
            return 3;
        std::printf("restoring\n");
        std::fflush(stdout);
        return session.restore(copy) ? 0 : 1;
    }
    if (const QString dir = qEnvironmentVariable("FEEOFFICE_CRASH_BACKUP"); !dir.isEmpty()) {
        OfficeSession session(config);
        if (!session.open())
            return 3;
        std::printf("backing up\n");
        std::fflush(stdout);
        for (;;) {
            QString error;
            if (session.backups().backupTo(dir, &error).isEmpty())
                return 1;
        }
    }
    MainWindow window(config);
    const QString printTo = qEnvironmentVariable("FEEOFFICE_CRASH_PRINT_TO");
    if (!printTo.isEmpty()) {
        Prompts::current().printDialog = [printTo](QPrinter *printer, QWidget *) {
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(printTo);
            return true;
        };
        Prompts::current().payment = [](QWidget *, Prompts::Payment &) { return true; };
        std::printf("printing\n");
        std::fflush(stdout);
        window.page(0)->printReceiptRange(1, window.page(0)->document()->size());
        return 0;
    }
    for (RosterDocument *doc : window.session().documents())
        for (int r = 0; r < doc->size(); ++r)
            doc->setText(r, 0, doc->record(r).text(0) + QStringLiteral("新"));
    std::printf("saving\n");
    std::fflush(stdout);
    const bool ok = window.onButtonSaveDB();
    std::printf(ok ? "saved\n" : "failed\n");
    std::fflush(stdout);
    return ok ? 0 : 1;
}
