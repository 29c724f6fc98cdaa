#include "pendingjournal.h"

#include "owneronly.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

namespace
{
const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QJsonObject toJson(const JournalEntry &e)
{
    QJsonObject o;
    o[QStringLiteral("printedAt")] = e.printedAt.toString(timeFormat);
    o[QStringLiteral("class")] = e.className;
    o[QStringLiteral("name")] = e.name;
    o[QStringLiteral("age")] = e.age;
    QJsonArray lines;
    for (int i = 0; i < Receipt::Slots; ++i) {
        if (e.labels[size_t(i)].isNull())
            break;
        lines.append(QJsonObject{{QStringLiteral("label"), e.labels[size_t(i)]},
                                 {QStringLiteral("fen"), QString::number(e.amounts[size_t(i)])}});
    }
    o[QStringLiteral("lines")] = lines;
    o[QStringLiteral("totalFen")] = QString::number(e.total);
    o[QStringLiteral("clerk")] = e.clerk;
    o[QStringLiteral("printer")] = e.printer;
    o[QStringLiteral("host")] = e.host;
    o[QStringLiteral("month")] = e.belongsTo();
    o[QStringLiteral("reprintOf")] = e.reprintOf;
    o[QStringLiteral("child")] = int(e.child);
    o[QStringLiteral("childId")] = e.childId;
    o[QStringLiteral("method")] = e.method;
    o[QStringLiteral("reference")] = e.reference;
    o[QStringLiteral("paidFen")] = QString::number(e.paid);
    // What the payment does to the account: the credit printed on the paper
    // and the month's charges it records.
    o[QStringLiteral("creditFen")] = QString::number(e.credit);
    o[QStringLiteral("studentId")] = QString::number(e.studentId);
    QJsonArray charges;
    for (const auto &c : e.charges)
        charges.append(QJsonObject{{QStringLiteral("item"), c.first},
                                   {QStringLiteral("fen"), QString::number(c.second)}});
    o[QStringLiteral("charges")] = charges;
    return o;
}

JournalEntry fromJson(const QJsonObject &o)
{
    JournalEntry e;
    e.printedAt =
        QDateTime::fromString(o.value(QStringLiteral("printedAt")).toString(), timeFormat);
    e.className = o.value(QStringLiteral("class")).toString();
    e.name = o.value(QStringLiteral("name")).toString();
    e.age = o.value(QStringLiteral("age")).toString();
    const QJsonArray lines = o.value(QStringLiteral("lines")).toArray();
    for (int i = 0; i < lines.size() && i < Receipt::Slots; ++i) {
        const QJsonObject l = lines.at(i).toObject();
        e.labels[size_t(i)] = l.value(QStringLiteral("label")).toString(QStringLiteral(""));
        e.amounts[size_t(i)] = l.value(QStringLiteral("fen")).toString().toLongLong();
    }
    e.total = o.value(QStringLiteral("totalFen")).toString().toLongLong();
    e.clerk = o.value(QStringLiteral("clerk")).toString();
    e.printer = o.value(QStringLiteral("printer")).toString();
    e.host = o.value(QStringLiteral("host")).toString();
    e.month = o.value(QStringLiteral("month")).toString();
    e.reprintOf = o.value(QStringLiteral("reprintOf")).toString();
    const int child = o.value(QStringLiteral("child")).toInt();
    if (child >= 0 && child <= int(JournalEntry::Child::PaysRest))
        e.child = JournalEntry::Child(child);
    e.childId = o.value(QStringLiteral("childId")).toString();
    e.method = o.value(QStringLiteral("method")).toString();
    e.reference = o.value(QStringLiteral("reference")).toString();
    e.paid = o.value(QStringLiteral("paidFen")).toString().toLongLong();
    e.credit = o.value(QStringLiteral("creditFen")).toString().toLongLong();
    e.studentId = o.value(QStringLiteral("studentId")).toString().toLongLong();
    for (const QJsonValue &c : o.value(QStringLiteral("charges")).toArray())
        e.charges.append({c.toObject().value(QStringLiteral("item")).toString(),
                          c.toObject().value(QStringLiteral("fen")).toString().toLongLong()});
    return e;
}
} // namespace

QString PendingJournal::toText(const JournalEntry &entry)
{
    return QString::fromUtf8(QJsonDocument(toJson(entry)).toJson(QJsonDocument::Compact));
}

JournalEntry PendingJournal::fromText(const QString &text)
{
    return fromJson(QJsonDocument::fromJson(text.toUtf8()).object());
}

PendingJournal::PendingJournal(const DbConfig &config)
{
    if (config.isSqlite() && config.path != QLatin1String(":memory:")) {
        m_path = config.path + QStringLiteral(".待记收据.json");
        return;
    }
    const QByteArray id =
        QCryptographicHash::hash(config.describe().toUtf8(), QCryptographicHash::Sha1).toHex();
    m_path = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
             QStringLiteral("/feeoffice/待记收据-%1.json").arg(QString::fromLatin1(id.left(16)));
}

QVector<JournalEntry> PendingJournal::read() const
{
    QFile f(m_path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QVector<JournalEntry> entries;
    for (const QJsonValue v : QJsonDocument::fromJson(f.readAll()).array())
        entries << fromJson(v.toObject());
    return entries;
}

bool PendingJournal::add(const QVector<JournalEntry> &entries)
{
    return replace(read() + entries);
}

bool PendingJournal::replace(const QVector<JournalEntry> &entries)
{
    m_error.clear();
    if (entries.isEmpty()) {
        if (QFile::exists(m_path) && !QFile::remove(m_path)) {
            m_error = QStringLiteral("无法删除 %1").arg(QDir::toNativeSeparators(m_path));
            return false;
        }
        return true;
    }
    OwnerOnly::createFolder(QFileInfo(m_path).absolutePath());
    QJsonArray array;
    for (const JournalEntry &e : entries)
        array.append(toJson(e));
    QSaveFile f(m_path);
    if (!f.open(QIODevice::WriteOnly) ||
        f.write(QJsonDocument(array).toJson(QJsonDocument::Compact)) < 0 || !f.commit()) {
        m_error = QStringLiteral("无法写入 %1：%2")
                      .arg(QDir::toNativeSeparators(m_path), f.errorString());
        return false;
    }
    QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}
