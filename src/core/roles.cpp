#include "roles.h"

namespace
{
struct Entry {
    Roles::Permission permission;
    Roles::Role least;
    const char16_t *text;
};

const Entry table[] = {
    {Roles::Rosters, Roles::Cashier, u"花名册、读入与导出"},
    {Roles::Print, Roles::Cashier, u"打印收据、收款"},
    {Roles::BillMonth, Roles::Cashier, u"生成本月应收"},
    {Roles::Calendar, Roles::Cashier, u"校历与缺勤"},
    {Roles::OwnDayReport, Roles::Cashier, u"本人的日结"},
    {Roles::Void, Roles::Accountant, u"作废收据"},
    {Roles::Refund, Roles::Accountant, u"退款"},
    {Roles::AbsenceRefunds, Roles::Accountant, u"记入缺勤退费"},
    {Roles::MonthReport, Roles::Accountant, u"月报"},
    {Roles::CloseMonth, Roles::Accountant, u"月结"},
    {Roles::AllDayReports, Roles::Accountant, u"所有收费员的日结"},
    {Roles::ArrearsExport, Roles::Accountant, u"导出欠费"},
    {Roles::Users, Roles::Head, u"用户管理"},
    {Roles::PricesAndRules, Roles::Head, u"价格与规则设置"},
    {Roles::Restore, Roles::Head, u"恢复备份"},
    {Roles::Calibration, Roles::Head, u"打印校准"},
};

const Entry &entry(Roles::Permission p)
{
    for (const Entry &e : table)
        if (e.permission == p)
            return e;
    // Every permission is in the table; an unknown one is the strictest.
    return table[std::size(table) - 1];
}
} // namespace

QString Roles::name(Role role)
{
    switch (role) {
    case Cashier:
        return QStringLiteral("收费员");
    case Accountant:
        return QStringLiteral("会计");
    case Head:
        break;
    }
    return QStringLiteral("园长");
}

QVector<Roles::Role> Roles::all()
{
    return {Cashier, Accountant, Head};
}

std::optional<Roles::Role> Roles::fromName(const QString &text)
{
    for (Role r : all())
        if (name(r) == text)
            return r;
    if (text == QStringLiteral("管理员"))
        return Head;
    return std::nullopt;
}

bool Roles::may(Role role, Permission permission)
{
    const Entry &e = entry(permission);
    return e.permission == permission && role >= e.least;
}

Roles::Role Roles::least(Permission permission)
{
    return entry(permission).least;
}

QString Roles::whoMay(Permission permission)
{
    QStringList names;
    for (Role r : all())
        if (may(r, permission))
            names << name(r);
    return QStringLiteral("只有%1可以%2")
        .arg(names.join(QStringLiteral("或")), describe(permission));
}

QString Roles::describe(Permission permission)
{
    return QString::fromUtf16(entry(permission).text);
}

QVector<Roles::Permission> Roles::permissions()
{
    QVector<Permission> list;
    for (const Entry &e : table)
        list << e.permission;
    return list;
}
