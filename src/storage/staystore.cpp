#include "staystore.h"

#include "attendancestore.h"
#include "auditlog.h"
#include "clock.h"
#include "database.h"
#include "journal.h"
#include "reductionstore.h"
#include "writetransaction.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

namespace
{
const QString dayFormat = QStringLiteral("yyyy-MM-dd");

WriteResult unwritten(const QString &detail)
{
    return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("在园日期没有保存"),
                                detail);
}

WriteResult refused(const QString &why)
{
    return WriteResult::failure(WriteResult::Refused, why);
}

QVariant dayValue(const QDate &d)
{
    return d.isValid() ? QVariant(d.toString(dayFormat)) : QVariant(QStringLiteral(""));
}

QDate dayOf(const QVariant &v)
{
    return QDate::fromString(v.toString(), dayFormat);
}

QString datesText(const PartMonth::Stay &s)
{
    const QString none = QStringLiteral("未填");
    return QStringLiteral("入园 %1，退园 %2")
        .arg(s.joined.isValid() ? s.joined.toString(dayFormat) : none,
             s.left.isValid() ? s.left.toString(dayFormat) : none);
}

const QString rowColumns = QStringLiteral(
    "id, child_id, child_name, class_name, joined_on, left_on, note, clerk, at FROM child_stay");

StayStore::Row rowOf(const QSqlQuery &q)
{
    StayStore::Row r;
    r.id = q.value(0).toLongLong();
    r.childId = q.value(1).toString();
    r.childName = q.value(2).toString();
    r.className = q.value(3).toString();
    r.stay = {dayOf(q.value(4)), dayOf(q.value(5))};
    r.note = q.value(6).toString();
    r.clerk = q.value(7).toString();
    r.at = q.value(8).toString();
    return r;
}
} // namespace

std::optional<QVector<StayStore::Row>> StayStore::current()
{
    QSqlQuery q(m_db.connection());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT ") + rowColumns +
                QStringLiteral(" s WHERE id = (SELECT MAX(id) FROM child_stay l WHERE l.child_id "
                               "= s.child_id) ORDER BY class_name, child_name, id"))) {
        m_error = q.lastError().text();
        return std::nullopt;
    }
    QVector<Row> rows;
    while (q.next())
        rows << rowOf(q);
    return rows;
}

std::optional<QVector<StayStore::Row>> StayStore::history(const QString &childId)
{
    QSqlQuery q(m_db.connection());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT ") + rowColumns +
              QStringLiteral(" WHERE child_id = ? ORDER BY id DESC"));
    q.addBindValue(childId);
    if (!q.exec()) {
        m_error = q.lastError().text();
        return std::nullopt;
    }
    QVector<Row> rows;
    while (q.next())
        rows << rowOf(q);
    return rows;
}

WriteResult StayStore::record(const Row &row)
{
    if (WriteResult w = m_db.writable(); !w)
        return w;
    if (row.childId.isEmpty())
        return refused(QStringLiteral("“%1”还没有保存到数据库，请先保存名单").arg(row.childName));
    if (row.stay.joined.isValid() && row.stay.left.isValid() && row.stay.left < row.stay.joined)
        return refused(
            QStringLiteral("退园日期 %1 早于入园日期 %2")
                .arg(row.stay.left.toString(dayFormat), row.stay.joined.toString(dayFormat)));
    const QString note = Journal::cleanText(row.note).trimmed();
    if (note.size() > 200)
        return refused(QStringLiteral("备注不能超过 200 个字"));
    WriteTransaction tx(m_db);
    if (!tx.isActive())
        return unwritten(tx.errorString());
    QString error;
    const auto before = stays(m_db, {row.childId}, &error);
    if (!before)
        return unwritten(error);
    const auto was = before->constFind(row.childId);
    if (was != before->cend() && *was == row.stay)
        return refused(QStringLiteral("“%1”的在园日期没有变化").arg(row.childName));
    QSqlQuery q(m_db.connection());
    q.prepare(
        QStringLiteral("INSERT INTO child_stay (child_id, child_name, class_name, "
                       "joined_on, left_on, note, clerk, at) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    q.addBindValue(row.childId);
    q.addBindValue(row.childName);
    q.addBindValue(row.className);
    q.addBindValue(dayValue(row.stay.joined));
    q.addBindValue(dayValue(row.stay.left));
    q.addBindValue(note);
    q.addBindValue(m_db.actorClerk().isNull() ? QStringLiteral("") : m_db.actorClerk());
    q.addBindValue(Clock::now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    if (!q.exec())
        return unwritten(q.lastError().text());
    QString what =
        QStringLiteral("%1 %2：%3").arg(row.className, row.childName, datesText(row.stay));
    if (was != before->cend())
        what += QStringLiteral("（原为%1）").arg(datesText(*was));
    if (!note.isEmpty())
        what += QStringLiteral("，%1").arg(note);
    tx.audit(AuditLog::stay(), what);
    if (!tx.commit())
        return unwritten(tx.errorString());
    return WriteResult::success();
}

std::optional<PartMonth::Rule> StayStore::rule()
{
    return rule(m_db, &m_error);
}

WriteResult StayStore::saveRule(const PartMonth::Rule &given)
{
    if (WriteResult w = m_db.writable(); !w)
        return w;
    PartMonth::Rule rule = given;
    if (rule.kind != PartMonth::Kind::Thresholds)
        rule.fullFrom = rule.halfFrom = 0;
    if (const QString why = PartMonth::problem(rule); !why.isEmpty())
        return refused(why);
    WriteTransaction tx(m_db);
    if (!tx.isActive())
        return unwritten(tx.errorString());
    QString error;
    const auto before = StayStore::rule(m_db, &error);
    if (!before)
        return unwritten(error);
    if (*before == rule)
        return refused(QStringLiteral("不足月的收费规则没有变化"));
    QSqlQuery q(m_db.connection());
    q.prepare(QStringLiteral("INSERT INTO part_month_rule (kind, full_from, half_from, clerk, at) "
                             "VALUES (?, ?, ?, ?, ?)"));
    q.addBindValue(PartMonth::kindCode(rule.kind));
    q.addBindValue(rule.fullFrom);
    q.addBindValue(rule.halfFrom);
    q.addBindValue(m_db.actorClerk().isNull() ? QStringLiteral("") : m_db.actorClerk());
    q.addBindValue(Clock::now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    if (!q.exec())
        return unwritten(q.lastError().text());
    tx.audit(AuditLog::stay(), QStringLiteral("不足月的保教费、住宿费：%1（原为%2）")
                                   .arg(PartMonth::ruleText(rule), PartMonth::ruleText(*before)));
    if (!tx.commit())
        return unwritten(tx.errorString());
    return WriteResult::success();
}

std::optional<QHash<QString, PartMonth::Stay>>
StayStore::stays(Database &db, const QStringList &childIds, QString *error)
{
    QHash<QString, PartMonth::Stay> out;
    if (childIds.isEmpty())
        return out;
    const QSet<QString> wanted(childIds.cbegin(), childIds.cend());
    QSqlQuery q(db.connection());
    q.setForwardOnly(true);
    // Few children have dates: all of them are read, the newest row last.
    if (!q.exec(
            QStringLiteral("SELECT child_id, joined_on, left_on FROM child_stay ORDER BY id"))) {
        *error = q.lastError().text();
        return std::nullopt;
    }
    while (q.next())
        if (const QString child = q.value(0).toString(); wanted.contains(child))
            out.insert(child, {dayOf(q.value(1)), dayOf(q.value(2))});
    return out;
}

std::optional<PartMonth::Rule> StayStore::rule(Database &db, QString *error)
{
    QSqlQuery q(db.connection());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT kind, full_from, half_from FROM part_month_rule ORDER BY "
                               "id DESC LIMIT 1"))) {
        *error = q.lastError().text();
        return std::nullopt;
    }
    PartMonth::Rule rule;
    if (q.next()) {
        rule.kind = PartMonth::kindOf(q.value(0).toString());
        rule.fullFrom = q.value(1).toInt();
        rule.halfFrom = q.value(2).toInt();
    }
    return rule;
}

std::optional<QHash<QString, PartMonth::Terms>>
StayStore::terms(Database &db, const QStringList &childIds, const QString &month, QString *error)
{
    QHash<QString, PartMonth::Terms> out;
    const auto granted = ReductionStore::granted(db, childIds, month, error);
    if (!granted)
        return std::nullopt;
    for (auto it = granted->cbegin(); it != granted->cend(); ++it)
        out[it.key()].reductions = it.value();
    const auto dates = stays(db, childIds, error);
    if (!dates)
        return std::nullopt;
    if (dates->isEmpty())
        return out;
    const auto rule = StayStore::rule(db, error);
    if (!rule)
        return std::nullopt;
    const QDate first = QDate::fromString(month + QStringLiteral("-01"), dayFormat);
    AttendanceStore attendance(db);
    const auto calendar = attendance.calendar(month);
    if (!calendar) {
        *error = attendance.errorString();
        return std::nullopt;
    }
    const QVector<QDate> days = Absence::schoolDays(first.year(), first.month(), *calendar);
    for (auto it = dates->cbegin(); it != dates->cend(); ++it) {
        PartMonth::Terms &t = out[it.key()];
        t.rule = *rule;
        t.absent = !PartMonth::inMonth(it.value(), month);
        if (!t.absent)
            t.part = PartMonth::part(it.value(), days);
    }
    return out;
}
