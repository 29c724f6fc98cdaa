#pragma once

#include "statementfile.h"
#include "writeresult.h"

#include <QString>
#include <QVector>
#include <optional>

class Database;

// The statements imported (statement_row) and their links to the books'
// payments and refunds (statement_link). Rows are added once per source
// and key, links are added, never changed: importing a file again adds
// nothing, and nothing of the books is written by an import.
class StatementStore
{
public:
    explicit StatementStore(Database &database) : m_db(database) {}

    struct StoredRow {
        qint64 id = 0;
        Statements::Row row;
    };
    struct Link {
        qint64 id = 0, rowId = 0, entryId = 0;
        QString how;
    };
    struct Month {
        QVector<StoredRow> rows;               // the source's rows of the month
        QVector<Statements::Payment> payments; // the books' of the month, the source's ways
        QVector<Link> links;                   // standing links among them
    };

    struct ImportReport {
        int added = 0, again = 0, linked = 0;
    };
    // In one write: the rows not stored yet added, then every row of the
    // month without a link matched to the payments without one, and the
    // links written, with the import's audit line.
    WriteResult importRows(Statements::Source source, const QVector<Statements::Row> &rows,
                           const QString &fileName, const QString &month, ImportReport *report);
    std::optional<Month> month(Statements::Source source, const QString &month);
    QString errorString() const { return m_error; }

private:
    std::optional<Month> read(Statements::Source source, const QString &month);

    Database &m_db;
    QString m_error;
};
