#include "journal.h"

#include <QHash>

Receipt JournalEntry::receipt() const
{
    Receipt r;
    r.name = ReceiptText::encode(name, Receipt::TextBytes);
    r.age = ReceiptText::encode(age, Receipt::TextBytes);
    r.clerk = ReceiptText::encode(clerk, Receipt::TextBytes);
    for (int i = 0; i < Receipt::Slots; ++i) {
        if (labels[i].isNull())
            break;
        r.entries[i].label = ReceiptText::encode(labels[i], Receipt::LabelBytes);
        r.entries[i].amount = static_cast<qint32>(amounts[i]);
        r.entryCount = i + 1;
    }
    r.total = static_cast<qint32>(total);
    r.credit = static_cast<qint32>(credit);
    r.reduced = static_cast<qint32>(reduced);
    return r;
}

void JournalEntry::setLines(const Receipt &receipt)
{
    labels = {};
    amounts = {};
    for (int i = 0; i < receipt.entryCount && i < Receipt::Slots; ++i) {
        labels[i] = ReceiptText::decode(receipt.entries[i].label);
        if (labels[i].isNull())
            labels[i] = QStringLiteral("");
        amounts[i] = receipt.entries[i].amount;
    }
    total = receipt.total;
    credit = receipt.credit;
    reduced = receipt.reduced;
}

JournalEntry JournalEntry::fromReceipt(const Receipt &receipt, const QString &className,
                                       const QDateTime &printedAt)
{
    JournalEntry e;
    e.printedAt = printedAt;
    e.className = className;
    e.name = ReceiptText::decode(receipt.name);
    e.age = ReceiptText::decode(receipt.age);
    e.clerk = ReceiptText::decode(receipt.clerk);
    e.setLines(receipt);
    return e;
}

QString JournalEntry::belongsTo() const
{
    return month.isEmpty() ? Journal::month(printedAt) : month;
}

namespace Journal
{
QHash<QString, qint64> secondFormTotals(const QVector<JournalEntry> &entries)
{
    QHash<QString, qint64> totals;
    for (const JournalEntry &e : entries)
        if (!e.firstForm.isEmpty())
            totals[e.firstForm] += e.total;
    return totals;
}

QString serial(int year, qint64 number)
{
    return QStringLiteral("%1-%2").arg(year).arg(number, 6, 10, QLatin1Char('0'));
}

QString month(const QDateTime &moment)
{
    return moment.toString(QStringLiteral("yyyy-MM"));
}

QMap<QString, ClassTotal> totalsByClass(const QVector<JournalEntry> &entries)
{
    // A month holds a hundred thousand receipts of a few hundred classes:
    // summed by hash, sorted once.
    QHash<QString, ClassTotal> sums;
    for (const JournalEntry &e : entries) {
        if (e.unprinted || e.voided)
            continue;
        ClassTotal &t = sums[e.className];
        if (e.isReprint()) {
            ++t.reprints;
            continue;
        }
        ++t.count;
        t.total += e.total;
    }
    QMap<QString, ClassTotal> totals;
    for (auto it = sums.cbegin(); it != sums.cend(); ++it)
        totals.insert(it.key(), it.value());
    return totals;
}

QString yuan(qint64 fen)
{
    const QString sign = fen < 0 ? QStringLiteral("-") : QString();
    const qint64 a = fen < 0 ? -fen : fen;
    return sign + QStringLiteral("%1.%2").arg(a / 100).arg(a % 100, 2, 10, QLatin1Char('0'));
}

QString cleanText(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            out += QLatin1Char(' ');
            continue;
        }
        const auto cat = c.category();
        if (c.unicode() == 0 || cat == QChar::Other_Control || cat == QChar::Other_Format)
            continue;
        out += c;
    }
    return out.trimmed();
}
} // namespace Journal

ReceiptMarks JournalEntry::marks() const
{
    ReceiptMarks m;
    m.serial = serial;
    m.method = method;
    m.reference = reference;
    m.copyOf = reprintOf;
    // A part payment prints what was paid; the clerk was shown what was due.
    if (reprintOf.isEmpty() && expectedDue > 0 && total < expectedDue)
        m.owedAfter = expectedDue - total;
    return m;
}
