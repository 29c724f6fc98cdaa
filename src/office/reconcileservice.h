#pragma once

#include "statementfile.h"
#include "statementstore.h"
#include "writeresult.h"

#include <QDate>
#include <QMap>
#include <QString>
#include <QVector>
#include <optional>

class Access;
class Database;

// 对账: the month's statements of WeChat Pay, Alipay and the banks
// imported and matched to the books, and what still differs.
class ReconcileService
{
public:
    ReconcileService(Database &database, Access &access) : m_database(database), m_access(access) {}

    struct Imported {
        StatementStore::ImportReport report;
        int otherMonths = 0;  // rows of another month, left out
        QStringList problems; // rows that could not be read
    };
    // A statement file of the month: refused with why when it is no such
    // file or holds nothing of the month.
    WriteResult import(Statements::Source source, const QByteArray &bytes,
                       const Statements::BankColumns &bank, const QString &fileName,
                       const QString &month, Imported *imported);
    // The same for a bank's workbook read as rows.
    WriteResult importRows(Statements::Source source, const QVector<QStringList> &rows,
                           const Statements::BankColumns &bank, const QString &fileName,
                           const QString &month, Imported *imported);

    // After a statement's row was booked as a payment: the month's rows
    // without a link matched again (the booked one by its number).
    WriteResult relink(Statements::Source source, const QString &month, int *linked = nullptr);

    // The three lists of the month.
    struct View {
        struct Pair {
            StatementStore::StoredRow row;
            Statements::Payment payment;
            QString how;
        };
        QVector<Pair> matched;
        QVector<StatementStore::StoredRow> onlyOnStatement;
        QVector<Statements::Payment> onlyInBooks;
        // 对账单汇总: per day, the desk's takings against the statement's.
        struct Day {
            qint64 desk = 0, statement = 0, fees = 0;
            qint64 difference() const { return statement - desk; }
        };
        QMap<QDate, Day> days;
    };
    std::optional<View> view(Statements::Source source, const QString &month,
                             QString *error = nullptr);

private:
    WriteResult store(Statements::Source source, std::optional<Statements::File> file,
                      const QString &why, const QString &fileName, const QString &month,
                      Imported *imported);

    Database &m_database;
    Access &m_access;
};
