#include "userstore.h"

#include "auditlog.h"
#include "clock.h"
#include "database.h"
#include "writetransaction.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>

#include <sodium.h>

namespace
{
const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
constexpr int freeTries = 5;

bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}
} // namespace

UserStore::UserStore(Database &db) : m_db(db) {}

QString UserStore::passwordProblem(const QString &password)
{
    if (password.size() < 6)
        return QStringLiteral("密码至少要 6 个字符");
    if (password.trimmed() != password)
        return QStringLiteral("密码的开头和结尾不能是空格");
    return {};
}

QString UserStore::hash(const QString &password)
{
    if (!sodiumReady())
        return {};
    const QByteArray bytes = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, bytes.constData(), quint64(bytes.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return {};
    return QString::fromLatin1(out);
}

bool UserStore::matches(const QString &hash, const QString &password)
{
    if (!sodiumReady() || hash.isEmpty())
        return false;
    const QByteArray h = hash.toLatin1(), bytes = password.toUtf8();
    return crypto_pwhash_str_verify(h.constData(), bytes.constData(), quint64(bytes.size())) == 0;
}

int UserStore::waitAfter(int wrongInARow)
{
    if (wrongInARow < freeTries)
        return 0;
    // 30 s after the fifth, doubling, at most an hour.
    const int doublings = qMin(wrongInARow - freeTries, 7);
    return qMin(30 << doublings, 3600);
}

std::optional<UserStore::Row> UserStore::latest(const QString &name, QString *error)
{
    QSqlQuery q(m_db.connection());
    q.prepare(QStringLiteral(
        "SELECT id, role, pw_hash, active, (SELECT by_user FROM user_entry f WHERE f.name = "
        "u.name ORDER BY id LIMIT 1), (SELECT at FROM user_entry f WHERE f.name = u.name ORDER "
        "BY id LIMIT 1) FROM user_entry u WHERE name = ? ORDER BY id DESC LIMIT 1"));
    q.addBindValue(name);
    if (!q.exec()) {
        if (error)
            *error = q.lastError().text();
        return std::nullopt;
    }
    if (!q.next())
        return Row{};
    Row r;
    r.id = q.value(0).toLongLong();
    r.user.name = name;
    r.user.role = Roles::fromName(q.value(1).toString()).value_or(Roles::Cashier);
    r.hash = q.value(2).toString();
    r.user.active = q.value(3).toInt() != 0;
    r.user.madeBy = q.value(4).toString();
    r.user.madeAt = QDateTime::fromString(q.value(5).toString(), timeFormat);
    return r;
}

std::optional<QVector<UserStore::User>> UserStore::users(QString *error)
{
    QSqlQuery q(m_db.connection());
    if (!q.exec(QStringLiteral("SELECT DISTINCT name FROM user_entry ORDER BY name"))) {
        if (error)
            *error = q.lastError().text();
        return std::nullopt;
    }
    QStringList names;
    while (q.next())
        names << q.value(0).toString();
    QVector<User> list;
    for (const QString &n : std::as_const(names)) {
        const auto r = latest(n, error);
        if (!r)
            return std::nullopt;
        list << r->user;
    }
    return list;
}

std::optional<UserStore::User> UserStore::user(const QString &name, QString *error)
{
    const auto r = latest(name, error);
    if (!r || r->id == 0)
        return std::nullopt;
    return r->user;
}

bool UserStore::isEmpty()
{
    QSqlQuery q(m_db.connection());
    return q.exec(QStringLiteral("SELECT count(*) FROM user_entry")) && q.next() &&
           q.value(0).toLongLong() == 0;
}

WriteResult UserStore::write(const Row &row, const QString &kind, const QString &by,
                             const QString &auditText)
{
    if (WriteResult w = m_db.writable(); !w)
        return w;
    WriteTransaction tx(m_db);
    if (!tx.isActive())
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("用户没有保存"),
                                    tx.errorString());
    QSqlQuery q(m_db.connection());
    q.prepare(QStringLiteral("INSERT INTO user_entry (name, kind, role, pw_hash, active, by_user, "
                             "host, at) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    q.addBindValue(row.user.name);
    q.addBindValue(kind);
    q.addBindValue(Roles::name(row.user.role));
    q.addBindValue(row.hash);
    q.addBindValue(row.user.active ? 1 : 0);
    q.addBindValue(by);
    q.addBindValue(QSysInfo::machineHostName());
    q.addBindValue(Clock::now().toString(timeFormat));
    if (!q.exec())
        return m_db.unreachable(q.lastError());
    tx.audit(AuditLog::users(), auditText);
    if (!tx.commit())
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("用户没有保存"),
                                    tx.errorString());
    return WriteResult::success();
}

WriteResult UserStore::add(const QString &name, Roles::Role role, const QString &password,
                           const QString &by)
{
    const QString cleaned = name.trimmed();
    if (cleaned.isEmpty())
        return WriteResult::failure(WriteResult::Refused, QStringLiteral("用户名不能为空"));
    if (cleaned.size() > 20)
        return WriteResult::failure(WriteResult::Refused, QStringLiteral("用户名最多 20 个字"));
    for (const QChar c : cleaned)
        if (c.category() == QChar::Other_Control)
            return WriteResult::failure(WriteResult::Refused,
                                        QStringLiteral("用户名里不能有控制字符"));
    if (const QString why = passwordProblem(password); !why.isEmpty())
        return WriteResult::failure(WriteResult::Refused, why);
    QString error;
    const auto existing = latest(cleaned, &error);
    if (!existing)
        return WriteResult::failure(WriteResult::Unreachable, QStringLiteral("用户没有保存"),
                                    error);
    if (existing->id != 0)
        return WriteResult::failure(WriteResult::Refused,
                                    QStringLiteral("已有名为“%1”的用户").arg(cleaned));
    Row row;
    row.user.name = cleaned;
    row.user.role = role;
    row.hash = hash(password);
    if (row.hash.isEmpty())
        return WriteResult::failure(WriteResult::Refused, QStringLiteral("无法计算密码摘要"));
    return write(row, QStringLiteral("新建"), by,
                 QStringLiteral("新建用户“%1”（%2）").arg(cleaned, Roles::name(role)));
}

WriteResult UserStore::setPassword(const QString &name, const QString &password, const QString &by)
{
    if (const QString why = passwordProblem(password); !why.isEmpty())
        return WriteResult::failure(WriteResult::Refused, why);
    QString error;
    auto row = latest(name, &error);
    if (!row || row->id == 0)
        return WriteResult::failure(WriteResult::Refused,
                                    row ? QStringLiteral("没有名为“%1”的用户").arg(name) : error);
    row->hash = hash(password);
    if (row->hash.isEmpty())
        return WriteResult::failure(WriteResult::Refused, QStringLiteral("无法计算密码摘要"));
    return write(*row, QStringLiteral("改密码"), by,
                 by == name ? QStringLiteral("“%1”修改了自己的密码").arg(name)
                            : QStringLiteral("重设“%1”的密码").arg(name));
}

WriteResult UserStore::setRole(const QString &name, Roles::Role role, const QString &by)
{
    QString error;
    auto row = latest(name, &error);
    if (!row || row->id == 0)
        return WriteResult::failure(WriteResult::Refused,
                                    row ? QStringLiteral("没有名为“%1”的用户").arg(name) : error);
    const Roles::Role before = row->user.role;
    row->user.role = role;
    return write(
        *row, QStringLiteral("改角色"), by,
        QStringLiteral("“%1”的角色：%2 → %3").arg(name, Roles::name(before), Roles::name(role)));
}

WriteResult UserStore::setActive(const QString &name, bool active, const QString &by)
{
    QString error;
    auto row = latest(name, &error);
    if (!row || row->id == 0)
        return WriteResult::failure(WriteResult::Refused,
                                    row ? QStringLiteral("没有名为“%1”的用户").arg(name) : error);
    row->user.active = active;
    return write(*row, active ? QStringLiteral("启用") : QStringLiteral("停用"), by,
                 QStringLiteral("%1用户“%2”")
                     .arg(active ? QStringLiteral("启用") : QStringLiteral("停用"), name));
}

UserStore::SignIn UserStore::signIn(const QString &name, const QString &password,
                                    const QDateTime &now)
{
    SignIn result;
    QString error;
    const auto row = latest(name, &error);
    if (!row) {
        result.refusal = QStringLiteral("无法读取用户：%1").arg(error);
        return result;
    }
    // The wrong passwords since the last sign-in that succeeded.
    QSqlQuery q(m_db.connection());
    q.prepare(
        QStringLiteral("SELECT count(*), max(at) FROM sign_in_failure WHERE name = ? AND id > "
                       "(SELECT coalesce(max(id), 0) FROM sign_in_failure WHERE name = ? "
                       "AND host = '')"));
    q.addBindValue(name);
    q.addBindValue(name);
    int wrong = 0;
    QDateTime last;
    if (q.exec() && q.next()) {
        wrong = q.value(0).toInt();
        last = QDateTime::fromString(q.value(1).toString(), timeFormat);
    }
    if (const int wait = waitAfter(wrong); wait > 0 && last.isValid()) {
        const qint64 left = now.secsTo(last.addSecs(wait));
        if (left > 0) {
            result.waitSeconds = int(left);
            result.refusal = QStringLiteral("“%1”的密码已连续输错 %2 次，请 %3 秒后再试")
                                 .arg(name)
                                 .arg(wrong)
                                 .arg(left);
            return result;
        }
    }
    if (row->id != 0 && row->user.active && matches(row->hash, password)) {
        // A success ends the run of wrong ones: a row with no host marks it.
        if (wrong > 0) {
            WriteTransaction tx(m_db);
            QSqlQuery mark(m_db.connection());
            mark.prepare(
                QStringLiteral("INSERT INTO sign_in_failure (name, host, at) VALUES (?, '', ?)"));
            mark.addBindValue(name);
            mark.addBindValue(now.toString(timeFormat));
            if (tx.isActive() && mark.exec()) {
                tx.audit(AuditLog::users(),
                         QStringLiteral("“%1”登录成功，此前输错 %2 次").arg(name).arg(wrong));
                tx.commit();
            }
        }
        result.user = row->user;
        return result;
    }
    // Wrong: the same words whether the name exists, is inactive or the
    // password is wrong, so that names cannot be found by trying.
    {
        WriteTransaction tx(m_db);
        QSqlQuery fail(m_db.connection());
        fail.prepare(
            QStringLiteral("INSERT INTO sign_in_failure (name, host, at) VALUES (?, ?, ?)"));
        fail.addBindValue(name);
        fail.addBindValue(QSysInfo::machineHostName().isEmpty() ? QStringLiteral("?")
                                                                : QSysInfo::machineHostName());
        fail.addBindValue(now.toString(timeFormat));
        if (tx.isActive() && fail.exec()) {
            tx.audit(AuditLog::signInRefused(),
                     QStringLiteral("“%1”密码错误（连续第 %2 次）").arg(name).arg(wrong + 1));
            tx.commit();
        }
    }
    result.refusal = QStringLiteral("用户名或密码不对");
    if (const int wait = waitAfter(wrong + 1); wait > 0) {
        result.waitSeconds = wait;
        result.refusal +=
            QStringLiteral("；已连续输错 %1 次，请 %2 秒后再试").arg(wrong + 1).arg(wait);
    }
    return result;
}
