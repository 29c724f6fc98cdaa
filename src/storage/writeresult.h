#pragma once

#include <QString>

// The outcome of every write to the database: what went wrong, said for the
// clerk, with what the database itself answered. Nothing about a failure is
// kept anywhere else, so a later write never reports an earlier one.
struct WriteResult {
    enum Kind {
        Ok,
        Conflict,    // another PC saved the same class or class list first
        Unreachable, // the database did not answer or refused the statement
        Schema,      // the tables lack columns the write needs
        File,        // the database file was removed or replaced
        Refused,     // the data itself cannot be stored (a control character …)
    };
    Kind kind = Ok;
    QString text;   // for the clerk, Chinese
    QString detail; // the database's own words, for the message's details
    // Conflicts: the class refused (empty for the class list) and when the
    // other PC saved it, as it recorded.
    QString conflictClass;
    QString savedAt;

    bool ok() const { return kind == Ok; }
    explicit operator bool() const { return ok(); }
    bool isConflict() const { return kind == Conflict; }

    static WriteResult success() { return {}; }
    static WriteResult failure(Kind kind, const QString &text, const QString &detail = {})
    {
        WriteResult r;
        r.kind = kind;
        r.text = text;
        r.detail = detail;
        return r;
    }
    // "text：detail" in one line, for the status bar.
    QString oneLine() const
    {
        return detail.isEmpty() ? text : text + QStringLiteral("：") + detail;
    }
};
