#pragma once

#include "rosterdocument.h"

#include <optional>

class OfficeSession;
class QWidget;

// The child the clerk names: the name asked for under the title with the
// label, the children of that name found, and, when several classes have
// one, the class asked. nullopt when cancelled or nobody has the name
// (said). name gets the name as typed, trimmed.
std::optional<ChildRef> askForChild(QWidget *parent, const OfficeSession &session,
                                    const QString &title, const QString &label, QString *name);
