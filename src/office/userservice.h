#pragma once

#include "access.h"
#include "userstore.h"

#include <QObject>

class Database;
class OfficeSettings;

// Signing in and the office's users: the first administrator of a database
// without users, sign-in and out, one's own password, and the
// administrator's work on the others. The signed-in user is the 经办人 of
// everything this PC writes.
class UserService : public QObject
{
    Q_OBJECT
public:
    UserService(Database &database, OfficeSettings &settings, Access &access,
                QObject *parent = nullptr);

    // No user yet: the first one is made as 园长 before anything else.
    bool needsFirstUser();
    WriteResult addFirstAdministrator(const QString &name, const QString &password);

    std::optional<QVector<UserStore::User>> users(QString *error = nullptr);
    // Signs the user in (the refusal and wait otherwise).
    UserStore::SignIn signIn(const QString &name, const QString &password);
    void signOut();
    std::optional<Access::User> current() const { return m_access.user(); }
    // Checks a second person's password without signing them in: the
    // approver of a void or refund; nullopt with why otherwise.
    std::optional<Access::User> approver(const QString &name, const QString &password,
                                         Roles::Permission permission, QString *why);
    // The signed-in user's password, checked against the old one.
    WriteResult changeOwnPassword(const QString &oldPassword, const QString &newPassword);

    // The administrator's: another user's new password, role and whether
    // the account may sign in.
    WriteResult add(const QString &name, Roles::Role role, const QString &password);
    WriteResult resetPassword(const QString &name, const QString &password);
    WriteResult setRole(const QString &name, Roles::Role role);
    WriteResult setActive(const QString &name, bool active);

signals:
    // Someone signed in or out: the windows show what the user may use.
    void userChanged();

private:
    void becomeActor();

    Database &m_database;
    OfficeSettings &m_settings;
    Access &m_access;
};
