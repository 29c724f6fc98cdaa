#pragma once

#include "writeresult.h"

#include <QHash>
#include <QSet>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>

class Database;

// What a local copy of the rosters remembers of the server it was taken
// from: each class's revision there when the copy was made, the classes
// edited on this PC (only those go back), and printed receipts the
// server's journal has not taken yet. Kept in tables of the copy's own.
class KeptCopyStore
{
public:
    explicit KeptCopyStore(Database &database);

    struct State {
        QHash<QString, qint64> serverRevisions; // 0: unknown to the server
        QSet<QString> edited;
        // Receipts still to record, by row key, each as the pending
        // journal's text of one entry.
        QVector<QPair<qint64, QString>> receipts;
    };
    // Writes the whole state into a new copy.
    WriteResult write(const State &state);
    // The state; nullopt with errorString() when the tables cannot be read.
    std::optional<State> read();
    // After an upload: the classes now match the server at these revisions
    // and are no longer edited; the receipts are recorded there.
    WriteResult uploaded(const QHash<QString, qint64> &revisions, const QVector<qint64> &receipts);
    // Receipts printed in the copy itself, each as the pending journal's
    // text: they wait here for the upload, which numbers and books them.
    WriteResult addReceipts(const QStringList &entries);
    // Receipts whose paper never came out: they are no receipts.
    WriteResult withdrawReceipts(const QStringList &entries);
    // Classes saved into the copy itself are edited ones.
    WriteResult markEdited(const QStringList &classes);
    QString errorString() const { return m_error; }

private:
    WriteResult run(const std::function<bool(QString &)> &work);
    Database &m_db;
    QString m_error;
};
