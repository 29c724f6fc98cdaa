#pragma once

#include "rosterdocument.h"

#include <QHash>
#include <QString>
#include <QVector>

// Finding a child at the window as the clerk types: part of the name, or
// the initials of its Mandarin reading ("zxm" for 张小明), across every
// class. The readings are Unicode's (Unihan), built into the program.
class ChildSearch
{
public:
    struct Match {
        ChildRef child;
        QString name, className;
    };

    // The initials of a name's characters, lower case; a character
    // without a reading stands for itself (a Latin letter, a digit).
    static QString initials(const QString &name);
    // Whether the readings were found in the program (they are built in).
    static bool hasReadings();

    // Children whose name holds the text, then those whose initials begin
    // with it, then those whose initials hold it; each class in list
    // order, at most limit. Spaces around the text do not count.
    QVector<Match> find(const QList<RosterDocument *> &documents, const QString &text,
                        int limit = 50);

private:
    QHash<QString, QString> m_initials; // by name, as worked out once
};
