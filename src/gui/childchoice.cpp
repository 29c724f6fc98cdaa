#include "childchoice.h"

#include "officesession.h"
#include "prompts.h"

std::optional<ChildRef> askForChild(QWidget *parent, const OfficeSession &session,
                                    const QString &title, const QString &label, QString *name)
{
    const auto typed = Prompts::current().text(parent, title, label);
    if (!typed || typed->trimmed().isEmpty())
        return std::nullopt;
    *name = typed->trimmed();
    const QVector<ChildRef> found = session.find(*name);
    if (found.isEmpty()) {
        Prompts::warn(parent, QStringLiteral("没有叫“%1”的儿童").arg(*name));
        return std::nullopt;
    }
    if (found.size() == 1)
        return found.first();
    QStringList choices;
    for (const ChildRef &c : found)
        choices << QStringLiteral("%1 %2").arg(c.document->className(), *name);
    const int chosen = Prompts::current().choose(
        parent, QStringLiteral("有 %1 个儿童叫“%2”：是哪一个？").arg(found.size()).arg(*name),
        choices);
    if (chosen < 0)
        return std::nullopt;
    return found.at(chosen);
}
