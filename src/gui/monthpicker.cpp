#include "monthpicker.h"

#include <QDateEdit>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

namespace
{
// Focus by the keyboard lands on the month, as a click on the arrows steps it.
class MonthEdit : public QDateEdit
{
public:
    using QDateEdit::QDateEdit;

protected:
    void focusInEvent(QFocusEvent *event) override
    {
        QDateEdit::focusInEvent(event);
        setSelectedSection(QDateTimeEdit::MonthSection);
    }
};
} // namespace

MonthPicker::MonthPicker(const QDate &month, QWidget *parent) : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    m_edit = new MonthEdit(QDate(month.year(), month.month(), 1), this);
    m_edit->setDisplayFormat(QStringLiteral("yyyy年MM月"));
    m_edit->setCurrentSection(QDateTimeEdit::MonthSection);
    m_edit->setToolTip(QStringLiteral("↑/↓ 换月份；右边的按钮列出全年的月份"));
    m_drop = new QToolButton(this);
    m_drop->setObjectName(QStringLiteral("monthPickerDrop"));
    m_drop->setArrowType(Qt::DownArrow);
    m_drop->setToolTip(QStringLiteral("选择月份"));
    layout->addWidget(m_edit);
    layout->addWidget(m_drop);
    setFocusProxy(m_edit);
    connect(m_edit, &QDateEdit::dateChanged, this, [this](const QDate &d) {
        // Whatever day a step lands on, the month is what counts.
        if (d.day() != 1) {
            m_edit->setDate(QDate(d.year(), d.month(), 1));
            return;
        }
        emit monthChanged(d);
    });
    connect(m_drop, &QToolButton::clicked, this, &MonthPicker::showMonths);
}

QDate MonthPicker::date() const
{
    return m_edit->date();
}

QString MonthPicker::month() const
{
    return m_edit->date().toString(QStringLiteral("yyyy-MM"));
}

void MonthPicker::setDate(const QDate &day)
{
    if (day.isValid())
        m_edit->setDate(QDate(day.year(), day.month(), 1));
}

bool MonthPicker::setMonth(const QString &month)
{
    const QDate d =
        QDate::fromString(month.trimmed() + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"));
    if (!d.isValid())
        return false;
    setDate(d);
    return true;
}

QFrame *MonthPicker::showMonths()
{
    if (!m_popup) {
        m_popup = new QFrame(this, Qt::Popup);
        m_popup->setObjectName(QStringLiteral("monthPickerPopup"));
        m_popup->setFrameShape(QFrame::StyledPanel);
        auto *grid = new QGridLayout(m_popup);
        auto *before = new QToolButton(m_popup);
        before->setObjectName(QStringLiteral("monthPickerYearBefore"));
        before->setText(QStringLiteral("‹"));
        before->setToolTip(QStringLiteral("上一年"));
        auto *after = new QToolButton(m_popup);
        after->setObjectName(QStringLiteral("monthPickerYearAfter"));
        after->setText(QStringLiteral("›"));
        after->setToolTip(QStringLiteral("下一年"));
        m_year = new QLabel(m_popup);
        m_year->setAlignment(Qt::AlignCenter);
        grid->addWidget(before, 0, 0);
        grid->addWidget(m_year, 0, 1, 1, 2);
        grid->addWidget(after, 0, 3);
        for (int m = 1; m <= 12; ++m) {
            auto *b = new QPushButton(QStringLiteral("%1月").arg(m), m_popup);
            b->setObjectName(QStringLiteral("monthPickerMonth%1").arg(m));
            b->setCheckable(true);
            b->setAutoDefault(false);
            grid->addWidget(b, 1 + (m - 1) / 4, (m - 1) % 4);
            connect(b, &QPushButton::clicked, this, [this, m] {
                m_popup->hide();
                setDate(QDate(m_shownYear, m, 1));
            });
        }
        connect(before, &QToolButton::clicked, this, [this] { fillYear(m_shownYear - 1); });
        connect(after, &QToolButton::clicked, this, [this] { fillYear(m_shownYear + 1); });
    }
    fillYear(date().year());
    m_popup->adjustSize();
    m_popup->move(mapToGlobal(QPoint(0, height())));
    m_popup->show();
    if (auto *current = m_popup->findChild<QPushButton *>(
            QStringLiteral("monthPickerMonth%1").arg(date().month())))
        current->setFocus();
    return m_popup;
}

void MonthPicker::fillYear(int year)
{
    m_shownYear = year;
    m_year->setText(QStringLiteral("%1年").arg(year));
    for (int m = 1; m <= 12; ++m)
        if (auto *b =
                m_popup->findChild<QPushButton *>(QStringLiteral("monthPickerMonth%1").arg(m)))
            b->setChecked(year == date().year() && m == date().month());
}
