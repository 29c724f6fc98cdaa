#include "childsearch.h"

#include <QFile>
#include <QTextStream>

namespace
{
const QHash<char32_t, QString> &readings()
{
    static const QHash<char32_t, QString> table = [] {
        QHash<char32_t, QString> t;
        QFile f(QStringLiteral(":/pinyin/readings.txt"));
        if (!f.open(QIODevice::ReadOnly))
            return t;
        t.reserve(45000);
        const QByteArray all = f.readAll();
        for (const QByteArray &line : all.split('\n')) {
            const int tab = line.indexOf('\t');
            if (tab < 3 || !line.startsWith("U+"))
                continue;
            bool ok = false;
            const uint code = line.mid(2, tab - 2).toUInt(&ok, 16);
            if (ok)
                t.insert(char32_t(code), QString::fromUtf8(line.mid(tab + 1)));
        }
        return t;
    }();
    return table;
}

// The reading's first letter without its tone mark.
QChar initialOf(const QString &reading)
{
    const QString plain = reading.left(1).normalized(QString::NormalizationForm_D);
    return plain.isEmpty() ? QChar() : plain.at(0).toLower();
}
} // namespace

QString ChildSearch::reading(char32_t character)
{
    return readings().value(character);
}

QString ChildSearch::initials(const QString &name)
{
    QString out;
    const QList<uint> codes = name.toUcs4();
    for (const uint c : codes) {
        const QString r = reading(char32_t(c));
        if (!r.isEmpty())
            out += initialOf(r);
        else if (!QChar::isSpace(c))
            out += QString::fromUcs4(reinterpret_cast<const char32_t *>(&c), 1).toLower();
    }
    return out;
}

QVector<ChildSearch::Match> ChildSearch::find(const QList<RosterDocument *> &documents,
                                              const QString &typed, int limit)
{
    const QString text = typed.trimmed();
    QVector<Match> byName, byStart, byInitials;
    if (text.isEmpty())
        return {};
    const QString lower = text.toLower();
    // Letters only are initials too; any other text is part of a name.
    bool latin = true;
    for (const QChar c : lower)
        latin = latin && c.unicode() < 128 && c.isLetterOrNumber();
    for (RosterDocument *doc : documents) {
        for (int r = 0; r < doc->size(); ++r) {
            if (byName.size() >= limit)
                break;
            const ChildRecord &rec = doc->record(r);
            if (!rec.has(Roster::Name))
                continue;
            const QString name = rec.text(Roster::Name);
            if (name.isEmpty())
                continue;
            Match m{ChildRef{doc, doc->uid(r)}, name, doc->className()};
            if (name.contains(text, Qt::CaseInsensitive)) {
                byName << m;
                continue;
            }
            if (!latin)
                continue;
            auto it = m_initials.constFind(name);
            if (it == m_initials.cend())
                it = m_initials.insert(name, initials(name));
            if (it->startsWith(lower))
                byStart << m;
            else if (it->contains(lower))
                byInitials << m;
        }
    }
    QVector<Match> all = byName;
    all += byStart;
    all += byInitials;
    if (all.size() > limit)
        all.resize(limit);
    return all;
}
