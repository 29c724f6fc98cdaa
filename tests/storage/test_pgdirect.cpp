// Reading and writing PostgreSQL through its client library, beside Qt's
// driver on the same connection.
#include "database.h"
#include "pgdirect.h"
#include "testsupport.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

class TestPgDirect : public QObject
{
    Q_OBJECT

private slots:
    void textsComeBackUnchanged_data();
    void textsComeBackUnchanged();
    void refusedRowsAreAnErrorAndTheConnectionGoesOn();
};

void TestPgDirect::textsComeBackUnchanged_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QStringLiteral("");
    QTest::newRow("null") << QString();
    QTest::newRow("chinese") << QStringLiteral("欧阳小明 保教费");
    QTest::newRow("backslash") << QStringLiteral("a\\b\\\\c\\");
    QTest::newRow("tab and newline") << QStringLiteral("a\tb\nc\r\nd");
    QTest::newRow("looks like null") << QStringLiteral("\\N");
    QTest::newRow("beyond the BMP") << QStringLiteral("𠀋𡈽");
    QTest::newRow("quotes") << QStringLiteral("'\"?$1");
}

// Each text goes in by COPY and comes back by the direct read, next to a
// number, so a wrong escape shifts or breaks the row.
void TestPgDirect::textsComeBackUnchanged()
{
    if (!postgresAvailable())
        QSKIP("no PostgreSQL test server");
    QFETCH(QString, text);
    Database db(freshPostgres());
    QVERIFY(db.open());
    QSqlQuery q(db.connection());
    QVERIFY(q.exec(QStringLiteral("CREATE TEMP TABLE t (a TEXT, n BIGINT, b TEXT)")));
    pg_conn *conn = PgDirect::handle(db.connection());
    QVERIFY(conn);
    PgDirect::CopyRows rows;
    for (int i = 0; i < 3; ++i) {
        if (text.isNull())
            rows.null();
        else
            rows.text(text);
        rows.number(i - 1);
        rows.text(QStringLiteral("尾"));
        rows.endRow();
    }
    const auto copied = PgDirect::copyIn(conn, QStringLiteral("COPY t (a, n, b) FROM STDIN"), rows);
    QVERIFY2(!copied, copied ? qPrintable(copied->databaseText()) : "");
    QStringList read;
    QList<qint64> numbers;
    int nulls = 0;
    const auto failed =
        PgDirect::each(conn, QStringLiteral("SELECT a, n, b FROM t WHERE b = ? ORDER BY n"),
                       {QStringLiteral("尾")}, [&](const PgDirect::Row &r) {
                           nulls += r.isNull(0) ? 1 : 0;
                           read << r.text(0);
                           numbers << r.integer(1);
                       });
    QVERIFY(!failed);
    QCOMPARE(numbers, QList<qint64>({-1, 0, 1}));
    QCOMPARE(nulls, text.isNull() ? 3 : 0);
    for (const QString &r : std::as_const(read))
        QCOMPARE(r, text);
    // Qt's driver reads the same values.
    QVERIFY(q.exec(QStringLiteral("SELECT a FROM t")));
    while (q.next())
        QCOMPARE(q.value(0).toString(), text);
}

void TestPgDirect::refusedRowsAreAnErrorAndTheConnectionGoesOn()
{
    if (!postgresAvailable())
        QSKIP("no PostgreSQL test server");
    Database db(freshPostgres());
    QVERIFY(db.open());
    QSqlQuery q(db.connection());
    QVERIFY(q.exec(QStringLiteral("CREATE TEMP TABLE t (n BIGINT NOT NULL)")));
    pg_conn *conn = PgDirect::handle(db.connection());
    QVERIFY(conn);
    PgDirect::CopyRows bad;
    bad.number(1);
    bad.endRow();
    bad.text(QStringLiteral("不是数字"));
    bad.endRow();
    const auto refused = PgDirect::copyIn(conn, QStringLiteral("COPY t (n) FROM STDIN"), bad);
    QVERIFY(refused);
    QVERIFY(!refused->databaseText().isEmpty());
    PgDirect::CopyRows none;
    none.null();
    none.endRow();
    QVERIFY(PgDirect::copyIn(conn, QStringLiteral("COPY t (n) FROM STDIN"), none));
    QVERIFY(PgDirect::copyIn(conn, QStringLiteral("COPY missing (n) FROM STDIN"), none));
    QVERIFY(PgDirect::each(conn, QStringLiteral("SELECT nothing FROM t"), {},
                           [](const PgDirect::Row &) {}));
    // Nothing half-written, and Qt's driver still works on the connection.
    QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM t")));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 0);
}

QTEST_GUILESS_MAIN(TestPgDirect)
#include "test_pgdirect.moc"
