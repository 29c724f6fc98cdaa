#include "reductionstore.h"

#include "auditlog.h"
#include "clock.h"
#include "database.h"
#include "journal.h"
#include "writetransaction.h"

#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

using Reductions::Kind;
using Reductions::Order;

namespace
{
const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

WriteResult unwritten(const QString &detail)
{
    return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("减免没有保存"), detail);
}

WriteResult refused(const QString &why)
{
    return WriteResult::failure(WriteResult::Refused, why);
}

QString orderCode(Order o)
{
    return o == Order::AfterDiscount    ? QStringLiteral("after")
           : o == Order::BeforeDiscount ? QStringLiteral("before")
                                        : QStringLiteral("alone");
}

Order orderOf(const QString &code)
{
    return code == QLatin1String("before")  ? Order::BeforeDiscount
           : code == QLatin1String("alone") ? Order::Alone
                                            : Order::AfterDiscount;
}

bool isMonth(const QString &m)
{
    static const QRegularExpression form(QStringLiteral("^[0-9]{4}-(0[1-9]|1[0-2])$"));
    return form.match(m).hasMatch();
}

// A type's row: new (type.id 0), changed, or withdrawn. The new row's id,
// or nullopt with the error.
std::optional<qint64> insertType(Database &db, const Reductions::Type &type, bool withdrawn,
                                 QString *error)
{
    QSqlQuery q(db.connection());
    q.prepare(QStringLiteral(
        "INSERT INTO reduction_type (type_id, name, items, kind, value, combine, sibling_from, "
        "withdrawn, clerk, at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    q.addBindValue(type.id > 0 ? QVariant(type.id) : QVariant(QMetaType::fromType<qint64>()));
    q.addBindValue(type.name);
    q.addBindValue(type.items.join(QLatin1Char(',')));
    q.addBindValue(type.kind == Kind::Fixed ? QStringLiteral("fixed") : QStringLiteral("percent"));
    q.addBindValue(type.value);
    q.addBindValue(orderCode(type.order));
    q.addBindValue(type.siblingFrom);
    q.addBindValue(withdrawn ? 1 : 0);
    q.addBindValue(db.actorClerk());
    q.addBindValue(Clock::now().toString(timeFormat));
    if (!q.exec()) {
        *error = q.lastError().text();
        return std::nullopt;
    }
    return q.lastInsertId().toLongLong();
}

// A grant's row, or (withdraws > 0) the row that withdraws that grant.
bool insertGrant(Database &db, const ReductionStore::Grant &g, const QString &reason,
                 qint64 withdraws, QString *error)
{
    QSqlQuery q(db.connection());
    q.prepare(QStringLiteral(
        "INSERT INTO reduction_grant (child_id, child_name, class_name, type_id, from_month, "
        "to_month, reason, granted_by, withdraws, at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    q.addBindValue(g.childId);
    q.addBindValue(g.childName);
    q.addBindValue(g.className);
    q.addBindValue(g.typeId);
    q.addBindValue(g.fromMonth);
    q.addBindValue(g.toMonth);
    q.addBindValue(reason);
    q.addBindValue(db.actorClerk());
    q.addBindValue(withdraws > 0 ? QVariant(withdraws) : QVariant(QMetaType::fromType<qint64>()));
    q.addBindValue(Clock::now().toString(timeFormat));
    if (q.exec())
        return true;
    *error = q.lastError().text();
    return false;
}

// The latest row of every type, withdrawn ones too.
std::optional<QVector<QPair<Reductions::Type, bool>>> readTypes(Database &db, QString *error)
{
    QSqlQuery q(db.connection());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT COALESCE(type_id, id), name, items, kind, value, combine, "
                               "sibling_from, withdrawn FROM reduction_type ORDER BY id"))) {
        *error = q.lastError().text();
        return std::nullopt;
    }
    QVector<QPair<Reductions::Type, bool>> list;
    QHash<qint64, int> at;
    while (q.next()) {
        Reductions::Type t;
        t.id = q.value(0).toLongLong();
        t.name = q.value(1).toString();
        t.items = q.value(2).toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
        t.kind = q.value(3).toString() == QLatin1String("fixed") ? Kind::Fixed : Kind::Percent;
        t.value = q.value(4).toLongLong();
        t.order = orderOf(q.value(5).toString());
        t.siblingFrom = q.value(6).toInt();
        const bool withdrawn = q.value(7).toInt() != 0;
        if (const auto it = at.constFind(t.id); it != at.cend()) {
            list[*it] = {t, withdrawn};
        } else {
            at.insert(t.id, int(list.size()));
            list.append({t, withdrawn});
        }
    }
    return list;
}
} // namespace

std::optional<QVector<Reductions::Type>> ReductionStore::types()
{
    m_error.clear();
    const auto all = readTypes(m_db, &m_error);
    if (!all)
        return std::nullopt;
    QVector<Reductions::Type> list;
    for (const auto &t : *all)
        if (!t.second)
            list << t.first;
    return list;
}

WriteResult ReductionStore::saveType(const Reductions::Type &given, qint64 *newId)
{
    if (WriteResult w = m_db.writable(); !w)
        return w;
    Reductions::Type type = given;
    type.name = type.name.trimmed();
    if (const QString why = Reductions::problem(type); !why.isEmpty())
        return refused(why);
    WriteTransaction tx(m_db);
    if (!tx.isActive())
        return unwritten(tx.errorString());
    QString error;
    const auto all = readTypes(m_db, &error);
    if (!all)
        return unwritten(error);
    const Reductions::Type *before = nullptr;
    for (const auto &t : *all) {
        if (t.first.id == type.id && type.id > 0)
            before = &t.first;
        else if (!t.second && t.first.name == type.name)
            return refused(QStringLiteral("已有名为“%1”的减免类型").arg(type.name));
    }
    if (type.id > 0 && !before)
        return refused(QStringLiteral("没有这个减免类型"));
    if (before && before->name != type.name)
        return refused(QStringLiteral("减免类型的名称不能改：账目里的减免记录以“%1”为名。"
                                      "可以停用它，另建一个。")
                           .arg(before->name));
    const auto row = insertType(m_db, type, false, &error);
    if (!row)
        return unwritten(error);
    const qint64 written = type.id > 0 ? type.id : *row;
    if (written <= 0)
        return unwritten(QStringLiteral("没有得到新减免类型的编号"));
    QString what = QStringLiteral("%1：%2，%3，%4，%5")
                       .arg(type.name, type.items.join(QStringLiteral("、")),
                            Reductions::valueText(type), Reductions::orderText(type.order))
                       .arg(type.siblingFrom > 0
                                ? QStringLiteral("家庭第 %1 个孩子起自动减免").arg(type.siblingFrom)
                                : QStringLiteral("按批准"));
    if (before)
        what = QStringLiteral("修改减免类型 ") + what +
               QStringLiteral("（原为 %1）").arg(Reductions::valueText(*before));
    else
        what = QStringLiteral("新建减免类型 ") + what;
    tx.audit(AuditLog::reduction(), what);
    if (!tx.commit())
        return unwritten(tx.errorString());
    if (newId)
        *newId = written;
    return WriteResult::success();
}

WriteResult ReductionStore::withdrawType(qint64 typeId)
{
    if (WriteResult w = m_db.writable(); !w)
        return w;
    WriteTransaction tx(m_db);
    if (!tx.isActive())
        return unwritten(tx.errorString());
    QString error;
    const auto all = readTypes(m_db, &error);
    if (!all)
        return unwritten(error);
    for (const auto &t : *all) {
        if (t.first.id != typeId || t.second)
            continue;
        if (!insertType(m_db, t.first, true, &error))
            return unwritten(error);
        tx.audit(AuditLog::reduction(), QStringLiteral("停用减免类型 %1").arg(t.first.name));
        if (!tx.commit())
            return unwritten(tx.errorString());
        return WriteResult::success();
    }
    return refused(QStringLiteral("没有这个减免类型"));
}

std::optional<QVector<ReductionStore::Grant>> ReductionStore::grants()
{
    m_error.clear();
    const auto all = readTypes(m_db, &m_error);
    if (!all)
        return std::nullopt;
    QHash<qint64, QString> names;
    for (const auto &t : *all)
        names.insert(t.first.id, t.first.name);
    QSqlQuery q(m_db.connection());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral(
            "SELECT g.id, g.child_id, g.child_name, g.class_name, g.type_id, g.from_month, "
            "g.to_month, g.reason, g.granted_by, g.at FROM reduction_grant g WHERE g.withdraws "
            "IS NULL AND NOT EXISTS (SELECT 1 FROM reduction_grant w WHERE w.withdraws = g.id) "
            "ORDER BY g.id"))) {
        m_error = q.lastError().text();
        return std::nullopt;
    }
    QVector<Grant> list;
    while (q.next()) {
        Grant g;
        g.id = q.value(0).toLongLong();
        g.childId = q.value(1).toString();
        g.childName = q.value(2).toString();
        g.className = q.value(3).toString();
        g.typeId = q.value(4).toLongLong();
        g.typeName = names.value(g.typeId);
        g.fromMonth = q.value(5).toString();
        g.toMonth = q.value(6).toString();
        g.reason = q.value(7).toString();
        g.grantedBy = q.value(8).toString();
        g.at = q.value(9).toString();
        list << g;
    }
    return list;
}

WriteResult ReductionStore::grant(const Grant &g)
{
    if (WriteResult w = m_db.writable(); !w)
        return w;
    if (g.childId.isEmpty())
        return refused(
            QStringLiteral("“%1”还没有保存到数据库：请先保存，再批准减免").arg(g.childName));
    if (!isMonth(g.fromMonth) || (!g.toMonth.isEmpty() && !isMonth(g.toMonth)))
        return refused(QStringLiteral("减免的起止月份要写成 2026-09 这样"));
    if (!g.toMonth.isEmpty() && g.toMonth < g.fromMonth)
        return refused(
            QStringLiteral("减免的结束月份 %1 早于开始月份 %2").arg(g.toMonth, g.fromMonth));
    const QString reason = Journal::cleanText(g.reason).trimmed();
    if (reason.isEmpty())
        return refused(QStringLiteral("请写明减免的理由"));
    if (reason.size() > 200)
        return refused(QStringLiteral("减免的理由不能超过 200 个字"));
    WriteTransaction tx(m_db);
    if (!tx.isActive())
        return unwritten(tx.errorString());
    QString error;
    const auto all = readTypes(m_db, &error);
    if (!all)
        return unwritten(error);
    const Reductions::Type *type = nullptr;
    for (const auto &t : *all)
        if (t.first.id == g.typeId && !t.second)
            type = &t.first;
    if (!type)
        return refused(QStringLiteral("没有这个减免类型，或它已停用"));
    if (type->siblingFrom > 0)
        return refused(QStringLiteral("“%1”按家庭人数自动减免，不用逐个批准").arg(type->name));
    if (!insertGrant(m_db, g, reason, 0, &error))
        return unwritten(error);
    tx.audit(AuditLog::reduction(),
             QStringLiteral("批准 %1 %2 %3（%4 至 %5）：%6")
                 .arg(g.className, g.childName, type->name, g.fromMonth,
                      g.toMonth.isEmpty() ? QStringLiteral("不限") : g.toMonth, reason));
    if (!tx.commit())
        return unwritten(tx.errorString());
    return WriteResult::success();
}

WriteResult ReductionStore::withdrawGrant(qint64 grantId)
{
    if (WriteResult w = m_db.writable(); !w)
        return w;
    WriteTransaction tx(m_db);
    if (!tx.isActive())
        return unwritten(tx.errorString());
    QSqlQuery q(m_db.connection());
    q.prepare(QStringLiteral(
        "SELECT child_id, child_name, class_name, type_id, from_month, to_month FROM "
        "reduction_grant g WHERE id = ? AND withdraws IS NULL AND NOT EXISTS (SELECT 1 FROM "
        "reduction_grant w WHERE w.withdraws = g.id)"));
    q.addBindValue(grantId);
    if (!q.exec())
        return unwritten(q.lastError().text());
    if (!q.next())
        return refused(QStringLiteral("这项减免已经撤销，或不存在"));
    Grant g;
    g.childId = q.value(0).toString();
    g.childName = q.value(1).toString();
    g.className = q.value(2).toString();
    g.typeId = q.value(3).toLongLong();
    g.fromMonth = q.value(4).toString();
    g.toMonth = q.value(5).toString();
    q.finish();
    QString error;
    if (!insertGrant(m_db, g, QStringLiteral("撤销"), grantId, &error))
        return unwritten(error);
    tx.audit(
        AuditLog::reduction(),
        QStringLiteral("撤销 %1 %2 的减免（%3 起）").arg(g.className, g.childName, g.fromMonth));
    if (!tx.commit())
        return unwritten(tx.errorString());
    return WriteResult::success();
}

std::optional<QHash<QString, QVector<Reductions::Type>>>
ReductionStore::granted(Database &db, const QStringList &childIds, const QString &month,
                        QString *error)
{
    QHash<QString, QVector<Reductions::Type>> out;
    if (childIds.isEmpty())
        return out;
    const auto all = readTypes(db, error);
    if (!all)
        return std::nullopt;
    QVector<Reductions::Type> live, bySiblings;
    for (const auto &t : *all)
        if (!t.second) {
            live << t.first;
            if (t.first.siblingFrom > 0)
                bySiblings << t.first;
        }
    if (live.isEmpty())
        return out;
    const QSet<QString> wanted(childIds.cbegin(), childIds.cend());
    QHash<QString, QSet<qint64>> has;
    QSqlQuery q(db.connection());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral(
        "SELECT g.child_id, g.type_id FROM reduction_grant g WHERE g.withdraws IS NULL AND "
        "g.from_month <= ? AND (g.to_month IS NULL OR g.to_month = '' OR g.to_month >= ?) AND "
        "NOT EXISTS (SELECT 1 FROM reduction_grant w WHERE w.withdraws = g.id)"));
    q.addBindValue(month);
    q.addBindValue(month);
    if (!q.exec()) {
        *error = q.lastError().text();
        return std::nullopt;
    }
    while (q.next())
        if (const QString child = q.value(0).toString(); wanted.contains(child))
            has[child].insert(q.value(1).toLongLong());
    if (!bySiblings.isEmpty()) {
        // Each child's last row says which family it is in; the family's
        // children count in the order they joined.
        if (!q.exec(QStringLiteral("SELECT family_id, child_id FROM family_member ORDER BY id"))) {
            *error = q.lastError().text();
            return std::nullopt;
        }
        QHash<QString, qint64> familyOf;
        QStringList order;
        while (q.next()) {
            const QString child = q.value(1).toString();
            order.removeOne(child);
            order << child;
            familyOf.insert(child, q.value(0).toLongLong());
        }
        QHash<qint64, int> seen;
        for (const QString &child : std::as_const(order)) {
            const qint64 family = familyOf.value(child);
            if (family <= 0)
                continue;
            const int place = ++seen[family];
            if (!wanted.contains(child))
                continue;
            for (const Reductions::Type &t : std::as_const(bySiblings))
                if (place >= t.siblingFrom)
                    has[child].insert(t.id);
        }
    }
    for (auto it = has.cbegin(); it != has.cend(); ++it)
        for (const Reductions::Type &t : std::as_const(live))
            if (it.value().contains(t.id))
                out[it.key()] << t;
    return out;
}
