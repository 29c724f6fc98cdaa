#include "rostersync.h"

#include "clock.h"
#include "database.h"
#include "owneronly.h"
#include "rosterstore.h"

#include <QDir>
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
                                  WriteResult *error)
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
    Database local(DbConfig::sqlite(path));
    WriteResult r;
    if (!local.open()) {
        r = WriteResult::failure(WriteResult::File, QStringLiteral("无法创建本机文件"),
                                 local.errorString());
    } else {
        RosterStore store(local);
        r = store.rewriteClasses(classes);
        if (r)
            r = store.replaceStudents(std::nullopt, records);
    }
    if (!r) {
        if (error)
            *error = r;
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

WriteResult RosterSync::upload(const DbConfig &server, const QStringList &classes,
                               QVector<ChildRecord> records)
{
    Database db(server);
    if (!db.open())
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("无法连接数据库"),
                                    db.errorString());
    RosterStore store(db);
    const auto list = store.readClassList();
    if (!list)
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("无法读取班级列表"),
                                    db.errorString());
    QStringList all = list->names;
    for (const QString &c : classes)
        if (!all.contains(c))
            all << c;
    if (all != list->names)
        if (WriteResult r = store.rewriteClasses(all); !r)
            return r;
    QStringList written = classes;
    for (const ChildRecord &r : records)
        if (!written.contains(r.className))
            written << r.className;
    return store.replaceStudents(written, records);
}
