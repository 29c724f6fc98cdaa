#pragma once

#include "rosterexchange.h"

class Invoice;

// The workbook commands of a roster page: read names into the roster from
// a workbook the clerk chooses, and save the roster as a workbook. The
// files are handled by RosterExchange; this class asks for them and reports.
class ExchangeCommands
{
public:
    explicit ExchangeCommands(Invoice *page);

    // Asks for a file and opens it; true when the read-range dialog may show.
    bool chooseSource();
    // Reads the names of the range typed in the read-range dialog.
    void readRange();
    void cancel();
    void saveRoster();

    const RosterExchange &exchange() const { return m_exchange; }

private:
    Invoice *m_page;
    RosterExchange m_exchange;
};
