// Statement files read in each published layout (samples written here,
// nobody's real data), refused when they are not what they say, and
// matched to the books' payments.

#include "journal.h"
#include "statementfile.h"

#include <QRandomGenerator>
#include <QSet>
#include <QStringEncoder>
#include <QTest>

using namespace Statements;

namespace
{
// WeChat Pay's merchant trade bill: UTF-8 with its mark, every cell after a
// backquote, two summary lines at the end.
QByteArray weChatBill()
{
    const QString text = QStringLiteral(
        "\xFEFF交易时间,公众账号ID,商户号,特约商户号,设备号,微信订单号,商户订单号,用户标识,"
        "交易类型,"
        "交易状态,付款银行,货币种类,应结订单金额,代金券金额,微信退款单号,商户退款单号,退款金额,"
        "充值券退款金额,退款类型,退款状态,商品名称,商户数据包,手续费,费率,订单金额,申请退款金额,"
        "费率备注\n"
        "`2026-05-14 09:30:01,`wxa1,`1600000001,`0,`,`4200000001202605140001,`,`oU1,`NATIVE,"
        "`SUCCESS,`OTHERS,`CNY,`1100.00,`0.00,`0,`0,`0.00,`0.00,`,`,`五月保教费 张小明,`,`6.60,"
        "`0.60%,`1100.00,`0.00,`\n"
        "`2026-05-14 10:02:45,`wxa1,`1600000001,`0,`,`4200000002202605140002,`D2026000002,`oU2,"
        "`NATIVE,`SUCCESS,`OTHERS,`CNY,`1320.50,`0.00,`0,`0,`0.00,`0.00,`,`,`伙食费,`,`7.92,`0.60%,"
        "`1320.50,`0.00,`\n"
        "`2026-05-14 10:05:00,`wxa1,`1600000001,`0,`,`4200000003202605140003,`,`oU3,`NATIVE,"
        "`NOTPAY,`OTHERS,`CNY,`900.00,`0.00,`0,`0,`0.00,`0.00,`,`,`保教费,`,`0.00,`0.60%,`900.00,"
        "`0.00,`\n"
        "`2026-05-20 16:00:00,`wxa1,`1600000001,`0,`,`4200000001202605140001,`,`oU1,`NATIVE,"
        "`REFUND,`OTHERS,`CNY,`0.00,`0.00,`50300000012026052000001,`R1,`60.00,`0.00,`ORIGINAL,"
        "`SUCCESS,`五月保教费 张小明,`,`-0.36,`0.60%,`0.00,`60.00,`\n"
        "总交易单数,应结订单总金额,退款总金额,充值券退款总金额,手续费总金额,订单总金额,"
        "申请退款总金额\n"
        "`3,`2420.50,`60.00,`0.00,`14.16,`2420.50,`60.00\n");
    return text.toUtf8();
}

// Alipay's trade list: GBK, lines of its own before and after, cells padded.
QByteArray alipayBill()
{
    const QString text = QStringLiteral(
        "支付宝交易记录明细查询\n"
        "账号:[sample@example.com]\n"
        "起始日期:[2026-05-01 00:00:00]    终止日期:[2026-06-01 00:00:00]\n"
        "---------------------------------交易记录明细列表------------------------------------\n"
        "交易号                  ,商家订单号               ,交易创建时间              ,付款时间    "
        "            ,"
        "最近修改时间              ,交易来源地     ,类型              ,交易对方            "
        ",商品名称                ,"
        "金额（元）   ,收/支     ,交易状态    ,服务费（元）   ,成功退款（元）  ,备注               "
        "   ,资金状态     ,\n"
        "2026051422001400001\t,\t,2026-05-14 11:00:00 ,2026-05-14 11:00:05 ,2026-05-14 11:00:05 "
        ",其他（包括阿里巴巴和外部商家）,"
        "即时到账交易          ,李安家长           ,李安 5月                ,1200.00     ,收入     "
        " ,交易成功    ,0.00       ,0.00        ,\t,已收入      ,\n"
        "2026051522001400002\t,\t,2026-05-15 08:10:00 ,2026-05-15 08:10:03 ,2026-05-15 08:10:03 "
        ",其他（包括阿里巴巴和外部商家）,"
        "即时到账交易          ,王晓明妈妈          ,学费                ,980.00      ,收入      "
        ",交易成功    ,0.00       ,0.00        ,收据2026-000007\t,已收入      ,\n"
        "2026051622001400003\t,\t,2026-05-16 09:00:00 ,2026-05-16 09:00:00 ,2026-05-16 09:00:00 "
        ",其他（包括阿里巴巴和外部商家）,"
        "即时到账交易          ,某人               ,学费                ,300.00      ,收入      "
        ",交易关闭    ,0.00       ,0.00        ,\t,           ,\n"
        "------------------------------------------------------------------------------------\n"
        "共3笔记录\n"
        "已收入:2笔,2180.00元\n");
    return QStringEncoder("GB18030").encode(text);
}

// Alipay's account list (账务明细), the fee a line of its own.
QByteArray alipayAccount()
{
    const QString text = QStringLiteral(
        "#支付宝账务明细查询\n#账号：[20880000000000000156]\n#起始日期：[2026年05月01日 00:00:00]  "
        " 终止日期：[2026年06月01日 00:00:00]\n"
        "#-----------------------------------------账务明细列表------------------------------------"
        "----\n"
        "账务流水号,业务流水号,商户订单号,商品名称,发生时间,对方账号,收入金额（+元）,支出金额（-"
        "元）,账户余额（元）,交易渠道,业务类型,备注\n"
        "2026051400001\t,2026051422001400009\t,D2026000009\t,保教费\t,2026-05-14 "
        "11:00:05\t,a***@example.com\t,1100.00\t,\t,1100.00\t,支付宝\t,在线支付\t,张小明\t\n"
        "2026051400002\t,2026051422001400009\t,\t,服务费\t,2026-05-14 "
        "11:00:05\t,\t,\t,-6.60\t,1093.40\t,支付宝\t,收费\t,服务费[2026051422001400009]\t\n"
        "#-----------------------------------------账务明细列表结束--------------------------------"
        "----\n"
        "#收入合计：1笔，共1100.00元\n");
    return QStringEncoder("GB18030").encode(text);
}

QByteArray bankCsv()
{
    return QStringLiteral("交易日期,摘要,收入金额,对方户名,流水号,附言\n"
                          "2026-05-14,转账,1100.00,张某某,B0001,张小明5月保教费\n"
                          "2026-05-14,转账,1100.00,张某某,,代扣\n"
                          "2026-05-14,转账,1100.00,张某某,,代扣\n"
                          "2026-05-15,转账,-1100.00,张某某,B0003,退回\n"
                          "合计,,2200.00,,,\n")
        .toUtf8();
}

BankColumns bankColumns()
{
    BankColumns c;
    c.time = 0;
    c.amount = 2;
    c.number = 4;
    c.remark = 5;
    return c;
}

qint64 sum(const File &f, bool refunds)
{
    qint64 s = 0;
    for (const Row &r : f.rows)
        if (r.refund == refunds)
            s += r.fen;
    return s;
}
} // namespace

class TestStatements : public QObject
{
    Q_OBJECT
private slots:
    void bankCaptions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("columns"); // time,amount,number,remark,fee,header from 0
        QTest::addColumn<QString>("captions");
        QTest::newRow("plain") << "交易日期,摘要,收入金额,对方户名,流水号,附言\n"
                               << "0,2,4,5,-1,0"
                               << "交易日期|收入金额|流水号|附言|";
        // Lines of the bank's own above; credit taken over debit.
        QTest::newRow("titled")
            << "某行交易明细\n账号,622\n记账日期,借方金额,贷方金额,交易流水号,用途,"
               "手续费\n"
            << "0,2,3,4,5,2"
            << "记账日期|贷方金额|交易流水号|用途|手续费";
        // The more telling caption wins over one that comes first.
        QTest::newRow("time and date") << "日期,交易时间,金额,备注,摘要\n"
                                       << "1,2,-1,3,-1,0"
                                       << "交易时间|金额||备注|";
        QTest::newRow("padded") << " 交易时间 , 交易金额(元) ,交易号\n"
                                << "0,1,2,-1,-1,0"
                                << "交易时间|交易金额(元)|交易号||";
        QTest::newRow("no amount") << "交易日期,摘要,对方户名\n"
                                   << ""
                                   << "";
        QTest::newRow("data only") << "2026-05-14,1200.00,B0001\n"
                                   << ""
                                   << "";
    }
    void bankCaptions()
    {
        QFETCH(QString, text);
        QFETCH(QString, columns);
        QFETCH(QString, captions);
        QStringList found;
        const auto c = guessBankColumns(csv(text), &found);
        QCOMPARE(bool(c), !columns.isEmpty());
        if (!c)
            return;
        QCOMPARE(QStringLiteral("%1,%2,%3,%4,%5,%6")
                     .arg(c->time)
                     .arg(c->amount)
                     .arg(c->number)
                     .arg(c->remark)
                     .arg(c->fee)
                     .arg(c->headerRow),
                 columns);
        QCOMPARE(found.join(QLatin1Char('|')), captions);
    }

    void layouts_data()
    {
        QTest::addColumn<int>("source");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("payments");
        QTest::addColumn<qint64>("received");
        QTest::addColumn<qint64>("refunded");
        QTest::addColumn<qint64>("fees");
        // Not paid (NOTPAY) is no money; the refund is a row of its own.
        QTest::newRow("wechat") << int(Source::WeChat) << weChatBill() << 2 << qint64(242050)
                                << qint64(6000) << qint64(660 + 792 - 36);
        // A closed trade is no money.
        QTest::newRow("alipay trades, GBK")
            << int(Source::Alipay) << alipayBill() << 2 << qint64(218000) << qint64(0) << qint64(0);
        QTest::newRow("alipay account list, GBK") << int(Source::Alipay) << alipayAccount() << 1
                                                  << qint64(110000) << qint64(0) << qint64(660);
        QTest::newRow("bank") << int(Source::Bank) << bankCsv() << 3 << qint64(330000)
                              << qint64(110000) << qint64(0);
    }
    void layouts()
    {
        QFETCH(int, source);
        QFETCH(QByteArray, bytes);
        QFETCH(int, payments);
        QFETCH(qint64, received);
        QFETCH(qint64, refunded);
        QFETCH(qint64, fees);
        QString why;
        const auto f = read(Source(source), bytes, bankColumns(), &why);
        QVERIFY2(f, qPrintable(why));
        QVERIFY2(f->problems.isEmpty(), qPrintable(f->problems.join('\n')));
        int in = 0;
        qint64 fee = 0;
        QSet<QString> keys;
        for (const Row &r : f->rows) {
            in += r.refund ? 0 : 1;
            fee += r.fee;
            QVERIFY(r.at.isValid());
            QVERIFY(r.fen > 0);
            keys << r.key();
        }
        QCOMPARE(in, payments);
        QCOMPARE(sum(*f, false), received);
        QCOMPARE(sum(*f, true), refunded);
        QCOMPARE(fee, fees);
        // Every row its own key, and the same again when read again.
        QCOMPARE(keys.size(), f->rows.size());
        const auto again = read(Source(source), bytes, bankColumns(), &why);
        for (int i = 0; i < f->rows.size(); ++i)
            QCOMPARE(again->rows.at(i).key(), f->rows.at(i).key());
        QCOMPARE(f->months(), QStringList{"2026-05"});
    }

    void weChatDetails()
    {
        QString why;
        const auto f = read(Source::WeChat, weChatBill(), {}, &why);
        QVERIFY(f);
        QCOMPARE(f->rows.at(0).number, QStringLiteral("4200000001202605140001"));
        QCOMPARE(f->rows.at(0).remark, QStringLiteral("五月保教费 张小明"));
        QCOMPARE(f->rows.at(1).merchantNumber, QStringLiteral("D2026000002"));
        QVERIFY(f->rows.at(2).refund);
        QCOMPARE(f->rows.at(2).refundNumber, QStringLiteral("50300000012026052000001"));
        QVERIFY(f->rows.at(2).key() != f->rows.at(0).key());
    }

    // Refused with why, never read as nothing.
    void notStatements_data()
    {
        QTest::addColumn<int>("source");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("said");
        QByteArray binary(400, '\0');
        for (int i = 0; i < binary.size(); ++i)
            binary[i] = char(0x80 + (i * 37) % 0x7F);
        QTest::newRow("damaged") << int(Source::WeChat) << binary << "既不是 UTF-8 也不是 GBK";
        QTest::newRow("utf-16") << int(Source::Alipay)
                                << QByteArray("\xFF\xFE") +
                                       QByteArray(reinterpret_cast<const char *>(
                                                      QStringLiteral("交易号,金额（元）").utf16()),
                                                  2 * 9)
                                << "既不是 UTF-8 也不是 GBK";
        QTest::newRow("empty") << int(Source::WeChat) << QByteArray() << "空";
        QTest::newRow("alipay given as wechat")
            << int(Source::WeChat) << alipayBill() << "不是微信支付的交易账单";
        QTest::newRow("wechat given as alipay")
            << int(Source::Alipay) << weChatBill() << "不是支付宝的账单";
        QTest::newRow("bank without columns")
            << int(Source::Bank) << bankCsv() << "还没有为这家银行选定";
    }
    void notStatements()
    {
        QFETCH(int, source);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, said);
        QString why;
        BankColumns none;
        QVERIFY(!read(Source(source), bytes, none, &why));
        QVERIFY2(why.contains(said), qPrintable(why));
    }

    void damagedRowsAreSaid()
    {
        QByteArray bytes = weChatBill();
        bytes.replace("`1320.50,`0.00,`0,`0", "`abc,`0.00,`0,`0");
        bytes.replace("`1320.50,`0.00,`\n", "`abc,`0.00,`\n");
        QString why;
        const auto f = read(Source::WeChat, bytes, {}, &why);
        QVERIFY(f);
        QCOMPARE(f->problems.size(), 1);
        QVERIFY2(f->problems.first().startsWith(QStringLiteral("第 3 行")),
                 qPrintable(f->problems.first()));
    }

    void matchingOrder()
    {
        QString why;
        const auto f = read(Source::WeChat, weChatBill(), {}, &why);
        QVERIFY(f);
        const QDateTime day(QDate(2026, 5, 14), QTime(9, 0));
        QVector<Payment> books{
            // by the number the desk typed
            {1, "c1", "张小明", "A", "微信", "4200000001202605140001", "2026-000001", day, 110000,
             false},
            // by the serial the parent wrote
            {2, "c2", "李安", "A", "微信", "", "D2026000002", day.addSecs(3600), 132050, false},
            // the refund by amount and day
            {3, "c1", "张小明", "A", "微信", "", "2026-000001", day.addDays(6), 6000, true},
            // cash is never on WeChat's statement
            {4, "c3", "王", "B", "现金", "", "2026-000004", day, 110000, false},
            // in the books only
            {5, "c5", "赵", "B", "微信", "", "2026-000005", day, 70000, false},
        };
        const Matching m = match(Source::WeChat, f->rows, books);
        QCOMPARE(m.matched.size(), 3);
        QCOMPARE(m.matched.at(0).entryId, qint64(1));
        QCOMPARE(m.matched.at(0).how, How::Number);
        QCOMPARE(m.matched.at(1).entryId, qint64(2));
        QCOMPARE(m.matched.at(1).how, How::Number);
        QCOMPARE(m.matched.at(2).entryId, qint64(3));
        QCOMPARE(m.onlyInBooks, (QVector<qint64>{5}));
        QVERIFY(m.onlyOnStatement.isEmpty());
    }

    // A month of 2,000 payments as the desk takes them: most with the
    // number typed, some named in the remark, the rest only by amount and
    // day; names repeat and amounts repeat.
    void aMonthMatches()
    {
        const QString family = QStringLiteral("王李张刘陈杨黄赵吴周");
        const QString given = QStringLiteral("明华小晓丽伟芳娜敏静秀英杰强磊");
        QRandomGenerator random(20260514);
        QVector<Payment> books;
        QVector<Row> rows;
        QHash<int, qint64> truth; // row → entry
        const qint64 amounts[] = {110000, 132050, 98000, 120000, 66000};
        for (int i = 0; i < 2000; ++i) {
            Payment p;
            p.entryId = 1000 + i;
            p.childId = QString::number(i);
            p.childName = QString(family.at(int(random.bounded(10)))) +
                          given.at(int(random.bounded(15))) + given.at(int(random.bounded(15)));
            p.method = QStringLiteral("微信");
            p.at = QDateTime(QDate(2026, 5, 1 + int(random.bounded(28))),
                             QTime(8 + int(random.bounded(9)), int(random.bounded(60))));
            p.fen = amounts[random.bounded(5)] + (i % 7) * 100;
            p.receiptSerial = Journal::serial(2026, i + 1);
            Row r;
            r.line = i + 2;
            r.number = QStringLiteral("42000%1").arg(1000000 + i);
            r.at = p.at.addSecs(int(random.bounded(40)));
            r.fen = p.fen;
            const int kind = int(random.bounded(100));
            if (kind < 60)
                p.reference = r.number;
            else if (kind < 85)
                r.remark = QStringLiteral("%1 五月费用").arg(p.childName);
            else if (kind < 92)
                r.remark = QStringLiteral("收据%1").arg(p.receiptSerial);
            truth.insert(int(rows.size()), p.entryId);
            books << p;
            rows << r;
        }
        const Matching m = match(Source::WeChat, rows, books);
        QSet<int> rowsSeen;
        QSet<qint64> entriesSeen;
        int right = 0;
        for (const Match &x : m.matched) {
            QVERIFY(!rowsSeen.contains(x.row));
            QVERIFY(!entriesSeen.contains(x.entryId));
            rowsSeen << x.row;
            entriesSeen << x.entryId;
            right += truth.value(x.row) == x.entryId;
        }
        QVERIFY2(m.matched.size() >= 1900, qPrintable(QString::number(m.matched.size())));
        QVERIFY2(right >= 1900, qPrintable(QString::number(right)));
        // Every row is listed once: matched, or on the statement only.
        QCOMPARE(m.matched.size() + m.onlyOnStatement.size(), rows.size());
        QCOMPARE(m.matched.size() + m.onlyInBooks.size(), books.size());
        qint64 file = 0, listed = 0;
        for (const Row &r : rows)
            file += r.fen;
        for (const Match &x : m.matched)
            listed += rows.at(x.row).fen;
        for (const int r : m.onlyOnStatement)
            listed += rows.at(r).fen;
        QCOMPARE(listed, file);
    }
};

QTEST_MAIN(TestStatements)
#include "test_statements.moc"
