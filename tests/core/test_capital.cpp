#include "capital.h"

#include <QTest>

class TestCapital : public QObject
{
    Q_OBJECT
private slots:
    void examples_data()
    {
        QTest::addColumn<int>("fen");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pairs");
        QTest::newRow("1500.00") << 150000 << QStringLiteral("1500.00")
                                 << QStringLiteral("壹仟 伍佰 零拾 零元 零角 零分");
        QTest::newRow("356.50") << 35650 << QStringLiteral("356.50")
                                << QStringLiteral("叁佰 伍拾 陆元 伍角 零分");
        QTest::newRow("1.00") << 100 << QStringLiteral("1.00") << QStringLiteral("壹元 零角 零分");
        QTest::newRow(".45") << 45 << QStringLiteral(".45") << QStringLiteral("肆角 伍分");
        QTest::newRow("10000.05") << 1000005 << QStringLiteral("10000.05")
                                  << QStringLiteral("壹万 零仟 零佰 零拾 零元 零角 伍分");
        QTest::newRow("12345.67") << 1234567 << QStringLiteral("12345.67")
                                  << QStringLiteral("壹万 贰仟 叁佰 肆拾 伍元 陆角 柒分");
        QTest::newRow("123456.00") << 12345600 << QStringLiteral("123456.00")
                                   << QStringLiteral("壹 贰万 叁仟 肆佰 伍拾 陆元 零角 零分");
        QTest::newRow("100.00") << 10000 << QStringLiteral("100.00")
                                << QStringLiteral("壹佰 零拾 零元 零角 零分");
        QTest::newRow("largest") << 99999999 << QStringLiteral("999999.99")
                                 << QStringLiteral("玖 玖万 玖仟 玖佰 玖拾 玖元 玖角 玖分");
        QTest::newRow(".10") << 10 << QStringLiteral(".10") << QStringLiteral("壹角 零分");
        // Below ten fen: two fraction digits and two pairs.
        QTest::newRow(".05") << 5 << QStringLiteral(".05") << QStringLiteral("零角 伍分");
        QTest::newRow(".00") << 0 << QStringLiteral(".00") << QStringLiteral("零角 零分");
    }
    void examples()
    {
        QFETCH(int, fen);
        QFETCH(QString, text);
        QFETCH(QString, pairs);
        QCOMPARE(Capital::amountText(fen).value_or(QStringLiteral("<refused>")), text);
        const auto p = Capital::glyphPairs(fen);
        QVERIFY(p.has_value());
        QCOMPARE(Capital::pairsText(*p), pairs);
        // As many pairs as digits, the point adds nothing.
        QCOMPARE(p->size(), text.size() - 1);
        for (int k = 0; k < p->size(); ++k)
            QCOMPARE(p->at(k).place, p->size() - 1 - k);
    }

    void refused_data()
    {
        QTest::addColumn<int>("fen");
        QTest::newRow("negative") << -1;
        QTest::newRow("very negative") << std::numeric_limits<int>::min();
        QTest::newRow("nine digits") << 100000000;
        QTest::newRow("largest int") << std::numeric_limits<int>::max();
    }
    void refused()
    {
        QFETCH(int, fen);
        QVERIFY(!Capital::writable(fen));
        QVERIFY(!Capital::amountText(fen).has_value());
        QVERIFY(!Capital::glyphPairs(fen).has_value());
    }
};

QTEST_GUILESS_MAIN(TestCapital)
#include "test_capital.moc"
