#pragma once

#include <QString>

// Files that hold children's names are their owner's only: created with
// mode 0600 in folders made with 0700, whatever the umask. Existing files
// and folders keep the modes someone gave them.
namespace OwnerOnly
{
// Makes the folder and its missing parents; those made here get 0700.
bool createFolder(const QString &dir);
// The program's own folder (the default database's, the kept copies'):
// made as above, and 0700 even when it was there before.
bool restrictFolder(const QString &dir);
// Takes the group's and others' bits off the program's own file; the
// owner's stay as they are (a file made read-only stays so).
bool restrictFile(const QString &path);
// Creates the file, empty, with 0600 when it does not exist yet (its
// folder as above); true when it exists afterwards.
bool createFile(const QString &path);
// Creates "<base><suffix>", or "<base>-2<suffix>", "<base>-3<suffix>" …
// exclusively (never a name that exists, even one made a moment ago by
// another window); the path, or empty.
QString createUnique(const QString &base, const QString &suffix);
} // namespace OwnerOnly
