#include "excelengine.h"
#include "testsupport.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardItemModel>
#include <QTest>

namespace
{
} // namespace

class TestExcelEngine : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

private slots:
    void init() { w = new TestWorld; }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    void newFileSavedOnceThenByClose()
    {
        const QString path = w->path(QStringLiteral("new.xlsx"));
        ExcelEngine e;
        QVERIFY(e.hasApplication());
        QVERIFY(!e.isOpened());
        QVERIFY(e.open(path, 1, false));
        QVERIFY(e.isOpened());
        QVERIFY(e.isNewFile());
        QVERIFY(!QFile::exists(path));
        QVERIFY(e.setCellValue(1, 1, QStringLiteral("甲")));
        QVERIFY(e.save());
        QVERIFY(e.wasSaved());
        QCOMPARE(readWithOpenpyxl(path), (QVector<QStringList>{{QStringLiteral("甲")}}));
        // Later saves do nothing; closing keeps the changes all the same.
        QVERIFY(e.setCellValue(2, 1, QStringLiteral("乙")));
        const QByteArray once = bytesOf(path);
        QVERIFY(e.save());
        QCOMPARE(bytesOf(path), once);
        QVERIFY(e.close());
        QVERIFY(!e.isOpened());
        QCOMPARE(readWithOpenpyxl(path),
                 (QVector<QStringList>{{QStringLiteral("甲")}, {QStringLiteral("乙")}}));
        // Save after close: nothing.
        const QByteArray closed = bytesOf(path);
        QVERIFY(e.save());
        QCOMPARE(bytesOf(path), closed);
    }

    void closeWithoutOpenDoesNothing()
    {
        ExcelEngine e;
        QVERIFY(e.close());
        QVERIFY(!e.open(QString(), 1, false)); // no file name
        QVERIFY(!e.isOpened());
        QVERIFY(e.close());
    }

    void cellsStartAtOne()
    {
        ExcelEngine e(w->path(QStringLiteral("cells.xlsx")));
        QVERIFY(e.open(1, false));
        QVERIFY(!e.setCellValue(0, 1, QStringLiteral("x")));
        QVERIFY(!e.setCellValue(1, 0, QStringLiteral("x")));
        QVERIFY(!e.cellValue(0, 1).isValid());
        QVERIFY(!e.cellValue(1, 0).isValid());
        QVERIFY(e.setCellValue(1, 1, 12));
        QCOMPARE(e.cellValue(1, 1), QVariant(QStringLiteral("12")));
        QVERIFY(e.setCellValue(1, 2, QVariant()));
        QCOMPARE(e.cellValue(1, 2).toString(), QString());
        QVERIFY(!e.cellValue(5, 5).isValid());
        QVERIFY(e.close());
        QCOMPARE(readWithOpenpyxl(e.filePath()).at(0).at(0), QStringLiteral("12"));
    }

    void existingFileOpenedInPlace()
    {
        const QString path = w->path(QStringLiteral("roster.xlsx"));
        {
            ExcelEngine e;
            QVERIFY(e.open(path, 1, false));
            for (int r = 1; r <= 5; ++r)
                for (int c = 1; c <= 13; ++c)
                    e.setCellValue(r, c, QStringLiteral("r%1c%2").arg(r).arg(c));
            QVERIFY(e.close());
        }
        ExcelEngine e;
        QVERIFY(e.open(path, 1, false));
        QVERIFY(!e.isNewFile());
        QCOMPARE(e.usedRows(), 5);
        QCOMPARE(e.usedColumns(), 13);
        QCOMPARE(e.cellValue(3, 13).toString(), QStringLiteral("r3c13"));
        e.setCellValue(1, 1, QStringLiteral("new"));
        QVERIFY(e.close());
        const auto rows = readWithOpenpyxl(path);
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows.at(0).at(0), QStringLiteral("new"));
        QCOMPARE(rows.at(4).at(12), QStringLiteral("r5c13"));
        e.reset();
        QCOMPARE(e.usedRows(), 0);
        QCOMPARE(e.filePath(), QString());
    }

    void pathWithoutExtensionGetsXlsx()
    {
        const QString base = w->path(QStringLiteral("202605大一班发票打印副本"));
        {
            ExcelEngine e;
            QVERIFY(e.open(base, 1, false));
            QCOMPARE(e.filePath(), base + QStringLiteral(".xlsx"));
            e.setCellValue(1, 1, QStringLiteral("first"));
            QVERIFY(e.close());
        }
        QVERIFY(QFile::exists(base + QStringLiteral(".xlsx")));
        // The second time the same name finds the same workbook.
        ExcelEngine e;
        QVERIFY(e.open(base, 1, false));
        QVERIFY(!e.isNewFile());
        QCOMPARE(e.cellValue(1, 1).toString(), QStringLiteral("first"));
    }

    void reopenClosesFirst()
    {
        ExcelEngine e;
        QVERIFY(e.open(w->path(QStringLiteral("a.xlsx")), 1, false));
        e.setCellValue(1, 1, QStringLiteral("a"));
        QVERIFY(e.open(w->path(QStringLiteral("b.xlsx")), 1, false));
        QCOMPARE(readWithOpenpyxl(w->path(QStringLiteral("a.xlsx"))).at(0).at(0),
                 QStringLiteral("a"));
        e.setCellValue(1, 1, QStringLiteral("b"));
        QVERIFY(e.close());
        QCOMPARE(readWithOpenpyxl(w->path(QStringLiteral("b.xlsx"))).at(0).at(0),
                 QStringLiteral("b"));
    }

    void unreadableFileRefused()
    {
        const QString path = w->path(QStringLiteral("broken.xlsx"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("%PDF-1.4 not a workbook");
        f.close();
        ExcelEngine e;
        QVERIFY(!e.open(path, 1, false));
        QVERIFY(!e.isOpened());
        QVERIFY(!e.errorString().isEmpty());
        QVERIFY(!e.setCellValue(1, 1, QStringLiteral("x")));
        QVERIFY(e.close());
        QCOMPARE(bytesOf(path), QByteArray("%PDF-1.4 not a workbook"));
    }

    void closeWithoutSavingWritesNothing()
    {
        const QString source = QStringLiteral(FEEOFFICE_TEST_DATA "/odd.xlsx");
        const QString path = w->path(QStringLiteral("source.xlsx"));
        QVERIFY(QFile::copy(source, path));
        ExcelEngine e;
        QVERIFY(e.open(path, 1, false));
        e.setCellValue(1, 1, QStringLiteral("changed"));
        e.closeWithoutSaving();
        QCOMPARE(bytesOf(path), bytesOf(source));
    }

    void tables()
    {
        QStandardItemModel table(2, 2);
        table.setHorizontalHeaderLabels({QStringLiteral("姓名"), QStringLiteral("年龄")});
        table.setItem(0, 0, new QStandardItem(QStringLiteral("甲")));
        table.setItem(1, 1, new QStandardItem(QStringLiteral("5")));
        const QString path = w->path(QStringLiteral("table.xlsx"));
        {
            ExcelEngine e;
            QVERIFY(!e.writeTable(&table)); // not open
            QVERIFY(e.open(path, 1, false));
            QVERIFY(e.writeTable(&table));
            QVERIFY(e.close());
        }
        QCOMPARE(readWithOpenpyxl(path),
                 (QVector<QStringList>{{"姓名", "年龄"}, {"甲", ""}, {"", "5"}}));
        ExcelEngine e;
        QVERIFY(e.open(path, 1, false));
        QStandardItemModel back;
        QVERIFY(e.readTable(&back));
        QCOMPARE(back.columnCount(), 2);
        QCOMPARE(back.rowCount(), 2);
        QCOMPARE(back.headerData(1, Qt::Horizontal).toString(), QStringLiteral("年龄"));
        QCOMPARE(back.data(back.index(0, 0)).toString(), QStringLiteral("甲"));
        QCOMPARE(back.data(back.index(1, 1)).toString(), QStringLiteral("5"));
    }
};

QTEST_GUILESS_MAIN(TestExcelEngine)
#include "test_excelengine.moc"
