// libFuzzer target for the workbook readers: any bytes, under any of the
// names a clerk might pick, must give a sheet or an error, never a crash,
// a hang or unbounded memory.
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
    return 0;
}
