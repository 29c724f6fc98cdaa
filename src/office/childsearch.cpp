#include "childsearch.h"

#include <QFile>
#include <QTextStream>

namespace
{
// The first letter of each character's first reading, without its tone
// mark ("zhāng" → z), read once from the readings built into the program.
const QHash<char32_t, QChar> &initialLetters()
{
    static const QHash<char32_t, QChar> table = [] {
        QHash<char32_t, QChar> t;
        QFile f(QStringLiteral(":/pinyin/readings.txt"));
        if (!f.open(QIODevice::ReadOnly))
            return t;
        t.reserve(45000);
        const QByteArray all = f.readAll();
        for (const QByteArray &line : all.split('\n')) {
            const int tab = line.indexOf('\t');
            if (tab < 3 || !line.startsWith("U+") || tab + 1 >= line.size())
                continue;
            bool ok = false;
            const uint code = line.mid(2, tab - 2).toUInt(&ok, 16);
            const QString first = QString::fromUtf8(line.mid(tab + 1, 4))
                                      .left(1)
                                      .normalized(QString::NormalizationForm_D);
            if (ok && !first.isEmpty())
                t.insert(char32_t(code), first.at(0).toLower());
        }
        return t;
    }();
    return table;
}
} // namespace

bool ChildSearch::hasReadings()
{
    return !initialLetters().isEmpty();
}

QString ChildSearch::initials(const QString &name)
{
    const QHash<char32_t, QChar> &letters = initialLetters();
    QString out;
    out.reserve(name.size());
    const QList<uint> codes = name.toUcs4();
    for (const uint c : codes) {
        const auto it = letters.constFind(char32_t(c));
        if (it != letters.cend())
            out += *it;
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
