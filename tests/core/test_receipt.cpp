#include "receipt.h"

#include <QTest>

namespace
{
Roster::Cells row(std::initializer_list<std::pair<int, QString>> cells)
{
    Roster::Cells r;
    for (const auto &c : cells)
        r[c.first] = c.second;
    return r;
}

QString label(const Receipt &r, int slot)
{
    return ReceiptText::decode(r.entries[slot].label);
}
} // namespace

class TestReceipt : public QObject
{
    Q_OBJECT
private slots:
    void childcareFromList_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<int>("fen");
        QTest::newRow("0 picks the first") << QStringLiteral("0") << 120000;
        QTest::newRow("1 picks the second") << QStringLiteral("1") << 150000;
        QTest::newRow("1500 is an amount") << QStringLiteral("1500") << 150000;
        QTest::newRow("negative gives 0") << QStringLiteral("-5") << 0;
    }
    void childcareFromList()
    {
        QFETCH(QString, cell);
        QFETCH(int, fen);
        FeeMirror fees;
        fees.tuitionPrices = {QStringLiteral("1200"), QStringLiteral("1500")};
        const BuiltReceipt b = buildReceipt(row({{Roster::Tuition, cell}}), fees);
        QCOMPARE(b.receipt.entryCount, 2);
        QCOMPARE(label(b.receipt, 0), QStringLiteral("保 教 费"));
        QCOMPARE(label(b.receipt, 1), QStringLiteral("住 宿 费"));
        QCOMPARE(b.receipt.entries[0].amount, fen);
        QCOMPARE(b.receipt.total, fen);
        QCOMPARE(b.totalColumn, fen / 100);
    }

    void discountExample()
    {
        FeeMirror fees;
        fees.feePrices = {{0, 0.9f}, {1, 300.0f}, {2, 12.5f}, {3, 80.0f}};
        const auto r = row({{Roster::Name, QStringLiteral("王小明")},
                            {Roster::Age, QStringLiteral("4")},
                            {Roster::Tuition, QStringLiteral("1500")},
                            {Roster::Accommodation, QStringLiteral("2")},
                            {Roster::Meals, QStringLiteral("20")},
                            {Roster::Bedding, QStringLiteral("1")},
                            {Roster::Discount, QStringLiteral("1")},
                            {Roster::Clerk, QStringLiteral("李老师")}});
        const BuiltReceipt b = buildReceipt(r, fees);
        const Receipt &rc = b.receipt;
        QCOMPARE(rc.entryCount, 4);
        QCOMPARE(rc.entries[0].amount, 135000);
        QCOMPARE(rc.entries[1].amount, 54000);
        QCOMPARE(label(rc, 2), QStringLiteral("伙 食 费"));
        QCOMPARE(rc.entries[2].amount, 22500);
        QCOMPARE(label(rc, 3), QStringLiteral("床上用品费"));
        QCOMPARE(rc.entries[3].amount, 8000);
        QCOMPARE(rc.total, 219500);
        QCOMPARE(b.totalColumn, 2195);
        QCOMPARE(ReceiptText::decode(rc.name), QStringLiteral("王小明"));
        QCOMPARE(ReceiptText::decode(rc.age), QStringLiteral("4"));
        QCOMPARE(ReceiptText::decode(rc.clerk), QStringLiteral("李老师"));
    }

    void furtherLinesBeyondTwoGoOnASecondForm()
    {
        FeeMirror fees;
        fees.feePrices = {{2, 10.0f}, {3, 80.0f}, {4, 50.0f}, {5, 30.0f}};
        const auto r = row({{Roster::Meals, QStringLiteral("2")},
                            {Roster::Bedding, QStringLiteral("1")},
                            {Roster::SchoolBus, QStringLiteral("1")},
                            {Roster::Insurance, QStringLiteral("1")}});
        const BuiltReceipt b = buildReceipt(r, fees);
        // Every fee is on the receipt and in its total: 20 + 80 + 50 + 30.
        QCOMPARE(b.receipt.entryCount, 6);
        QCOMPARE(b.receipt.total, 18000);
        QCOMPARE(b.totalColumn, 180);
        const QVector<Receipt> paper = forms(b.receipt);
        QCOMPARE(paper.size(), 2);
        QCOMPARE(paper[0].entryCount, 4);
        QCOMPARE(label(paper[0], 2), QStringLiteral("伙 食 费"));
        QCOMPARE(label(paper[0], 3), QStringLiteral("床上用品费"));
        QCOMPARE(paper[0].total, 10000);
        QCOMPARE(paper[1].entryCount, 2);
        QCOMPARE(label(paper[1], 0), QStringLiteral("校车接送费"));
        QCOMPARE(label(paper[1], 1), QStringLiteral("意外保险费"));
        QCOMPARE(paper[1].total, 8000);
        QCOMPARE(paper[1].name, b.receipt.name);
        // A form never holds more lines than the paper has.
        for (const Receipt &f : paper)
            QVERIFY(f.entryCount <= Receipt::FormLines);
        // Three further fees: one line on the second form.
        const auto three = row({{Roster::Meals, QStringLiteral("2")},
                                {Roster::Bedding, QStringLiteral("1")},
                                {Roster::Insurance, QStringLiteral("1")}});
        const QVector<Receipt> two = forms(buildReceipt(three, fees).receipt);
        QCOMPARE(two.size(), 2);
        QCOMPARE(two[1].entryCount, 1);
        QCOMPARE(two[1].total, 3000);
        // Two further fees: one form.
        const auto one =
            row({{Roster::Meals, QStringLiteral("2")}, {Roster::Insurance, QStringLiteral("1")}});
        QCOMPARE(forms(buildReceipt(one, fees).receipt).size(), 1);
    }

    void zeroAndMissingFurtherColumnsSkipped()
    {
        FeeMirror fees;
        fees.feePrices = {{2, 10.0f}, {3, 80.0f}, {4, 50.0f}, {5, 30.0f}};
        const auto r =
            row({{Roster::Meals, QStringLiteral("0")}, {Roster::Insurance, QStringLiteral("1")}});
        const BuiltReceipt b = buildReceipt(r, fees);
        QCOMPARE(b.receipt.entryCount, 3);
        QCOMPARE(label(b.receipt, 2), QStringLiteral("意外保险费"));
        QCOMPARE(b.receipt.entries[2].amount, 3000);
    }

    void fractionsDifferBetweenReceiptAndColumn()
    {
        FeeMirror fees;
        fees.feePrices = {{3, 12.5f}};
        const BuiltReceipt b = buildReceipt(row({{Roster::Bedding, QStringLiteral("1")}}), fees);
        QCOMPARE(b.receipt.total, 1250);
        QCOMPARE(b.totalColumn, 12);
    }

    void accommodationRoundedHere()
    {
        // The roster adds 100.6; the receipt discounts and rounds.
        FeeMirror fees;
        fees.feePrices = {{0, 0.9f}, {1, 100.6f}};
        const auto r = row({{Roster::Accommodation, QStringLiteral("1")},
                            {Roster::Discount, QStringLiteral("1")}});
        QCOMPARE(buildReceipt(r, fees).receipt.entries[1].amount, 9100);
    }

    void addFeeEntryRoundsToTheFen()
    {
        Receipt r;
        addFeeEntry(r, "x", 12.349f, 2);
        QCOMPARE(r.entries[2].amount, 1235);
        QCOMPARE(r.entryCount, 1);
        addFeeEntry(r, "y", 3e9f, 3);
        QCOMPARE(r.entries[3].amount, std::numeric_limits<qint32>::max());
        // The total saturates instead of wrapping round.
        QCOMPARE(r.total, std::numeric_limits<qint32>::max());
        addFeeEntry(r, "z", 1.0f, 7); // no such slot
        QCOMPARE(r.entryCount, 2);
    }

    // Every price in tenths of a yuan from 0.1 to 1000.0 (as the settings
    // read it: text to number) times every quantity from 1 to 31, against
    // decimal arithmetic in whole numbers: the receipt line in fen and the
    // roster's total in yuan, exact in every case.
    void everyTenthTimesEveryQuantityIsExact()
    {
        int wrongLines = 0, wrongTotals = 0;
        QString first;
        for (int tenths = 1; tenths <= 10000; ++tenths) {
            FeeMirror fees;
            const QString text = QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10);
            fees.feePrices[Fees::BeddingPrice] = static_cast<float>(text.toDouble());
            for (int quantity = 1; quantity <= 31; ++quantity) {
                const Roster::Cells r = row({{Roster::Bedding, QString::number(quantity)}});
                const qint64 fen = qint64(tenths) * quantity * 10;
                const BuiltReceipt built = buildReceipt(r, fees);
                if (built.receipt.entries[2].amount != fen) {
                    if (first.isEmpty())
                        first = QStringLiteral("%1 × %2 printed %3 fen")
                                    .arg(text)
                                    .arg(quantity)
                                    .arg(built.receipt.entries[2].amount);
                    ++wrongLines;
                }
                if (Fees::rosterTotal(r, fees) != fen / 100 || built.totalColumn != fen / 100)
                    ++wrongTotals;
            }
        }
        QVERIFY2(
            wrongLines == 0 && wrongTotals == 0,
            qPrintable(QStringLiteral("%1 receipt lines and %2 totals of 310000 wrong; first: %3")
                           .arg(wrongLines)
                           .arg(wrongTotals)
                           .arg(first)));
    }

    void fieldsCutAtCharacterBoundary_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("kept");
        const QString fourteen = QString(14, QChar(0x738B));
        QTest::newRow("fits") << QStringLiteral("王小明") << QStringLiteral("王小明");
        QTest::newRow("29 bytes exactly")
            << QStringLiteral("a") + fourteen << QStringLiteral("a") + fourteen;
        QTest::newRow("cut before a half")
            << QStringLiteral("ab") + fourteen << QStringLiteral("ab") + QString(13, QChar(0x738B));
        QTest::newRow("twenty Chinese") << QString(20, QChar(0x674E)) << QString(14, QChar(0x674E));
        // A character outside the BMP takes four bytes and is kept whole.
        QTest::newRow("four-byte character")
            << QString(13, QChar(0x738B)) + QString::fromUcs4(U"\U00020BB7")
            << QString(13, QChar(0x738B));
        QTest::newRow("rare character survives")
            << QString::fromUcs4(U"\U00020BB7") + QStringLiteral("明")
            << QString::fromUcs4(U"\U00020BB7") + QStringLiteral("明");
    }
    void fieldsCutAtCharacterBoundary()
    {
        QFETCH(QString, text);
        QFETCH(QString, kept);
        const QByteArray bytes = ReceiptText::encode(text, Receipt::TextBytes);
        QVERIFY(bytes.size() <= Receipt::TextBytes);
        QCOMPARE(ReceiptText::decode(bytes), kept);
        const BuiltReceipt b =
            buildReceipt(row({{Roster::Name, text}, {Roster::Clerk, text}}), FeeMirror());
        QCOMPARE(ReceiptText::decode(b.receipt.name), kept);
        QCOMPARE(ReceiptText::decode(b.receipt.clerk), kept);
    }
};

QTEST_GUILESS_MAIN(TestReceipt)
#include "test_receipt.moc"
