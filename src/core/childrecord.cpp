#include "childrecord.h"

#include <QUuid>

QString ChildRecord::text(int column) const
{
    const Roster::Cell &c = cells[size_t(column)];
    return c ? *c : QString();
}

Roster::Cells ChildRecord::feeCells() const
{
    Roster::Cells out;
    for (int c = 0; c < Roster::ColumnCount; ++c)
        out[size_t(c)] = cells[size_t(c)];
    out[Roster::ResultClass] = className;
    return out;
}

QStringList ChildRecord::texts() const
{
    QStringList out;
    out.reserve(Roster::ColumnCount + 1);
    for (int c = 0; c < Roster::ColumnCount; ++c)
        out << text(c);
    out << className;
    return out;
}

ChildRecord ChildRecord::fromTexts(const QStringList &texts, const QString &className)
{
    ChildRecord r;
    for (int c = 0; c < Roster::ColumnCount && c < texts.size(); ++c)
        if (!texts.at(c).isNull())
            r.cells[size_t(c)] = texts.at(c);
    r.className = texts.size() > Roster::ColumnCount ? texts.at(Roster::ColumnCount) : className;
    return r;
}

namespace Roster
{
const std::array<ColumnName, ColumnCount> &columnNames()
{
    static const std::array<ColumnName, ColumnCount> names = {{
        {u"儿童姓名", u"儿童姓名"},
        {u"儿童年龄", u"儿童年龄"},
        {u"保教费（月）", u"保教费"},
        {u"住宿费（月）", u"住宿费"},
        {u"伙食费", u"伙食费"},
        {u"床上用品费", u"床上用品费"},
        {u"校车接送费", u"校车接送费"},
        {u"意外伤害保险费", u"意外伤害保险费"},
        {u"合计金额", u"合计金额"},
        {u"享受折扣", u"折扣"},
        {u"经办人", u"经办人"},
        {u"打印状态", u"打印状态"},
    }};
    return names;
}
} // namespace Roster

QString ChildRecord::newChildId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}
