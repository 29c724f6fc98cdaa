#pragma once

#include "roles.h"
#include "writeresult.h"

#include <QString>
#include <functional>
#include <optional>

class Database;

// Who is signed in at this PC, and whether they may do a thing. Every write
// of the office asks here first (permit) and holds the answer while it
// writes; the windows ask too, to disable what the user may not use.
class Access
{
public:
    struct User {
        QString name;
        Roles::Role role = Roles::Cashier;
    };

    explicit Access(Database &database);

    std::optional<User> user() const;
    bool isSignedIn() const { return user().has_value(); }
    void signIn(const User &user);
    void signOut();

    // Whether the signed-in user may; an approver signed in on the spot
    // (a 会计 approving a 收费员's void) lends their role.
    bool may(Roles::Permission permission, const std::optional<User> &approver = {}) const;
    // Why not, for the clerk; empty when allowed.
    QString refusal(Roles::Permission permission, const std::optional<User> &approver = {}) const;

    // A check held for the length of a write: true when allowed, otherwise
    // result() says why and nothing may be written.
    class Permit
    {
    public:
        Permit(Database *database, WriteResult result);
        Permit(Permit &&other) noexcept;
        Permit(const Permit &) = delete;
        Permit &operator=(const Permit &) = delete;
        ~Permit();
        explicit operator bool() const { return m_result.ok(); }
        const WriteResult &result() const { return m_result; }

    private:
        Database *m_database = nullptr;
        WriteResult m_result;
    };
    Permit permit(Roles::Permission permission, const std::optional<User> &approver = {});
    // The program's own writes that no user asks for: receipts printed
    // earlier and still waiting for the journal, a wrong password's record.
    Permit permitOwnWrite();

    // Tests without a sign-in act as this user (the fee settings' clerk, as
    // an administrator, unless set otherwise); the program never sets it.
    using StandIn = std::function<std::optional<User>()>;
    static void setStandIn(StandIn standIn);

private:
    Database &m_database;
    std::optional<User> m_user;
};
