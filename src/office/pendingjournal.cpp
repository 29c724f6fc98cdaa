#include "pendingjournal.h"

#include "owneronly.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUuid>

namespace
{
const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// JSON text written directly: a print of 500 receipts writes the file
// before the paper comes out, and building it as objects took longer than
// recording them.
void appendString(QByteArray &out, const QString &text)
{
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            out += "\\u00";
            out += hex[u >> 4];
            out += hex[u & 0xf];
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendField(QByteArray &out, const char *key, const QString &text)
{
    if (out.back() != '{')
        out += ',';
    out += '"';
    out += key;
    out += "\":";
    appendString(out, text);
}

void appendJson(QByteArray &out, const JournalEntry &e)
{
    out += '{';
    appendField(out, "printedAt", e.printedAt.toString(timeFormat));
    if (!e.serial.isEmpty())
        appendField(out, "serial", e.serial);
    appendField(out, "class", e.className);
    appendField(out, "name", e.name);
    appendField(out, "age", e.age);
    out += ",\"lines\":[";
    for (int i = 0; i < Receipt::Slots; ++i) {
        if (e.labels[size_t(i)].isNull())
            break;
        if (i > 0)
            out += ',';
        out += '{';
        appendField(out, "label", e.labels[size_t(i)]);
        appendField(out, "fen", QString::number(e.amounts[size_t(i)]));
        out += '}';
    }
    out += ']';
    appendField(out, "totalFen", QString::number(e.total));
    appendField(out, "clerk", e.clerk);
    appendField(out, "printer", e.printer);
    appendField(out, "host", e.host);
    appendField(out, "month", e.belongsTo());
    appendField(out, "reprintOf", e.reprintOf);
    out += ",\"child\":" + QByteArray::number(int(e.child));
    appendField(out, "childId", e.childId);
    appendField(out, "method", e.method);
    appendField(out, "reference", e.reference);
    appendField(out, "paidFen", QString::number(e.paid));
    // What the payment does to the account: the credit printed on the paper
    // and the month's charges it records.
    appendField(out, "creditFen", QString::number(e.credit));
    appendField(out, "reducedFen", QString::number(e.reduced));
    appendField(out, "studentId", QString::number(e.studentId));
    out += ",\"charges\":[";
    for (qsizetype i = 0; i < e.charges.size(); ++i) {
        if (i > 0)
            out += ',';
        out += '{';
        appendField(out, "item", e.charges.at(i).first);
        appendField(out, "fen", QString::number(e.charges.at(i).second));
        out += '}';
    }
    out += "]}";
}

JournalEntry fromJson(const QJsonObject &o)
{
    JournalEntry e;
    e.printedAt =
        QDateTime::fromString(o.value(QStringLiteral("printedAt")).toString(), timeFormat);
    e.serial = o.value(QStringLiteral("serial")).toString();
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
    e.reduced = o.value(QStringLiteral("reducedFen")).toString().toLongLong();
    e.studentId = o.value(QStringLiteral("studentId")).toString().toLongLong();
    for (const QJsonValue &c : o.value(QStringLiteral("charges")).toArray())
        e.charges.append({c.toObject().value(QStringLiteral("item")).toString(),
                          c.toObject().value(QStringLiteral("fen")).toString().toLongLong()});
    return e;
}
} // namespace

QString PendingJournal::toText(const JournalEntry &entry)
{
    QByteArray out;
    appendJson(out, entry);
    return QString::fromUtf8(out);
}

JournalEntry PendingJournal::fromText(const QString &text)
{
    return fromJson(QJsonDocument::fromJson(text.toUtf8()).object());
}

namespace
{
const QString printingSuffix = QStringLiteral(".打印中.json");

QVector<JournalEntry> readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QVector<JournalEntry> entries;
    for (const QJsonValue v : QJsonDocument::fromJson(f.readAll()).array())
        entries << fromJson(v.toObject());
    return entries;
}

bool writeFile(const QString &path, const QVector<JournalEntry> &entries, QString *error)
{
    OwnerOnly::createFolder(QFileInfo(path).absolutePath());
    QByteArray text = "[";
    text.reserve(entries.size() * 700 + 2);
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (i > 0)
            text += ',';
        appendJson(text, entries.at(i));
    }
    text += ']';
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) < 0 || !f.commit()) {
        *error =
            QStringLiteral("无法写入 %1：%2").arg(QDir::toNativeSeparators(path), f.errorString());
        return false;
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

// The window a file belongs to: the part of its name after the common
// start ("" for the one file of earlier versions).
QString tokenOf(const QString &name, const QString &start)
{
    const QString rest = name.mid(start.size());
    if (!rest.startsWith(QLatin1Char('-')))
        return QString();
    const qsizetype end = rest.indexOf(QRegularExpression(QStringLiteral("[-.]")), 1);
    return rest.mid(1, end < 0 ? -1 : end - 1);
}
} // namespace

PendingJournal::PendingJournal(const DbConfig &config)
    : m_token(QUuid::createUuid().toString(QUuid::Id128).left(12))
{
    if (config.isSqlite() && config.path != QLatin1String(":memory:")) {
        m_base = config.path + QStringLiteral(".待记收据");
    } else {
        const QByteArray id =
            QCryptographicHash::hash(config.describe().toUtf8(), QCryptographicHash::Sha1).toHex();
        m_base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                 QStringLiteral("/feeoffice/待记收据-%1").arg(QString::fromLatin1(id.left(16)));
    }
    m_path = QStringLiteral("%1-%2.json").arg(m_base, m_token);
    m_printingPath = QStringLiteral("%1-%2%3").arg(m_base, m_token, printingSuffix);
    // Held while the window runs: the next window sees it is alive.
    OwnerOnly::createFolder(QFileInfo(m_base).absolutePath());
    m_lock = std::make_unique<QLockFile>(QStringLiteral("%1-%2.lock").arg(m_base, m_token));
    m_lock->setStaleLockTime(0);
    m_lock->tryLock(0);
}

PendingJournal::~PendingJournal() = default;

QStringList PendingJournal::ownFiles(const QString &kind) const
{
    const QFileInfo base(m_base);
    const QString start = base.fileName() + QLatin1Char('-') + m_token;
    QStringList files;
    const QStringList names =
        QDir(base.absolutePath())
            .entryList({start + QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    for (const QString &n : names)
        if (tokenOf(n, base.fileName()) == m_token && n.endsWith(printingSuffix) == !kind.isEmpty())
            files << base.absolutePath() + QLatin1Char('/') + n;
    return files;
}

int PendingJournal::adoptOrphans()
{
    const QFileInfo base(m_base);
    const QDir folder(base.absolutePath());
    const QString start = base.fileName();
    QHash<QString, QStringList> byWindow;
    for (const QString &n : folder.entryList({start + QStringLiteral("*.json")}, QDir::Files)) {
        const QString token = tokenOf(n, start);
        if (token != m_token)
            byWindow[token] << n;
    }
    int adopted = 0;
    for (auto it = byWindow.cbegin(); it != byWindow.cend(); ++it) {
        const QString lockPath = it.key().isEmpty()
                                     ? m_base + QStringLiteral(".lock")
                                     : QStringLiteral("%1-%2.lock").arg(m_base, it.key());
        // Locked by a window still running (here or on another PC): its own.
        QLockFile owner(lockPath);
        owner.setStaleLockTime(0);
        if (!owner.tryLock(0))
            continue;
        for (const QString &n : it.value()) {
            const bool printing = n.endsWith(printingSuffix);
            for (int i = 1;; ++i) {
                const QString to = QStringLiteral("%1-%2-%3%4")
                                       .arg(m_base, m_token, QString::number(i),
                                            printing ? printingSuffix : QStringLiteral(".json"));
                if (QFile::exists(to))
                    continue;
                if (QFile::rename(folder.filePath(n), to))
                    ++adopted;
                break;
            }
        }
    }
    return adopted;
}

QVector<JournalEntry> PendingJournal::read() const
{
    QVector<JournalEntry> entries;
    for (const QString &f : ownFiles(QString()))
        entries += readFile(f);
    return entries;
}

bool PendingJournal::printing(const QVector<JournalEntry> &entries)
{
    m_error.clear();
    return writeFile(m_printingPath, entries, &m_error);
}

void PendingJournal::printed()
{
    QFile::remove(m_printingPath);
}

QVector<JournalEntry> PendingJournal::interrupted() const
{
    QVector<JournalEntry> entries;
    for (const QString &f : ownFiles(printingSuffix))
        if (f != m_printingPath)
            entries += readFile(f);
    return entries;
}

void PendingJournal::forgetInterrupted()
{
    for (const QString &f : ownFiles(printingSuffix))
        if (f != m_printingPath)
            QFile::remove(f);
}

bool PendingJournal::add(const QVector<JournalEntry> &entries)
{
    return replace(read() + entries);
}

bool PendingJournal::replace(const QVector<JournalEntry> &entries)
{
    m_error.clear();
    const QStringList before = ownFiles(QString());
    if (!entries.isEmpty() && !writeFile(m_path, entries, &m_error))
        return false;
    // The entries now stand in the one file (or nowhere): the others go.
    for (const QString &f : before)
        if ((f != m_path || entries.isEmpty()) && QFile::exists(f) && !QFile::remove(f)) {
            m_error = QStringLiteral("无法删除 %1").arg(QDir::toNativeSeparators(f));
            return false;
        }
    return true;
}
