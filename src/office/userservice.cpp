#include "userservice.h"

#include "clock.h"
#include "database.h"
#include "officesettings.h"

#include <QSysInfo>

UserService::UserService(Database &database, OfficeSettings &settings, Access &access,
                         QObject *parent)
    : QObject(parent), m_database(database), m_settings(settings), m_access(access)
{
}

bool UserService::needsFirstUser()
{
    return m_database.isOpen() && UserStore(m_database).isEmpty();
}

WriteResult UserService::addFirstAdministrator(const QString &name, const QString &password)
{
    UserStore store(m_database);
    if (!store.isEmpty())
        return WriteResult::failure(WriteResult::Refused,
                                    QStringLiteral("已经有用户了：请登录后由园长添加用户"));
    const auto permit = m_access.permitOwnWrite();
    const WriteResult r = store.add(name.trimmed(), Roles::Head, password, QString());
    if (r)
        signIn(name.trimmed(), password);
    return r;
}

std::optional<QVector<UserStore::User>> UserService::users(QString *error)
{
    return UserStore(m_database).users(error);
}

void UserService::becomeActor()
{
    const auto me = m_access.user();
    m_settings.setSignedIn(me ? me->name : QString());
    m_database.setActor(m_settings.fees().clerk(), QSysInfo::machineHostName());
    emit userChanged();
}

UserStore::SignIn UserService::signIn(const QString &name, const QString &password)
{
    // A wrong password is written down whoever tries.
    const auto permit = m_access.permitOwnWrite();
    UserStore::SignIn s = UserStore(m_database).signIn(name, password, Clock::now());
    if (s.user) {
        m_access.signIn({s.user->name, s.user->role});
        becomeActor();
    }
    return s;
}

void UserService::signOut()
{
    m_access.signOut();
    becomeActor();
}

std::optional<Access::User> UserService::approver(const QString &name, const QString &password,
                                                  Roles::Permission permission, QString *why)
{
    const auto me = m_access.user();
    if (me && name == me->name) {
        if (why)
            *why = QStringLiteral("批准的人不能是自己：请另一位%1登录")
                       .arg(Roles::name(Roles::least(permission)));
        return std::nullopt;
    }
    const auto permit = m_access.permitOwnWrite();
    const UserStore::SignIn s = UserStore(m_database).signIn(name, password, Clock::now());
    if (!s.user) {
        if (why)
            *why = s.refusal;
        return std::nullopt;
    }
    if (!Roles::may(s.user->role, permission)) {
        if (why)
            *why = QStringLiteral("%1是%2：%3")
                       .arg(s.user->name, Roles::name(s.user->role), Roles::whoMay(permission));
        return std::nullopt;
    }
    return Access::User{s.user->name, s.user->role};
}

WriteResult UserService::changeOwnPassword(const QString &oldPassword, const QString &newPassword)
{
    const auto me = m_access.user();
    if (!me)
        return WriteResult::failure(WriteResult::Refused, QStringLiteral("还没有登录"));
    const auto permit = m_access.permitOwnWrite();
    UserStore store(m_database);
    const UserStore::SignIn s = store.signIn(me->name, oldPassword, Clock::now());
    if (!s.user)
        return WriteResult::failure(WriteResult::Refused,
                                    QStringLiteral("原密码不对，密码没有修改：%1").arg(s.refusal));
    return store.setPassword(me->name, newPassword, me->name);
}

namespace
{
// Whether an active 园长 is left when the user becomes role/active.
bool headLeft(const QVector<UserStore::User> &users, const QString &name, Roles::Role role,
              bool active)
{
    for (const UserStore::User &u : users) {
        const bool head =
            u.name == name ? active && role == Roles::Head : u.active && u.role == Roles::Head;
        if (head)
            return true;
    }
    return false;
}

WriteResult lastHead()
{
    return WriteResult::failure(WriteResult::Refused,
                                QStringLiteral("这是最后一位园长：先让另一位用户成为园长，"
                                               "否则没有人能管理用户和恢复数据"));
}

QString by(const Access &access)
{
    const auto me = access.user();
    return me ? me->name : QString();
}
} // namespace

WriteResult UserService::add(const QString &name, Roles::Role role, const QString &password)
{
    const auto permit = m_access.permit(Roles::Users);
    if (!permit)
        return permit.result();
    return UserStore(m_database).add(name.trimmed(), role, password, by(m_access));
}

WriteResult UserService::resetPassword(const QString &name, const QString &password)
{
    const auto permit = m_access.permit(Roles::Users);
    if (!permit)
        return permit.result();
    return UserStore(m_database).setPassword(name, password, by(m_access));
}

WriteResult UserService::setRole(const QString &name, Roles::Role role)
{
    const auto permit = m_access.permit(Roles::Users);
    if (!permit)
        return permit.result();
    QString error;
    const auto all = users(&error);
    if (!all)
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("用户没有保存"),
                                    error);
    for (const UserStore::User &u : *all)
        if (u.name == name && !headLeft(*all, name, role, u.active))
            return lastHead();
    return UserStore(m_database).setRole(name, role, by(m_access));
}

WriteResult UserService::setActive(const QString &name, bool active)
{
    const auto permit = m_access.permit(Roles::Users);
    if (!permit)
        return permit.result();
    if (const auto me = m_access.user(); me && me->name == name && !active)
        return WriteResult::failure(WriteResult::Refused,
                                    QStringLiteral("不能停用自己：请另一位园长停用"));
    QString error;
    const auto all = users(&error);
    if (!all)
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("用户没有保存"),
                                    error);
    for (const UserStore::User &u : *all)
        if (u.name == name && !headLeft(*all, name, u.role, active))
            return lastHead();
    return UserStore(m_database).setActive(name, active, by(m_access));
}
