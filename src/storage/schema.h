#pragma once

#include <QString>
#include <QStringList>

class QSqlDatabase;
struct DbConfig;

// Every table the program keeps: the class and student tables, the save
// counters and the receipt journal. Created when missing; checked for the
// columns a save needs.
namespace Schema
{
// The student table's columns, positions 1 to 13: the twelve roster
// columns and the class.
QStringList studentColumns();

// Every table the program makes.
QStringList tableNames();

// The statements that make the database refuse changing or removing a
// row of money, a receipt or the audit log.
QStringList guards(const DbConfig &config);

// Creates what is missing; an error text, or empty.
QString create(QSqlDatabase &db, const DbConfig &config);

// What the tables hold, as far as reading and saving care.
struct State {
    QString keyColumn = QStringLiteral("id");
    QString classKeyColumn = QStringLiteral("id");
    QStringList missingStudentColumns;
    bool classColumnMissing = false;
    // Why nothing can be saved (a column is missing), or empty.
    QString error;
};
State inspect(QSqlDatabase &db, const DbConfig &config);
} // namespace Schema
