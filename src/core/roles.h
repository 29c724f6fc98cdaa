#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// Who may do what: three roles, each with everything of the one before.
// Written once here; the windows disable what a role may not use, and the
// office layer checks again before every write.
namespace Roles
{
enum Role { Cashier, Accountant, Head };

enum Permission {
    Rosters,        // rosters, imports and exports
    Print,          // printing receipts, taking payments
    BillMonth,      // 生成本月应收
    Calendar,       // the calendar and absences
    OwnDayReport,   // one's own 日结
    Void,           // 作废
    Refund,         // 退款
    AbsenceRefunds, // applying absence refunds
    MonthReport,    // 月报
    CloseMonth,     // 月结
    AllDayReports,  // every clerk's 日结
    ArrearsExport,  // 欠费 exports
    Users,          // users
    PricesAndRules, // prices and rules in the settings panel
    Restore,        // 恢复
    Calibration,    // 打印校准
};

// "收费员", "会计", "园长"; the roles in order.
QString name(Role role);
QVector<Role> all();
std::optional<Role> fromName(const QString &name);

bool may(Role role, Permission permission);
// The least role that may, for a tool tip: "会计或园长可以使用".
Role least(Permission permission);
QString whoMay(Permission permission);
// What each permission is called, for the table shown to the administrator.
QString describe(Permission permission);
QVector<Permission> permissions();
} // namespace Roles
