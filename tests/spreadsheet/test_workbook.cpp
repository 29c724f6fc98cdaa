#include "testsupport.h"
#include "workbook.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTest>
#include <unzip.h>
#include <zip.h>

namespace
{
const QString data = QStringLiteral(FEEOFFICE_TEST_DATA);

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// Writes a zip with the given entries, in order.
void writeZip(const QString &to, const QVector<QPair<QString, QByteArray>> &entries,
              int level = Z_DEFAULT_COMPRESSION)
{
    zipFile out = zipOpen64(QFile::encodeName(to).constData(), APPEND_STATUS_CREATE);
    QVERIFY(out);
    for (const auto &e : entries) {
        QVERIFY(zipOpenNewFileInZip64(out, e.first.toUtf8().constData(), nullptr, nullptr, 0,
                                      nullptr, 0, nullptr, Z_DEFLATED, level, 1) == ZIP_OK);
        QVERIFY(zipWriteInFileInZip(out, e.second.constData(), unsigned(e.second.size())) ==
                ZIP_OK);
        zipCloseFileInZip(out);
    }
    zipClose(out, nullptr);
}

// Copies a zip, replacing (or adding) one entry.
void rezip(const QString &from, const QString &to, const QString &entry, const QByteArray &content,
           int level = Z_DEFAULT_COMPRESSION)
{
    QVector<QPair<QString, QByteArray>> entries;
    unzFile in = unzOpen64(QFile::encodeName(from).constData());
    QVERIFY(in);
    for (int more = unzGoToFirstFile(in); more == UNZ_OK; more = unzGoToNextFile(in)) {
        char name[512];
        unz_file_info64 info;
        QVERIFY(unzGetCurrentFileInfo64(in, &info, name, sizeof name, nullptr, 0, nullptr, 0) ==
                UNZ_OK);
        if (QString::fromUtf8(name) == entry)
            continue;
        QByteArray content(int(info.uncompressed_size), '\0');
        QVERIFY(unzOpenCurrentFile(in) == UNZ_OK);
        unzReadCurrentFile(in, content.data(), unsigned(content.size()));
        unzCloseCurrentFile(in);
        entries.append({QString::fromUtf8(name), content});
    }
    unzClose(in);
    entries.append({entry, content});
    writeZip(to, entries, level);
}
} // namespace

class TestWorkbook : public QObject
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

    void formats_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("sheet");
        QTest::addColumn<QStringList>("cells"); // "row,col=text"
        QTest::newRow("xls") << data + "/names.xls" << 1
                             << QStringList{"1,2=姓名", "2,1=1",    "2,2=王小明", "3,3=5.5",
                                            "4,2=",     "5,2=𠮷田", "5,3=4"};
        QTest::newRow("xls second sheet") << data + "/names.xls" << 2 << QStringList{"1,1=第二页"};
        QTest::newRow("xlsx by relationships")
            << data + "/odd.xlsx" << 1
            << QStringList{"1,2=姓名",    "1,3=年龄", "2,2=王小明", "2,3=12",   "2,4=TRUE",
                           "3,2=李&小红", "3,3=3.5",  "3,4=公式",   "5,2=赵四", "4,2="};
        QTest::newRow("xlsx second sheet")
            << data + "/odd.xlsx" << 2 << QStringList{"1,1=second sheet"};
        QTest::newRow("openpyxl") << data + "/openpyxl.xlsx" << 1
                                  << QStringList{"1,1=姓名", "2,1=王小明", "2,2=12",
                                                 "3,2=3.5",  "5,1=赵四",   "4,1="};
    }
    void formats()
    {
        QFETCH(QString, file);
        QFETCH(int, sheet);
        QFETCH(QStringList, cells);
        Sheet s;
        QString error;
        QVERIFY2(Workbook::read(file, sheet, s, &error), qPrintable(error));
        for (const QString &c : cells) {
            const int eq = c.indexOf(QLatin1Char('='));
            const QStringList rc = c.left(eq).split(QLatin1Char(','));
            QCOMPARE(s.cell(rc[0].toInt(), rc[1].toInt()), c.mid(eq + 1));
        }
    }

    void csvEncodings_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QString text =
            QStringLiteral("姓名,年龄\r\n王小明,4\r\n\"李,小红\",\"5\"\"\"\n赵四\n");
        QTest::newRow("gbk without bom") << QByteArray(QStringEncoder("GBK").encode(text));
        QTest::newRow("utf-8 with bom") << QByteArray("\xEF\xBB\xBF") + text.toUtf8();
        QTest::newRow("utf-8") << text.toUtf8();
        QTest::newRow("utf-16 with bom")
            << QByteArray("\xFF\xFE") +
                   QByteArray(QStringEncoder(QStringEncoder::Utf16LE).encode(text));
    }
    void csvEncodings()
    {
        QFETCH(QByteArray, bytes);
        const QString path = w->path(QStringLiteral("names.csv"));
        writeFile(path, bytes);
        Sheet s;
        QString error;
        QVERIFY2(Workbook::read(path, 1, s, &error), qPrintable(error));
        QCOMPARE(s.cell(1, 1), QStringLiteral("姓名"));
        QCOMPARE(s.cell(2, 1), QStringLiteral("王小明"));
        QCOMPARE(s.cell(2, 2), QStringLiteral("4"));
        QCOMPARE(s.cell(3, 1), QStringLiteral("李,小红"));
        QCOMPARE(s.cell(3, 2), QStringLiteral("5\""));
        QCOMPARE(s.cell(4, 1), QStringLiteral("赵四"));
        QVERIFY(!s.hasCell(4, 2));
    }

    void formatFromContent()
    {
        // An xlsx saved with a .csv name is still a workbook.
        const QString path = w->path(QStringLiteral("really-xlsx.csv"));
        QVERIFY(QFile::copy(data + "/odd.xlsx", path));
        Sheet s;
        QVERIFY(Workbook::read(path, 1, s, nullptr));
        QCOMPARE(s.cell(2, 2), QStringLiteral("王小明"));
    }

    void corrupt_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char *k :
             {"empty", "pdf renamed", "random binary", "truncated", "sheet cut in half", "zip bomb",
              "missing workbook", "bad string index", "huge cell reference", "text named xlsx",
              "no such sheet", "missing file", "crafted xls", "xls without that sheet",
              "random xls"})
            QTest::newRow(k) << QString::fromLatin1(k);
    }
    void corrupt()
    {
        QFETCH(QString, kind);
        const QString path = w->path(QStringLiteral("bad.xlsx"));
        const QByteArray good = readFile(data + "/odd.xlsx");
        int sheet = 1;
        if (kind == "empty") {
            writeFile(path, {});
        } else if (kind == "pdf renamed") {
            writeFile(path, "%PDF-1.4\n1 0 obj << >> endobj\n%%EOF\n");
        } else if (kind == "random binary") {
            QByteArray b;
            for (int i = 0; i < 5000; ++i)
                b.append(char((i * 7919) % 251));
            writeFile(path, b);
        } else if (kind == "truncated") {
            writeFile(path, good.left(good.size() / 2));
        } else if (kind == "sheet cut in half") {
            const QByteArray xml = "<?xml version=\"1.0\"?><worksheet xmlns=\"x\"><sheetData><row "
                                   "r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>半";
            rezip(data + "/odd.xlsx", path, QStringLiteral("xl/worksheets/data.xml"), xml);
        } else if (kind == "zip bomb") {
            QByteArray xml =
                "<?xml version=\"1.0\"?><worksheet><sheetData><row r=\"1\"><c r=\"A1\"><v>";
            xml += QByteArray(80 * 1024 * 1024, '1');
            xml += "</v></c></row></sheetData></worksheet>";
            rezip(data + "/odd.xlsx", path, QStringLiteral("xl/worksheets/data.xml"), xml, 9);
            QVERIFY(QFileInfo(path).size() < 1024 * 1024);
        } else if (kind == "missing workbook") {
            writeZip(path, {{QStringLiteral("hello.txt"), QByteArray("hi")}});
        } else if (kind == "bad string index") {
            rezip(data + "/odd.xlsx", path, QStringLiteral("xl/worksheets/data.xml"),
                  "<worksheet><sheetData><row r=\"1\"><c r=\"A1\" "
                  "t=\"s\"><v>99</v></c></row></sheetData></worksheet>");
        } else if (kind == "huge cell reference") {
            rezip(data + "/odd.xlsx", path, QStringLiteral("xl/worksheets/data.xml"),
                  "<worksheet><sheetData><row r=\"1\"><c "
                  "r=\"ZZZZZZ99999999999\"><v>1</v></c></row></sheetData></worksheet>");
        } else if (kind == "text named xlsx") {
            writeFile(path, "name,age\n");
        } else if (kind == "crafted xls") {
            // Overflows a stack buffer inside libfreexl; the reader's child
            // process takes the damage.
            QVERIFY(QFile::copy(data + "/crafted.xls", path));
        } else if (kind == "no such sheet") {
            QVERIFY(QFile::copy(data + "/odd.xlsx", path));
            sheet = 5;
        }
        QString file = kind == "missing file" ? w->path("nothing.xlsx") : path;
        if (kind == "xls without that sheet" || kind == "random xls") {
            file = w->path(QStringLiteral("bad.xls"));
            if (kind == "random xls")
                writeFile(file, QByteArray(4096, '\x5a'));
            else
                QVERIFY(QFile::copy(data + "/names.xls", file));
            sheet = kind == "random xls" ? 1 : 7;
        }
        Sheet s;
        QString error;
        QVERIFY(!Workbook::read(file, sheet, s, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(s.isEmpty());
        // The clerk reads the reason: Chinese, not the reader's English.
        static const QRegularExpression english(
            QStringLiteral("\\b(is|the|be|cannot|not|no|such|too|large|damaged|readable|"
                           "unpacked|sheet)\\b"));
        static const QRegularExpression chinese(QStringLiteral("[\\x{4e00}-\\x{9fff}]"));
        QVERIFY2(!english.match(error).hasMatch() && chinese.match(error).hasMatch(),
                 qPrintable(error));
    }

    // Numbers read as their digits: a whole number is never "1e+05", a
    // fraction never "1e-05"; written by an independent program.
    void numbersAsDigits()
    {
        const QString path = w->path(QStringLiteral("numbers.xlsx"));
        QProcess py;
        py.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import openpyxl,sys\nwb=openpyxl.Workbook()\nws=wb.active\n"
                                 "for i,v in enumerate([100000,1234567890123,3.5,12.0,0.00001,"
                                 "-250000]):\n    ws.cell(row=i+1,column=1,value=v)\n"
                                 "wb.save(sys.argv[1])"),
                  path});
        QVERIFY(py.waitForFinished(30000));
        QVERIFY2(py.exitCode() == 0, py.readAllStandardError().constData());
        Sheet s;
        QString error;
        QVERIFY2(Workbook::read(path, 1, s, &error), qPrintable(error));
        const QStringList expected = {"100000", "1234567890123", "3.5", "12", "0.00001", "-250000"};
        for (int r = 0; r < expected.size(); ++r)
            QCOMPARE(s.cell(r + 1, 1), expected.at(r));
    }

    void writeRoundTrip()
    {
        Sheet s;
        s.setCell(1, 1, QStringLiteral("王小明"));
        s.setCell(1, 12, QStringLiteral("否"));
        s.setCell(2, 2, QStringLiteral("0350"));
        s.setCell(3, 1, QString::fromUcs4(U"\U00020BB7 & <x> \"q\""));
        const QString path = w->path(QStringLiteral("out.xlsx"));
        QString error;
        QVERIFY2(Workbook::writeXlsx(path, s, &error), qPrintable(error));
        Sheet back;
        QVERIFY(Workbook::read(path, 1, back, &error));
        QCOMPARE(back.rows(), s.rows());
        const auto independent = readWithOpenpyxl(path);
        QCOMPARE(independent.size(), 3);
        QCOMPARE(independent.at(0).at(0), QStringLiteral("王小明"));
        QCOMPARE(independent.at(0).at(11), QStringLiteral("否"));
        QCOMPARE(independent.at(1).at(1), QStringLiteral("0350")); // text stays text
        QCOMPARE(independent.at(2).at(0), s.cell(3, 1));
        // Nothing but the workbook is left in the directory.
        QCOMPARE(QDir(w->path(QString()))
                     .entryList({QStringLiteral(".feeoffice-*")}, QDir::Files | QDir::Hidden)
                     .size(),
                 0);
    }

    void failedWriteLeavesTargetAlone()
    {
        Sheet s;
        s.setCell(1, 1, QStringLiteral("x"));
        QString error;
        QVERIFY(!Workbook::writeXlsx(w->path(QStringLiteral("no/such/dir/out.xlsx")), s, &error));
        QVERIFY(!error.isEmpty());
        // A directory in the way of the rename: the write fails, the
        // directory stays, no temporary file is left.
        const QString blocked = w->path(QStringLiteral("blocked.xlsx"));
        QVERIFY(QDir().mkpath(blocked + QStringLiteral("/inside")));
        QVERIFY(!Workbook::writeXlsx(blocked, s, &error));
        QVERIFY(QFileInfo(blocked).isDir());
        QCOMPARE(QDir(w->path(QString()))
                     .entryList({QStringLiteral(".feeoffice-*")}, QDir::Files | QDir::Hidden)
                     .size(),
                 0);
    }
};

QTEST_GUILESS_MAIN(TestWorkbook)
#include "test_workbook.moc"
