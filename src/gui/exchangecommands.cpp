#include "exchangecommands.h"

#include "busy.h"
#include "classname.h"
#include "clock.h"
#include "prompts.h"
#include "rosterdialogs.h"
#include "rosterpage.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

ExchangeCommands::ExchangeCommands(RosterPage *page) : m_page(page) {}

bool ExchangeCommands::chooseSource()
{
    const QString path = Prompts::current().openFile(m_page);
    if (path.isEmpty())
        return false;
    const bool opened =
        Busy::result<bool>(m_page, QStringLiteral("正在读取“%1”…").arg(QFileInfo(path).fileName()),
                           [&] { return m_exchange.openSource(path); });
    if (!opened) {
        Prompts::error(m_page, m_exchange.errorString());
        return false;
    }
    m_page->readRangeDialog->setWindowTitle(
        QStringLiteral("读取范围 — %1").arg(QFileInfo(path).fileName()));
    return true;
}

void ExchangeCommands::cancel()
{
    m_exchange.closeSource();
}

void ExchangeCommands::readRange()
{
    const int column = Roster::toInt(m_page->readColumnEdit->text());
    const int first = Roster::toInt(m_page->readFromEdit->text());
    const int end = Roster::toInt(m_page->readToEdit->text());
    if (column < 1 || first < 1) {
        Prompts::warn(m_page, QStringLiteral("列编号和起始行都从 1 开始：没有读取任何儿童"));
        return;
    }
    // The end row itself is not read; the source is only read, never written.
    const auto names = m_exchange.readNames(column, first, end);
    m_page->readRangeDialog->close();
    if (!names) {
        Prompts::error(m_page, m_exchange.errorString());
        return;
    }
    if (RosterDocument *doc = m_page->document())
        doc->appendNames(*names);
    emit m_page->statusMessage(QStringLiteral("已读取 %1 名儿童").arg(names->size()));
}

void ExchangeCommands::saveRoster()
{
    QVector<QStringList> rows;
    if (const RosterDocument *doc = m_page->document())
        for (int r = 0; r < doc->size(); ++r)
            rows << doc->record(r).texts().mid(0, Roster::ColumnCount);
    saveRows(m_page, m_page->className(), rows, m_exchange,
             [this](const QString &t) { emit m_page->statusMessage(t); });
}

void ExchangeCommands::saveRows(QWidget *parent, const QString &className,
                                const QVector<QStringList> &rows, RosterExchange &exchange,
                                const std::function<void(const QString &)> &status)
{
    const QString dir = Prompts::current().existingDirectory(parent);
    if (dir.isEmpty())
        return;
    // The name comes from the clerk or another PC: the file lands in the
    // folder chosen, as an .xlsx, or not at all.
    QString why;
    const QString path =
        ClassName::exportPath(dir, Clock::now().toString(QStringLiteral("yyyyMM")), className,
                              QStringLiteral("发票打印副本.xlsx"), &why);
    if (path.isEmpty()) {
        Prompts::error(parent, why);
        return;
    }
    if (!exchange.writeRows(path, rows, Roster::ColumnCount)) {
        Prompts::error(parent, exchange.errorString());
        return;
    }
    status(QStringLiteral("已导出到 %1").arg(QDir::toNativeSeparators(exchange.filePath())));
}
