#include "dbconfig.h"

#include <QDir>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

QString DbConfig::defaultSqlitePath()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return base + QStringLiteral("/feeoffice/feeoffice.sqlite");
}

DbConfig DbConfig::fromSettings(QSettings &s)
{
    DbConfig c;
    s.beginGroup(QStringLiteral("database"));
    c.driver = s.value(QStringLiteral("driver"), c.driver).toString().trimmed().toUpper();
    c.path = s.value(QStringLiteral("path")).toString();
    c.host = s.value(QStringLiteral("host")).toString();
    c.port = s.value(QStringLiteral("port"), c.port).toInt();
    c.name = s.value(QStringLiteral("name")).toString();
    c.user = s.value(QStringLiteral("user")).toString();
    c.options = s.value(QStringLiteral("options")).toString();
    c.odbc = s.value(QStringLiteral("odbc")).toString();
    s.endGroup();
    if (c.driver.isEmpty())
        c.driver = QStringLiteral("QSQLITE");
    if (c.isSqlite() && c.path.isEmpty())
        c.path = defaultSqlitePath();
    return c;
}

DbConfig DbConfig::sqlite(const QString &file)
{
    DbConfig c;
    c.path = file;
    return c;
}

QString DbConfig::describe() const
{
    if (isPostgres())
        return QStringLiteral("%1 %2@%3:%4/%5")
            .arg(driver, user, host, QString::number(port), name);
    if (driver == QLatin1String("QODBC"))
        return QStringLiteral("%1 %2").arg(driver, withoutPassword(odbc));
    return QStringLiteral("%1 %2").arg(driver, QDir::toNativeSeparators(path));
}

QString DbConfig::withoutPassword(const QString &text)
{
    // PWD=secret; PWD={se;cret}; Password=… — whatever an ODBC driver takes.
    static const QRegularExpression password(
        QStringLiteral("\\b(PWD|PASSWORD)\\s*=\\s*(\\{[^}]*\\}?|[^;]*)"),
        QRegularExpression::CaseInsensitiveOption);
    QString out = text;
    out.replace(password, QStringLiteral("\\1=***"));
    return out;
}
