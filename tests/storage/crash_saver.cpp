// Helper for the crash test: opens the rosters in a main window, renames
// every child (appending "新"), announces the save on stdout and saves. The
// test kills it with SIGKILL at some moment of that save.
#include "database.h"
#include "invoice.h"
#include "mainwindow.h"
#include "rostermodel.h"

#include <QApplication>
#include <QStandardItemModel>
#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    DbConfig config = DbConfig::sqlite(QString::fromLocal8Bit(argv[1]));
    if (argc >= 7 && qstrcmp(argv[2], "QPSQL") == 0) {
        config.driver = QStringLiteral("QPSQL");
        config.host = QString::fromLocal8Bit(argv[3]);
        config.port = QByteArray(argv[4]).toInt();
        config.name = QString::fromLocal8Bit(argv[5]);
        config.user = QString::fromLocal8Bit(argv[6]);
    }
    MainWindow window(config);
    for (Invoice *page : window.pages())
        for (int r = 0; r < page->model->rowCount(); ++r)
            page->model->item(r, 0)->setText(page->model->item(r, 0)->text() +
                                             QStringLiteral("新"));
    std::printf("saving\n");
    std::fflush(stdout);
    const bool ok = window.onButtonSaveDB();
    std::printf(ok ? "saved\n" : "failed\n");
    std::fflush(stdout);
    return ok ? 0 : 1;
}
