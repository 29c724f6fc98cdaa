#pragma once

#include <QString>
#include <QStringList>

// A class's name is typed by the clerk, shown on a tab, stored in the
// database and becomes part of an export's file name: it may hold nothing
// that changes where a file goes or what a title seems to say.
namespace ClassName
{
constexpr int MaxLength = 50;

// The name as it is kept: without surrounding blanks.
QString cleaned(const QString &typed);
// Why the cleaned name cannot be a new class (empty, too long, a path
// separator, a control or direction-changing character, a duplicate of one
// of the existing names after trimming), or empty.
QString problem(const QString &name, const QStringList &existing);
// For messages: control and direction-changing characters are shown as
// marks instead of turning the text around.
QString visible(const QString &name);
// For tab titles and buttons: visible(), and "&" stays an ampersand
// instead of underlining the next letter.
QString forTitle(const QString &name);

// "<yyyyMM><class>发票打印副本.xlsx" inside dir, or empty with the reason
// in why: a stored name that would leave the folder or is too long for a
// file name is refused, never cut or followed.
QString exportPath(const QString &dir, const QString &prefix, const QString &name,
                   const QString &suffix, QString *why);
} // namespace ClassName

namespace ClassName
{
// The classes of a report in the order of the class list (the tabs'
// order); classes no longer listed follow, by name.
QStringList inOrder(const QStringList &classes, const QStringList &order);
} // namespace ClassName
