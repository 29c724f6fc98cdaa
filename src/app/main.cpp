#include "configview.h"
#include "database.h"
#include "mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QSettings>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("feeoffice"));
    QApplication::setApplicationVersion(QStringLiteral(FEEOFFICE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Fee office of the kindergarten: rosters, fees and receipts."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption databaseOption(
        QStringLiteral("database"),
        QStringLiteral("Open the SQLite database FILE instead of the configured one."),
        QStringLiteral("FILE"));
    parser.addOption(databaseOption);
    parser.process(app);

    DbConfig config;
    if (parser.isSet(databaseOption)) {
        config = DbConfig::sqlite(parser.value(databaseOption));
    } else {
        const auto settings = SettingsStore::open();
        config = DbConfig::fromSettings(*settings);
    }

    MainWindow window(config);
    window.showMaximized();
    return app.exec();
}
