#include "allocator.h"
#include "backup.h"
#include "chinese.h"
#include "clock.h"
#include "database.h"
#include "mainwindow.h"
#include "officesession.h"
#include "officesettings.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTextStream>
#include <memory>

namespace
{
struct Options {
    QString database;
    QString backup; // --backup DIR: one checked copy, then exit
    bool backupAsked = false;
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
    const QCommandLineOption backupOption(
        QStringLiteral("backup"),
        QStringLiteral("把数据库备份到文件夹 DIR（检查后）并退出：成功时退出码为 0，"
                       "失败时在标准错误输出原因，退出码不为 0。适合定时任务。"),
        QStringLiteral("DIR"));
    parser.addOption(backupOption);
    parser.process(app);
    return Options{parser.value(databaseOption), parser.value(backupOption),
                   parser.isSet(backupOption)};
}

// --backup: no window, one copy, a clear status.
int backupAndExit(const DbConfig &config, const QString &dir)
{
    QTextStream out(stdout), err(stderr);
    QString error;
    QString path;
    if (config.isPostgres()) {
        path = Backup::dumpServer(config, dir, Clock::now(), &error);
    } else if (config.isSqlite() && !QFileInfo::exists(config.path)) {
        // A copy of nothing would be an empty database made for it.
        err << QStringLiteral("备份失败：数据库文件 %1 不存在\n").arg(config.path);
        return 2;
    } else {
        Database db(config);
        if (!db.open()) {
            err << QStringLiteral("备份失败：无法打开数据库 %1：%2\n")
                       .arg(config.describe(), db.errorString());
            return 2;
        }
        const auto info = Backup::write(db, dir, Clock::now(), &error);
        if (info) {
            path = info->path;
            out << QStringLiteral("%1 个班级，%2 名儿童，%3 张收据\n")
                       .arg(info->classes)
                       .arg(info->children)
                       .arg(info->receipts);
        }
    }
    if (path.isEmpty()) {
        err << error << '\n';
        return 1;
    }
    out << QStringLiteral("已备份到 %1\n").arg(path);
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    Allocator::tune();
    QCoreApplication::setApplicationName(QStringLiteral("feeoffice"));
    QCoreApplication::setApplicationVersion(QStringLiteral(FEEOFFICE_VERSION));
    Options options;
    {
        QCoreApplication console(argc, argv);
        installChineseTranslations(console);
        options = parse(console);
        // A scheduled job with an empty folder is told so, not given a
        // window nobody sees.
        if (options.backupAsked && options.backup.trimmed().isEmpty()) {
            QTextStream(stderr) << QStringLiteral("备份失败：--backup 后面没有给出文件夹\n");
            return 2;
        }
        if (options.backupAsked)
            return backupAndExit(options.database.isEmpty() ? OfficeSettings::database()
                                                            : DbConfig::sqlite(options.database),
                                 options.backup);
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
