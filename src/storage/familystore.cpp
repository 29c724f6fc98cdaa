#include "familystore.h"

#include "auditlog.h"
#include "clock.h"
#include "database.h"
#include "writetransaction.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>

namespace
{
const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

WriteResult unwritten(const QString &detail)
{
    return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("家庭没有保存"), detail);
}
} // namespace

std::optional<QVector<FamilyStore::Family>> FamilyStore::families()
{
    m_error.clear();
    QSqlQuery q(m_db.connection());
    q.setForwardOnly(true);
    // A family is the id of its first row; later rows name it.
    if (!q.exec(QStringLiteral("SELECT COALESCE(family_id, id), payer, phone FROM family_entry "
                               "ORDER BY id"))) {
        m_error = q.lastError().text();
        return std::nullopt;
    }
    QVector<Family> list;
    QHash<qint64, int> at;
    while (q.next()) {
        const qint64 id = q.value(0).toLongLong();
        if (!at.contains(id)) {
            at.insert(id, int(list.size()));
            list.append(Family{id, {}, {}, {}});
        }
        Family &f = list[at.value(id)];
        f.payer = q.value(1).toString();
        f.phone = q.value(2).toString();
    }
    if (!q.exec(QStringLiteral("SELECT family_id, child_id, child_name, class_name FROM "
                               "family_member ORDER BY id"))) {
        m_error = q.lastError().text();
        return std::nullopt;
    }
    // The child's last row says where it is.
    QHash<QString, QPair<qint64, Member>> last;
    QStringList order;
    while (q.next()) {
        const QString child = q.value(1).toString();
        if (!last.contains(child))
            order << child;
        else
            order.removeOne(child), order << child;
        last.insert(child, {q.value(0).toLongLong(),
                            Member{child, q.value(2).toString(), q.value(3).toString()}});
    }
    for (const QString &child : std::as_const(order)) {
        const auto &where = last.value(child);
        if (where.first > 0 && at.contains(where.first))
            list[at.value(where.first)].members << where.second;
    }
    return list;
}

WriteResult FamilyStore::saveFamily(qint64 id, const QString &payer, const QString &phone,
                                    qint64 *newId)
{
    if (WriteResult w = m_db.writable(); !w)
        return w;
    const QString name = payer.trimmed(), number = phone.trimmed();
    if (name.isEmpty())
        return WriteResult::failure(WriteResult::Refused, QStringLiteral("请填写付款人姓名"));
    if (name.size() > 40 || number.size() > 40)
        return WriteResult::failure(WriteResult::Refused,
                                    QStringLiteral("付款人姓名和电话各不能超过 40 个字"));
    for (const QChar c : name + number)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return WriteResult::failure(WriteResult::Refused,
                                        QStringLiteral("付款人姓名或电话里有看不见的字符"));
    WriteTransaction tx(m_db);
    if (!tx.isActive())
        return unwritten(tx.errorString());
    QSqlQuery q(m_db.connection());
    QString before;
    if (id > 0) {
        q.prepare(QStringLiteral("SELECT payer, phone FROM family_entry WHERE COALESCE(family_id, "
                                 "id) = ? ORDER BY id DESC LIMIT 1"));
        q.addBindValue(id);
        if (!q.exec())
            return unwritten(q.lastError().text());
        if (!q.next())
            return WriteResult::failure(WriteResult::Refused, QStringLiteral("没有这个家庭"));
        before = QStringLiteral("%1 %2").arg(q.value(0).toString(), q.value(1).toString());
    }
    q.prepare(QStringLiteral(
        "INSERT INTO family_entry (family_id, payer, phone, clerk, at) VALUES (?, ?, ?, ?, ?)"));
    q.addBindValue(id > 0 ? QVariant(id) : QVariant(QMetaType::fromType<qint64>()));
    q.addBindValue(name);
    q.addBindValue(number);
    q.addBindValue(m_db.actorClerk());
    q.addBindValue(Clock::now().toString(timeFormat));
    if (!q.exec())
        return unwritten(q.lastError().text());
    const qint64 written = id > 0 ? id : q.lastInsertId().toLongLong();
    if (written <= 0)
        return unwritten(QStringLiteral("没有得到新家庭的编号"));
    tx.audit(AuditLog::family(),
             id > 0 ? QStringLiteral("家庭 %1 付款人：%2 → %3 %4").arg(id).arg(before, name, number)
                    : QStringLiteral("新建家庭 %1：付款人 %2 %3").arg(written).arg(name, number));
    if (!tx.commit())
        return unwritten(tx.errorString());
    if (newId)
        *newId = written;
    return WriteResult::success();
}

WriteResult FamilyStore::setMember(qint64 familyId, const Member &child)
{
    if (WriteResult w = m_db.writable(); !w)
        return w;
    if (child.childId.isEmpty())
        return WriteResult::failure(
            WriteResult::Refused,
            QStringLiteral("“%1”还没有保存到数据库：请先保存，再加入家庭").arg(child.name));
    WriteTransaction tx(m_db);
    if (!tx.isActive())
        return unwritten(tx.errorString());
    QSqlQuery q(m_db.connection());
    if (familyId > 0) {
        q.prepare(QStringLiteral("SELECT 1 FROM family_entry WHERE id = ? AND family_id IS NULL"));
        q.addBindValue(familyId);
        if (!q.exec())
            return unwritten(q.lastError().text());
        if (!q.next())
            return WriteResult::failure(WriteResult::Refused, QStringLiteral("没有这个家庭"));
    }
    q.prepare(QStringLiteral("SELECT family_id FROM family_member WHERE child_id = ? ORDER BY id "
                             "DESC LIMIT 1"));
    q.addBindValue(child.childId);
    if (!q.exec())
        return unwritten(q.lastError().text());
    const qint64 was = q.next() ? q.value(0).toLongLong() : 0;
    if (was == familyId)
        return WriteResult::success(); // already so: nothing to write
    q.prepare(QStringLiteral("INSERT INTO family_member (family_id, child_id, child_name, "
                             "class_name, clerk, at) VALUES (?, ?, ?, ?, ?, ?)"));
    q.addBindValue(familyId);
    q.addBindValue(child.childId);
    q.addBindValue(child.name);
    q.addBindValue(child.className);
    q.addBindValue(m_db.actorClerk());
    q.addBindValue(Clock::now().toString(timeFormat));
    if (!q.exec())
        return unwritten(q.lastError().text());
    QString what;
    if (familyId > 0)
        what = QStringLiteral("%1 %2 加入家庭 %3").arg(child.className, child.name).arg(familyId);
    else
        what = QStringLiteral("%1 %2 离开家庭 %3").arg(child.className, child.name).arg(was);
    if (was > 0 && familyId > 0)
        what += QStringLiteral("（离开家庭 %1）").arg(was);
    tx.audit(AuditLog::family(), what);
    if (!tx.commit())
        return unwritten(tx.errorString());
    return WriteResult::success();
}
