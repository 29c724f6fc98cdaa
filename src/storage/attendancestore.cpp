#include "attendancestore.h"

#include "database.h"

#include <QSqlError>
#include <QSqlQuery>

namespace
{
const QString dayFormat = QStringLiteral("yyyy-MM-dd");
}

AttendanceStore::AttendanceStore(Database &database) : m_db(database) {}

std::optional<Absence::Calendar> AttendanceStore::calendar(const QString &month)
{
    m_error.clear();
    QSqlQuery q(m_db.connection());
    q.prepare(QStringLiteral("SELECT day, kind FROM school_calendar WHERE day LIKE ?"));
    q.addBindValue(month + QStringLiteral("-%"));
    if (!q.exec()) {
        m_error = q.lastError().text();
        return std::nullopt;
    }
    Absence::Calendar c;
    while (q.next()) {
        const QDate d = QDate::fromString(q.value(0).toString(), dayFormat);
        if (q.value(1).toString() == QStringLiteral("补班"))
            c.workdays.insert(d);
        else
            c.holidays.insert(d);
    }
    return c;
}

WriteResult AttendanceStore::saveCalendar(const QString &month, const Absence::Calendar &calendar)
{
    m_error.clear();
    if (WriteResult r = m_db.writable(); !r)
        return r;
    QSqlError begun;
    if (!m_db.beginWrite(&begun))
        return m_db.unreachable(begun);
    QSqlDatabase db = m_db.connection();
    QSqlQuery q(db);
    auto failed = [&] {
        const QSqlError e = q.lastError();
        db.rollback();
        return m_db.unreachable(e);
    };
    q.prepare(QStringLiteral("DELETE FROM school_calendar WHERE day LIKE ?"));
    q.addBindValue(month + QStringLiteral("-%"));
    if (!q.exec())
        return failed();
    if (!q.prepare(QStringLiteral("INSERT INTO school_calendar (day, kind) VALUES (?, ?)")))
        return failed();
    for (const auto &[days, kind] : {std::pair{&calendar.holidays, QStringLiteral("假日")},
                                     std::pair{&calendar.workdays, QStringLiteral("补班")}}) {
        for (const QDate &d : *days) {
            if (d.toString(QStringLiteral("yyyy-MM")) != month)
                continue;
            q.bindValue(0, d.toString(dayFormat));
            q.bindValue(1, kind);
            if (!q.exec())
                return failed();
        }
    }
    if (!db.commit()) {
        const QSqlError e = db.lastError();
        db.rollback();
        return m_db.unreachable(e);
    }
    return WriteResult::success();
}

std::optional<QHash<QString, AttendanceStore::ChildDays>>
AttendanceStore::read(const QString &className, const QString &month)
{
    m_error.clear();
    QSqlQuery q(m_db.connection());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT child_id, child_name, day, days, leave FROM attendance WHERE "
                             "class_name = ? AND month = ?"));
    q.addBindValue(className);
    q.addBindValue(month);
    if (!q.exec()) {
        m_error = q.lastError().text();
        return std::nullopt;
    }
    QHash<QString, ChildDays> out;
    while (q.next()) {
        ChildDays &c = out[q.value(0).toString()];
        c.name = q.value(1).toString();
        Absence::Absent a;
        a.day = QDate::fromString(q.value(2).toString(), dayFormat);
        a.count = q.value(3).toInt();
        a.leave = q.value(4).toInt() != 0;
        c.days << a;
    }
    return out;
}

WriteResult AttendanceStore::save(const QString &className, const QString &month,
                                  const QHash<QString, ChildDays> &children, const QString &clerk,
                                  const QDateTime &at)
{
    m_error.clear();
    if (WriteResult r = m_db.writable(); !r)
        return r;
    QSqlError begun;
    if (!m_db.beginWrite(&begun))
        return m_db.unreachable(begun);
    QSqlDatabase db = m_db.connection();
    QSqlQuery q(db);
    auto failed = [&] {
        const QSqlError e = q.lastError();
        db.rollback();
        return m_db.unreachable(e);
    };
    q.prepare(QStringLiteral("DELETE FROM attendance WHERE class_name = ? AND month = ?"));
    q.addBindValue(className);
    q.addBindValue(month);
    if (!q.exec())
        return failed();
    if (!q.prepare(QStringLiteral(
            "INSERT INTO attendance (class_name, month, child_id, child_name, day, days, leave, "
            "clerk, recorded_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)")))
        return failed();
    for (auto it = children.cbegin(); it != children.cend(); ++it) {
        for (const Absence::Absent &a : it->days) {
            q.bindValue(0, className);
            q.bindValue(1, month);
            q.bindValue(2, it.key());
            q.bindValue(3, it->name);
            q.bindValue(4, a.day.isValid() ? a.day.toString(dayFormat) : QStringLiteral(""));
            q.bindValue(5, a.day.isValid() ? 1 : a.count);
            q.bindValue(6, a.leave ? 1 : 0);
            q.bindValue(7, clerk.isNull() ? QStringLiteral("") : clerk);
            q.bindValue(8, at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
            if (!q.exec())
                return failed();
        }
    }
    if (!db.commit()) {
        const QSqlError e = db.lastError();
        db.rollback();
        return m_db.unreachable(e);
    }
    return WriteResult::success();
}
