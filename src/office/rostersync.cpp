#include "rostersync.h"

#include "clock.h"
#include "database.h"
#include "owneronly.h"
#include "rosterstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

RosterSync::RosterSync(Database &database, QObject *parent) : QObject(parent), m_database(database)
{
}

void RosterSync::saved(const QStringList &classes)
{
    for (const QString &c : classes)
        m_reported.insert(c, m_database.knownClassRevision(c));
}

void RosterSync::check()
{
    Database &db = m_database;
    if (!db.isOpen())
        return;
    const auto table = db.classTableRevision();
    if (table && *table != db.knownRevision() && *table != m_reportedTable) {
        m_reportedTable = *table;
        emit classListChanged();
    }
    const auto revisions = db.readClassRevisions();
    if (!revisions)
        return;
    for (auto it = revisions->cbegin(); it != revisions->cend(); ++it) {
        const qint64 known = db.knownClassRevision(it.key());
        if (it->revision == known || m_reported.value(it.key(), -1) == it->revision)
            continue;
        m_reported.insert(it.key(), it->revision);
        emit classSavedElsewhere(it.key(), it->savedAt);
    }
}

void RosterSync::watch(int intervalMs)
{
    if (!m_timer) {
        m_timer = new QTimer(this);
        connect(m_timer, &QTimer::timeout, this, &RosterSync::check);
    }
    m_timer->start(intervalMs);
    listen();
}

void RosterSync::listen()
{
    if (m_database.isOpen())
        m_database.watchSaves(this, [this] { check(); });
}

QString RosterSync::keepLocalCopy(const QStringList &classes, QVector<ChildRecord> records,
                                  const KeptCopyStore::State &state, WriteResult *error)
{
    // Two windows closing in the same second each get a file of their own,
    // made exclusively and readable by the owner only.
    OwnerOnly::restrictFolder(keptCopyFolder());
    const QString path = OwnerOnly::createUnique(
        keptCopyFolder() + QStringLiteral("/花名册-%1")
                               .arg(Clock::now().toString(QStringLiteral("yyyyMMdd-HHmmss"))),
        QStringLiteral(".sqlite"));
    if (path.isEmpty()) {
        if (error)
            *error = WriteResult::failure(WriteResult::File, QStringLiteral("无法创建本机文件"),
                                          QDir::toNativeSeparators(keptCopyFolder()));
        return {};
    }
    WriteResult r;
    {
        Database local(DbConfig::sqlite(path));
        if (!local.open()) {
            r = WriteResult::failure(WriteResult::File, QStringLiteral("无法创建本机文件"),
                                     local.errorString());
        } else {
            RosterStore store(local);
            r = store.rewriteClasses(classes);
            if (r)
                r = store.replaceStudents(std::nullopt, records);
            if (r)
                r = KeptCopyStore(local).write(state);
        }
    }
    if (!r) {
        if (error)
            *error = r;
        // Nothing half written is left to be mistaken for a copy.
        QFile::remove(path);
        return {};
    }
    return path;
}

QString RosterSync::keptCopyFolder()
{
    return QFileInfo(DbConfig::defaultSqlitePath()).absolutePath() +
           QStringLiteral("/未保存的花名册");
}

bool RosterSync::isKeptCopy(const DbConfig &config)
{
    return config.isSqlite() &&
           QFileInfo(config.path).absolutePath() == QFileInfo(keptCopyFolder()).absoluteFilePath();
}
