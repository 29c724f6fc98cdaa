#include "statementstore.h"

#include "auditlog.h"
#include "clock.h"
#include "database.h"
#include "journal.h"
#include "ledger.h"
#include "writetransaction.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

namespace
{
const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QPair<QString, QString> span(const QString &month)
{
    const QDate first =
        QDate::fromString(month + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"));
    return {first.toString(QStringLiteral("yyyy-MM-dd")),
            first.addMonths(1).toString(QStringLiteral("yyyy-MM-dd"))};
}
} // namespace

std::optional<StatementStore::Month> StatementStore::read(Statements::Source source,
                                                          const QString &month)
{
    Month out;
    const auto [from, to] = span(month);
    QSqlQuery q(m_db.connection());
    q.prepare(QStringLiteral("SELECT id, row_key, at, amount_fen, fee_fen, refund, number, "
                             "merchant_number, remark FROM statement_row WHERE source = ? AND at "
                             ">= ? AND at < ? ORDER BY at, id"));
    q.addBindValue(Statements::sourceText(source));
    q.addBindValue(from);
    q.addBindValue(to);
    if (!q.exec()) {
        m_error = q.lastError().text();
        return std::nullopt;
    }
    QSet<qint64> rowIds;
    while (q.next()) {
        StoredRow r;
        r.id = q.value(0).toLongLong();
        r.row.at = QDateTime::fromString(q.value(2).toString(), timeFormat);
        r.row.fen = q.value(3).toLongLong();
        r.row.fee = q.value(4).toLongLong();
        r.row.refund = q.value(5).toInt() != 0;
        r.row.number = q.value(6).toString();
        r.row.merchantNumber = q.value(7).toString();
        r.row.remark = q.value(8).toString();
        rowIds << r.id;
        out.rows << r;
    }
    // The books' payments and refunds of the month in the source's ways,
    // less those voided.
    const QStringList methods = Statements::methodsOf(source);
    q.prepare(QStringLiteral(
        "SELECT e.id, e.child_id, e.child_name, e.class_name, e.method, e.reference, "
        "e.receipt_serial, e.recorded_at, e.amount_fen, e.kind FROM ledger_entry e WHERE e.kind "
        "IN (?, ?) AND e.recorded_at >= ? AND e.recorded_at < ? AND e.method IN (?, ?) AND NOT "
        "EXISTS (SELECT 1 FROM ledger_entry v WHERE v.kind = ? AND v.corrects = e.id) ORDER BY "
        "e.id"));
    q.addBindValue(LedgerEntry::kindText(LedgerEntry::Payment));
    q.addBindValue(LedgerEntry::kindText(LedgerEntry::Refund));
    q.addBindValue(from);
    q.addBindValue(to);
    q.addBindValue(methods.value(0));
    q.addBindValue(methods.value(1, methods.value(0)));
    q.addBindValue(LedgerEntry::kindText(LedgerEntry::Void));
    if (!q.exec()) {
        m_error = q.lastError().text();
        return std::nullopt;
    }
    while (q.next()) {
        Statements::Payment p;
        p.entryId = q.value(0).toLongLong();
        p.childId = q.value(1).toString();
        p.childName = q.value(2).toString();
        p.className = q.value(3).toString();
        p.method = q.value(4).toString();
        p.reference = q.value(5).toString();
        p.receiptSerial = q.value(6).toString();
        p.at = QDateTime::fromString(q.value(7).toString(), timeFormat);
        p.fen = qAbs(q.value(8).toLongLong());
        p.refund = q.value(9).toString() == LedgerEntry::kindText(LedgerEntry::Refund);
        out.payments << p;
    }
    // Standing links: not taken back by a later one.
    q.prepare(QStringLiteral("SELECT l.id, l.row_id, l.entry_id, l.how FROM statement_link l "
                             "WHERE l.entry_id <> 0 AND NOT EXISTS (SELECT 1 FROM statement_link c "
                             "WHERE c.corrects = l.id) ORDER BY l.id"));
    if (!q.exec()) {
        m_error = q.lastError().text();
        return std::nullopt;
    }
    while (q.next())
        if (rowIds.contains(q.value(1).toLongLong()))
            out.links << Link{q.value(0).toLongLong(), q.value(1).toLongLong(),
                              q.value(2).toLongLong(), q.value(3).toString()};
    return out;
}

std::optional<StatementStore::Month> StatementStore::month(Statements::Source source,
                                                           const QString &month)
{
    m_error.clear();
    return read(source, month);
}

WriteResult StatementStore::importRows(Statements::Source source,
                                       const QVector<Statements::Row> &rows,
                                       const QString &fileName, const QString &month,
                                       ImportReport *report)
{
    if (WriteResult w = m_db.writable(); !w)
        return w;
    WriteTransaction tx(m_db);
    const auto failed = [](const QString &detail) {
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("对账单没有导入"),
                                    detail);
    };
    if (!tx.isActive())
        return failed(tx.errorString());
    ImportReport r;
    const QString now = Clock::now().toString(timeFormat);
    QSqlQuery q(m_db.connection());
    q.prepare(QStringLiteral(
        "INSERT INTO statement_row (source, row_key, at, amount_fen, fee_fen, refund, number, "
        "merchant_number, remark, file_name, imported_at, clerk) VALUES (?, ?, ?, ?, ?, ?, ?, ?, "
        "?, ?, ?, ?) ON CONFLICT (source, row_key) DO NOTHING"));
    for (const Statements::Row &row : rows) {
        q.bindValue(0, Statements::sourceText(source));
        q.bindValue(1, row.key());
        q.bindValue(2, row.at.toString(timeFormat));
        q.bindValue(3, row.fen);
        q.bindValue(4, row.fee);
        q.bindValue(5, row.refund ? 1 : 0);
        q.bindValue(6, row.number);
        q.bindValue(7, row.merchantNumber);
        q.bindValue(8, row.remark);
        q.bindValue(9, fileName);
        q.bindValue(10, now);
        q.bindValue(11, m_db.actorClerk());
        if (!q.exec())
            return failed(q.lastError().text());
        if (q.numRowsAffected() > 0)
            ++r.added;
        else
            ++r.again;
    }
    // What the database holds now, inside this write.
    const auto held = read(source, month);
    if (!held)
        return failed(m_error);
    QSet<qint64> linkedRows, linkedEntries;
    for (const Link &l : held->links) {
        linkedRows << l.rowId;
        linkedEntries << l.entryId;
    }
    QVector<Statements::Row> open;
    QVector<qint64> openIds;
    for (const StoredRow &s : held->rows)
        if (!linkedRows.contains(s.id)) {
            open << s.row;
            openIds << s.id;
        }
    QVector<Statements::Payment> unpaired;
    for (const Statements::Payment &p : held->payments)
        if (!linkedEntries.contains(p.entryId))
            unpaired << p;
    const Statements::Matching m = Statements::match(source, open, unpaired);
    q.prepare(QStringLiteral("INSERT INTO statement_link (row_id, entry_id, how, clerk, at) "
                             "VALUES (?, ?, ?, ?, ?)"));
    for (const Statements::Match &x : m.matched) {
        q.bindValue(0, openIds.at(x.row));
        q.bindValue(1, x.entryId);
        q.bindValue(2, Statements::howText(x.how));
        q.bindValue(3, m_db.actorClerk());
        q.bindValue(4, now);
        if (!q.exec())
            return failed(q.lastError().text());
        ++r.linked;
    }
    if (fileName.isEmpty())
        tx.audit(AuditLog::reconciled(), QStringLiteral("%1对账（%2）重新对账：对上 %3 笔")
                                             .arg(Statements::sourceText(source), month)
                                             .arg(r.linked));
    else
        tx.audit(AuditLog::reconciled(),
                 QStringLiteral("%1对账单 %2（%3）：新增 %4 行，已导入过 %5 行，对上 %6 笔")
                     .arg(Statements::sourceText(source), fileName, month)
                     .arg(r.added)
                     .arg(r.again)
                     .arg(r.linked));
    if (!tx.commit())
        return failed(tx.errorString());
    if (report)
        *report = r;
    return WriteResult::success();
}
