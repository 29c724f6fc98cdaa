#include "rostersync.h"

#include "clock.h"
#include "database.h"
#include "invoice.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <QTimer>

RosterSync::RosterSync(Database *database, QObject *parent) : QObject(parent), m_database(database)
{
}

RosterSync::Plan RosterSync::plan(const QList<Invoice *> &pages)
{
    Plan plan;
    QSet<QString> changed;
    auto add = [&](const QString &c) {
        if (!changed.contains(c)) {
            changed.insert(c);
            plan.classes << c;
        }
    };
    // Each page's records are built once: rosters of thousands of rows.
    QVector<QVector<QStringList>> records;
    records.reserve(pages.size());
    for (Invoice *p : pages) {
        records << (p->isLoaded() ? p->rosterRecords() : QVector<QStringList>());
        // What the clerk changed, not what loading recomputed: two clerks
        // whose names differ would otherwise each rewrite every class. A
        // roster not loaded yet is as stored.
        const QVector<QStringList> saved = p->isLoaded() ? p->savedRecords() : records.last();
        if (records.last() == saved)
            continue;
        add(p->objectName());
        // A child moved in or out changes the other class too.
        for (const QStringList &r : records.last())
            add(r.value(Roster::ColumnCount));
        for (const QStringList &r : saved)
            add(r.value(Roster::ColumnCount));
    }
    for (int i = 0; i < pages.size(); ++i) {
        const QVector<QStringList> rows =
            pages.at(i)->isLoaded() ? records.at(i) : pages.at(i)->rosterRecords();
        for (const QStringList &r : rows)
            if (changed.contains(r.value(Roster::ColumnCount)))
                plan.rows << r;
    }
    return plan;
}

QString RosterSync::refusal(const Plan &plan)
{
    for (const QStringList &r : plan.rows) {
        const QString why = Roster::controlCharacterRefusal(r);
        if (!why.isEmpty())
            return why;
    }
    return {};
}

bool RosterSync::attempt(const Plan &plan)
{
    Database *db = m_database;
    // A connection that no longer answers is opened again first.
    if ((!db->isOpen() || !db->ping()) && !db->reconnect())
        return false;
    if (!db->beginStudentRewrite(plan.classes))
        return false;
    if (!db->appendStudents(plan.rows)) {
        db->abandonStudentRewrite();
        return false;
    }
    return db->finishStudentRewrite();
}

bool RosterSync::save(const Plan &plan)
{
    m_error.clear();
    if (!m_database) {
        m_error = QStringLiteral("没有打开的数据库");
        return false;
    }
    bool ok = attempt(plan);
    // A connection that no longer answers (a restarted server, the
    // network): once more on a fresh one. Any other failure stands.
    if (!ok && !m_database->lastFailureWasConflict() && !m_database->ping() &&
        m_database->reconnect()) {
        listen();
        ok = attempt(plan);
    }
    if (!ok)
        m_error = m_database->errorString();
    // This PC's own save is not news for its watch.
    for (int i = 0; ok && i < plan.classes.size(); ++i)
        m_reported.insert(plan.classes.at(i), m_database->knownClassRevision(plan.classes.at(i)));
    return ok;
}

void RosterSync::check()
{
    Database *db = m_database;
    if (!db || !db->isOpen())
        return;
    const auto table = db->classTableRevision();
    if (table && *table != db->knownRevision() && *table != m_reportedTable) {
        m_reportedTable = *table;
        emit classListChanged();
    }
    const auto revisions = db->readClassRevisions();
    if (!revisions)
        return;
    for (auto it = revisions->cbegin(); it != revisions->cend(); ++it) {
        const qint64 known = db->knownClassRevision(it.key());
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
    if (m_database && m_database->isOpen())
        m_database->watchSaves(this, [this] { check(); });
}

QString RosterSync::keepLocalCopy(const QStringList &classes, const QVector<QStringList> &records)
{
    m_error.clear();
    const QString dir = keptCopyFolder();
    QDir().mkpath(dir);
    const QString path = dir + QStringLiteral("/花名册-%1.sqlite")
                                   .arg(Clock::now().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    Database local(DbConfig::sqlite(path));
    bool ok = local.open() && local.rewriteClasses(classes) && local.beginStudentRewrite() &&
              local.appendStudents(records) && local.finishStudentRewrite();
    if (!ok) {
        m_error = local.errorString();
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
    return config.driver == QLatin1String("QSQLITE") &&
           QFileInfo(config.path).absolutePath() == QFileInfo(keptCopyFolder()).absoluteFilePath();
}

bool RosterSync::upload(const DbConfig &server, const QStringList &classes,
                        const QVector<QStringList> &records, QString *error)
{
    Database db(server);
    QStringList serverClasses;
    bool ok = db.open();
    if (ok) {
        serverClasses = db.readClasses().value_or(QStringList());
        QStringList all = serverClasses;
        for (const QString &c : classes)
            if (!all.contains(c))
                all << c;
        ok = (all == serverClasses || db.rewriteClasses(all));
    }
    QStringList written = classes;
    for (const QStringList &r : records)
        if (!written.contains(r.value(Roster::ColumnCount)))
            written << r.value(Roster::ColumnCount);
    ok = ok && db.beginStudentRewrite(written);
    ok = ok && db.appendStudents(records);
    if (ok)
        ok = db.finishStudentRewrite();
    else
        db.abandonStudentRewrite();
    if (!ok && error)
        *error = db.errorString();
    return ok;
}
