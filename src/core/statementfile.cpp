#include "statementfile.h"

#include "journal.h"
#include "ledger.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QStringDecoder>

namespace Statements
{

QString sourceText(Source source)
{
    switch (source) {
    case Source::WeChat:
        return QStringLiteral("微信");
    case Source::Alipay:
        return QStringLiteral("支付宝");
    default:
        return QStringLiteral("银行");
    }
}

QStringList methodsOf(Source source)
{
    switch (source) {
    case Source::WeChat:
        return {QStringLiteral("微信")};
    case Source::Alipay:
        return {QStringLiteral("支付宝")};
    default:
        return {QStringLiteral("银行转账"), QStringLiteral("银行代扣")};
    }
}

QString Row::key() const
{
    if (!number.isEmpty())
        return refund ? number + QStringLiteral("/R/") + refundNumber : number;
    // No number (some banks): what the row says, which a second reading of
    // the file says again.
    return QString::fromLatin1(
        QCryptographicHash::hash((at.toString(Qt::ISODate) + QLatin1Char('|') +
                                  QString::number(fen) + QLatin1Char('|') + remark +
                                  QLatin1Char('|') + QString::number(refund) + QLatin1Char('|') +
                                  QString::number(occurrence))
                                     .toUtf8(),
                                 QCryptographicHash::Sha1)
            .toHex());
}

QString BankColumns::toText() const
{
    return QStringLiteral("time=%1;amount=%2;number=%3;remark=%4;fee=%5;header=%6")
        .arg(time)
        .arg(amount)
        .arg(number)
        .arg(remark)
        .arg(fee)
        .arg(headerRow);
}

BankColumns BankColumns::fromText(const QString &text)
{
    BankColumns c;
    for (const QString &part : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString key = part.section(QLatin1Char('='), 0, 0);
        bool ok = false;
        const int v = part.section(QLatin1Char('='), 1).toInt(&ok);
        if (!ok)
            continue;
        if (key == QLatin1String("time"))
            c.time = v;
        else if (key == QLatin1String("amount"))
            c.amount = v;
        else if (key == QLatin1String("number"))
            c.number = v;
        else if (key == QLatin1String("remark"))
            c.remark = v;
        else if (key == QLatin1String("fee"))
            c.fee = v;
        else if (key == QLatin1String("header"))
            c.headerRow = v;
    }
    return c;
}

QStringList File::months() const
{
    QStringList out;
    for (const Row &r : rows) {
        const QString m = r.at.toString(QStringLiteral("yyyy-MM"));
        if (!out.contains(m))
            out << m;
    }
    out.sort();
    return out;
}

std::optional<QString> decode(const QByteArray &bytes)
{
    QByteArray b = bytes;
    if (b.startsWith("\xEF\xBB\xBF"))
        b.remove(0, 3);
    {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8.decode(b);
        if (!utf8.hasError())
            return text;
    }
    QStringDecoder gb("GB18030");
    if (!gb.isValid())
        return std::nullopt;
    QString text = gb.decode(b);
    if (gb.hasError() || text.contains(QChar::ReplacementCharacter))
        return std::nullopt;
    return text;
}

QVector<QStringList> csv(const QString &text)
{
    QVector<QStringList> rows;
    QStringList row;
    QString cell;
    bool quoted = false, any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                    cell += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                cell += c;
            }
            continue;
        }
        if (c == QLatin1Char('"')) {
            quoted = true;
            any = true;
        } else if (c == QLatin1Char(',')) {
            row << cell;
            cell.clear();
            any = true;
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() &&
                text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            if (any || !cell.isEmpty()) {
                row << cell;
                rows << row;
            } else {
                rows << QStringList();
            }
            row.clear();
            cell.clear();
            any = false;
        } else {
            cell += c;
        }
    }
    if (any || !cell.isEmpty()) {
        row << cell;
        rows << row;
    }
    return rows;
}

namespace
{
// WeChat writes "`2026-05-14 09:30:01"; Alipay pads with tabs and blanks.
QString clean(const QString &cell)
{
    QString t = cell.trimmed();
    while (t.startsWith(QLatin1Char('`')) || t.startsWith(QLatin1Char('\'')))
        t.remove(0, 1);
    return t.trimmed();
}

std::optional<qint64> money(const QString &cell)
{
    QString t = clean(cell);
    t.remove(QLatin1Char(',')).remove(QChar(0xA5)).remove(QChar(0xFFE5)).remove(QLatin1Char(' '));
    if (t.isEmpty())
        return qint64(0);
    bool negative = false;
    if (t.startsWith(QLatin1Char('-')) || t.startsWith(QLatin1Char('+'))) {
        negative = t.startsWith(QLatin1Char('-'));
        t.remove(0, 1);
    }
    QString why;
    const auto fen = Ledger::parseYuan(t, &why);
    if (!fen)
        return std::nullopt;
    return negative ? -*fen : *fen;
}

QDateTime when(const QString &cell)
{
    const QString t = clean(cell);
    for (const char *f : {"yyyy-MM-dd HH:mm:ss", "yyyy/MM/dd HH:mm:ss", "yyyy-MM-dd HH:mm",
                          "yyyy/MM/dd HH:mm", "yyyy-M-d H:mm:ss", "yyyy/M/d H:mm:ss",
                          "yyyy/M/d H:mm", "yyyyMMdd HH:mm:ss", "yyyyMMddHHmmss"}) {
        const QDateTime d = QDateTime::fromString(t, QLatin1String(f));
        if (d.isValid())
            return d;
    }
    for (const char *f : {"yyyy-MM-dd", "yyyy/MM/dd", "yyyyMMdd", "yyyy-M-d", "yyyy/M/d"}) {
        const QDate d = QDate::fromString(t, QLatin1String(f));
        if (d.isValid())
            return QDateTime(d, QTime(12, 0));
    }
    return {};
}

// The header row: the first with every caption wanted; its columns by caption.
struct Header {
    int row = -1;
    QHash<QString, int> at;
    int of(const QString &caption) const { return at.value(caption, -1); }
    int any(std::initializer_list<const char16_t *> captions) const
    {
        for (const char16_t *c : captions)
            if (const int i = of(QString::fromUtf16(c)); i >= 0)
                return i;
        return -1;
    }
};

Header findHeader(const QVector<QStringList> &rows, std::initializer_list<const char16_t *> needed)
{
    Header h;
    for (int r = 0; r < rows.size() && r < 60; ++r) {
        QHash<QString, int> at;
        for (int c = 0; c < rows.at(r).size(); ++c)
            at.insert(clean(rows.at(r).at(c)), c);
        bool all = true;
        for (const char16_t *n : needed)
            all = all && at.contains(QString::fromUtf16(n));
        if (all) {
            h.row = r;
            h.at = at;
            return h;
        }
    }
    return h;
}

QString cellAt(const QStringList &row, int column)
{
    return column >= 0 && column < row.size() ? clean(row.at(column)) : QString();
}

// A summary or comment line ends the rows.
bool endsRows(const QStringList &row)
{
    const QString first = row.isEmpty() ? QString() : clean(row.first());
    return first.startsWith(QLatin1Char('#')) || first.startsWith(QStringLiteral("总")) ||
           first.startsWith(QStringLiteral("-----"));
}

QString problem(int line, const QString &what)
{
    return QStringLiteral("第 %1 行：%2").arg(line).arg(what);
}

std::optional<File> readWeChat(const QVector<QStringList> &rows, QString *why)
{
    const Header h = findHeader(rows, {u"交易时间", u"微信订单号", u"交易状态"});
    if (h.row < 0) {
        *why =
            QStringLiteral("不是微信支付的交易账单：找不到“交易时间、微信订单号、交易状态”这一行");
        return std::nullopt;
    }
    const int time = h.of(QStringLiteral("交易时间")), number = h.of(QStringLiteral("微信订单号")),
              merchant = h.of(QStringLiteral("商户订单号")),
              status = h.of(QStringLiteral("交易状态")),
              amount = h.any({u"订单金额", u"应结订单金额"}),
              refund = h.of(QStringLiteral("退款金额")),
              refundNo = h.of(QStringLiteral("微信退款单号")),
              product = h.of(QStringLiteral("商品名称")), data = h.of(QStringLiteral("商户数据包")),
              fee = h.of(QStringLiteral("手续费"));
    if (amount < 0) {
        *why = QStringLiteral("微信账单没有“订单金额”一列");
        return std::nullopt;
    }
    File f;
    f.source = Source::WeChat;
    for (int r = h.row + 1; r < rows.size(); ++r) {
        const QStringList &cells = rows.at(r);
        if (cells.isEmpty() || (cells.size() == 1 && clean(cells.first()).isEmpty()))
            continue;
        if (endsRows(cells))
            break;
        Row row;
        row.line = r + 1;
        row.at = when(cellAt(cells, time));
        row.number = cellAt(cells, number);
        row.merchantNumber = cellAt(cells, merchant);
        row.remark = QStringList{cellAt(cells, product), cellAt(cells, data)}
                         .join(QLatin1Char(' '))
                         .trimmed();
        const QString state = cellAt(cells, status).toUpper();
        row.refund = state == QLatin1String("REFUND");
        const auto in = money(cellAt(cells, row.refund ? refund : amount));
        const auto charge = money(cellAt(cells, fee));
        if (!row.at.isValid() || row.number.isEmpty() || !in || !charge) {
            f.problems << problem(row.line, QStringLiteral("时间、单号或金额读不出来，没有读入"));
            continue;
        }
        if (!row.refund && state != QLatin1String("SUCCESS"))
            continue; // not paid: no money
        row.fen = qAbs(*in);
        row.fee = *charge;
        row.refundNumber = cellAt(cells, refundNo);
        f.rows << row;
    }
    return f;
}

std::optional<File> readAlipay(const QVector<QStringList> &rows, QString *why)
{
    // The trade list (交易号 … 金额（元）, 收/支) or the account list
    // (业务流水号 … 收入金额（+元）, 支出金额（-元）).
    Header h = findHeader(rows, {u"交易号", u"金额（元）"});
    const bool trades = h.row >= 0;
    if (!trades)
        h = findHeader(rows, {u"业务流水号", u"收入金额（+元）"});
    if (h.row < 0) {
        *why = QStringLiteral(
            "不是支付宝的账单：找不到“交易号、金额（元）”或“业务流水号、收入金额（+元）”这一行");
        return std::nullopt;
    }
    File f;
    f.source = Source::Alipay;
    const int number = trades ? h.of(QStringLiteral("交易号")) : h.of(QStringLiteral("业务流水号"));
    const int merchant = h.any({u"商家订单号", u"商户订单号"});
    const int time =
        trades ? h.any({u"付款时间", u"交易创建时间"}) : h.of(QStringLiteral("发生时间"));
    const int product = h.of(QStringLiteral("商品名称")), remark = h.of(QStringLiteral("备注")),
              other = h.of(QStringLiteral("交易对方"));
    const int amount = h.of(QStringLiteral("金额（元）")),
              direction = h.of(QStringLiteral("收/支")), status = h.of(QStringLiteral("交易状态")),
              fee = h.of(QStringLiteral("服务费（元）")),
              refunded = h.of(QStringLiteral("成功退款（元）"));
    const int income = h.of(QStringLiteral("收入金额（+元）")),
              outgo = h.of(QStringLiteral("支出金额（-元）")),
              kind = h.of(QStringLiteral("业务类型"));
    QHash<QString, int> byNumber;
    for (int r = h.row + 1; r < rows.size(); ++r) {
        const QStringList &cells = rows.at(r);
        if (cells.isEmpty() || (cells.size() == 1 && clean(cells.first()).isEmpty()))
            continue;
        if (endsRows(cells))
            break;
        Row row;
        row.line = r + 1;
        row.at = when(cellAt(cells, time));
        row.number = cellAt(cells, number);
        row.merchantNumber = cellAt(cells, merchant);
        row.remark =
            QStringList{cellAt(cells, product), cellAt(cells, remark), cellAt(cells, other)}
                .join(QLatin1Char(' '))
                .trimmed();
        if (trades) {
            const auto in = money(cellAt(cells, amount));
            const auto charge = money(cellAt(cells, fee));
            const auto back = money(cellAt(cells, refunded));
            if (!row.at.isValid() || row.number.isEmpty() || !in || !charge || !back) {
                f.problems << problem(row.line,
                                      QStringLiteral("时间、交易号或金额读不出来，没有读入"));
                continue;
            }
            const QString dir = cellAt(cells, direction);
            const QString state = cellAt(cells, status);
            if (state.contains(QStringLiteral("关闭")) || state.contains(QStringLiteral("失败")))
                continue;
            row.refund = dir == QStringLiteral("支出") || state.contains(QStringLiteral("退款"));
            row.fen = row.refund && *back > 0 ? *back : qAbs(*in);
            row.fee = *charge;
            if (row.refund)
                row.refundNumber = row.number;
        } else {
            const auto in = money(cellAt(cells, income));
            const auto out = money(cellAt(cells, outgo));
            if (!row.at.isValid() || row.number.isEmpty() || !in || !out) {
                f.problems << problem(row.line,
                                      QStringLiteral("时间、流水号或金额读不出来，没有读入"));
                continue;
            }
            // The platform's fee is a line of its own, with the payment's number.
            const QString what = cellAt(cells, kind);
            if (what.contains(QStringLiteral("服务费")) || what == QStringLiteral("收费") ||
                cellAt(cells, product).contains(QStringLiteral("服务费"))) {
                if (const auto it = byNumber.constFind(row.number); it != byNumber.cend())
                    f.rows[*it].fee += qAbs(*out);
                continue;
            }
            row.refund = *in == 0 && *out != 0;
            row.fen = row.refund ? qAbs(*out) : *in;
            if (row.refund)
                row.refundNumber = cellAt(cells, 0);
        }
        if (row.fen == 0)
            continue;
        if (!row.refund)
            byNumber.insert(row.number, int(f.rows.size()));
        f.rows << row;
    }
    return f;
}

std::optional<File> readBank(const QVector<QStringList> &rows, const BankColumns &c, QString *why)
{
    if (!c.usable()) {
        *why = QStringLiteral("还没有为这家银行选定“时间”和“金额”两列");
        return std::nullopt;
    }
    File f;
    f.source = Source::Bank;
    QHash<QString, int> seen;
    for (int r = c.headerRow + 1; r < rows.size(); ++r) {
        const QStringList &cells = rows.at(r);
        if (cells.isEmpty() || cells.join(QString()).trimmed().isEmpty())
            continue;
        if (endsRows(cells) || cellAt(cells, c.time).contains(QStringLiteral("合计")))
            break;
        Row row;
        row.line = r + 1;
        row.at = when(cellAt(cells, c.time));
        const auto amount = money(cellAt(cells, c.amount));
        const auto fee = c.fee >= 0 ? money(cellAt(cells, c.fee)) : std::optional<qint64>(0);
        if (!row.at.isValid() || !amount || !fee) {
            f.problems << problem(row.line, QStringLiteral("时间或金额读不出来，没有读入"));
            continue;
        }
        if (*amount == 0)
            continue;
        row.number = cellAt(cells, c.number);
        row.remark = cellAt(cells, c.remark);
        row.refund = *amount < 0;
        row.fen = qAbs(*amount);
        row.fee = qAbs(*fee);
        // Two equal rows without numbers are two rows.
        if (row.number.isEmpty())
            row.occurrence = seen[row.key()]++;
        f.rows << row;
    }
    return f;
}
} // namespace

std::optional<BankColumns> guessBankColumns(const QVector<QStringList> &rows, QStringList *captions)
{
    // Each column's captions, the more telling first; a caption is taken
    // when a cell equals it, or holds it for the longer ones.
    static const QVector<QStringList> words = {
        {QStringLiteral("交易时间"), QStringLiteral("交易日期"), QStringLiteral("记账日期"),
         QStringLiteral("记账时间"), QStringLiteral("入账日期"), QStringLiteral("扣款日期"),
         QStringLiteral("日期"), QStringLiteral("时间")},
        {QStringLiteral("收入金额"), QStringLiteral("贷方金额"), QStringLiteral("贷方发生额"),
         QStringLiteral("扣款金额"), QStringLiteral("交易金额"), QStringLiteral("发生额"),
         QStringLiteral("金额")},
        {QStringLiteral("交易流水号"), QStringLiteral("流水号"), QStringLiteral("交易号"),
         QStringLiteral("凭证号"), QStringLiteral("交易参考号"), QStringLiteral("单号")},
        {QStringLiteral("附言"), QStringLiteral("用途"), QStringLiteral("备注"),
         QStringLiteral("摘要"), QStringLiteral("交易备注")},
        {QStringLiteral("手续费")}};
    const int scan = qMin(int(rows.size()), 20);
    for (int r = 0; r < scan; ++r) {
        const QStringList &cells = rows.at(r);
        int found[5] = {-1, -1, -1, -1, -1};
        QVector<bool> taken(cells.size());
        for (int w = 0; w < words.size(); ++w)
            for (const QString &word : words.at(w)) {
                for (int c = 0; c < cells.size() && found[w] < 0; ++c) {
                    const QString cell = cells.at(c).trimmed();
                    if (!taken.at(c) &&
                        (cell == word || (word.size() >= 3 && cell.contains(word)))) {
                        found[w] = c;
                        taken[c] = true;
                    }
                }
                if (found[w] >= 0)
                    break;
            }
        if (found[0] < 0 || found[1] < 0)
            continue;
        BankColumns c;
        c.time = found[0];
        c.amount = found[1];
        c.number = found[2];
        c.remark = found[3];
        c.fee = found[4];
        c.headerRow = r;
        if (captions) {
            captions->clear();
            for (int f : found)
                *captions << (f < 0 ? QString() : cells.at(f).trimmed());
        }
        return c;
    }
    return std::nullopt;
}

std::optional<File> readRows(Source source, const QVector<QStringList> &rows,
                             const BankColumns &bank, QString *why)
{
    switch (source) {
    case Source::WeChat:
        return readWeChat(rows, why);
    case Source::Alipay:
        return readAlipay(rows, why);
    default:
        return readBank(rows, bank, why);
    }
}

std::optional<File> read(Source source, const QByteArray &bytes, const BankColumns &bank,
                         QString *why)
{
    if (bytes.isEmpty()) {
        *why = QStringLiteral("文件是空的");
        return std::nullopt;
    }
    const auto text = decode(bytes);
    if (!text) {
        *why = QStringLiteral(
            "文件既不是 UTF-8 也不是 GBK 编码的文字，读不出来（是损坏的文件，或不是账单？）");
        return std::nullopt;
    }
    return readRows(source, csv(*text), bank, why);
}

QString howText(How how)
{
    switch (how) {
    case How::Number:
        return QStringLiteral("交易单号");
    case How::Remark:
        return QStringLiteral("备注");
    default:
        return QStringLiteral("金额和日期");
    }
}

Matching match(Source source, const QVector<Row> &rows, const QVector<Payment> &payments)
{
    const QStringList methods = methodsOf(source);
    QVector<bool> used(payments.size(), false), done(rows.size(), false);
    QHash<QString, QVector<int>> byNumber, byName;
    QHash<QPair<QDate, qint64>, QVector<int>> byDay;
    int longestName = 0;
    for (int i = 0; i < payments.size(); ++i) {
        const Payment &p = payments.at(i);
        if (!methods.contains(p.method))
            continue;
        if (!p.reference.isEmpty())
            byNumber[p.reference.trimmed().toLower()] << i;
        if (!p.receiptSerial.isEmpty())
            byNumber[p.receiptSerial.toLower()] << i;
        if (p.childName.size() >= 2) {
            byName[p.childName] << i;
            longestName = qMax(longestName, int(p.childName.size()));
        }
        byDay[qMakePair(p.at.date(), p.fen)] << i;
    }
    Matching m;
    const auto take = [&](int row, const QVector<int> &candidates, How how, bool sameAmount) {
        int best = -1;
        qint64 nearest = 0;
        for (const int i : candidates) {
            const Payment &p = payments.at(i);
            if (used[i] || p.refund != rows.at(row).refund ||
                (sameAmount && p.fen != rows.at(row).fen))
                continue;
            const qint64 gap = qAbs(p.at.secsTo(rows.at(row).at));
            if (best < 0 || gap < nearest) {
                best = i;
                nearest = gap;
            }
        }
        if (best < 0)
            return false;
        used[best] = true;
        done[row] = true;
        m.matched << Match{row, payments.at(best).entryId, how};
        return true;
    };
    // 1. The number the desk recorded.
    for (int r = 0; r < rows.size(); ++r) {
        const Row &row = rows.at(r);
        for (const QString &n : {row.number, row.merchantNumber, row.refundNumber})
            if (!done[r] && !n.isEmpty())
                if (const auto it = byNumber.constFind(n.toLower()); it != byNumber.cend())
                    take(r, *it, How::Number, false);
    }
    // 2. A number or a child's name in the remark, with the amount.
    static const QRegularExpression token(QStringLiteral("[A-Za-z0-9][A-Za-z0-9-]{5,}"));
    for (int r = 0; r < rows.size(); ++r) {
        if (done[r])
            continue;
        const QString &remark = rows.at(r).remark;
        for (auto it = token.globalMatch(remark); it.hasNext() && !done[r];) {
            const QString t = it.next().captured().toLower();
            if (const auto c = byNumber.constFind(t); c != byNumber.cend())
                take(r, *c, How::Remark, true);
        }
        for (qsizetype from = 0; from < remark.size() && !done[r]; ++from)
            for (int len = 2; len <= longestName && from + len <= remark.size() && !done[r]; ++len)
                if (const auto c = byName.constFind(remark.mid(from, len)); c != byName.cend())
                    take(r, *c, How::Remark, true);
    }
    // 3. The amount on the same day.
    for (int r = 0; r < rows.size(); ++r)
        if (!done[r])
            if (const auto c = byDay.constFind(qMakePair(rows.at(r).at.date(), rows.at(r).fen));
                c != byDay.cend())
                take(r, *c, How::AmountAndDay, true);
    for (int r = 0; r < rows.size(); ++r)
        if (!done[r])
            m.onlyOnStatement << r;
    for (int i = 0; i < payments.size(); ++i) {
        const Payment &p = payments.at(i);
        if (!used[i] && methods.contains(p.method))
            m.onlyInBooks << p.entryId;
    }
    return m;
}

} // namespace Statements
