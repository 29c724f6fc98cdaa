#pragma once

#include <QStringList>
#include <QVector>

class QLabel;
class QLayout;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QWidget;

// The reports' tables: the first row is the header; amounts (元 with two
// decimals) stand right-aligned; the rows that sum up ("合计", "全部")
// are bold and stay last.
namespace ReportTable
{
QTableWidget *create(QWidget *parent, const QString &objectName);
void fill(QTableWidget *table, const QVector<QStringList> &rows);
// Whether a cell is an amount: "1763.00", "-20.00".
bool isAmount(const QString &cell);
// Whether a row sums up the ones above it.
bool isTotal(const QStringList &row);
// One tab per sheet, each a table named <prefix><index>.
void fillTabs(QTabWidget *tabs, const QString &prefix,
              const QVector<QPair<QString, QVector<QStringList>>> &sheets);
// Every cell of every table in the tabs, a row a line, cells by tabs.
QString text(const QTabWidget *tabs);

// The parts every report window has: a named button added to a row, and
// a selectable, wrapping line of figures under the filters.
QPushButton *button(QWidget *parent, QLayout *layout, const QString &text, const char *name);
QLabel *summary(QWidget *parent, const char *name);
} // namespace ReportTable
