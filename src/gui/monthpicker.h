#pragma once

#include <QDate>
#include <QWidget>

class QDateEdit;
class QFrame;
class QLabel;
class QToolButton;

// Chooses a month. The field shows "2026年12月" and its arrows step the
// month, not the year; the button beside it opens the year's twelve months
// to pick from, with the years either side a press away.
class MonthPicker : public QWidget
{
    Q_OBJECT
public:
    explicit MonthPicker(const QDate &month, QWidget *parent = nullptr);

    // The first day of the month chosen.
    QDate date() const;
    // "2026-12".
    QString month() const;
    void setDate(const QDate &day);
    // From "2026-12"; false (and nothing changed) for anything else.
    bool setMonth(const QString &month);

    QDateEdit *edit() const { return m_edit; }
    // Opens the twelve months of the year shown; the popup, for tests.
    QFrame *showMonths();

signals:
    void monthChanged(const QDate &first);

private:
    void fillYear(int year);

    QDateEdit *m_edit = nullptr;
    QToolButton *m_drop = nullptr;
    QFrame *m_popup = nullptr;
    QLabel *m_year = nullptr;
    int m_shownYear = 0;
};
