#include "journalstore.h"

#include "staystore.h"

#include "auditlog.h"

#include "database.h"
#include "ledgerstore.h"
#include "pgdirect.h"
#include "sqlitedirect.h"
#include "writetransaction.h"

#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include <algorithm>
#include <limits>
#include <tuple>

namespace
{
// Room for a month of receipts at once. A hundred thousand of them take
// some 70 MB, most of whose time to read was the system handing out its
// pages one by one: on Linux the block asks for large pages.
void reserveLarge(QVector<JournalEntry> &entries, qsizetype count)
{
    entries.reserve(count);
#ifdef __linux__
    constexpr quintptr large = 2 * 1024 * 1024;
    const quintptr start = (quintptr(entries.data()) + large - 1) & ~(large - 1);
    const quintptr end = quintptr(entries.data() + entries.capacity()) & ~(large - 1);
    if (end > start)
        madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
#endif
}

const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString columns = QStringLiteral(
    "serial, year, number, printed_at, month, class_name, child_name, age, label1, amount1, "
    "label2, amount2, label3, amount3, label4, amount4, total_fen, clerk, printer, host, "
    "reprint_of");
// "yyyy-MM-dd HH:mm:ss" by hand: QDateTime::fromString with a format costs
// more than the rest of reading a row.
QDateTime parseTime(const QString &t)
{
    if (t.size() != 19)
        return QDateTime::fromString(t, timeFormat);
    auto n = [&](int at, int len) { return QStringView(t).mid(at, len).toInt(); };
    return QDateTime(QDate(n(0, 4), n(5, 2), n(8, 2)), QTime(n(11, 2), n(14, 2), n(17, 2)));
}

// A receipt from a row of the journal's columns followed by its month.
JournalEntry fromRow(const QSqlQuery &q)
{
    JournalEntry e;
    e.serial = q.value(0).toString();
    e.printedAt = parseTime(q.value(3).toString());
    e.className = q.value(5).toString();
    e.name = q.value(6).toString();
    e.age = q.value(7).toString();
    for (int l = 0; l < Receipt::FormLines; ++l) {
        if (!q.value(8 + 2 * l).isNull()) {
            e.labels[l] = q.value(8 + 2 * l).toString();
            e.amounts[l] = q.value(9 + 2 * l).toLongLong();
        }
    }
    e.total = q.value(16).toLongLong();
    e.clerk = q.value(17).toString();
    e.printer = q.value(18).toString();
    e.host = q.value(19).toString();
    e.reprintOf = q.value(20).toString();
    e.month = q.value(21).toString();
    return e;
}
} // namespace

JournalStore::JournalStore(Database &database) : m_database(database) {}

bool JournalStore::fail(const QString &what)
{
    m_error = QStringLiteral("收据记录：%1").arg(what);
    return false;
}

WriteResult JournalStore::record(QVector<JournalEntry> &entries)
{
    m_error.clear();
    if (entries.isEmpty())
        return WriteResult::success();
    auto failed = [&] {
        return WriteResult::failure(WriteResult::Unreachable,
                                    QStringLiteral("收据没有记入收据记录"), m_error);
    };
    WriteTransaction tx(m_database, WriteTransaction::Ledger);
    if (!tx.isActive()) {
        fail(tx.errorString());
        return failed();
    }
    QVector<JournalEntry> numbered = entries;
    // What each print is, decided from the accounts as they are now, with
    // the ledger locked: two PCs printing one child take turns, and the
    // second sees the first's payment.
    QString refusal;
    if (!decide(numbered, &refusal)) {
        if (!refusal.isEmpty())
            return WriteResult::failure(WriteResult::Refused, refusal);
        return failed();
    }
    // The receipt and the payment it stands for, in one transaction.
    QString ledgerError;
    if (!assignSerials(numbered) || !markReprints(numbered) || !insert(numbered) ||
        (!LedgerStore::addPayments(m_database, numbered, &ledgerError) && !fail(ledgerError))) {
        if (m_error.isEmpty())
            fail(m_database.connection().lastError().text());
        return failed();
    }
    QStringList said;
    qint64 money = 0;
    for (const JournalEntry &e : std::as_const(numbered)) {
        money += e.isReprint() ? 0 : qMax(e.total, e.paid);
        if (said.size() < 5)
            said << QStringLiteral("%1 %2 %3 元（%4）")
                        .arg(e.serial, e.name, Journal::yuan(e.total),
                             e.isReprint() ? QStringLiteral("副本") : Account::kindText(e.kind));
    }
    if (numbered.size() > said.size())
        said << QStringLiteral("等共 %1 张").arg(numbered.size());
    tx.audit(AuditLog::printed(), QStringLiteral("%1；收款 %2 元")
                                      .arg(said.join(QStringLiteral("、")), Journal::yuan(money)));
    if (!tx.commit()) {
        fail(tx.errorString());
        return failed();
    }
    entries = numbered;
    return WriteResult::success();
}

bool JournalStore::decide(QVector<JournalEntry> &entries, QString *refusal)
{
    QString error;
    if (!LedgerStore::lock(m_database, &error))
        return fail(error);
    // Who the children are, as the database holds it; a stored row printed
    // before its identity was stored gets it now.
    QVector<qint64> students;
    for (const JournalEntry &e : std::as_const(entries))
        if (e.studentId > 0 && !e.childId.isEmpty())
            students << e.studentId;
    const auto stored = LedgerStore::storedIdentities(m_database, students, &error);
    if (!stored)
        return fail(error);
    QHash<QString, std::optional<QString>> closings;
    QHash<QString, QStringList> byMonth;
    for (JournalEntry &e : entries) {
        e.reference = Journal::cleanText(e.reference);
        if (e.childId.isEmpty())
            continue;
        if (const auto it = stored->constFind(e.studentId); it != stored->cend()) {
            e.childId = *it;
        } else if (e.studentId > 0) {
            const auto id = LedgerStore::identityOf(m_database, e.studentId, e.childId, &error);
            if (!id)
                return fail(error);
            e.childId = *id;
        }
        if (e.decide)
            byMonth[e.belongsTo()] << e.childId;
    }
    QHash<QString, QHash<QString, Account::ChildMonth>> accounts;
    QHash<QString, QHash<QString, PartMonth::Terms>> terms;
    for (auto it = byMonth.cbegin(); it != byMonth.cend(); ++it) {
        const auto months = LedgerStore::childMonths(m_database, it.value(), it.key(), &error);
        if (!months)
            return fail(error);
        accounts.insert(it.key(), *months);
        const auto read = StayStore::terms(m_database, it.value(), it.key(), &error);
        if (!read)
            return fail(error);
        terms.insert(it.key(), *read);
    }
    for (JournalEntry &e : entries) {
        if (e.childId.isEmpty() || !e.decide)
            continue;
        const QString month = e.belongsTo();
        if (!closings.contains(month))
            closings.insert(month, LedgerStore::closing(m_database, month));
        const auto closed = closings.value(month);
        if (!closed)
            return fail(m_database.connection().lastError().text());
        if (!closed->isEmpty()) {
            *refusal =
                QStringLiteral("%1，不能再为“%2”收费：没有打印，也没有记录。").arg(*closed, e.name);
            return false;
        }
        const Account::ChildMonth *account = &accounts[month][e.childId];
        e.accountRead = true;
        e.chargedBefore = account->keyed();
        if (!e.full)
            return fail(QStringLiteral("“%1”的收据没有可以核对的收费").arg(e.name));
        // The reductions and the part month as the database holds them
        // now: recorded with the charges, and taken off the lines.
        const PartMonth::Terms childTerms = terms[month].value(e.childId);
        if (childTerms.absent) {
            *refusal = QStringLiteral("“%1”%2 不在园（见“插班退园”的日期），不能为这个月收费："
                                      "没有打印，也没有记录。")
                           .arg(e.name, month);
            return false;
        }
        const auto lines = PartMonth::adjustments(childTerms, e.bases);
        e.charges.removeIf(
            [](const auto &c) { return !Reductions::split(c.first).second.isEmpty(); });
        e.charges += lines;
        const Receipt net = Reductions::net(*e.full, lines);
        const Account::Decision d = Account::decide(*account, net, e.charges);
        // The clerk was shown (and asked for money by) what the account said
        // a moment ago: if another PC has printed the child since, the
        // answer is another one and nothing prints.
        if ((e.expected && *e.expected != d.kind) ||
            (e.expectedDue >= 0 && d.isPayment() && e.expectedDue != d.due)) {
            const QString was = e.expected ? Account::kindText(*e.expected) : QString();
            *refusal =
                QStringLiteral("“%1”的账目在打印前变了：刚才是%2（%3 元），现在是%4（%5 元）。"
                               "可能另一台电脑刚为这名儿童收了费。没有打印，也没有记录，"
                               "请重新打印。")
                    .arg(e.name, was, Journal::yuan(qMax<qint64>(e.expectedDue, 0)),
                         Account::kindText(d.kind), Journal::yuan(d.due));
            return false;
        }
        e.kind = d.kind;
        if (!d.isPayment()) {
            // A copy prints the receipt it copies and takes no money.
            const auto copied = entry(d.copyOf);
            if (!copied)
                return false;
            e.setLines(copied->receipt());
            e.name = copied->name;
            e.age = copied->age;
            e.month = copied->month;
            e.reprintOf = d.copyOf;
            e.secondReprintOf = copied->secondForm;
            e.paid = 0;
            e.received = 0;
            continue;
        }
        if (e.received > 0 && d.due > 0 && e.received > 10 * d.due) {
            *refusal = QStringLiteral("实收 %1 元超过应收 %2 元的十倍，不像是真的收到的钱："
                                      "请核对金额。没有打印，也没有记录。")
                           .arg(Journal::yuan(e.received), Journal::yuan(d.due));
            return false;
        }
        const bool part = e.received > 0 && e.received < d.due;
        e.setLines(part ? Account::partOf(d, net, e.received) : d.receipt);
        e.paid = e.received > d.due ? e.received : 0;
        e.reprintOf.clear();
        e.child = JournalEntry::Child::PaysRest;
    }
    return true;
}

bool JournalStore::assignSerials(QVector<JournalEntry> &entries)
{
    QSqlDatabase db = m_database.connection();
    QHash<int, int> perYear;
    for (const JournalEntry &e : entries)
        perYear[e.printedAt.date().year()] += e.hasSecondForm() ? 2 : 1;
    QHash<int, qint64> next;
    for (auto it = perYear.cbegin(); it != perYear.cend(); ++it) {
        // The counter row is locked by the update until the commit: two PCs
        // printing at once take turns, and a rolled-back print leaves no gap.
        QSqlQuery q(db);
        q.prepare(QStringLiteral(
            "INSERT INTO receipt_serial (year, last) VALUES (?, 0) ON CONFLICT DO NOTHING"));
        q.addBindValue(it.key());
        if (!q.exec())
            return fail(q.lastError().text());
        q.prepare(QStringLiteral("UPDATE receipt_serial SET last = last + ? WHERE year = ?"));
        q.addBindValue(it.value());
        q.addBindValue(it.key());
        if (!q.exec())
            return fail(q.lastError().text());
        q.prepare(QStringLiteral("SELECT last FROM receipt_serial WHERE year = ?"));
        q.addBindValue(it.key());
        if (!q.exec() || !q.next())
            return fail(q.lastError().text());
        next.insert(it.key(), q.value(0).toLongLong() - it.value() + 1);
    }
    for (JournalEntry &e : entries) {
        const int year = e.printedAt.date().year();
        e.serial = Journal::serial(year, next[year]++);
        e.secondForm = e.hasSecondForm() ? Journal::serial(year, next[year]++) : QString();
    }
    return true;
}

bool JournalStore::markReprints(QVector<JournalEntry> &entries)
{
    // The first receipt of each child of the batch's classes and months.
    QHash<QString, QString> first;
    QSet<QString> looked;
    auto key = [](const QString &month, const QString &cls, const QString &name) {
        return month + QChar(0x1f) + cls + QChar(0x1f) + name;
    };
    for (JournalEntry &e : entries) {
        // A copy from the journal names the receipt it copies; a print the
        // account decided is what it decided.
        if (e.isReprint() || e.child == JournalEntry::Child::PaysRest)
            continue;
        const QString month = e.belongsTo();
        const QString where = month + QChar(0x1f) + e.className;
        if (!looked.contains(where)) {
            looked.insert(where);
            QSqlQuery q(m_database.connection());
            q.setForwardOnly(true);
            q.prepare(QStringLiteral(
                "SELECT child_name, serial FROM receipt_journal WHERE month = ? AND class_name = ? "
                "AND reprint_of IS NULL AND serial NOT IN (SELECT serial FROM receipt_unprinted) "
                "AND serial NOT IN (SELECT serial FROM receipt_void) "
                "ORDER BY year, number"));
            q.addBindValue(month);
            q.addBindValue(e.className);
            if (!q.exec())
                return fail(q.lastError().text());
            while (q.next()) {
                const QString k = key(month, e.className, q.value(0).toString());
                if (!first.contains(k))
                    first.insert(k, q.value(1).toString());
            }
        }
        const QString k = key(month, e.className, e.name);
        // A child whose row has no receipt yet while another child shares
        // its name gets a first receipt of its own, whatever the name finds.
        // One paying the rest of a part payment is no copy either.
        const bool mayBeReprint = e.child != JournalEntry::Child::FirstOfShared &&
                                  e.child != JournalEntry::Child::PaysRest;
        if (mayBeReprint && first.contains(k))
            e.reprintOf = first.value(k);
        else if (!first.contains(k))
            first.insert(k, e.serial);
    }
    return true;
}

bool JournalStore::insert(const QVector<JournalEntry> &recorded)
{
    // A receipt of more lines than a form holds is two rows: the first form
    // and the second, each with its lines and their sum.
    QVector<JournalEntry> entries;
    entries.reserve(recorded.size());
    QVector<QPair<QString, QString>> seconds;
    for (const JournalEntry &e : recorded) {
        if (!e.hasSecondForm()) {
            entries << e;
            continue;
        }
        JournalEntry first = e;
        JournalEntry second = e;
        first.total = 0;
        second.labels = {};
        second.amounts = {};
        second.total = 0;
        for (int l = 0; l < Receipt::Slots; ++l) {
            if (l < Receipt::FormLines) {
                first.total += e.amounts[l];
                continue;
            }
            first.labels[l] = QString();
            first.amounts[l] = 0;
            second.labels[l - Receipt::FormLines] = e.labels[l];
            second.amounts[l - Receipt::FormLines] = e.amounts[l];
            second.total += e.amounts[l];
        }
        second.serial = e.secondForm;
        if (e.isReprint())
            second.reprintOf = e.secondReprintOf.isEmpty() ? e.reprintOf : e.secondReprintOf;
        entries << first << second;
        seconds.append({second.serial, first.serial});
    }
    if (!seconds.isEmpty()) {
        QSqlQuery link(m_database.connection());
        if (!link.prepare(QStringLiteral(
                "INSERT INTO receipt_second_form (serial, first_serial) VALUES (?, ?)")))
            return fail(link.lastError().text());
        for (const auto &s : std::as_const(seconds)) {
            link.bindValue(0, s.first);
            link.bindValue(1, s.second);
            if (!link.exec())
                return fail(link.lastError().text());
        }
    }
    {
        // Whose receipt it is, in the same transaction: the printed mark.
        QSqlQuery own(m_database.connection());
        if (!own.prepare(QStringLiteral(
                "INSERT INTO receipt_child (serial, child_id, month) VALUES (?, ?, ?)")))
            return fail(own.lastError().text());
        for (const JournalEntry &e : recorded) {
            if (e.childId.isEmpty())
                continue;
            own.bindValue(0, e.serial);
            own.bindValue(1, e.childId);
            own.bindValue(2, e.belongsTo());
            if (!own.exec())
                return fail(own.lastError().text());
        }
    }
    // What a receipt's lines were reduced by, said again on its copies.
    std::optional<QSqlQuery> reduced;
    for (const JournalEntry &e : recorded) {
        if (e.reduced <= 0 || e.isReprint())
            continue;
        if (!reduced) {
            reduced.emplace(m_database.connection());
            if (!reduced->prepare(QStringLiteral(
                    "INSERT INTO receipt_reduction (serial, reduced_fen) VALUES (?, ?)")))
                return fail(reduced->lastError().text());
        }
        reduced->bindValue(0, e.serial);
        reduced->bindValue(1, e.reduced);
        if (!reduced->exec())
            return fail(reduced->lastError().text());
    }
    // A print command's receipts go in a few statements, not one each: on
    // a server every statement is a round trip. SQLite binds a long
    // statement's values ever more slowly: a few hundred a statement.
    constexpr int columnCount = 21;
    const int perStatement = m_database.config().isPostgres() ? 200 : 15;
    const QString row = QStringLiteral("(%1)").arg(
        QStringList(columnCount, QStringLiteral("?")).join(QLatin1Char(',')));
    QSqlQuery q(m_database.connection());
    auto text = [](const QString &s) {
        return s.isNull() ? QVariant(QString(QLatin1String(""))) : QVariant(s);
    };
    int prepared = 0;
    for (int start = 0; start < entries.size(); start += perStatement) {
        const int count = int(qMin<qsizetype>(perStatement, entries.size() - start));
        if (count != prepared) {
            if (!q.prepare(QStringLiteral("INSERT INTO receipt_journal (%1) VALUES %2")
                               .arg(columns, QStringList(count, row).join(QLatin1Char(',')))))
                return fail(q.lastError().text());
            prepared = count;
        }
        int i = 0;
        for (int r = start; r < start + count; ++r) {
            const JournalEntry &e = entries.at(r);
            const int dash = int(e.serial.indexOf(QLatin1Char('-')));
            q.bindValue(i++, e.serial);
            q.bindValue(i++, e.printedAt.date().year());
            q.bindValue(i++, e.serial.mid(dash + 1).toLongLong());
            q.bindValue(i++, e.printedAt.toString(timeFormat));
            q.bindValue(i++, e.belongsTo());
            q.bindValue(i++, text(e.className));
            q.bindValue(i++, text(e.name));
            q.bindValue(i++, text(e.age));
            for (int l = 0; l < Receipt::FormLines; ++l) {
                q.bindValue(i++, e.labels[l].isNull() ? QVariant() : QVariant(e.labels[l]));
                q.bindValue(i++, e.labels[l].isNull() ? QVariant() : QVariant(e.amounts[l]));
            }
            q.bindValue(i++, e.total);
            q.bindValue(i++, text(e.clerk));
            q.bindValue(i++, text(e.printer));
            q.bindValue(i++, text(e.host));
            q.bindValue(i++, e.reprintOf.isEmpty() ? QVariant() : QVariant(e.reprintOf));
        }
        if (!q.exec())
            return fail(q.lastError().text());
    }
    return true;
}

std::optional<QSet<QString>> JournalStore::childrenWithReceipts(const QString &month)
{
    // A receipt counts unless its print failed or it was taken back; a
    // payment booked before receipts named their child counts the same.
    m_error.clear();
    QSqlQuery q(m_database.connection());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral(
        "SELECT c.child_id FROM receipt_child c WHERE c.month = ? AND NOT EXISTS (SELECT 1 "
        "FROM receipt_unprinted u WHERE u.serial = c.serial) AND NOT EXISTS (SELECT 1 FROM "
        "receipt_void v WHERE v.serial = c.serial) UNION SELECT p.child_id FROM ledger_entry p "
        "WHERE p.kind = '实收' AND p.month = ? AND p.receipt_serial IS NOT NULL AND NOT EXISTS "
        "(SELECT 1 FROM ledger_entry v WHERE v.kind = '作废' AND v.corrects = p.id) AND NOT "
        "EXISTS (SELECT 1 FROM receipt_unprinted u WHERE u.serial = p.receipt_serial)"));
    q.addBindValue(month);
    q.addBindValue(month);
    if (!q.exec()) {
        fail(q.lastError().text());
        return std::nullopt;
    }
    QSet<QString> ids;
    while (q.next())
        ids.insert(q.value(0).toString());
    return ids;
}

std::optional<QVector<JournalEntry>> JournalStore::month(const QString &month)
{
    // What the journal window shows; the fee lines are read for one receipt
    // when it is printed again (entry()).
    m_error.clear();
    QVector<JournalEntry> entries;
    pg_conn *conn = PgDirect::handle(m_database.connection());
    if (!conn) {
        // A month may hold a hundred thousand receipts: room for them at once
        // (counted first: one connection reads one result at a time).
        QSqlQuery count(m_database.connection());
        count.prepare(QStringLiteral("SELECT count(*) FROM receipt_journal WHERE month = ?"));
        count.addBindValue(month);
        if (count.exec() && count.next())
            reserveLarge(entries, count.value(0).toLongLong());
    }
    // The receipt's first payment comes first among its rows; a later one
    // repeats the receipt and is skipped. A join, not a lookup a row: the
    // server would run that a hundred thousand times.
    const QString select = QStringLiteral(
        "SELECT j.serial, j.printed_at, j.class_name, j.child_name, j.total_fen, j.clerk, "
        "j.reprint_of, u.serial, v.serial, v.reason, p.method || '\t' || COALESCE(p.reference, "
        "''), j.year, j.number, p.id FROM receipt_journal j LEFT JOIN receipt_unprinted u ON "
        "u.serial = j.serial LEFT JOIN receipt_void v ON v.serial = j.serial LEFT JOIN "
        "ledger_entry p ON p.kind = '实收' AND p.receipt_serial = j.serial WHERE j.month = ?");
    const QString sql = select + QStringLiteral(" ORDER BY j.year, j.number, p.id");
    // How the receipt was paid: the way and number of its payment.
    auto setPaid = [](JournalEntry &e, const QString &paid) {
        const qsizetype tab = paid.indexOf(QLatin1Char('\t'));
        e.method = tab < 0 ? paid : paid.left(tab);
        e.reference = tab < 0 ? QString() : paid.mid(tab + 1);
    };
    if (sqlite3 *h = SqliteDirect::handle(m_database.connection())) {
        // Qt's cost per value was most of the time of a large month.
        SqliteDirect::SharedText className, clerk, reprintOf, paid;
        const auto failed = SqliteDirect::each(h, sql, {month}, [&](sqlite3_stmt *st) {
            if (!entries.isEmpty() && SqliteDirect::equals(st, 0, entries.constLast().serial))
                return;
            JournalEntry e;
            e.serial = SqliteDirect::text(st, 0);
            e.printedText = SqliteDirect::text(st, 1);
            e.className = className(st, 2);
            e.name = SqliteDirect::text(st, 3);
            e.total = SqliteDirect::integer(st, 4);
            e.clerk = clerk(st, 5);
            e.reprintOf = reprintOf(st, 6);
            e.unprinted = !SqliteDirect::isNull(st, 7);
            e.voided = !SqliteDirect::isNull(st, 8);
            if (e.voided)
                e.voidReason = SqliteDirect::text(st, 9);
            setPaid(e, paid(st, 10));
            entries.append(std::move(e));
        });
        if (failed) {
            fail(failed->databaseText());
            return std::nullopt;
        }
        return entries;
    }
    if (conn) {
        // Ordered here: the server sorted a large month on disk, several
        // times slower than sorting its keys in memory.
        struct Key {
            qint64 year, number, payment;
            int row;
        };
        QVector<Key> keys;
        QVector<JournalEntry> read;
        PgDirect::SharedText className, clerk, reprintOf, paid;
        const auto failed = PgDirect::each(
            conn, select, {month},
            [&](const PgDirect::Row &r) {
                keys.append({r.integer(11), r.integer(12),
                             r.isNull(13) ? std::numeric_limits<qint64>::max() : r.integer(13),
                             int(read.size())});
                JournalEntry e;
                e.serial = r.text(0);
                e.printedText = r.text(1);
                e.className = className(r, 2);
                e.name = r.text(3);
                e.total = r.integer(4);
                e.clerk = clerk(r, 5);
                e.reprintOf = reprintOf(r, 6);
                e.unprinted = !r.isNull(7);
                e.voided = !r.isNull(8);
                if (e.voided)
                    e.voidReason = r.text(9);
                setPaid(e, paid(r, 10));
                read.append(std::move(e));
            },
            [&](int rows) {
                keys.reserve(rows);
                read.reserve(rows);
            });
        if (failed) {
            fail(failed->databaseText());
            return std::nullopt;
        }
        std::sort(keys.begin(), keys.end(), [](const Key &a, const Key &b) {
            return std::tie(a.year, a.number, a.payment) < std::tie(b.year, b.number, b.payment);
        });
        reserveLarge(entries, keys.size());
        const Key *last = nullptr;
        for (const Key &k : std::as_const(keys)) {
            if (last && last->year == k.year && last->number == k.number)
                continue;
            last = &k;
            entries.append(std::move(read[k.row]));
        }
        return entries;
    }
    QSqlQuery q(m_database.connection());
    q.setForwardOnly(true);
    q.prepare(sql);
    q.addBindValue(month);
    if (!q.exec()) {
        fail(q.lastError().text());
        return std::nullopt;
    }
    while (q.next()) {
        if (!entries.isEmpty() && entries.constLast().serial == q.value(0).toString())
            continue;
        JournalEntry e;
        e.serial = q.value(0).toString();
        // Local times cost a time-zone lookup each: the text is enough here.
        e.printedText = q.value(1).toString();
        e.className = q.value(2).toString();
        e.name = q.value(3).toString();
        e.total = q.value(4).toLongLong();
        e.clerk = q.value(5).toString();
        e.reprintOf = q.value(6).toString();
        e.unprinted = !q.value(7).isNull();
        e.voided = !q.value(8).isNull();
        e.voidReason = q.value(9).toString();
        setPaid(e, q.value(10).toString());
        entries.append(std::move(e));
    }
    return entries;
}

std::optional<QVector<JournalEntry>> JournalStore::day(const QDate &day)
{
    return withLines(QStringLiteral("j.printed_at >= ? AND j.printed_at < ?"),
                     {day.toString(QStringLiteral("yyyy-MM-dd")),
                      day.addDays(1).toString(QStringLiteral("yyyy-MM-dd"))});
}

std::optional<QVector<JournalEntry>> JournalStore::monthWithLines(const QString &month)
{
    return withLines(QStringLiteral("j.month = ?"), {month});
}

std::optional<QVector<JournalEntry>> JournalStore::withLines(const QString &where,
                                                             const QVariantList &values)
{
    m_error.clear();
    QSqlQuery q(m_database.connection());
    q.setForwardOnly(true);
    // Every column of the journal's own: the marks' tables share some names.
    const QString cols = QStringLiteral("j.") +
                         QString(columns).replace(QStringLiteral(", "), QStringLiteral(", j."));
    q.prepare(
        QStringLiteral("SELECT %1, j.month, u.serial, v.serial, v.reason, f.first_serial FROM "
                       "receipt_journal j LEFT JOIN receipt_unprinted u ON u.serial = j.serial "
                       "LEFT JOIN receipt_void v ON v.serial = j.serial LEFT JOIN "
                       "receipt_second_form f ON f.serial = j.serial WHERE %2 ORDER BY j.year, "
                       "j.number")
            .arg(cols, where));
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec()) {
        fail(q.lastError().text());
        return std::nullopt;
    }
    QVector<JournalEntry> entries;
    while (q.next()) {
        JournalEntry e = fromRow(q);
        e.printedText = q.value(3).toString();
        e.unprinted = !q.value(22).isNull();
        e.voided = !q.value(23).isNull();
        e.voidReason = q.value(24).toString();
        e.firstForm = q.value(25).toString();
        entries.append(std::move(e));
    }
    return entries;
}

WriteResult JournalStore::markUnprinted(const QStringList &serials, const QString &reason,
                                        const QDateTime &at)
{
    m_error.clear();
    if (serials.isEmpty())
        return WriteResult::success();
    auto failed = [&](const QString &what) {
        fail(what);
        return WriteResult::failure(WriteResult::Unreachable,
                                    QStringLiteral("收据记录没有注明“未打印”"), m_error);
    };
    WriteTransaction tx(m_database, WriteTransaction::Ledger);
    if (!tx.isActive())
        return failed(tx.errorString());
    // A receipt's second form did not come out either.
    const auto all = withSecondForms(serials);
    if (!all)
        return failed(m_error);
    QSqlQuery q(m_database.connection());
    if (!q.prepare(QStringLiteral(
            "INSERT INTO receipt_unprinted (serial, noted_at, reason) VALUES (?, ?, ?)")))
        return failed(q.lastError().text());
    for (const QString &serial : *all) {
        q.bindValue(0, serial);
        q.bindValue(1, at.toString(timeFormat));
        q.bindValue(2, reason);
        if (!q.exec())
            return failed(q.lastError().text());
    }
    // No paper, no money: the payments go with it.
    QString ledgerError;
    if (!LedgerStore::voidPayments(m_database, serials, QStringLiteral("未打印：%1").arg(reason),
                                   QString(), at, &ledgerError))
        return failed(ledgerError);
    tx.audit(AuditLog::notPrinted(),
             QStringLiteral("%1：%2").arg(serials.join(QStringLiteral("、")), reason));
    if (!tx.commit())
        return failed(tx.errorString());
    return WriteResult::success();
}

WriteResult JournalStore::voidReceipt(const QString &asked, const QString &reason,
                                      const QString &clerk, const QString &host,
                                      const QDateTime &at, QStringList *voided)
{
    m_error.clear();
    // Two forms are one receipt, paid once: taken back together.
    const auto first = receiptOf(asked);
    if (!first)
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("收据没有作废"),
                                    m_error);
    const QString serial = *first;
    auto refused = [](const QString &text) {
        return WriteResult::failure(WriteResult::Refused, text);
    };
    if (Journal::cleanText(reason).isEmpty())
        return refused(QStringLiteral("作废收据必须填写原因"));
    QSqlDatabase db = m_database.connection();
    WriteTransaction tx(m_database, WriteTransaction::Ledger);
    if (!tx.isActive()) {
        fail(tx.errorString());
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("收据没有作废"),
                                    m_error);
    }
    auto failed = [&](const QString &what) {
        fail(what);
        tx.rollback();
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("收据没有作废"),
                                    m_error);
    };
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "SELECT j.reprint_of, v.serial, u.serial, j.month FROM receipt_journal j LEFT JOIN "
        "receipt_void v "
        "ON v.serial = j.serial LEFT JOIN receipt_unprinted u ON u.serial = j.serial WHERE "
        "j.serial = ?"));
    q.addBindValue(serial);
    if (!q.exec())
        return failed(q.lastError().text());
    QString refusal;
    if (!q.next())
        refusal = QStringLiteral("没有编号为 %1 的收据").arg(serial);
    else if (!q.value(1).isNull())
        refusal = QStringLiteral("收据 %1 已经作废过，不能再作废").arg(serial);
    else if (!q.value(2).isNull())
        refusal = QStringLiteral("收据 %1 没有打印出来，不用作废").arg(serial);
    else if (const auto closed = LedgerStore::closing(m_database, q.value(3).toString()); !closed)
        return failed(db.lastError().text());
    else if (!closed->isEmpty())
        refusal = QStringLiteral("收据 %1 属于已月结的月份（%2），不能作废；"
                                 "请在本月记一笔退款")
                      .arg(serial, *closed);
    if (!refusal.isEmpty()) {
        tx.rollback();
        return refused(refusal);
    }
    // An original takes its reprints with it: copies of a receipt taken back.
    QStringList serials{serial};
    if (q.value(0).isNull() || q.value(0).toString().isEmpty()) {
        QSqlQuery copies(db);
        copies.prepare(QStringLiteral("SELECT serial FROM receipt_journal WHERE reprint_of = ? AND "
                                      "serial NOT IN (SELECT serial FROM receipt_void)"));
        copies.addBindValue(serial);
        if (!copies.exec())
            return failed(copies.lastError().text());
        while (copies.next())
            serials << copies.value(0).toString();
    }
    const auto forms = withSecondForms(serials);
    if (!forms)
        return failed(m_error);
    serials = *forms;
    QSqlQuery ins(db);
    ins.prepare(QStringLiteral("INSERT INTO receipt_void (serial, reason, clerk, host, voided_at) "
                               "VALUES (?, ?, ?, ?, ?)"));
    for (const QString &s : serials) {
        ins.bindValue(0, s);
        ins.bindValue(1, Journal::cleanText(reason));
        ins.bindValue(2, clerk);
        ins.bindValue(3, host);
        ins.bindValue(4, at.toString(timeFormat));
        if (!ins.exec())
            return failed(ins.lastError().text());
    }
    QString ledgerError;
    if (!LedgerStore::voidPayments(m_database, {serial},
                                   QStringLiteral("作废：%1").arg(Journal::cleanText(reason)),
                                   clerk, at, &ledgerError))
        return failed(ledgerError);
    tx.audit(AuditLog::voided(),
             QStringLiteral("收据 %1：%2").arg(serial, Journal::cleanText(reason)));
    if (!tx.commit())
        return failed(tx.errorString());
    if (voided)
        *voided = serials;
    return WriteResult::success();
}

std::optional<QString> JournalStore::receiptOf(const QString &serial)
{
    QSqlQuery q(m_database.connection());
    q.prepare(QStringLiteral("SELECT first_serial FROM receipt_second_form WHERE serial = ?"));
    q.addBindValue(serial);
    if (!q.exec()) {
        fail(q.lastError().text());
        return std::nullopt;
    }
    return q.next() ? q.value(0).toString() : serial;
}

std::optional<QStringList> JournalStore::withSecondForms(const QStringList &serials)
{
    QStringList all = serials;
    QSqlQuery q(m_database.connection());
    q.prepare(QStringLiteral("SELECT serial FROM receipt_second_form WHERE first_serial = ?"));
    for (const QString &s : serials) {
        q.bindValue(0, s);
        if (!q.exec()) {
            fail(q.lastError().text());
            return std::nullopt;
        }
        while (q.next())
            if (!all.contains(q.value(0).toString()))
                all << q.value(0).toString();
    }
    return all;
}

std::optional<JournalEntry> JournalStore::entry(const QString &asked)
{
    m_error.clear();
    // A second form is read as the receipt it belongs to, both forms.
    const auto first = receiptOf(asked);
    if (!first)
        return std::nullopt;
    const QString serial = *first;
    QSqlQuery q(m_database.connection());
    q.prepare(
        QStringLiteral("SELECT %1, month FROM receipt_journal WHERE serial = ?").arg(columns));
    q.addBindValue(serial);
    if (!q.exec() || !q.next()) {
        fail(q.lastError().text().isEmpty() ? QStringLiteral("没有编号为 %1 的收据").arg(serial)
                                            : q.lastError().text());
        return std::nullopt;
    }
    JournalEntry e = fromRow(q);
    q.finish();
    q.prepare(QStringLiteral("SELECT %1, month FROM receipt_journal WHERE serial IN (SELECT "
                             "serial FROM receipt_second_form WHERE first_serial = ?)")
                  .arg(columns));
    q.addBindValue(serial);
    if (!q.exec()) {
        fail(q.lastError().text());
        return std::nullopt;
    }
    if (q.next()) {
        const JournalEntry second = fromRow(q);
        e.secondForm = second.serial;
        for (int l = 0; l + Receipt::FormLines < Receipt::Slots; ++l) {
            e.labels[size_t(l + Receipt::FormLines)] = second.labels[size_t(l)];
            e.amounts[size_t(l + Receipt::FormLines)] = second.amounts[size_t(l)];
        }
        e.total += second.total;
    }
    q.finish();
    // Credit that paid part of the fees is printed again on a copy.
    q.prepare(QStringLiteral("SELECT COALESCE(-SUM(amount_fen), 0) FROM ledger_entry WHERE kind = "
                             "'预收抵扣' AND receipt_serial = ? AND month = ?"));
    q.addBindValue(e.isReprint() ? e.reprintOf : e.serial);
    q.addBindValue(e.month);
    if (q.exec() && q.next())
        e.credit = qMax(qint64(0), q.value(0).toLongLong());
    q.prepare(QStringLiteral("SELECT reduced_fen FROM receipt_reduction WHERE serial = ?"));
    q.addBindValue(e.isReprint() ? e.reprintOf : e.serial);
    if (q.exec() && q.next())
        e.reduced = qMax(qint64(0), q.value(0).toLongLong());
    return e;
}
