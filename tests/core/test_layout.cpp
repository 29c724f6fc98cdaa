#include "layout.h"

#include <QTest>

namespace
{
Receipt receiptOf(std::initializer_list<std::pair<const char16_t *, qint32>> lines)
{
    Receipt r;
    int slot = 0;
    for (const auto &l : lines)
        addFeeEntry(r, ReceiptText::encode(QString::fromUtf16(l.first), Receipt::LabelBytes),
                    l.second / 100.0f, slot++);
    r.name = ReceiptText::encode(QStringLiteral("王小明"), Receipt::TextBytes);
    r.age = ReceiptText::encode(QStringLiteral("4"), Receipt::TextBytes);
    r.clerk = ReceiptText::encode(QStringLiteral("李老师"), Receipt::TextBytes);
    return r;
}

// The x of every one-character text on the capital baseline, in order.
QStringList capitals(const QVector<DrawOp> &ops)
{
    QStringList out;
    for (const DrawOp &op : ops)
        if (op.kind == DrawOp::Text && op.at.y() == 85.0)
            out << QStringLiteral("%1@%2").arg(op.text).arg(op.at.x());
    return out;
}

const DrawOp *findText(const QVector<DrawOp> &ops, const QString &text)
{
    for (const DrawOp &op : ops)
        if (op.text == text)
            return &op;
    return nullptr;
}
} // namespace

class TestLayout : public QObject
{
    Q_OBJECT
private slots:
    void capitalPlacements_data()
    {
        QTest::addColumn<int>("placement");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("left-aligned")
            << int(CapitalPlacement::LeftAligned)
            << QStringList{"壹@49",    "仟@54",    "伍@66.5", "佰@71.5", "零@84",    "拾@89",
                           "零@101.5", "元@106.5", "零@119",  "角@124",  "零@136.5", "分@141.5"};
        QTest::newRow("fixed columns")
            << int(CapitalPlacement::FixedColumns)
            << QStringList{"壹@32",   "仟@36.5", "伍@49.5", "佰@54",    "零@67",    "拾@71.5",
                           "零@84.5", "元@89",   "零@102",  "角@106.5", "零@119.5", "分@124"};
    }
    void capitalPlacements()
    {
        QFETCH(int, placement);
        QFETCH(QStringList, expected);
        const Receipt r = receiptOf({{u"保 教 费", 150000}, {u"住 宿 费", 0}});
        const auto ops = ReceiptLayout::layout(r, QDate(2026, 5, 14), CapitalPlacement(placement));
        QCOMPARE(capitals(ops), expected);
    }

    void eightDigitsHaveNoTopUnit()
    {
        const Receipt r = receiptOf({{u"保 教 费", 12345600}});
        const auto left =
            capitals(ReceiptLayout::layout(r, QDate(2026, 5, 14), CapitalPlacement::LeftAligned));
        QCOMPARE(left.first(), QStringLiteral("壹@49"));
        QCOMPARE(left.at(1), QStringLiteral("贰@66.5"));
        QCOMPARE(left.size(), 15);
    }

    void fixedPositions()
    {
        const Receipt r = receiptOf({{u"保 教 费", 150000}, {u"住 宿 费", 54000}});
        const auto ops = ReceiptLayout::layout(r, QDate(2026, 3, 7), CapitalPlacement::LeftAligned);
        const QVector<DrawOp> head = ops.mid(0, 5);
        QCOMPARE(head.at(0).text, QStringLiteral("2026"));
        QCOMPARE(head.at(0).at, QPointF(67, 26));
        QCOMPARE(head.at(1).text, QStringLiteral("03"));
        QCOMPARE(head.at(1).at, QPointF(87, 26));
        QCOMPARE(head.at(2).text, QStringLiteral("07 "));
        QCOMPARE(head.at(2).at, QPointF(97, 26));
        QCOMPARE(head.at(3).at, QPointF(45, 33));
        QCOMPARE(head.at(4).text, QStringLiteral("4"));
        QCOMPARE(head.at(4).at, QPointF(120, 33));
        QCOMPARE(findText(ops, QStringLiteral("1500.00"))->box,
                 QRectF(QPointF(34, 41), QPointF(79, 51)));
        QCOMPARE(findText(ops, QStringLiteral("540.00"))->box,
                 QRectF(QPointF(34, 49), QPointF(79, 59)));
        QCOMPARE(findText(ops, QStringLiteral("2040.00"))->box,
                 QRectF(QPointF(34, 73), QPointF(79, 83)));
        QCOMPARE(ops.last().text, QStringLiteral("李老师"));
        QCOMPARE(ops.last().at, QPointF(136, 93.5));
        // The two fixed labels are printed on the form already.
        QVERIFY(!findText(ops, QStringLiteral("保 教 费")));
    }

    void furtherLineWithZeroFirstLines()
    {
        const Receipt r = receiptOf(
            {{u"保 教 费", 0}, {u"住 宿 费", 0}, {u"校车接送费", 5000}, {u"床上用品费", 0}});
        const auto ops =
            ReceiptLayout::layout(r, QDate(2026, 5, 14), CapitalPlacement::FixedColumns);
        const DrawOp *bus = findText(ops, QStringLiteral("校车接送费"));
        QVERIFY(bus);
        QCOMPARE(bus->box, QRectF(QPointF(14, 57), QPointF(39, 67)));
        QCOMPARE(findText(ops, QStringLiteral("50.00"))->box.top(), 57.0);
        // The second further line keeps its label without an amount.
        const DrawOp *bedding = findText(ops, QStringLiteral("床上用品费"));
        QVERIFY(bedding);
        QCOMPARE(bedding->box, QRectF(QPointF(14, 65), QPointF(39, 75)));
        int amountBoxes = 0;
        for (const DrawOp &op : ops)
            if (op.kind == DrawOp::Box && op.box.left() == 34)
                ++amountBoxes;
        QCOMPARE(amountBoxes, 2); // the bus line and the total
        QCOMPARE(capitals(ops), (QStringList{"伍@67", "拾@71.5", "零@84.5", "元@89", "零@102",
                                             "角@106.5", "零@119.5", "分@124"}));
    }

    void emptyReceiptHasNoTotal()
    {
        Receipt r;
        const auto ops =
            ReceiptLayout::layout(r, QDate(2026, 5, 14), CapitalPlacement::LeftAligned);
        QCOMPARE(ops.size(), 6); // date ×3, name, age, clerk
        QVERIFY(capitals(ops).isEmpty());
    }

    void offsetMovesEverything()
    {
        const Receipt r =
            receiptOf({{u"保 教 费", 150000}, {u"住 宿 费", 30000}, {u"伙 食 费", 2500}});
        for (auto placement : {CapitalPlacement::LeftAligned, CapitalPlacement::FixedColumns}) {
            const auto plain = ReceiptLayout::layout(r, QDate(2026, 5, 14), placement);
            const QPointF off(1.3, -0.7);
            const auto moved = ReceiptLayout::layout(r, QDate(2026, 5, 14), placement, off);
            QCOMPARE(moved.size(), plain.size());
            for (int i = 0; i < plain.size(); ++i) {
                QCOMPARE(moved[i].text, plain[i].text);
                QCOMPARE(moved[i].at,
                         plain[i].at + (plain[i].kind == DrawOp::Text ? off : QPointF()));
                if (plain[i].kind != DrawOp::Text)
                    QCOMPARE(moved[i].box, plain[i].box.translated(off));
            }
        }
    }

    void refusal_data()
    {
        QTest::addColumn<int>("amount");
        QTest::addColumn<bool>("refused");
        QTest::newRow("ordinary") << 150000 << false;
        QTest::newRow("zero") << 0 << false;
        QTest::newRow("largest") << 99999999 << false;
        QTest::newRow("nine digits") << 100000000 << true;
        QTest::newRow("negative") << -100 << true;
    }
    void refusal()
    {
        QFETCH(int, amount);
        QFETCH(bool, refused);
        Receipt r;
        r.name = ReceiptText::encode(QStringLiteral("王小明"), Receipt::TextBytes);
        r.entries[0] = FeeEntry{ReceiptText::childcareLabel(), amount};
        r.entryCount = 1;
        r.total = amount;
        const QString why = ReceiptLayout::refusal(r);
        QCOMPARE(!why.isEmpty(), refused);
        if (refused)
            QVERIFY2(why.contains(QStringLiteral("王小明")), qPrintable(why));
    }
};

QTEST_GUILESS_MAIN(TestLayout)
#include "test_layout.moc"
