#include "reporttable.h"

#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableWidget>

QTableWidget *ReportTable::create(QWidget *parent, const QString &objectName)
{
    auto *t = new QTableWidget(parent);
    t->setObjectName(objectName);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setAlternatingRowColors(true);
    t->verticalHeader()->setDefaultSectionSize(22);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

bool ReportTable::isAmount(const QString &cell)
{
    static const QRegularExpression amount(QStringLiteral("^-?\\d+\\.\\d{2}$"));
    return amount.match(cell).hasMatch();
}

bool ReportTable::isTotal(const QStringList &row)
{
    const QString first = row.value(0);
    return first == QStringLiteral("合计") || first == QStringLiteral("全部") ||
           first.endsWith(QStringLiteral("合计"));
}

void ReportTable::fill(QTableWidget *table, const QVector<QStringList> &rows)
{
    table->clear();
    const QStringList header = rows.value(0);
    int columns = int(header.size());
    for (int r = 1; r < rows.size(); ++r)
        columns = qMax(columns, int(rows.at(r).size()));
    table->setColumnCount(columns);
    table->setHorizontalHeaderLabels(header);
    table->setRowCount(rows.isEmpty() ? 0 : int(rows.size()) - 1);
    for (int r = 1; r < rows.size(); ++r) {
        const QStringList &row = rows.at(r);
        const bool total = isTotal(row);
        for (int c = 0; c < row.size(); ++c) {
            auto *item = new QTableWidgetItem(row.at(c));
            // A column of amounts, or a cell that is one.
            if (isAmount(row.at(c)) || header.value(c).contains(QStringLiteral("（元")))
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (total) {
                QFont f = item->font();
                f.setBold(true);
                item->setFont(f);
            }
            table->setItem(r - 1, c, item);
        }
    }
    table->resizeColumnsToContents();
}

void ReportTable::fillTabs(QTabWidget *tabs, const QString &prefix,
                           const QVector<QPair<QString, QVector<QStringList>>> &sheets)
{
    for (int i = 0; i < sheets.size(); ++i) {
        auto *table = qobject_cast<QTableWidget *>(tabs->widget(i));
        if (!table) {
            table = create(tabs, prefix + QString::number(i));
            tabs->addTab(table, sheets.at(i).first);
        }
        tabs->setTabText(i, sheets.at(i).first);
        fill(table, sheets.at(i).second);
    }
    while (tabs->count() > sheets.size()) {
        QWidget *extra = tabs->widget(tabs->count() - 1);
        tabs->removeTab(tabs->count() - 1);
        delete extra;
    }
}

QString ReportTable::text(const QTabWidget *tabs)
{
    QStringList lines;
    for (int i = 0; i < tabs->count(); ++i) {
        const auto *table = qobject_cast<const QTableWidget *>(tabs->widget(i));
        if (!table)
            continue;
        lines << tabs->tabText(i);
        for (int r = 0; r < table->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < table->columnCount(); ++c)
                cells << (table->item(r, c) ? table->item(r, c)->text() : QString());
            lines << cells.join(QLatin1Char('\t'));
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QPushButton *ReportTable::button(QWidget *parent, QLayout *layout, const QString &text,
                                 const char *name)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    layout->addWidget(b);
    return b;
}

QLabel *ReportTable::summary(QWidget *parent, const char *name)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}
