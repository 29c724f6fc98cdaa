// libFuzzer target for the workbook and statement readers: any bytes,
// under any of the names a clerk might pick, must give a sheet (or a
// statement) or an error, never a crash, a hang or unbounded memory.
#include "statementfile.h"
#include "workbook.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static const char *names[] = {"/in.xlsx", "/in.xls", "/in.csv", "/in"};
    const QString path = dir.path() + QLatin1String(names[size % 4]);
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    Sheet sheet;
    QString error;
    for (int index : {1, 2})
        if (Workbook::read(path, index, sheet, &error))
            (void)sheet.lastColumn();

    // The same bytes as each platform's statement, and as a bank's with
    // columns taken from the first byte.
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    Statements::BankColumns bank;
    const int pick = size ? data[0] : 0;
    bank.time = pick % 4;
    bank.amount = (pick / 4) % 4;
    bank.number = (pick / 16) % 5 - 1;
    bank.remark = (pick / 80) % 3 - 1;
    bank.headerRow = pick % 3;
    for (auto source :
         {Statements::Source::WeChat, Statements::Source::Alipay, Statements::Source::Bank}) {
        QString why;
        if (const auto file = Statements::read(source, bytes, bank, &why))
            (void)file->months();
    }
    return 0;
}
