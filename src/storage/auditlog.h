#pragma once

#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

class Database;

// Who changed what (操作记录): rows only ever added, each written in the
// transaction of the change it records (a setting, kept in its own file,
// right after it is stored).
namespace AuditLog
{
// The kinds of change, in the order the window offers them.
QStringList kinds();
QString savedClass();     // 保存班级
QString addedClass();     // 添加班级
QString setting();        // 修改设置
QString voided();         // 作废收据
QString refunded();       // 退款
QString monthClosed();    // 月结
QString restored();       // 恢复备份
QString billed();         // 生成应收
QString absenceRefunds(); // 缺勤退费
QString printed();        // 打印收据
QString notPrinted();     // 未打印
QString users();          // 用户
QString signInRefused();  // 登录失败
QString reconciled();     // 对账
QString family();         // 家庭
QString reduction();      // 减免
QString stay();           // 在园

// Adds a row inside the caller's transaction; the clerk and host are the
// database's (Database::setActor).
bool add(Database &db, const QString &kind, const QString &what, QString *error = nullptr);

struct Row {
    QString at, clerk, host, kind, what;
};
// Rows from day from to day to (both included), newest first; empty clerk
// or kind: any.
std::optional<QVector<Row>> read(Database &db, const QDate &from, const QDate &to,
                                 const QString &clerk, const QString &kind,
                                 QString *error = nullptr);
} // namespace AuditLog
