#pragma once

#include "absence.h"
#include "access.h"
#include "accountservice.h"
#include "attendanceservice.h"
#include "auditservice.h"
#include "backup.h"
#include "backupservice.h"
#include "childrecord.h"
#include "dayreport.h"
#include "dbconfig.h"
#include "familyservice.h"
#include "journal.h"
#include "journalservice.h"
#include "ledger.h"
#include "monthreport.h"
#include "reconcileservice.h"
#include "reductionservice.h"
#include "reportservice.h"
#include "rosterdocument.h"
#include "stayservice.h"
#include "userservice.h"
#include "writeresult.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>

class Database;
class OfficeSettings;
class PendingJournal;
class ReceiptPlan;
class RosterSync;

// The fee office's work without any window: the connection to the
// database, one document per class, the class list, the fee settings,
// saving and hearing of other PCs' saves, and the receipt journal. Windows
// are views of it; none of them holds the connection.
class OfficeSession : public QObject
{
    Q_OBJECT
public:
    explicit OfficeSession(const DbConfig &config, QObject *parent = nullptr);
    ~OfficeSession() override;

    // Opens the database and reads every class; false (openError()) when it
    // cannot be opened or read. The settings are read first.
    bool open();
    QString openError() const { return m_openError; }
    // Whether the rosters were read: a database that could not be read is
    // never written (a save would replace what nobody saw).
    bool isReadable() const { return m_readable; }
    // Whether the database file is marked read-only.
    bool isReadOnly() const;
    QString readOnlyReason() const;
    // Why nothing can be saved into these tables, or empty.
    QString schemaError() const;
    const DbConfig &config() const { return m_config; }
    bool isKeptCopy() const;

    OfficeSettings &settings() { return *m_settings; }
    // Who is signed in and what they may do; signing in and the users.
    Access &access() { return *m_access; }
    const Access &access() const { return *m_access; }
    UserService &users() { return *m_users; }
    // The connection, for tools and tests that look beneath the session.
    Database &database() { return *m_database; }

    // The class list as the class table holds it (a name may be listed
    // twice), and the one document of each class.
    const QStringList &classes() const { return m_classes; }
    RosterDocument *document(const QString &className) const;
    // Every document once, in class-list order.
    QList<RosterDocument *> documents() const;
    bool hasUnsavedChanges() const;
    // Why children's fees cannot be computed (a cell, list entry or the
    // discount that would count as 0), over every roster.
    QStringList uncomputable() const;

    // Saves every class whose roster changed (and the classes children moved
    // to or from) in one transaction; a dropped connection is opened again
    // and the save tried once more. Children moved to another class then
    // join that class's roster.
    struct SavePlan {
        QStringList classes;
        QVector<ChildRecord> rows;
    };
    SavePlan plan() const;
    // The rows a save stores, in the order it stores them: each class's own
    // children, then the children moved to another class.
    static void forEachStored(const QList<RosterDocument *> &docs, const QSet<QString> &changed,
                              const std::function<void(RosterDocument *, int)> &row);
    // How many children were saved in savedRows.
    WriteResult save(int *savedRows = nullptr);

    // Adds a class to the class list and stores the list. Children already
    // stored under the name come back with it; a name already listed gets
    // a second entry but no second roster.
    // The name trimmed; refused (Refused) when it is empty, too long, holds a
    // path separator or an invisible character, or is taken.
    WriteResult addClass(const QString &name);

    // Reads everything again: the documents are replaced (the old ones are
    // retired) and documentsReplaced() announces it.
    bool reload();

    // Children whose name is exactly the text, in class-list order.
    QVector<ChildRef> find(const QString &name) const;
    // Every child without a receipt this month: twelve texts and the class.
    QVector<QStringList> unprintedRows() const;

    // The receipt journal and the receipts waiting for it.
    JournalService &journal() { return *m_journal; }

    // The children's accounts: billing, what a print is, voids, refunds
    // and the month's closing.
    AccountService &accounts() { return *m_accounts; }
    // Rosters that cannot reach the database at closing time go to a
    // local file, with the revisions they were read at, the classes edited
    // here and the receipts still waiting for the journal (which move into
    // the copy); its path, or empty with error set.
    QString keepLocalCopy(WriteResult *error);
    // A kept copy's edited classes and waiting receipts into the database
    // named in the settings. A class saved there since the copy was made is
    // put to decide (its name and when it was saved there): true replaces
    // the server's, false leaves it and keeps this one in the copy.
    using Decide = std::function<bool(const QString &className, const QString &savedAt)>;
    // What it did, in report: the classes written, those left for the
    // server's version, the children and the receipts recorded.
    struct UploadReport {
        QStringList written, kept;
        int rows = 0;
        int receipts = 0;
    };
    WriteResult upload(const Decide &decide, UploadReport *report = nullptr);
    // The classes an upload would write.
    QStringList uploadClasses();
    DbConfig uploadTarget() const;

    // Backups (备份与恢复) and the audit log (操作记录): services of their own.
    BackupService &backups() { return *m_backups; }
    // The day's closing, the month's report, arrears and a child's account.
    ReportService &reports() { return *m_reports; }
    // The platforms' statements matched to the books (对账).
    ReconcileService &reconcile() { return *m_reconcile; }
    FamilyService &families() { return *m_families; }
    ReductionService &reductions() { return *m_reductions; }
    // Children's joining and leaving dates, and the part month's rule.
    StayService &stays() { return *m_stays; }
    // Absences and meal refunds (缺勤退费).
    AttendanceService &attendance() { return *m_attendance; }
    const AuditService &audit() const { return *m_audit; }
    // The automatic backup (see BackupService::automaticBackup).
    QString automaticBackup(bool atStart)
    {
        return m_backups->automaticBackup(atStart, m_readable);
    }
    // Replaces the embedded database with a checked copy, after taking a
    // copy of the current one (its path in before), then reads everything
    // again. Refused on a server, for a copy that does not check, or while
    // rosters hold unsaved changes.
    WriteResult restore(const QString &copy, QString *before = nullptr);

    // Looks for other PCs' saves now (the session also does so by itself).
    void checkForSaves();
    // What the session is about to do when the program closes.
    void close();

    // The rosters' 已收 and 尚欠 are read again when next shown.
    void refreshAccounts();
    // How many children of every roster still owe this month, in one
    // reading of the accounts; nullopt when they cannot be read.
    std::optional<int> childrenOwing() const;

signals:
    void documentsReplaced();
    // The accounts changed (a write of this PC): views of them read again.
    void accountsRefreshed();
    void classAdded(const QString &name, RosterDocument *document);
    // Another PC saved a class: reloaded (its roster was unchanged here) or
    // only noted (it holds unsaved changes).
    void classReloaded(const QString &className, const QString &savedAt);
    void classSavedElsewhere(const QString &className, const QString &note);
    void classesAddedElsewhere(const QStringList &names);

private:
    RosterDocument *createDocument(const QString &name);
    // The children whose receipt of the month is on record.
    QSet<QString> receiptedChildren(const QDateTime &now) const;
    // The class list and every class's children into new documents.
    bool readRosters();
    void applySettings();
    void onSavedElsewhere(const QString &className, const QString &savedAt);
    void onClassListChanged();
    WriteResult unread() const;
    // Stores the class list, taking in classes another PC added meanwhile.
    WriteResult storeClassList();
    WriteResult attemptSave(SavePlan &plan);

    DbConfig m_config;
    std::unique_ptr<Database> m_database;
    std::unique_ptr<Access> m_access;
    OfficeSettings *m_settings = nullptr;
    RosterSync *m_sync = nullptr;
    QStringList m_classes;
    bool m_accountsRefreshQueued = false;
    QList<RosterDocument *> m_documents;
    QHash<QString, RosterDocument *> m_byClass;
    QString m_openError;
    bool m_classListUnsaved = false;
    bool m_readable = false;
    std::unique_ptr<BackupService> m_backups;
    std::unique_ptr<AuditService> m_audit;
    std::unique_ptr<ReportService> m_reports;
    std::unique_ptr<ReconcileService> m_reconcile;
    std::unique_ptr<FamilyService> m_families;
    std::unique_ptr<ReductionService> m_reductions;
    std::unique_ptr<StayService> m_stays;
    std::unique_ptr<AttendanceService> m_attendance;
    std::unique_ptr<AccountService> m_accounts;
    std::unique_ptr<JournalService> m_journal;
    UserService *m_users = nullptr;
};
