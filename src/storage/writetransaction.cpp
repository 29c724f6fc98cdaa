#include "writetransaction.h"

#include "auditlog.h"
#include "database.h"
#include "dbconfig.h"
#include "ledgerstore.h"

#include <QSqlDatabase>

WriteTransaction::WriteTransaction(Database &db, Lock lock) : m_db(db)
{
    QSqlError begun;
    if (!m_db.connection().isOpen() || !m_db.beginWrite(&begun)) {
        m_error = begun.text().isEmpty() ? m_db.connection().lastError().text() : begun.text();
        return;
    }
    m_active = true;
    if (lock == Ledger && !LedgerStore::lock(m_db, &m_error)) {
        rollback();
        return;
    }
    // Whatever this write adds to the ledger adds to the balances in the
    // same transaction.
    if (m_db.config().isSqlite()) {
        if (const auto last = LedgerStore::lastEntryId(m_db, &m_error))
            m_ledgerBefore = *last;
        else
            rollback();
    }
}

WriteTransaction::~WriteTransaction()
{
    rollback();
}

void WriteTransaction::audit(const QString &kind, const QString &what)
{
    m_lines.append({kind, what});
}

bool WriteTransaction::commit()
{
    if (!m_active)
        return false;
    if (m_lines.isEmpty()) {
        // A change nobody can find in the audit log is not written at all.
        m_error = QStringLiteral("这项更改没有操作记录，没有写入");
        rollback();
        return false;
    }
    if (m_db.checksRequired() && !m_db.checkHeld()) {
        m_error = QStringLiteral("这项更改没有经过权限检查，没有写入");
        rollback();
        return false;
    }
    if (m_ledgerBefore >= 0 && !LedgerStore::addBalances(m_db, m_ledgerBefore, &m_error)) {
        rollback();
        return false;
    }
    for (const auto &line : std::as_const(m_lines))
        if (!AuditLog::add(m_db, line.first, line.second, &m_error)) {
            rollback();
            return false;
        }
    if (!m_db.connection().commit()) {
        m_error = m_db.connection().lastError().text();
        rollback();
        return false;
    }
    m_active = false;
    m_db.committed();
    return true;
}

void WriteTransaction::rollback()
{
    if (!m_active)
        return;
    m_active = false;
    m_db.connection().rollback();
}
