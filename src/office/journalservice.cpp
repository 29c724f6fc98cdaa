#include "journalservice.h"

#include "access.h"
#include "clock.h"
#include "database.h"
#include "journalstore.h"
#include "keptcopystore.h"
#include "ledgerstore.h"
#include "pendingjournal.h"
#include "rostersync.h"

#include <algorithm>

JournalService::JournalService(Database &database, const DbConfig &config, Access &access)
    : m_database(database), m_config(config), m_access(access),
      m_pending(std::make_unique<PendingJournal>(config))
{
}

JournalService::~JournalService() = default;

QVector<JournalEntry> JournalService::waiting() const
{
    return m_pending->read();
}

bool JournalService::clearWaiting()
{
    return m_pending->replace({});
}

WriteResult JournalService::recordReceipts(QVector<JournalEntry> &entries)
{
    if (entries.isEmpty())
        return WriteResult::success();
    const auto permit = m_access.permit(Roles::Print);
    if (!permit)
        return permit.result();
    // A copy kept while the server was away has no journal and no accounts
    // of the office: its receipts wait in it, and its upload gives them the
    // server's serials and books them, as they were printed here.
    if (RosterSync::isKeptCopy(m_config)) {
        QStringList texts;
        for (JournalEntry &e : entries) {
            e.decide = false;
            e.accountRead = false;
            e.serial.clear();
            texts << PendingJournal::toText(e);
        }
        const WriteResult kept = KeptCopyStore(m_database).addReceipts(texts);
        // Paper the copy cannot remember would never reach the books.
        if (!kept)
            return WriteResult::failure(
                WriteResult::Refused,
                QStringLiteral("收据无法记入本机文件（%1），没有打印").arg(kept.detail));
        return kept;
    }
    WriteResult result =
        m_database.isOpen()
            ? JournalStore(m_database).record(entries)
            : WriteResult::failure(WriteResult::Unreachable, QStringLiteral("数据库没有打开"),
                                   m_database.errorString());
    // Refused (a closed month, an account changed since the clerk was
    // asked): nothing prints, nothing waits.
    if (result || result.kind == WriteResult::Refused)
        return result;
    // Kept on disk, never only in memory: written at the next open, save
    // or close, as it was decided here and printed.
    for (JournalEntry &e : entries)
        e.decide = false;
    if (!m_pending->add(entries))
        result.detail += QStringLiteral("\n") + m_pending->errorString();
    return result;
}

WriteResult JournalService::receiptsNotPrinted(const QVector<JournalEntry> &entries,
                                               const QString &reason)
{
    // Paper that did not come out is the printing user's to say.
    const auto permit = m_access.permit(Roles::Print);
    if (!permit)
        return permit.result();
    QStringList serials;
    QVector<JournalEntry> unnumbered;
    for (const JournalEntry &e : entries) {
        if (e.serial.isEmpty())
            unnumbered << e;
        else
            serials << e.serial;
    }
    if (!unnumbered.isEmpty() && RosterSync::isKeptCopy(m_config)) {
        // Waiting in the copy for its upload: taken back there.
        QStringList texts;
        for (const JournalEntry &e : std::as_const(unnumbered))
            texts << PendingJournal::toText(e);
        if (const WriteResult r = KeptCopyStore(m_database).withdrawReceipts(texts); !r)
            return r;
    } else if (!unnumbered.isEmpty()) {
        // Still on disk only: nothing to mark, they are simply not receipts.
        auto same = [](const JournalEntry &a, const JournalEntry &b) {
            return a.printedAt == b.printedAt && a.className == b.className && a.name == b.name &&
                   a.total == b.total;
        };
        QVector<JournalEntry> keep;
        for (const JournalEntry &w : m_pending->read())
            if (std::none_of(unnumbered.cbegin(), unnumbered.cend(),
                             [&](const JournalEntry &e) { return same(e, w); }))
                keep << w;
        m_pending->replace(keep);
    }
    if (serials.isEmpty())
        return WriteResult::success();
    return JournalStore(m_database).markUnprinted(serials, reason, Clock::now());
}

void JournalService::printingReceipts(const QVector<JournalEntry> &entries)
{
    m_pending->printing(entries);
}

void JournalService::receiptsPrinted()
{
    m_pending->printed();
}

QVector<JournalEntry> JournalService::interruptedPrints()
{
    m_pending->adoptOrphans();
    return m_pending->interrupted();
}

WriteResult JournalService::answerInterruptedPrints(const QVector<JournalEntry> &entries,
                                                    bool paperCameOut)
{
    const auto permit = m_access.permit(Roles::Print);
    if (!permit)
        return permit.result();
    if (!paperCameOut) {
        const WriteResult r =
            receiptsNotPrinted(entries, QStringLiteral("打印时程序中断，经办人确认没有打印出来"));
        if (!r)
            return r;
    }
    m_pending->forgetInterrupted();
    return WriteResult::success();
}

int JournalService::flushPendingJournal(WriteResult *failure)
{
    // The waiting receipts of windows that ended without writing them.
    m_pending->adoptOrphans();
    QVector<JournalEntry> waiting = m_pending->read();
    if (waiting.isEmpty())
        return 0;
    if (!m_database.isOpen()) {
        if (failure)
            *failure =
                WriteResult::failure(WriteResult::Unreachable, QStringLiteral("数据库没有打开"),
                                     m_database.errorString());
        return int(waiting.size());
    }
    // Printed and paid for earlier, under the names they carry.
    const auto permit = m_access.permitOwnWrite();
    const WriteResult r = JournalStore(m_database).record(waiting);
    if (!r) {
        if (failure)
            *failure = r;
        return int(waiting.size());
    }
    if (!m_pending->replace({})) {
        // Written, but the file could not be emptied: better listed twice
        // than lost, and the clerk hears of it.
        if (failure)
            *failure =
                WriteResult::failure(WriteResult::File, QStringLiteral("待记收据文件无法清空"),
                                     m_pending->errorString());
    }
    return 0;
}

int JournalService::pendingJournalCount() const
{
    return int(m_pending->read().size());
}

std::optional<QVector<JournalEntry>> JournalService::journalMonth(const QString &month,
                                                                  QString *error)
{
    JournalStore store(m_database);
    auto entries = store.month(month);
    if (!entries && error)
        *error = store.errorString();
    return entries;
}

std::optional<QVector<LedgerEntry>> JournalService::monthRefunds(const QString &month,
                                                                 QString *error)
{
    LedgerStore store(m_database);
    auto refunds = store.refunds(month);
    if (!refunds && error)
        *error = store.errorString();
    return refunds;
}

std::optional<JournalEntry> JournalService::journalEntry(const QString &serial, QString *error)
{
    JournalStore store(m_database);
    auto entry = store.entry(serial);
    if (!entry && error)
        *error = store.errorString();
    return entry;
}
