#include "database.h"

#include "owneronly.h"
#include "sqldialect.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <sys/stat.h>
#include <unistd.h>

namespace
{
QAtomicInt connectionCounter;

QString errorText(const QSqlError &e)
{
    const QString t = e.text().trimmed();
    return t.isEmpty() ? QStringLiteral("未知错误") : t;
}
} // namespace

Database::Database(const DbConfig &config)
    : m_config(config),
      m_connectionName(QStringLiteral("feeoffice-%1").arg(connectionCounter.fetchAndAddRelaxed(1)))
{
}

Database::~Database()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        if (db.isValid()) {
            db.rollback();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

QSqlDatabase Database::connection() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

bool Database::isOpen() const
{
    return connection().isOpen();
}

bool Database::fail(const QString &detail)
{
    m_error = QStringLiteral("数据库 %1：%2").arg(m_config.describe(), detail);
    return false;
}

bool Database::readFailed(const QSqlError &error)
{
    return fail(errorText(error));
}

WriteResult Database::unreachable(const QSqlError &error) const
{
    // SQLITE_READONLY and its extended codes: the database answered, and
    // the file or its folder is what refuses.
    if (m_config.isSqlite() &&
        ((error.nativeErrorCode().toInt() & 0xff) == 8 ||
         error.databaseText().contains(QLatin1String("readonly database")))) {
        const QString why = readOnlyReason();
        return WriteResult::failure(
            WriteResult::File,
            QStringLiteral("没有写入：%1")
                .arg(why.isEmpty() ? QStringLiteral("数据库是只读的") : why),
            QStringLiteral("数据库 %1：%2").arg(m_config.describe(), errorText(error)));
    }
    return WriteResult::failure(
        WriteResult::Unreachable, QStringLiteral("数据库没有接受这次写入"),
        QStringLiteral("数据库 %1：%2").arg(m_config.describe(), errorText(error)));
}

bool Database::open()
{
    const bool connected = connect();
    // The file opened is the one every later write must find, even when
    // this first read failed (a lock held by another program).
    m_fileId = fileIdentity();
    m_ready = false;
    if (!connected)
        return false;
    QSqlDatabase db = connection();
    const QString error = Schema::create(db, m_config);
    if (!error.isEmpty())
        return fail(error);
    m_ready = true;
    m_fileId = fileIdentity();
    m_schema = Schema::inspect(db, m_config);
    return refreshRevision();
}

void Database::close()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        if (db.isValid())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool Database::reconnect()
{
    m_error.clear();
    m_ready = false;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        if (db.isValid())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
    // What this PC loaded is still what it loaded: the known revisions stay,
    // so a save after the reconnection is checked against them.
    // A database file replaced or removed meanwhile is not silently
    // swapped for a new, empty one.
    if (m_config.isSqlite() && fileIdentity() != m_fileId)
        return fail(QStringLiteral("数据库文件已被删除或替换"));
    if (!connect())
        return false;
    QSqlDatabase db = connection();
    const QString error = Schema::create(db, m_config);
    if (!error.isEmpty())
        return fail(error);
    m_ready = true;
    m_schema = Schema::inspect(db, m_config);
    return true;
}

bool Database::ping()
{
    QSqlQuery q(connection());
    return connection().isOpen() && q.exec(QStringLiteral("SELECT 1")) && q.next();
}

bool Database::connect()
{
    m_error.clear();
    if (!QSqlDatabase::isDriverAvailable(m_config.driver))
        return fail(QStringLiteral("没有安装数据库驱动 %1").arg(m_config.driver));
    QSqlDatabase db = QSqlDatabase::addDatabase(m_config.driver, m_connectionName);
    if (m_config.isSqlite()) {
        // A new user has no data directory yet. Children's names are
        // personal data: a folder and a file made here are the owner's
        // only, whatever the umask.
        if (!m_config.path.isEmpty() && m_config.path != QLatin1String(":memory:")) {
            if (QFileInfo(m_config.path).absoluteFilePath() ==
                QFileInfo(DbConfig::defaultSqlitePath()).absoluteFilePath()) {
                OwnerOnly::restrictFolder(QFileInfo(m_config.path).absolutePath());
                OwnerOnly::restrictFile(m_config.path);
            }
            OwnerOnly::createFile(m_config.path);
        }
        db.setDatabaseName(m_config.path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    } else if (m_config.isPostgres()) {
        db.setHostName(m_config.host);
        db.setPort(m_config.port);
        db.setDatabaseName(m_config.name);
        db.setUserName(m_config.user);
        db.setConnectOptions(m_config.options);
    } else {
        db.setDatabaseName(m_config.odbc);
    }
    if (!db.open())
        return fail(errorText(db.lastError()));
    if (m_config.isSqlite()) {
        // Refuse to treat a file that is not a database as an empty one.
        QSqlQuery probe(db);
        if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
            return fail(errorText(probe.lastError()));
        // A month's journal or a year's accounts are read whole: room for
        // up to 32 MB of pages (taken only as they are read), not the
        // default 2 MB that reads the same pages from the file again.
        probe.exec(QStringLiteral("PRAGMA cache_size = -32768"));
    }
    if (m_config.isPostgres()) {
        // This connection's own setting, none of the server's: its queries
        // are short and not compiled first (a month's journal, its figures
        // not counted yet, took longer to compile than to read).
        QSqlQuery(db).exec(QStringLiteral("SET jit = off"));
    }
    return true;
}

QString Database::fileIdentity() const
{
    if (!m_config.isSqlite())
        return {};
    struct stat st;
    if (::stat(QFile::encodeName(m_config.path).constData(), &st) != 0)
        return QStringLiteral("missing");
    return QStringLiteral("%1:%2").arg(st.st_dev).arg(st.st_ino);
}

bool Database::beginWrite(QSqlError *error)
{
    QSqlDatabase db = connection();
    bool ok = db.isOpen();
    if (ok && m_config.isSqlite()) {
        QSqlQuery q(db);
        ok = q.exec(QStringLiteral("BEGIN IMMEDIATE"));
        if (!ok && error)
            *error = q.lastError();
        return ok;
    }
    ok = ok && db.transaction();
    if (!ok && error)
        *error = db.lastError();
    return ok;
}

QString Database::readOnlyReason() const
{
    if (!m_config.isSqlite() || m_config.path.isEmpty() ||
        m_config.path == QLatin1String(":memory:"))
        return {};
    const QByteArray file = QFile::encodeName(m_config.path);
    struct stat st;
    if (::stat(file.constData(), &st) != 0)
        return {};
    if ((st.st_mode & 0222) == 0 || ::access(file.constData(), W_OK) != 0)
        return QStringLiteral("数据库文件 %1 是只读的")
            .arg(QDir::toNativeSeparators(m_config.path));
    const QString folder = QFileInfo(m_config.path).absolutePath();
    if (::access(QFile::encodeName(folder).constData(), W_OK) != 0)
        return QStringLiteral(
                   "数据库文件所在的文件夹 %1 不能写入（保存时要在文件旁边建立日志文件）")
            .arg(QDir::toNativeSeparators(folder));
    return {};
}

WriteResult Database::writable()
{
    if (!m_schema.error.isEmpty())
        return WriteResult::failure(WriteResult::Schema, m_schema.error);
    // A file deleted or replaced behind the program's back would take the
    // writes and lose them at the next start.
    if (m_config.isSqlite() && fileIdentity() != m_fileId)
        return WriteResult::failure(
            WriteResult::File, QStringLiteral("数据库文件已被删除或替换，没有写入"),
            QStringLiteral("数据库 %1：数据库文件已被删除或替换").arg(m_config.describe()));
    if (!isOpen())
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("数据库没有打开"),
                                    m_error);
    return WriteResult::success();
}

bool Database::refreshRevision()
{
    const auto table = classTableRevision();
    const auto classes = readClassRevisions();
    if (!table || !classes)
        return false;
    m_knownRevision = *table;
    m_classRevisions.clear();
    for (auto it = classes->cbegin(); it != classes->cend(); ++it)
        m_classRevisions.insert(it.key(), it->revision);
    return true;
}

std::optional<qint64> Database::classTableRevision()
{
    QSqlQuery q(connection());
    if (!q.exec(QStringLiteral("SELECT revision FROM feeoffice_revision WHERE id = 1")) ||
        !q.next()) {
        fail(errorText(q.lastError()));
        return std::nullopt;
    }
    return q.value(0).toLongLong();
}

std::optional<QHash<QString, Database::ClassRevision>> Database::readClassRevisions()
{
    QSqlQuery q(connection());
    q.setForwardOnly(true);
    if (!q.exec(
            QStringLiteral("SELECT \"班级\", revision, saved_at FROM feeoffice_class_revision"))) {
        fail(errorText(q.lastError()));
        return std::nullopt;
    }
    QHash<QString, ClassRevision> revisions;
    while (q.next())
        revisions.insert(q.value(0).toString(),
                         ClassRevision{q.value(1).toLongLong(), q.value(2).toString()});
    return revisions;
}

qint64 Database::knownClassRevision(const QString &className) const
{
    return m_classRevisions.value(className, 0);
}

void Database::setKnownClassRevision(const QString &className, qint64 revision)
{
    m_classRevisions.insert(className, revision);
}

void Database::announceSave()
{
    // Other PCs listening hear of the save at once; the others look a few
    // times a minute.
    if (m_config.isPostgres())
        QSqlQuery(connection()).exec(QStringLiteral("NOTIFY ") + SqlDialect::savedChannel());
}

bool Database::watchSaves(QObject *context, const std::function<void()> &onSave)
{
    // Only PostgreSQL tells of other PCs' saves. SQLite's notifications are
    // this connection's own row changes, one queued event for every row
    // written (a billing's forty thousand), and never another PC's: the
    // timer looks instead.
    if (!m_config.isPostgres())
        return false;
    QSqlDriver *driver = connection().driver();
    const QString channel = SqlDialect::savedChannel();
    if (!driver || !driver->hasFeature(QSqlDriver::EventNotifications))
        return false;
    if (!driver->subscribedToNotifications().contains(channel) &&
        !driver->subscribeToNotification(channel))
        return false;
    QObject::connect(driver, &QSqlDriver::notification, context,
                     [onSave, channel](const QString &name, QSqlDriver::NotificationSource source,
                                       const QVariant &) {
                         if (name == channel && source != QSqlDriver::SelfSource)
                             onSave();
                     });
    return true;
}
