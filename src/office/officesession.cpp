#include "officesession.h"

#include "auditlog.h"
#include "classname.h"
#include "clock.h"
#include "database.h"
#include "journalstore.h"
#include "keptcopystore.h"
#include "ledgerstore.h"
#include "officesettings.h"
#include "pendingjournal.h"
#include "receiptplan.h"
#include "rosterstore.h"
#include "rostersync.h"
#include "writetransaction.h"

#include <QFileInfo>
#include <QSet>
#include <QSqlError>
#include <QSysInfo>
#include <algorithm>
#include <cmath>

OfficeSession::OfficeSession(const DbConfig &config, QObject *parent)
    : QObject(parent), m_config(config), m_database(std::make_unique<Database>(config)),
      m_access(std::make_unique<Access>(*m_database)), m_settings(new OfficeSettings(this)),
      m_backups(std::make_unique<BackupService>(*m_database, config)),
      m_audit(std::make_unique<AuditService>(*m_database)),
      m_reports(std::make_unique<ReportService>(*m_database, *m_access)),
      m_reconcile(std::make_unique<ReconcileService>(*m_database, *m_access)),
      m_families(std::make_unique<FamilyService>(*m_database, *m_access)),
      m_reductions(std::make_unique<ReductionService>(*m_database, *m_access)),
      m_stays(std::make_unique<StayService>(*m_database, *m_access)),
      m_attendance(std::make_unique<AttendanceService>(
          *m_database, *m_settings, *m_access, [this](const QString &c) { return document(c); },
          [this] { return m_readable; })),
      m_accounts(std::make_unique<AccountService>(
          *m_database, *m_settings, *m_access,
          AccountService::Hooks{[this] { return documents(); },
                                [this](const QString &c) { return document(c); },
                                [this] { return m_readable; },
                                [this](const QStringList &classes) { m_sync->saved(classes); },
                                [this] { return m_journal->flushPendingJournal(); }})),
      m_journal(std::make_unique<JournalService>(*m_database, config, *m_access)),
      m_users(new UserService(*m_database, *m_settings, *m_access, this))
{
    m_settings->setGate([this] { return m_access->refusal(Roles::PricesAndRules); });
    m_sync = new RosterSync(*m_database, this);
    connect(m_sync, &RosterSync::classSavedElsewhere, this, &OfficeSession::onSavedElsewhere);
    connect(m_sync, &RosterSync::classListChanged, this, &OfficeSession::onClassListChanged);
    connect(m_settings, &OfficeSettings::changed, this, &OfficeSession::applySettings);
    // Whatever this PC writes, the rosters' 已收 and 尚欠 are read again
    // (once, after the write's caller is done).
    m_database->setOnCommitted([this] {
        if (m_accountsRefreshQueued)
            return;
        m_accountsRefreshQueued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_accountsRefreshQueued = false;
                refreshAccounts();
            },
            Qt::QueuedConnection);
    });
    // A setting lives in its own file: the audit row follows its save.
    connect(m_settings, &OfficeSettings::valuesChanged, this, [this](const QStringList &changes) {
        if (!m_readable || !m_database->writable())
            return;
        // The change itself was allowed before it was stored.
        const auto permit = m_access->permitOwnWrite();
        WriteTransaction tx(*m_database);
        for (const QString &c : changes)
            tx.audit(AuditLog::setting(), c);
        tx.commit();
    });
    connect(m_settings, &OfficeSettings::saved, this, [this] {
        for (RosterDocument *doc : std::as_const(m_documents))
            doc->recomputeFees();
    });
}

OfficeSession::~OfficeSession()
{
    // The documents go before the connection they were read from.
    qDeleteAll(m_documents);
    m_documents.clear();
}

QString OfficeSession::schemaError() const
{
    return m_database->schemaError();
}

bool OfficeSession::isKeptCopy() const
{
    return RosterSync::isKeptCopy(m_config);
}

RosterDocument *OfficeSession::createDocument(const QString &name)
{
    auto *doc = new RosterDocument(name, this);
    doc->setFees(m_settings->mirror(), m_settings->feeProblem());
    doc->setAccountSource(
        [this](const QStringList &ids,
               QString *error) -> std::optional<QHash<QString, Account::ChildMonth>> {
            if (!m_database->isOpen())
                return std::nullopt;
            return LedgerStore::childMonths(*m_database, ids, Journal::month(Clock::now()), error);
        });
    m_documents << doc;
    m_byClass.insert(name, doc);
    return doc;
}

std::optional<int> OfficeSession::childrenOwing() const
{
    if (!m_database->isOpen())
        return std::nullopt;
    QStringList ids;
    for (RosterDocument *doc : documents())
        for (int r = 0; r < doc->size(); ++r)
            if (!doc->record(r).childId.isEmpty())
                ids << doc->record(r).childId;
    QString error;
    const auto months =
        LedgerStore::childMonths(*m_database, ids, Journal::month(Clock::now()), &error);
    if (!months)
        return std::nullopt;
    int owing = 0;
    for (const Account::ChildMonth &m : *months)
        owing += m.owed() > 0 ? 1 : 0;
    return owing;
}

void OfficeSession::refreshAccounts()
{
    for (RosterDocument *doc : std::as_const(m_documents))
        doc->refreshAccounts();
    emit accountsRefreshed();
}

void OfficeSession::applySettings()
{
    m_database->setActor(m_settings->fees().clerk(), QSysInfo::machineHostName());
    const FeeMirror mirror = m_settings->mirror();
    const QString problem = m_settings->feeProblem();
    for (RosterDocument *doc : std::as_const(m_documents))
        doc->setFees(mirror, problem);
}

bool OfficeSession::open()
{
    m_openError.clear();
    m_readable = false;
    m_settings->load();
    if (!m_database->open()) {
        m_openError = QStringLiteral("无法打开数据库 %1").arg(m_database->errorString());
        return false;
    }
    m_journal->flushPendingJournal();
    if (!readRosters())
        return false;
    m_sync->watch();
    return true;
}

bool OfficeSession::readRosters()
{
    RosterStore store(*m_database);
    const auto list = store.readClassList();
    // Children stored before identities were kept get theirs as they are read.
    const auto permit = m_access->permitOwnWrite();
    auto students = list ? store.readAllStudents() : std::nullopt;
    if (students && m_database->writable()) {
        // Children stored before identities were kept get theirs from the
        // database, once: whichever PC opens first stores them, and every
        // other PC reads the same.
        bool unnamed = false;
        for (const QVector<ChildRecord> &rows : std::as_const(*students))
            for (const ChildRecord &r : rows)
                unnamed = unnamed || (r.childId.isEmpty() && r.id > 0);
        QString error;
        if (unnamed)
            if (const auto ids = store.giveIdentities(&error))
                for (QVector<ChildRecord> &rows : *students)
                    for (ChildRecord &r : rows)
                        if (r.childId.isEmpty())
                            r.childId = ids->value(r.id);
    }
    if (!list || !students) {
        m_openError = QStringLiteral("无法读取数据库 %1").arg(m_database->errorString());
        return false;
    }
    m_openError.clear();
    m_readable = true;
    m_classes = list->names;
    const QDateTime now = Clock::now();
    const QSet<QString> receipted = receiptedChildren(now);
    // Each class's rows move into its roster: a school is not held twice.
    for (const QString &name : std::as_const(m_classes))
        if (!document(name))
            createDocument(name)->load(students->take(name), now, receipted);
    return true;
}

QSet<QString> OfficeSession::receiptedChildren(const QDateTime &now) const
{
    // Unreadable, the rosters show what they saved: the next print decides
    // from the account anyway.
    if (!m_database->isOpen())
        return {};
    return JournalStore(*m_database)
        .childrenWithReceipts(Journal::month(now))
        .value_or(QSet<QString>());
}

RosterDocument *OfficeSession::document(const QString &className) const
{
    return m_byClass.value(className, nullptr);
}

QList<RosterDocument *> OfficeSession::documents() const
{
    QList<RosterDocument *> list;
    QSet<RosterDocument *> seen;
    for (const QString &name : std::as_const(m_classes))
        if (RosterDocument *doc = document(name); doc && !seen.contains(doc)) {
            seen.insert(doc);
            list << doc;
        }
    return list;
}

QStringList OfficeSession::uncomputable() const
{
    QStringList reasons;
    for (RosterDocument *doc : documents())
        reasons << doc->uncomputable();
    return reasons;
}

bool OfficeSession::hasUnsavedChanges() const
{
    for (RosterDocument *doc : m_documents)
        if (doc->isModified())
            return true;
    return false;
}

void OfficeSession::forEachStored(const QList<RosterDocument *> &docs, const QSet<QString> &changed,
                                  const std::function<void(RosterDocument *, int)> &row)
{
    for (int moved = 0; moved < 2; ++moved)
        for (RosterDocument *doc : docs)
            for (int r = 0; r < doc->size(); ++r) {
                const QString &cls = doc->record(r).className;
                if (changed.contains(cls) && (cls != doc->className()) == bool(moved))
                    row(doc, r);
            }
}

OfficeSession::SavePlan OfficeSession::plan() const
{
    SavePlan plan;
    QSet<QString> changed;
    auto add = [&](const QString &c) {
        if (!changed.contains(c)) {
            changed.insert(c);
            plan.classes << c;
        }
    };
    const QList<RosterDocument *> docs = documents();
    for (RosterDocument *doc : docs) {
        if (!doc->isModified())
            continue;
        add(doc->className());
        // A child moved in or out changes the other class too.
        for (int r = 0; r < doc->size(); ++r)
            add(doc->record(r).className);
    }
    // A class's own children first, then those moved into it, in the
    // order its tab shows them after the save.
    forEachStored(docs, changed, [&](RosterDocument *doc, int r) { plan.rows << doc->record(r); });
    return plan;
}

WriteResult OfficeSession::attemptSave(SavePlan &plan)
{
    Database &db = *m_database;
    // A connection that no longer answers is opened again first.
    if ((!db.isOpen() || !db.ping()) && !db.reconnect())
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("数据库没有回应"),
                                    db.errorString());
    if (m_classListUnsaved)
        if (WriteResult r = storeClassList(); !r) {
            r.text = QStringLiteral("班级列表没有保存，儿童也没有保存：%1").arg(r.text);
            return r;
        }
    return RosterStore(db).replaceStudents(plan.classes, plan.rows);
}

bool OfficeSession::isReadOnly() const
{
    return m_database->isReadOnlyFile();
}

QString OfficeSession::readOnlyReason() const
{
    return m_database->readOnlyReason();
}

WriteResult OfficeSession::unread() const
{
    return WriteResult::failure(
        WriteResult::Refused,
        QStringLiteral("数据库没有读出来，为免覆盖其中的花名册，这个窗口不会写入它。"
                       "请关闭程序，待数据库可以读取后再打开。"),
        m_openError);
}

WriteResult OfficeSession::save(int *savedRows)
{
    const auto permit = m_access->permit(Roles::Rosters);
    if (!permit)
        return permit.result();
    if (!m_readable)
        return unread();
    SavePlan p = plan();
    WriteResult result = attemptSave(p);
    // A connection that no longer answers (a restarted server, the
    // network): once more on a fresh one. Any other failure stands.
    if (result.kind == WriteResult::Unreachable && !m_database->ping() && m_database->reconnect()) {
        m_sync->listen();
        result = attemptSave(p);
    }
    if (!result)
        return result;
    if (savedRows)
        *savedRows = int(p.rows.size());
    m_sync->saved(p.classes);
    // A copy kept from a server remembers what was edited in it: those
    // classes go back with its upload.
    if (isKeptCopy())
        KeptCopyStore(*m_database).markEdited(p.classes);
    const QSet<QString> changed(p.classes.begin(), p.classes.end());
    // The keys the rows were stored under, and the children moved to
    // another class now on that class's roster.
    int next = 0;
    const QList<RosterDocument *> docs = documents();
    QHash<RosterDocument *, QVector<qint64>> ids;
    for (RosterDocument *doc : docs)
        for (int r = 0; r < doc->size(); ++r)
            ids[doc] << doc->record(r).id;
    forEachStored(docs, changed, [&](RosterDocument *doc, int r) {
        if (next < p.rows.size())
            ids[doc][r] = p.rows.at(next++).id;
    });
    for (RosterDocument *doc : docs)
        doc->setStoredIds(ids.value(doc));
    for (RosterDocument *doc : docs) {
        const QVector<ChildRecord> moved = doc->takeMovedOut();
        for (const ChildRecord &rec : moved) {
            RosterDocument *target = document(rec.className);
            if (!target)
                target = createDocument(rec.className);
            target->adopt({rec});
        }
    }
    for (RosterDocument *doc : std::as_const(m_documents)) {
        doc->markSaved();
        doc->setSavedElsewhere(QString());
    }
    m_journal->flushPendingJournal();
    return result;
}

WriteResult OfficeSession::addClass(const QString &typed)
{
    const auto permit = m_access->permit(Roles::Rosters);
    if (!permit)
        return permit.result();
    if (!m_readable)
        return unread();
    const QString name = ClassName::cleaned(typed);
    if (const QString why = ClassName::problem(name, m_classes); !why.isEmpty())
        return WriteResult::failure(WriteResult::Refused, why);
    m_classes << name;
    RosterDocument *doc = document(name);
    if (!doc) {
        doc = createDocument(name);
        // Children already stored under the name (say, after the class
        // table could not be saved) come back instead of being dropped by
        // the next save.
        if (m_database->isOpen())
            if (const auto rows = RosterStore(*m_database).readStudents(name))
                doc->load(*rows, Clock::now(), receiptedChildren(Clock::now()));
    }
    emit classAdded(name, doc);
    // Until the list is stored, every save tries again first: children of
    // a class missing from the list would be invisible after a restart.
    m_classListUnsaved = true;
    if (!m_database->isOpen() && !m_database->reconnect())
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("数据库没有打开"),
                                    m_database->errorString());
    return storeClassList();
}

WriteResult OfficeSession::storeClassList()
{
    RosterStore store(*m_database);
    WriteResult r = store.rewriteClasses(m_classes);
    if (r.isConflict()) {
        // Another PC changed the list since it was read: its classes and
        // ours, nobody's dropped.
        r = store.mergeClasses(m_classes);
        if (r)
            onClassListChanged();
    }
    if (r)
        m_classListUnsaved = false;
    return r;
}

bool OfficeSession::reload()
{
    const QList<RosterDocument *> old = m_documents;
    for (RosterDocument *doc : old)
        doc->retire();
    m_documents.clear();
    m_byClass.clear();
    m_classes.clear();
    m_openError.clear();
    m_readable = false;
    const bool ok = (m_database->isReady() || m_database->reconnect()) &&
                    m_database->refreshRevision() && readRosters();
    if (!ok && m_openError.isEmpty())
        m_openError = QStringLiteral("无法读取数据库 %1").arg(m_database->errorString());
    emit documentsReplaced();
    for (RosterDocument *doc : old)
        doc->deleteLater();
    return ok;
}

QVector<ChildRef> OfficeSession::find(const QString &name) const
{
    QVector<ChildRef> found;
    for (RosterDocument *doc : documents())
        for (int r = 0; r < doc->size(); ++r)
            // A row without a name cell holds no name, not an empty one.
            if (doc->record(r).has(Roster::Name) && doc->record(r).text(Roster::Name) == name)
                found << ChildRef{doc, doc->uid(r)};
    return found;
}

QVector<QStringList> OfficeSession::unprintedRows() const
{
    QVector<QStringList> rows;
    for (RosterDocument *doc : documents())
        for (int r = 0; r < doc->size(); ++r)
            if (doc->record(r).text(Roster::PrintStatus) == Roster::notPrinted()) {
                QStringList texts = doc->record(r).texts();
                texts.last() = doc->className();
                rows << texts;
            }
    return rows;
}

QString OfficeSession::keepLocalCopy(WriteResult *error)
{
    QVector<ChildRecord> records;
    for (RosterDocument *doc : documents())
        records += doc->records();
    KeptCopyStore::State state;
    for (const QString &c : std::as_const(m_classes)) {
        const qint64 known = m_database->knownClassRevision(c);
        state.serverRevisions.insert(c, known);
        // A class the server never stored is this PC's own.
        if (known == 0 && m_classListUnsaved)
            state.edited.insert(c);
    }
    for (const QString &c : plan().classes)
        state.edited.insert(c);
    const QVector<JournalEntry> waiting = m_journal->waiting();
    for (const JournalEntry &e : waiting)
        state.receipts.append({0, PendingJournal::toText(e)});
    const QString path = RosterSync::keepLocalCopy(m_classes, records, state, error);
    // The waiting receipts now travel with the copy, and only there: the
    // copy's upload records them, never twice.
    if (!path.isEmpty() && !waiting.isEmpty())
        m_journal->clearWaiting();
    return path;
}

DbConfig OfficeSession::uploadTarget() const
{
    return OfficeSettings::database();
}

QStringList OfficeSession::uploadClasses()
{
    QStringList classes;
    const auto state = KeptCopyStore(*m_database).read();
    for (const QString &c : std::as_const(m_classes))
        if ((state && state->edited.contains(c)) || plan().classes.contains(c))
            if (!classes.contains(c))
                classes << c;
    return classes;
}

WriteResult OfficeSession::upload(const Decide &decide, UploadReport *report)
{
    const auto permit = m_access->permit(Roles::Rosters);
    if (!permit)
        return permit.result();
    if (!m_readable)
        return unread();
    UploadReport done;
    // Said to the caller whatever the outcome.
    struct Tell {
        UploadReport &done;
        UploadReport *to;
        ~Tell()
        {
            if (to)
                *to = done;
        }
    } tell{done, report};
    KeptCopyStore local(*m_database);
    const auto state = local.read();
    if (!state)
        return WriteResult::failure(WriteResult::File, QStringLiteral("无法读取本机文件"),
                                    local.errorString());
    QStringList classes = uploadClasses();
    Database server(uploadTarget());
    if (!server.open())
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("无法连接数据库"),
                                    server.errorString());
    RosterStore store(server);
    const auto list = store.readClassList();
    if (!list)
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("无法读取班级列表"),
                                    server.errorString());
    // Each class is claimed at the revision the copy was read at: what
    // another PC saved since is never replaced unasked.
    for (const QString &c : std::as_const(classes))
        server.setKnownClassRevision(c, state->serverRevisions.value(c, 0));
    WriteResult r;
    for (;;) {
        QVector<ChildRecord> rows;
        for (RosterDocument *doc : documents())
            for (int i = 0; i < doc->size(); ++i)
                if (classes.contains(doc->record(i).className))
                    rows << doc->record(i);
        QStringList all = list->names;
        for (const QString &c : std::as_const(classes))
            if (!all.contains(c))
                all << c;
        r = WriteResult::success();
        if (all != list->names) {
            r = store.rewriteClasses(all);
            if (r.isConflict())
                r = store.mergeClasses(classes);
        }
        if (r && !classes.isEmpty())
            r = store.replaceStudents(classes, rows);
        if (!r.isConflict() || !classes.contains(r.conflictClass))
            break;
        const QString c = r.conflictClass;
        if (decide && decide(c, r.savedAt)) {
            const auto now = server.readClassRevisions();
            server.setKnownClassRevision(c, now ? now->value(c).revision : 0);
        } else {
            classes.removeAll(c);
            done.kept << c;
        }
    }
    if (!r)
        return r;
    done.written = classes;
    for (RosterDocument *doc : documents())
        for (int i = 0; i < doc->size(); ++i)
            if (classes.contains(doc->record(i).className))
                ++done.rows;
    // The receipts printed while the server was away join its journal.
    QVector<JournalEntry> entries;
    QVector<qint64> ids;
    for (const auto &receipt : state->receipts) {
        entries << PendingJournal::fromText(receipt.second);
        ids << receipt.first;
    }
    WriteResult journal = JournalStore(server).record(entries);
    if (journal)
        done.receipts = int(entries.size());
    else
        ids.clear();
    QHash<QString, qint64> revisions;
    for (const QString &c : std::as_const(classes))
        revisions.insert(c, server.knownClassRevision(c));
    const WriteResult noted = local.uploaded(revisions, ids);
    if (!journal)
        return journal;
    return noted;
}

void OfficeSession::checkForSaves()
{
    m_sync->check();
}

void OfficeSession::close()
{
    m_journal->flushPendingJournal();
}

WriteResult OfficeSession::restore(const QString &copy, QString *before)
{
    auto refuse = [](const QString &why) {
        return WriteResult::failure(WriteResult::Refused, why);
    };
    const auto permit = m_access->permit(Roles::Restore);
    if (!permit)
        return permit.result();
    if (!m_config.isSqlite() || isKeptCopy())
        return refuse(QStringLiteral("只有本机的数据库可以在这里恢复；服务器数据库请由管理员恢复"));
    if (hasUnsavedChanges())
        return refuse(QStringLiteral("花名册有未保存的更改：请先保存，再恢复"));
    QString why;
    if (!Backup::check(copy, &why))
        return refuse(QStringLiteral("%1。当前数据库没有改动。").arg(why));
    // Serials go on after the highest ever given out, even those only the
    // database being replaced knows of: one serial is never two papers.
    const auto highest = Backup::counters(*m_database, &why);
    if (!highest)
        return refuse(QStringLiteral("无法读取收据编号（%1），没有恢复").arg(why));
    // The database as it is now, first: a restore can be undone, and that
    // copy is never pruned.
    const auto now = Backup::write(*m_database, Backup::folder(), Clock::now(), &why, true);
    if (!now)
        return refuse(QStringLiteral("恢复前无法备份当前数据库（%1），没有恢复").arg(why));
    if (before)
        *before = now->path;
    m_database->close();
    const bool replaced = Backup::replaceDatabase(m_config.path, copy, &why);
    if (!m_database->open() || !reload())
        return WriteResult::failure(WriteResult::Unreachable,
                                    replaced ? QStringLiteral("已恢复，但无法重新打开数据库") : why,
                                    m_database->errorString());
    if (!replaced)
        return refuse(why);
    // Said in the restored database, which is the one the office goes on with.
    WriteTransaction tx(*m_database);
    QString error;
    const auto raised = tx.isActive() ? Backup::raiseCounters(*m_database, *highest, &error)
                                      : std::optional<QStringList>();
    if (!raised)
        return WriteResult::failure(
            WriteResult::Unreachable,
            QStringLiteral("已恢复，但无法续编收据编号：请不要打印，重新启动程序后再恢复一次"),
            error.isEmpty() ? tx.errorString() : error);
    tx.audit(AuditLog::restored(),
             QStringLiteral("恢复了 %1（恢复前的数据库备份为 %2）%3")
                 .arg(QFileInfo(copy).fileName(), QFileInfo(now->path).fileName(),
                      raised->isEmpty()
                          ? QString()
                          : QStringLiteral("；") + raised->join(QStringLiteral("；"))));
    if (!tx.commit())
        return WriteResult::failure(
            WriteResult::Unreachable,
            QStringLiteral("已恢复，但无法续编收据编号：请不要打印，重新启动程序后再恢复一次"),
            tx.errorString());
    return WriteResult::success();
}

void OfficeSession::onSavedElsewhere(const QString &className, const QString &savedAt)
{
    RosterDocument *doc = document(className);
    if (!doc)
        return;
    if (doc->isModified()) {
        // The clerk's edits are not thrown away: the tab says so instead.
        const QString note =
            QStringLiteral("另一台电脑于 %1 保存了班级“%2”；本机的更改尚未保存，保存时会被拒绝")
                .arg(savedAt, className);
        doc->setSavedElsewhere(note);
        emit classSavedElsewhere(className, note);
        return;
    }
    // Children stored before identities were kept get theirs as they are read.
    const auto permit = m_access->permitOwnWrite();
    const auto rows = RosterStore(*m_database).readStudents(className);
    if (!rows)
        return;
    doc->load(*rows, Clock::now(), receiptedChildren(Clock::now()));
    emit classReloaded(className, savedAt);
}

void OfficeSession::onClassListChanged()
{
    const auto list = RosterStore(*m_database).readClassList();
    if (!list)
        return;
    QStringList added;
    for (const QString &name : list->names) {
        if (m_classes.contains(name))
            continue;
        m_classes << name;
        RosterDocument *doc = document(name);
        if (!doc) {
            doc = createDocument(name);
            const auto permit = m_access->permitOwnWrite();
            if (const auto rows = RosterStore(*m_database).readStudents(name))
                doc->load(*rows, Clock::now(), receiptedChildren(Clock::now()));
        }
        added << name;
        emit classAdded(name, doc);
    }
    if (!added.isEmpty())
        emit classesAddedElsewhere(added);
}
