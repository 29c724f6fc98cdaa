#pragma once

#include "rosterexchange.h"

#include <QStringList>
#include <QVector>
#include <functional>

class RosterPage;
class QWidget;

// The workbook commands of a roster page: read names into the roster from
// a workbook the clerk chooses, and save the roster as a workbook. The
// files are handled by RosterExchange; this class asks for them and reports.
class ExchangeCommands
{
public:
    explicit ExchangeCommands(RosterPage *page);

    // Asks for a file and opens it; true when the read-range dialog may show.
    bool chooseSource();
    // Reads the names of the range typed in the read-range dialog.
    void readRange();
    void cancel();
    void saveRoster();

    const RosterExchange &exchange() const { return m_exchange; }

    // Asks for a folder and writes the rows (twelve texts each) to
    // "<YYYYMM><class>发票打印副本.xlsx" in it; the status is told where.
    static void saveRows(QWidget *parent, const QString &className,
                         const QVector<QStringList> &rows, RosterExchange &exchange,
                         const std::function<void(const QString &)> &status);

private:
    RosterPage *m_page;
    RosterExchange m_exchange;
};
