#include "access.h"

#include "database.h"

namespace
{
Access::StandIn &standIn()
{
    static Access::StandIn s;
    return s;
}
} // namespace

Access::Access(Database &database) : m_database(database)
{
    m_database.setChecksRequired(true);
}

std::optional<Access::User> Access::user() const
{
    if (m_user)
        return m_user;
    if (standIn())
        return standIn()();
    return std::nullopt;
}

void Access::signIn(const User &user)
{
    m_user = user;
}

void Access::signOut()
{
    m_user.reset();
}

void Access::setStandIn(StandIn s)
{
    standIn() = std::move(s);
}

bool Access::may(Roles::Permission permission, const std::optional<User> &approver) const
{
    return refusal(permission, approver).isEmpty();
}

QString Access::refusal(Roles::Permission permission, const std::optional<User> &approver) const
{
    const auto me = user();
    if (!me)
        return QStringLiteral("还没有登录：请先登录再%1").arg(Roles::describe(permission));
    if (Roles::may(me->role, permission))
        return {};
    if (approver && approver->name != me->name && Roles::may(approver->role, permission))
        return {};
    if (approver)
        return QStringLiteral("%1是%2：%3")
            .arg(approver->name, Roles::name(approver->role), Roles::whoMay(permission));
    return Roles::whoMay(permission);
}

Access::Permit::Permit(Database *database, WriteResult result)
    : m_database(database), m_result(std::move(result))
{
    if (m_database && m_result.ok())
        m_database->holdCheck();
    else
        m_database = nullptr;
}

Access::Permit::Permit(Permit &&other) noexcept
    : m_database(other.m_database), m_result(std::move(other.m_result))
{
    other.m_database = nullptr;
}

Access::Permit::~Permit()
{
    if (m_database)
        m_database->releaseCheck();
}

Access::Permit Access::permit(Roles::Permission permission, const std::optional<User> &approver)
{
    const QString no = refusal(permission, approver);
    return Permit(&m_database, no.isEmpty() ? WriteResult::success()
                                            : WriteResult::failure(WriteResult::Refused, no));
}

Access::Permit Access::permitOwnWrite()
{
    return Permit(&m_database, WriteResult::success());
}
