#pragma once

#include <QString>

class QSettings;

// Where the rosters live. SQLite by default; PostgreSQL for offices where
// several PCs share one database; any ODBC connection string where a driver
// exists.
struct DbConfig {
    QString driver = QStringLiteral("QSQLITE");
    QString path;    // QSQLITE: the database file
    QString host;    // QPSQL
    int port = 5432; // QPSQL
    QString name;    // QPSQL: database name
    QString user;    // QPSQL: the password comes from libpq's password file or environment
    QString options; // QPSQL: extra connect options
    QString odbc;    // QODBC: the connection string as given

    // The per-user default SQLite file, in the user's data directory.
    static QString defaultSqlitePath();
    // Reads group "database" of the settings store; missing keys keep the
    // defaults above.
    static DbConfig fromSettings(QSettings &settings);
    static DbConfig sqlite(const QString &file);
    // "QSQLITE /home/…/feeoffice.sqlite", for messages.
    // What the status bar and messages show: never an ODBC password.
    QString describe() const;
    // The text with every "PWD=…" / "PASSWORD=…" value hidden.
    static QString withoutPassword(const QString &text);
    bool isSqlite() const { return driver == QLatin1String("QSQLITE"); }
    bool isPostgres() const { return driver == QLatin1String("QPSQL"); }
};
