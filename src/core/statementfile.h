#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

// The platforms' statements the office downloads (WeChat Pay's merchant
// trade bill, Alipay's statement, a bank's statement or direct-debit
// result) read into rows, and matched to the payments the books hold.
namespace Statements
{
enum class Source { WeChat, Alipay, Bank };
QString sourceText(Source source); // "微信", "支付宝", "银行"
// The ways of payment the books record for money of the source.
QStringList methodsOf(Source source);

struct Row {
    int line = 0;           // in the file, from 1
    QString number;         // the platform's transaction number
    QString merchantNumber; // the shop's own number (the desk's, when it sent one)
    QDateTime at;
    qint64 fen = 0; // money in (or, for a refund, handed back), above 0
    qint64 fee = 0; // the platform's fee
    bool refund = false;
    QString refundNumber;
    QString remark;     // the remark and the product text
    int occurrence = 0; // rows without a number that say the same: 0, 1, …
    // The row's identity in its source: the same row read again is the same.
    QString key() const;
};

// A bank's columns, chosen once per bank (numbered from 0; -1: none).
struct BankColumns {
    int time = -1, amount = -1, number = -1, remark = -1, fee = -1;
    int headerRow = 0; // the row of the captions, from 0
    QString toText() const;
    static BankColumns fromText(const QString &text);
    bool usable() const { return time >= 0 && amount >= 0; }
};

// The columns a bank's file names in its captions (交易日期, 收入金额,
// 流水号, 附言, 手续费, …), looked for in its first twenty rows; nullopt
// when no row names both a time and an amount. captions, when given, gets
// the caption of each column found, in the order time, amount, number,
// remark, fee ("" for none).
std::optional<BankColumns> guessBankColumns(const QVector<QStringList> &rows,
                                            QStringList *captions = nullptr);

struct File {
    Source source = Source::WeChat;
    QVector<Row> rows;
    // Rows that could not be read, each said ("第 12 行：金额“abc”不是数字").
    QStringList problems;
    // The months the rows fall in.
    QStringList months() const;
};

// The text of a statement file: UTF-8 (with or without its mark) or, as
// Alipay writes it, GB18030; nullopt when it is neither.
std::optional<QString> decode(const QByteArray &bytes);
// Comma-separated lines with quoted cells ("a,""b""" is one cell).
QVector<QStringList> csv(const QString &text);

// Reads a file of the source; nullopt with why when it is not one (another
// kind, no header, not text). Sheet rows (an xlsx read elsewhere) can be
// given for a bank instead of bytes.
std::optional<File> read(Source source, const QByteArray &bytes, const BankColumns &bank,
                         QString *why);
std::optional<File> readRows(Source source, const QVector<QStringList> &rows,
                             const BankColumns &bank, QString *why);

// A payment (or refund) of the books, as matching sees it.
struct Payment {
    qint64 entryId = 0;
    QString childId, childName, className;
    QString method, reference, receiptSerial;
    QDateTime at;
    qint64 fen = 0; // money in, or money handed back for a refund
    bool refund = false;
};

enum class How { Number, Remark, AmountAndDay };
QString howText(How how); // "交易单号", "备注", "金额和日期"

struct Match {
    int row = 0; // index into the rows
    qint64 entryId = 0;
    How how = How::Number;
};
struct Matching {
    QVector<Match> matched;
    QVector<int> onlyOnStatement; // rows
    QVector<qint64> onlyInBooks;  // entries
};
// Each row to at most one payment and each payment to at most one row, in
// this order: the transaction number the desk recorded; a child's name, a
// receipt serial or a transaction number in the remark (with the amount);
// the amount on the same day. Rows and entries already linked are left out
// by the caller. Payments of other ways than the source's are not matched.
Matching match(Source source, const QVector<Row> &rows, const QVector<Payment> &payments);
} // namespace Statements
