#pragma once

#include "roles.h"
#include "writeresult.h"

#include <QDateTime>
#include <QString>
#include <QVector>

#include <optional>

class Database;

// The office's users, kept in the database so that every PC on a shared
// server knows them. A user's every change (made, new password, role,
// active or not) is a row of its own with the whole state after it; the
// user is the newest row of the name. Passwords are kept only as Argon2id
// hashes (libsodium's crypto_pwhash, each with its own salt).
class UserStore
{
public:
    struct User {
        QString name;
        Roles::Role role = Roles::Cashier;
        bool active = true;
        QString madeBy; // who made the user, and when
        QDateTime madeAt;
    };
    struct SignIn {
        std::optional<User> user; // signed in
        QString refusal;          // why not, for the clerk
        int waitSeconds = 0;      // before the next try of this name
    };

    explicit UserStore(Database &db);

    // Every user, active or not, by name; nullopt when unreadable.
    std::optional<QVector<User>> users(QString *error = nullptr);
    std::optional<User> user(const QString &name, QString *error = nullptr);
    // No user yet: the first to be made is the administrator.
    bool isEmpty();

    // by: the signed-in user who does it (empty for the first user).
    WriteResult add(const QString &name, Roles::Role role, const QString &password,
                    const QString &by);
    WriteResult setPassword(const QString &name, const QString &password, const QString &by);
    WriteResult setRole(const QString &name, Roles::Role role, const QString &by);
    WriteResult setActive(const QString &name, bool active, const QString &by);

    // Checks a password. After 5 wrong passwords for one name in a row,
    // the name waits before the next try, longer after each further
    // wrong one; every wrong one is audited.
    SignIn signIn(const QString &name, const QString &password, const QDateTime &now);
    static int waitAfter(int wrongInARow);

    // Why a password cannot be used, or empty.
    static QString passwordProblem(const QString &password);
    static QString hash(const QString &password);
    static bool matches(const QString &hash, const QString &password);

private:
    struct Row {
        User user;
        QString hash;
        qint64 id = 0;
    };
    std::optional<Row> latest(const QString &name, QString *error);
    WriteResult write(const Row &row, const QString &kind, const QString &by,
                      const QString &auditText);

    Database &m_db;
};
