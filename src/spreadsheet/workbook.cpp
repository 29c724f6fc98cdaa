#include "workbook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <QXmlStreamReader>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <freexl.h>
#include <unzip.h>
#include <xlsxwriter.h>

// ---------------------------------------------------------------- Sheet

QString Sheet::cell(int row, int column) const
{
    const auto r = m_rows.constFind(row);
    return r == m_rows.cend() ? QString() : r->value(column);
}

bool Sheet::hasCell(int row, int column) const
{
    const auto r = m_rows.constFind(row);
    return r != m_rows.cend() && r->contains(column);
}

void Sheet::setCell(int row, int column, const QString &text)
{
    QMap<int, QString> &r = m_rows[row];
    const auto before = r.size();
    r.insert(column, text);
    m_cells += int(r.size() - before);
}

int Sheet::firstRow() const
{
    return m_rows.isEmpty() ? 0 : m_rows.firstKey();
}
int Sheet::lastRow() const
{
    return m_rows.isEmpty() ? 0 : m_rows.lastKey();
}

int Sheet::firstColumn() const
{
    int c = 0;
    for (const auto &r : m_rows)
        if (!r.isEmpty() && (c == 0 || r.firstKey() < c))
            c = r.firstKey();
    return c;
}

int Sheet::lastColumn() const
{
    int c = 0;
    for (const auto &r : m_rows)
        if (!r.isEmpty() && r.lastKey() > c)
            c = r.lastKey();
    return c;
}

namespace Workbook
{

namespace
{

bool setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

// A number in its shortest text, written out in digits: 12, not 12.0;
// 100000, not 1e+05 (a name or an ID read from a number stays its digits).
QString shortestText(double d)
{
    if (!std::isfinite(d) || std::fabs(d) >= 1e21)
        return QString::number(d, 'g', QLocale::FloatingPointShortest);
    return QString::number(d, 'f', QLocale::FloatingPointShortest);
}

QString numberText(const QString &raw)
{
    bool ok = false;
    const double d = raw.trimmed().toDouble(&ok);
    return ok ? shortestText(d) : raw;
}

// ------------------------------------------------------------- xlsx

class XlsxReader
{
public:
    // The same minizip that libxlsxwriter writes with: a second zip
    // library exporting the same symbols in one process would clash.
    explicit XlsxReader(const QString &path) : m_zip(unzOpen64(QFile::encodeName(path).constData()))
    {
    }
    ~XlsxReader()
    {
        if (m_zip)
            unzClose(m_zip);
    }
    XlsxReader(const XlsxReader &) = delete;
    XlsxReader &operator=(const XlsxReader &) = delete;

    bool read(int sheetIndex, Sheet &sheet, QString *error)
    {
        if (!m_zip)
            return setError(error, QStringLiteral("不是可读取的工作簿（压缩包已损坏）"));
        // Every part is looked up by name: a zip of millions of entries
        // would take minutes before the first lookup answers.
        unz_global_info64 info;
        if (unzGetGlobalInfo64(m_zip, &info) != UNZ_OK)
            return setError(error, QStringLiteral("不是可读取的工作簿（压缩包已损坏）"));
        if (info.number_entry > quint64(MaxZipEntries))
            return setError(error,
                            QStringLiteral("压缩包中有 %1 个文件（最多 %2 个），不可能是花名册")
                                .arg(info.number_entry)
                                .arg(MaxZipEntries));
        QByteArray workbook, rels;
        if (!entry(QStringLiteral("xl/workbook.xml"), workbook, error) ||
            !entry(QStringLiteral("xl/_rels/workbook.xml.rels"), rels, error))
            return false;

        // Relationship id → target, and the shared-strings part.
        QHash<QString, QString> targets;
        QString sharedStringsPart;
        {
            QXmlStreamReader x(rels);
            while (!x.atEnd()) {
                x.readNext();
                if (x.isStartElement() && x.name() == QLatin1String("Relationship")) {
                    const auto a = x.attributes();
                    const QString target = partPath(a.value(QLatin1String("Target")).toString());
                    targets.insert(a.value(QLatin1String("Id")).toString(), target);
                    if (a.value(QLatin1String("Type")).endsWith(QLatin1String("/sharedStrings")))
                        sharedStringsPart = target;
                }
            }
            if (x.hasError())
                return setError(error, QStringLiteral("工作簿的关系表已损坏"));
        }

        // The n-th sheet in workbook order, through its relationship.
        QString sheetPart;
        {
            QXmlStreamReader x(workbook);
            int n = 0;
            while (!x.atEnd()) {
                x.readNext();
                if (x.isStartElement() && x.name() == QLatin1String("sheet")) {
                    if (++n == sheetIndex) {
                        for (const QXmlStreamAttribute &a : x.attributes())
                            if (a.name() == QLatin1String("id"))
                                sheetPart = targets.value(a.value().toString());
                        break;
                    }
                }
            }
            if (x.hasError() && sheetPart.isEmpty())
                return setError(error, QStringLiteral("工作簿内容已损坏"));
        }
        if (sheetPart.isEmpty())
            return setError(error, QStringLiteral("工作簿中没有第 %1 个工作表").arg(sheetIndex));

        if (!sharedStringsPart.isEmpty() && !readSharedStrings(sharedStringsPart, error))
            return false;
        return readSheet(sheetPart, sheet, error);
    }

private:
    static QString partPath(QString target)
    {
        if (target.startsWith(QLatin1Char('/')))
            return target.mid(1);
        return QDir::cleanPath(QStringLiteral("xl/") + target);
    }

    bool entry(const QString &name, QByteArray &out, QString *error)
    {
        if (unzLocateFile(m_zip, name.toUtf8().constData(), 1) != UNZ_OK)
            return setError(error, QStringLiteral("不是工作簿（缺少 %1）").arg(name));
        if (unzOpenCurrentFile(m_zip) != UNZ_OK)
            return setError(error, QStringLiteral("工作簿中的 %1 无法解压").arg(name));
        out.clear();
        char buf[65536];
        bool ok = true;
        for (;;) {
            const int n = unzReadCurrentFile(m_zip, buf, sizeof buf);
            if (n < 0) {
                ok = setError(error, QStringLiteral("工作簿中的 %1 已损坏").arg(name));
                break;
            }
            if (n == 0)
                break;
            if (out.size() + n > MaxEntryBytes) {
                ok =
                    setError(error, QStringLiteral("工作簿中的 %1 太大，不可能是花名册").arg(name));
                break;
            }
            out.append(buf, n);
        }
        // Closing checks the CRC of what was read in full.
        const int closed = unzCloseCurrentFile(m_zip);
        if (ok && closed != UNZ_OK)
            return setError(error, QStringLiteral("工作簿中的 %1 已损坏").arg(name));
        return ok;
    }

    // Text of a string item: every <t> below it except phonetic runs.
    static QString itemText(QXmlStreamReader &x)
    {
        QString text;
        const QString end = x.name().toString();
        int phonetic = 0;
        while (!x.atEnd()) {
            x.readNext();
            if (x.isStartElement()) {
                if (x.name() == QLatin1String("rPh"))
                    ++phonetic;
                else if (x.name() == QLatin1String("t") && phonetic == 0)
                    text += x.readElementText(QXmlStreamReader::IncludeChildElements);
            } else if (x.isEndElement()) {
                if (x.name() == QLatin1String("rPh"))
                    --phonetic;
                else if (x.name() == end)
                    break;
            }
        }
        return text;
    }

    bool readSharedStrings(const QString &part, QString *error)
    {
        QByteArray xml;
        if (!entry(part, xml, error))
            return false;
        QXmlStreamReader x(xml);
        while (!x.atEnd()) {
            x.readNext();
            if (x.isStartElement() && x.name() == QLatin1String("si")) {
                if (m_strings.size() >= MaxCells)
                    return setError(error, QStringLiteral("工作簿中的文字过多"));
                m_strings << itemText(x);
            }
        }
        if (x.hasError())
            return setError(error,
                            QStringLiteral("工作簿的共享文字已损坏：%1").arg(x.errorString()));
        return true;
    }

    static bool parseRef(QStringView ref, int &row, int &col)
    {
        int i = 0, c = 0, r = 0;
        while (i < ref.size() && ref[i].isLetter()) {
            const int v = ref[i].toUpper().unicode() - 'A' + 1;
            if (v < 1 || v > 26)
                return false;
            c = c * 26 + v;
            if (c > MaxColumn)
                return false;
            ++i;
        }
        if (i == 0 || i == ref.size())
            return false;
        for (; i < ref.size(); ++i) {
            if (!ref[i].isDigit())
                return false;
            r = r * 10 + ref[i].digitValue();
            if (r > MaxRow)
                return false;
        }
        if (r < 1)
            return false;
        row = r;
        col = c;
        return true;
    }

    bool readSheet(const QString &part, Sheet &sheet, QString *error)
    {
        QByteArray xml;
        if (!entry(part, xml, error))
            return false;
        QXmlStreamReader x(xml);
        int row = 0, col = 0;
        while (!x.atEnd()) {
            x.readNext();
            if (!x.isStartElement())
                continue;
            if (x.name() == QLatin1String("row")) {
                bool ok = false;
                const int r = x.attributes().value(QLatin1String("r")).toInt(&ok);
                row = ok ? r : row + 1;
                col = 0;
                if (row < 1 || row > MaxRow)
                    return setError(error, QStringLiteral("工作表已损坏（第 %1 行）").arg(row));
            } else if (x.name() == QLatin1String("c")) {
                const auto a = x.attributes();
                int r = row, c = col + 1;
                const QStringView ref = a.value(QLatin1String("r"));
                if (!ref.isEmpty() && !parseRef(ref, r, c))
                    return setError(
                        error, QStringLiteral("工作表已损坏（单元格 %1）").arg(ref.toString()));
                if (r < 1 || c < 1 || c > MaxColumn)
                    return setError(error, QStringLiteral("工作表已损坏"));
                row = r;
                col = c;
                const QString type = a.value(QLatin1String("t")).toString();
                QString value;
                bool has = false;
                while (!x.atEnd()) {
                    x.readNext();
                    if (x.isEndElement() && x.name() == QLatin1String("c"))
                        break;
                    if (!x.isStartElement())
                        continue;
                    if (x.name() == QLatin1String("v")) {
                        value = x.readElementText();
                        has = true;
                    } else if (x.name() == QLatin1String("is")) {
                        value = itemText(x);
                        has = true;
                    }
                }
                if (!has)
                    continue;
                QString text;
                if (type == QLatin1String("s")) {
                    bool ok = false;
                    const int idx = value.trimmed().toInt(&ok);
                    if (!ok || idx < 0 || idx >= m_strings.size())
                        return setError(error, QStringLiteral("工作表引用了不存在的文字"));
                    text = m_strings.at(idx);
                } else if (type == QLatin1String("b")) {
                    text = value.trimmed() == QLatin1String("1") ? QStringLiteral("TRUE")
                                                                 : QStringLiteral("FALSE");
                } else if (type.isEmpty() || type == QLatin1String("n")) {
                    text = numberText(value);
                } else {
                    text = value; // str, inlineStr, e
                }
                if (sheet.cellCount() >= MaxCells)
                    return setError(error, QStringLiteral("工作表太大，不可能是花名册"));
                sheet.setCell(row, col, text);
            }
        }
        if (x.hasError())
            return setError(error, QStringLiteral("工作表已损坏：%1").arg(x.errorString()));
        return true;
    }

    unzFile m_zip = nullptr;
    QStringList m_strings;
};

// -------------------------------------------------------------- xls
//
// libfreexl has memory-safety faults on crafted files (a stack overflow in its
// text conversion, found by fuzzing). It therefore runs in a forked child
// with a time limit, and sends the cells back through a pipe: a hostile file
// can at worst make that child die, never the program.

extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));

void appendRecord(QByteArray &out, char kind, quint32 row, quint32 col, const QByteArray &text)
{
    const quint32 header[3] = {row, col, quint32(text.size())};
    out.append(kind);
    out.append(reinterpret_cast<const char *>(header), sizeof header);
    out.append(text);
}

// Runs in the child: reads the sheet and encodes every cell.
QByteArray xlsRecords(const QByteArray &native, int sheetIndex)
{
    QByteArray out;
    auto error = [&](const char *text) {
        appendRecord(out, 'E', 0, 0, text);
        return out;
    };
    const void *handle = nullptr;
    if (freexl_open(native.constData(), &handle) != FREEXL_OK) {
        if (handle)
            freexl_close(handle);
        return error("不是可读取的 .xls 工作簿");
    }
    unsigned int sheets = 0;
    if (freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &sheets) != FREEXL_OK || sheetIndex < 1 ||
        unsigned(sheetIndex) > sheets || sheets > 65535 ||
        freexl_select_active_worksheet(handle, static_cast<unsigned short>(sheetIndex - 1)) !=
            FREEXL_OK)
        return error("工作簿中没有这个工作表");
    unsigned int rows = 0;
    unsigned short cols = 0;
    if (freexl_worksheet_dimensions(handle, &rows, &cols) != FREEXL_OK)
        return error("工作表无法读取");
    if (qint64(rows) * cols > qint64(MaxCells) * 4 || rows > unsigned(MaxRow))
        return error("工作表太大，不可能是花名册");
    int cells = 0;
    for (unsigned int r = 0; r < rows; ++r) {
        for (unsigned short c = 0; c < cols; ++c) {
            FreeXL_CellValue v;
            if (freexl_get_cell_value(handle, r, c, &v) != FREEXL_OK)
                continue;
            QByteArray text;
            switch (v.type) {
            case FREEXL_CELL_INT:
                text = QByteArray::number(v.value.int_value);
                break;
            case FREEXL_CELL_DOUBLE:
                text = shortestText(v.value.double_value).toUtf8();
                break;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT:
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME:
                text = v.value.text_value ? QByteArray(v.value.text_value) : QByteArray();
                break;
            default:
                continue;
            }
            if (++cells > MaxCells)
                return error("工作表太大，不可能是花名册");
            appendRecord(out, 'C', r + 1, c + 1u, text);
        }
    }
    freexl_close(handle);
    appendRecord(out, 'Z', 0, 0, {});
    return out;
}

bool readXls(const QString &path, int sheetIndex, Sheet &sheet, QString *error)
{
    const QByteArray native = QFile::encodeName(path);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return setError(error, QStringLiteral("无法启动 .xls 读取程序"));
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return setError(error, QStringLiteral("无法启动 .xls 读取程序"));
    }
    if (pid == 0) {
        ::close(fds[0]);
        // A sanitizer build must not report the library's faults as ours:
        // the child dies quietly and the parent reports a damaged file.
        if (__sanitizer_set_death_callback)
            __sanitizer_set_death_callback([] { ::_exit(3); });
        const int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0)
            ::dup2(devnull, STDERR_FILENO);
        ::alarm(30);
        const QByteArray out = xlsRecords(native, sheetIndex);
        qint64 done = 0;
        while (done < out.size()) {
            const ssize_t n = ::write(fds[1], out.constData() + done, size_t(out.size() - done));
            if (n <= 0)
                ::_exit(4);
            done += n;
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray in;
    char buf[65536];
    bool tooLarge = false;
    for (;;) {
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (in.size() + n > MaxEntryBytes * 4) {
            tooLarge = true;
            ::kill(pid, SIGKILL);
            break;
        }
        in.append(buf, int(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (tooLarge)
        return setError(error, QStringLiteral("工作表太大，不可能是花名册"));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return setError(error, QStringLiteral(".xls 工作簿已损坏"));

    const int headerSize = 1 + 3 * int(sizeof(quint32));
    for (qsizetype pos = 0; pos + headerSize <= in.size();) {
        const char kind = in.at(pos);
        quint32 header[3];
        std::memcpy(header, in.constData() + pos + 1, sizeof header);
        pos += headerSize;
        if (qint64(header[2]) > in.size() - pos)
            break;
        const QByteArray text = in.mid(pos, header[2]);
        pos += header[2];
        if (kind == 'E')
            return setError(error, QString::fromUtf8(text));
        if (kind == 'Z')
            return true;
        sheet.setCell(int(header[0]), int(header[1]), QString::fromUtf8(text));
    }
    return setError(error, QStringLiteral(".xls 工作簿已损坏"));
}

// -------------------------------------------------------------- csv

bool readCsv(const QByteArray &bytes, Sheet &sheet, QString *error)
{
    QString text;
    if (!decodeText(bytes, &text))
        return setError(error, QStringLiteral("文件既不是有效的 UTF-8 文本，也不是有效的 GB18030 "
                                              "文本（有无法识别的字节），为免读出乱码，未读取"));
    // Tab-separated text saved as .csv is common enough to accept.
    const int firstLineEnd = text.indexOf(QLatin1Char('\n'));
    const QStringView firstLine =
        QStringView(text).left(firstLineEnd < 0 ? text.size() : firstLineEnd);
    const QChar sep =
        (!firstLine.contains(QLatin1Char(',')) && firstLine.contains(QLatin1Char('\t')))
            ? QLatin1Char('\t')
            : QLatin1Char(',');
    int row = 1, col = 1;
    QString field;
    bool quoted = false, wasQuoted = false;
    auto flush = [&]() -> bool {
        if (!field.isEmpty() || wasQuoted) {
            if (sheet.cellCount() >= MaxCells || row > MaxRow || col > MaxColumn)
                return false;
            sheet.setCell(row, col, field);
        }
        field.clear();
        wasQuoted = false;
        return true;
    };
    for (int i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (quoted) {
            if (ch == QLatin1Char('"')) {
                if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                    field += ch;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += ch;
            }
        } else if (ch == QLatin1Char('"') && field.isEmpty()) {
            quoted = wasQuoted = true;
        } else if (ch == sep) {
            if (!flush())
                return setError(error, QStringLiteral("文件太大，不可能是花名册"));
            ++col;
        } else if (ch == QLatin1Char('\n') || ch == QLatin1Char('\r')) {
            if (ch == QLatin1Char('\r') && i + 1 < text.size() &&
                text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            if (!flush())
                return setError(error, QStringLiteral("文件太大，不可能是花名册"));
            ++row;
            col = 1;
        } else {
            field += ch;
        }
    }
    if (!flush())
        return setError(error, QStringLiteral("文件太大，不可能是花名册"));
    return true;
}

} // namespace

namespace
{
int replacements(const QString &text)
{
    return int(text.count(QChar::ReplacementCharacter));
}
} // namespace

bool decodeText(const QByteArray &bytes, QString *text)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        *text = QString::fromUtf8(bytes.mid(3));
        return true;
    }
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder d(bytes.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE
                                                      : QStringDecoder::Utf16BE);
        *text = d.decode(bytes.mid(2));
        return true;
    }
    // The encoding that reads the bytes without a fault; a file neither reads
    // cleanly would only give garbled names.
    const int legitimate = int(bytes.count("\xEF\xBF\xBD"));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    *text = utf8.decode(bytes);
    if (!utf8.hasError())
        return true;
    QStringDecoder gb("GB18030");
    const QString asGb = gb.decode(bytes);
    if (!gb.hasError() && replacements(asGb) <= legitimate) {
        *text = asGb;
        return true;
    }
    text->clear();
    return false;
}

Format detect(const QByteArray &head, const QString &fileName)
{
    if (head.startsWith("PK\x03\x04"))
        return Format::Xlsx;
    if (head.startsWith(QByteArray::fromHex("D0CF11E0A1B11AE1")))
        return Format::Xls;
    // Text in UTF-16 is full of NUL bytes; anything else with one is some
    // binary file, not text.
    if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF"))
        return Format::Csv;
    if (head.contains('\0') || head.startsWith("%PDF") || head.startsWith("PK"))
        return Format::Unknown;
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("xlsx") || suffix == QLatin1String("xlsm") ||
        suffix == QLatin1String("xls"))
        return Format::Unknown; // text in a workbook's clothing
    return Format::Csv;
}

bool read(const QString &path, int sheetIndex, Sheet &sheet, QString *error)
{
    sheet = Sheet();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return setError(error, QStringLiteral("文件不存在或没有读取权限"));
    const qint64 size = f.size();
    if (size == 0)
        return setError(error, QStringLiteral("文件是空的"));
    if (size > MaxFileBytes)
        return setError(error, QStringLiteral("文件超过 64 MiB，不可能是花名册"));
    const QByteArray head = f.peek(4096);
    Sheet result;
    bool ok = false;
    switch (detect(head, path)) {
    case Format::Xlsx:
        f.close();
        ok = XlsxReader(path).read(sheetIndex, result, error);
        break;
    case Format::Xls:
        f.close();
        ok = readXls(path, sheetIndex, result, error);
        break;
    case Format::Csv:
        if (sheetIndex != 1)
            return setError(error, QStringLiteral("文本文件只有一个工作表"));
        if (size > MaxEntryBytes)
            return setError(error, QStringLiteral("文件太大，不可能是花名册"));
        ok = readCsv(f.readAll(), result, error);
        break;
    case Format::Unknown:
        return setError(error, QStringLiteral("不是工作簿（应为 .xlsx、.xls 或 .csv 文件）"));
    }
    if (ok)
        sheet = std::move(result);
    return ok;
}

bool writeXlsx(const QString &path, const Sheet &sheet, QString *error)
{
    return writeXlsx(path, {{QString(), sheet}}, error);
}

bool writeXlsx(const QString &path, const QVector<QPair<QString, Sheet>> &sheets, QString *error)
{
    const QFileInfo info(path);
    QTemporaryFile tmp(info.absolutePath() + QStringLiteral("/.feeoffice-XXXXXX.xlsx"));
    if (!tmp.open())
        return setError(error,
                        QStringLiteral("无法在 %1 中写入：%2")
                            .arg(QDir::toNativeSeparators(info.absolutePath()), tmp.errorString()));
    tmp.close();
    const QByteArray tmpName = QFile::encodeName(tmp.fileName());
    const QByteArray tmpDir = QFile::encodeName(info.absolutePath());

    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = const_cast<char *>(tmpDir.constData());
    lxw_workbook *wb = workbook_new_opt(tmpName.constData(), &options);
    if (!wb)
        return setError(error, QStringLiteral("无法创建工作簿"));
    bool ok = true;
    for (const auto &named : sheets) {
        const QByteArray title = named.first.toUtf8();
        lxw_worksheet *ws =
            workbook_add_worksheet(wb, named.first.isEmpty() ? nullptr : title.constData());
        ok = ok && ws != nullptr;
        const Sheet &sheet = named.second;
        for (auto r = sheet.rows().cbegin(); ok && r != sheet.rows().cend(); ++r) {
            for (auto c = r->cbegin(); ok && c != r->cend(); ++c) {
                if (c->isEmpty())
                    continue;
                const QByteArray utf8 = c->toUtf8();
                ok = worksheet_write_string(ws, lxw_row_t(r.key() - 1), lxw_col_t(c.key() - 1),
                                            utf8.constData(), nullptr) == LXW_NO_ERROR;
            }
        }
    }
    const lxw_error closed = workbook_close(wb);
    if (!ok || closed != LXW_NO_ERROR)
        return setError(
            error,
            QStringLiteral("无法写入工作簿：%1").arg(QString::fromUtf8(lxw_strerror(closed))));
    // Flush to disk before the rename, so a crash cannot leave an empty file.
    const int fd = ::open(tmpName.constData(), O_RDONLY);
    if (fd < 0 || ::fsync(fd) != 0) {
        if (fd >= 0)
            ::close(fd);
        return setError(error, QStringLiteral("无法把工作簿写入磁盘"));
    }
    ::close(fd);
    if (std::rename(tmpName.constData(), QFile::encodeName(path).constData()) != 0)
        return setError(error, QStringLiteral("无法替换 %1").arg(QDir::toNativeSeparators(path)));
    tmp.setAutoRemove(false);
    return true;
}

} // namespace Workbook
