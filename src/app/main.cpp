#include "chinese.h"
#include "mainwindow.h"
#include "officesession.h"
#include "officesettings.h"

#include <QApplication>
#include <QCommandLineParser>
#include <memory>

namespace
{
struct Options {
    QString database;
};

// The command line, read before any window exists, so that --help and
// --version work without a display.
Options parse(QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("幼儿园收费室：花名册、费用和收据。"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption databaseOption(
        QStringLiteral("database"),
        QStringLiteral("打开 SQLite 数据库文件 FILE，而不是设置中的数据库。"),
        QStringLiteral("FILE"));
    parser.addOption(databaseOption);
    parser.process(app);
    return Options{parser.value(databaseOption)};
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("feeoffice"));
    QCoreApplication::setApplicationVersion(QStringLiteral(FEEOFFICE_VERSION));
    Options options;
    {
        QCoreApplication console(argc, argv);
        installChineseTranslations(console);
        options = parse(console);
    }
    QApplication app(argc, argv);
    installChineseTranslations(app);

    const DbConfig config = options.database.isEmpty() ? OfficeSettings::database()
                                                       : DbConfig::sqlite(options.database);
    OfficeSession session(config);
    int status = 0;
    {
        MainWindow window(session);
        window.showMaximized();
        status = app.exec();
    }
    session.close();
    return status;
}
