#include "auditlog.h"

#include "clock.h"
#include "database.h"

#include <QSqlError>
#include <QSqlQuery>

namespace AuditLog
{

QString savedClass()
{
    return QStringLiteral("保存班级");
}
QString addedClass()
{
    return QStringLiteral("添加班级");
}
QString setting()
{
    return QStringLiteral("修改设置");
}
QString voided()
{
    return QStringLiteral("作废收据");
}
QString refunded()
{
    return QStringLiteral("退款");
}
QString monthClosed()
{
    return QStringLiteral("月结");
}
QString restored()
{
    return QStringLiteral("恢复备份");
}

QString billed()
{
    return QStringLiteral("生成应收");
}
QString absenceRefunds()
{
    return QStringLiteral("缺勤退费");
}
QString printed()
{
    return QStringLiteral("打印收据");
}
QString notPrinted()
{
    return QStringLiteral("未打印");
}

QString users()
{
    return QStringLiteral("用户");
}
QString signInRefused()
{
    return QStringLiteral("登录失败");
}

QString reconciled()
{
    return QStringLiteral("对账");
}

QString family()
{
    return QStringLiteral("家庭");
}

QString reduction()
{
    return QStringLiteral("减免");
}

QString stay()
{
    return QStringLiteral("在园");
}

QStringList kinds()
{
    return {savedClass(),  addedClass(), setting(),       voided(),         refunded(),
            monthClosed(), restored(),   billed(),        absenceRefunds(), printed(),
            notPrinted(),  users(),      signInRefused(), reconciled(),     family(),
            reduction(),   stay()};
}

bool add(Database &db, const QString &kind, const QString &what, QString *error)
{
    QSqlQuery q(db.connection());
    q.prepare(QStringLiteral(
        "INSERT INTO audit_log (at, clerk, host, kind, what) VALUES (?, ?, ?, ?, ?)"));
    q.addBindValue(Clock::now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    q.addBindValue(db.actorClerk().isNull() ? QStringLiteral("") : db.actorClerk());
    q.addBindValue(db.actorHost().isNull() ? QStringLiteral("") : db.actorHost());
    q.addBindValue(kind);
    q.addBindValue(what);
    if (q.exec())
        return true;
    if (error)
        *error = q.lastError().text();
    return false;
}

std::optional<QVector<Row>> read(Database &db, const QDate &from, const QDate &to,
                                 const QString &clerk, const QString &kind, QString *error)
{
    QString sql = QStringLiteral(
        "SELECT at, clerk, host, kind, what FROM audit_log WHERE at >= ? AND at < ?");
    if (!clerk.isEmpty())
        sql += QStringLiteral(" AND clerk = ?");
    if (!kind.isEmpty())
        sql += QStringLiteral(" AND kind = ?");
    sql += QStringLiteral(" ORDER BY id DESC");
    QSqlQuery q(db.connection());
    q.setForwardOnly(true);
    q.prepare(sql);
    q.addBindValue(from.toString(QStringLiteral("yyyy-MM-dd")));
    q.addBindValue(to.addDays(1).toString(QStringLiteral("yyyy-MM-dd")));
    if (!clerk.isEmpty())
        q.addBindValue(clerk);
    if (!kind.isEmpty())
        q.addBindValue(kind);
    if (!q.exec()) {
        if (error)
            *error = q.lastError().text();
        return std::nullopt;
    }
    QVector<Row> rows;
    while (q.next())
        rows.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                     q.value(3).toString(), q.value(4).toString()});
    return rows;
}

} // namespace AuditLog
