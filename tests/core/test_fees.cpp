#include "fees.h"
#include "feesettings.h"
#include "receipt.h"

#include <QTest>
#include <limits>

Q_DECLARE_METATYPE(Roster::Cell)

namespace
{
Roster::Cells row(std::initializer_list<std::pair<int, QString>> cells)
{
    Roster::Cells r;
    for (const auto &c : cells)
        r[c.first] = c.second;
    return r;
}
} // namespace

class TestFees : public QObject
{
    Q_OBJECT
private slots:
    void discountFlag_data()
    {
        QTest::addColumn<Roster::Cell>("flag");
        QTest::addColumn<int>("total");
        QTest::newRow("zero") << Roster::Cell(QStringLiteral("0")) << 1000;
        QTest::newRow("absent") << Roster::Cell() << 1000;
        QTest::newRow("empty") << Roster::Cell(QString()) << 1000;
        QTest::newRow("not a number") << Roster::Cell(QStringLiteral("yes")) << 1000;
        QTest::newRow("one") << Roster::Cell(QStringLiteral("1")) << 900;
        QTest::newRow("two") << Roster::Cell(QStringLiteral("2")) << 900;
        QTest::newRow("minus one") << Roster::Cell(QStringLiteral("-1")) << 900;
    }
    void discountFlag()
    {
        QFETCH(Roster::Cell, flag);
        QFETCH(int, total);
        FeeMirror fees;
        fees.feePrices[Fees::DiscountFactor] = 0.9f;
        Roster::Cells r = row({{Roster::Tuition, QStringLiteral("1000")}});
        r[Roster::Discount] = flag;
        QCOMPARE(Fees::rosterTotal(r, fees), total);
    }

    void tuition_data()
    {
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<Roster::Cell>("cell");
        QTest::addColumn<float>("discount");
        QTest::addColumn<int>("total");
        const QStringList list{QStringLiteral("800"), QStringLiteral("900"),
                               QStringLiteral("1000")};
        QTest::newRow("index 1") << list << Roster::Cell(QStringLiteral("1")) << 1.0f << 900;
        QTest::newRow("index 1 discounted")
            << list << Roster::Cell(QStringLiteral("1")) << 0.9f << 810;
        QTest::newRow("3 is an amount") << list << Roster::Cell(QStringLiteral("3")) << 1.0f << 3;
        QTest::newRow("850 is an amount")
            << list << Roster::Cell(QStringLiteral("850")) << 0.9f << 765;
        QTest::newRow("negative") << list << Roster::Cell(QStringLiteral("-1")) << 1.0f << 0;
        QTest::newRow("empty picks first") << list << Roster::Cell(QString()) << 0.9f << 720;
        QTest::newRow("text picks first")
            << list << Roster::Cell(QStringLiteral("abc")) << 1.0f << 800;
        QTest::newRow("absent adds nothing") << list << Roster::Cell() << 1.0f << 0;
        QTest::newRow("empty list: amount")
            << QStringList() << Roster::Cell(QStringLiteral("1")) << 1.0f << 1;
        QTest::newRow("half rounds up")
            << QStringList() << Roster::Cell(QStringLiteral("5")) << 0.9f << 5;
        QTest::newRow("list entry not a number")
            << QStringList{QStringLiteral("x")} << Roster::Cell(QStringLiteral("0")) << 1.0f << 0;
    }
    void tuition()
    {
        QFETCH(QStringList, list);
        QFETCH(Roster::Cell, cell);
        QFETCH(float, discount);
        QFETCH(int, total);
        FeeMirror fees;
        fees.tuitionPrices = list;
        fees.feePrices[Fees::DiscountFactor] = discount;
        Roster::Cells r = row({{Roster::Discount, QStringLiteral("1")}});
        r[Roster::Tuition] = cell;
        QCOMPARE(Fees::rosterTotal(r, fees), total);
    }

    void otherFees()
    {
        // Meals and accommodation are discounted and rounded as the receipt
        // rounds them (28.35 -> 28, 90.54 -> 91).
        FeeMirror fees;
        fees.feePrices[Fees::DiscountFactor] = 0.9f;
        fees.feePrices[Fees::AccommodationPrice] = 100.6f;
        fees.feePrices[Fees::MealPrice] = 10.5f;
        fees.feePrices[Fees::BeddingPrice] = 0.3f;
        fees.feePrices[Fees::SchoolBusPrice] = 0.3f;
        fees.feePrices[Fees::InsurancePrice] = 0.3f;
        Roster::Cells r =
            row({{Roster::Discount, QStringLiteral("1")}, {Roster::Meals, QStringLiteral("3")}});
        QCOMPARE(Fees::rosterTotal(r, fees), 28);
        r[Roster::Accommodation] = QStringLiteral("1");
        QCOMPARE(Fees::rosterTotal(r, fees), 119);
        // Three fractions of 0.3 stay below one unit: the sum is truncated.
        r[Roster::Bedding] = QStringLiteral("1");
        r[Roster::SchoolBus] = QStringLiteral("1");
        r[Roster::Insurance] = QStringLiteral("1");
        QCOMPARE(Fees::rosterTotal(r, fees), 119);
        r[Roster::Bedding] = QStringLiteral("2");
        QCOMPARE(Fees::rosterTotal(r, fees), 120);
    }

    // The roster's total is what the receipt charges: the same lines, the
    // discount on the same fees, in whole yuan.
    void totalIsWhatTheReceiptCharges_data()
    {
        QTest::addColumn<QString>("tuition");
        QTest::addColumn<QString>("months");
        QTest::addColumn<QString>("days");
        QTest::addColumn<QString>("further"); // bedding, bus, insurance
        QTest::addColumn<QString>("discount");
        QTest::addColumn<int>("total");
        // 1500 × 0.9 + 300 × 0.9 + 22 × 12.5 × 0.9 (247.5 → 248) = 1350 + 270 + 248
        QTest::newRow("discounted boarder") << "1"
                                            << "1"
                                            << "22"
                                            << "0,0,0"
                                            << "1" << 1868;
        QTest::newRow("boarder, no discount") << "1"
                                              << "1"
                                              << "22"
                                              << "0,0,0"
                                              << "0" << 2075;
        QTest::newRow("discounted, four further fees") << "0"
                                                       << "1"
                                                       << "20"
                                                       << "1,1,1"
                                                       << "1" << 1080 + 270 + 225 + 80 + 100 + 50;
        QTest::newRow("two months' board discounted") << "0"
                                                      << "2"
                                                      << "0"
                                                      << "0,0,0"
                                                      << "1" << 1080 + 540;
    }
    void totalIsWhatTheReceiptCharges()
    {
        QFETCH(QString, tuition);
        QFETCH(QString, months);
        QFETCH(QString, days);
        QFETCH(QString, further);
        QFETCH(QString, discount);
        QFETCH(int, total);
        FeeMirror fees;
        fees.tuitionPrices = {QStringLiteral("1200"), QStringLiteral("1500")};
        fees.feePrices[Fees::DiscountFactor] = 0.9f;
        fees.feePrices[Fees::AccommodationPrice] = 300.0f;
        fees.feePrices[Fees::MealPrice] = 12.5f;
        fees.feePrices[Fees::BeddingPrice] = 80.0f;
        fees.feePrices[Fees::SchoolBusPrice] = 100.0f;
        fees.feePrices[Fees::InsurancePrice] = 50.0f;
        const QStringList f = further.split(QLatin1Char(','));
        const Roster::Cells r = row({{Roster::Tuition, tuition},
                                     {Roster::Accommodation, months},
                                     {Roster::Meals, days},
                                     {Roster::Bedding, f.at(0)},
                                     {Roster::SchoolBus, f.at(1)},
                                     {Roster::Insurance, f.at(2)},
                                     {Roster::Discount, discount}});
        qint64 charged = 0;
        for (const qint64 fen : receiptAmounts(r, fees))
            charged += fen;
        const BuiltReceipt built = buildReceipt(r, fees);
        QCOMPARE(charged, qint64(total) * 100);
        QCOMPARE(qint64(built.receipt.total), charged);
        QCOMPARE(built.totalColumn, total);
        QCOMPARE(Fees::rosterTotal(r, fees), total);
    }

    void absurdInputs_data()
    {
        QTest::addColumn<QString>("quantity");
        QTest::addColumn<float>("price");
        QTest::addColumn<int>("total");
        const int max = std::numeric_limits<qint32>::max();
        const int min = std::numeric_limits<qint32>::min();
        QTest::newRow("huge quantity") << QStringLiteral("2000000000") << 100.0f << max;
        QTest::newRow("huge price") << QStringLiteral("2") << 1e30f << max;
        QTest::newRow("infinite product") << QStringLiteral("2000000000") << 1e30f << max;
        QTest::newRow("huge negative") << QStringLiteral("-2000000000") << 1e30f << min;
        QTest::newRow("beyond int") << QStringLiteral("99999999999") << 1.0f << 0;
    }
    void absurdInputs()
    {
        QFETCH(QString, quantity);
        QFETCH(float, price);
        QFETCH(int, total);
        FeeMirror fees;
        fees.feePrices[Fees::BeddingPrice] = price;
        QCOMPARE(Fees::rosterTotal(row({{Roster::Bedding, quantity}}), fees), total);
    }

    void infiniteBothWaysIsDefined()
    {
        FeeMirror fees;
        fees.feePrices[Fees::BeddingPrice] = 1e30f;
        fees.feePrices[Fees::SchoolBusPrice] = 1e30f;
        const auto r = row({{Roster::Bedding, QStringLiteral("2000000000")},
                            {Roster::SchoolBus, QStringLiteral("-2000000000")}});
        QCOMPARE(Fees::rosterTotal(r, fees), 0);
    }

    void totalCell_data()
    {
        QTest::addColumn<Roster::Cell>("cell");
        QTest::addColumn<int>("total");
        QTest::addColumn<bool>("rewrite");
        QTest::newRow("leading zero equals")
            << Roster::Cell(QStringLiteral("0350")) << 350 << false;
        QTest::newRow("differs") << Roster::Cell(QStringLiteral("351")) << 350 << true;
        QTest::newRow("absent") << Roster::Cell() << 0 << true;
        QTest::newRow("empty counts as 0") << Roster::Cell(QString()) << 0 << false;
    }
    void totalCell()
    {
        QFETCH(Roster::Cell, cell);
        QFETCH(int, total);
        QFETCH(bool, rewrite);
        QCOMPARE(Fees::totalCellNeedsRewrite(cell, total), rewrite);
    }

    void fullWidthDigitsAreTheirDigits_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("counts");
        QTest::newRow("full-width") << QStringLiteral("１２") << 12 << true;
        QTest::newRow("full-width minus") << QStringLiteral("－３") << -3 << true;
        QTest::newRow("mixed widths") << QStringLiteral("1２") << 12 << true;
        QTest::newRow("blanks") << QStringLiteral(" 7 ") << 7 << true;
        QTest::newRow("empty") << QString() << 0 << true;
        QTest::newRow("yes") << QStringLiteral("是") << 0 << false;
        QTest::newRow("with unit") << QStringLiteral("1500元") << 0 << false;
        QTest::newRow("decimal") << QStringLiteral("3.5") << 0 << false;
        QTest::newRow("beyond 32 bits") << QStringLiteral("99999999999") << 0 << false;
    }
    void fullWidthDigitsAreTheirDigits()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QFETCH(bool, counts);
        QCOMPARE(Roster::toInt(text), value);
        QCOMPARE(Roster::countsAsWritten(text), counts);
        // Twelve meal days typed full-width cost twelve days.
        FeeMirror fees;
        fees.feePrices[Fees::MealPrice] = 10.0f;
        const auto r = row({{Roster::Meals, text}});
        QCOMPARE(Fees::rosterTotal(r, fees), value * 10);
        QCOMPARE(Fees::rowProblem(r, fees).isEmpty(), counts);
    }

    void rowProblems_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<QString>("discount"); // the setting's text
        QTest::addColumn<QString>("named");    // what the reason names; empty: no problem
        const QStringList list{QStringLiteral("1200.00"), QStringLiteral("1500元"),
                               QStringLiteral("900")};
        QTest::newRow("tuition with unit")
            << int(Roster::Tuition) << QStringLiteral("1500元") << QStringList() << "0.9"
            << QStringLiteral("保教费（月）");
        QTest::newRow("discount flag 是") << int(Roster::Discount) << QStringLiteral("是")
                                          << QStringList() << "0.9" << QStringLiteral("享受折扣");
        QTest::newRow("quantity 3.5") << int(Roster::Accommodation) << QStringLiteral("3.5")
                                      << QStringList() << "0.9" << QStringLiteral("住宿费（月）");
        QTest::newRow("age is no number")
            << int(Roster::Age) << QStringLiteral("四岁") << QStringList() << "0.9" << QString();
        QTest::newRow("entry 1200.00 used") << int(Roster::Tuition) << QStringLiteral("0") << list
                                            << "0.9" << QStringLiteral("1200.00");
        QTest::newRow("entry 1500元 used, full-width index")
            << int(Roster::Tuition) << QStringLiteral("１") << list << "0.9"
            << QStringLiteral("1500元");
        QTest::newRow("valid entry used")
            << int(Roster::Tuition) << QStringLiteral("2") << list << "0.9" << QString();
        QTest::newRow("an amount uses no entry")
            << int(Roster::Tuition) << QStringLiteral("1300") << list << "0.9" << QString();
        QTest::newRow("discounted, no discount set")
            << int(Roster::Discount) << QStringLiteral("1") << QStringList() << ""
            << QStringLiteral("折扣");
        QTest::newRow("not discounted, no discount set")
            << int(Roster::Discount) << QStringLiteral("0") << QStringList() << "" << QString();
        QTest::newRow("discount 90 is computed")
            << int(Roster::Discount) << QStringLiteral("1") << QStringList() << "90" << QString();
    }
    void rowProblems()
    {
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(QStringList, list);
        QFETCH(QString, discount);
        QFETCH(QString, named);
        FeeSettings settings;
        settings.texts[FeeSettings::Discount] = discount;
        settings.childcareFees = list;
        const FeeMirror fees = settings.mirror();
        Roster::Cells r = row({{Roster::Name, QStringLiteral("王芳")}});
        r[column] = text;
        const QString why = Fees::rowProblem(r, fees);
        if (named.isEmpty()) {
            QVERIFY2(why.isEmpty(), qPrintable(why));
            return;
        }
        QVERIFY2(why.contains(QStringLiteral("王芳")) && why.contains(named), qPrintable(why));
    }

    void discountRange_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("set");
        QTest::addColumn<bool>("inRange");
        QTest::newRow("0.9") << "0.9" << true << true;
        QTest::newRow("1") << "1" << true << true;
        QTest::newRow("90") << "90" << true << false;
        QTest::newRow("0") << "0" << true << false;
        QTest::newRow("negative") << "-0.5" << true << false;
        QTest::newRow("empty") << "" << false << false;
        QTest::newRow("blank") << "  " << false << false;
    }
    void discountRange()
    {
        QFETCH(QString, text);
        QFETCH(bool, set);
        QFETCH(bool, inRange);
        FeeSettings settings;
        settings.texts[FeeSettings::Discount] = text;
        QCOMPARE(settings.mirror().discountSet, set);
        QCOMPARE(settings.mirror().discountInRange(), inRange);
    }
};

QTEST_GUILESS_MAIN(TestFees)
#include "test_fees.moc"
