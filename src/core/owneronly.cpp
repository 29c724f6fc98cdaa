#include "owneronly.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// 1: created, 0: already there, -1: failed.
int createExclusively(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0)
        return errno == EEXIST ? 0 : -1;
    // The umask may have taken bits away; none are added beyond the owner.
    ::fchmod(fd, 0600);
    ::close(fd);
    return 1;
}
} // namespace

namespace OwnerOnly
{

bool createFolder(const QString &dir)
{
    const QString clean = QDir::cleanPath(QFileInfo(dir).absoluteFilePath());
    if (QFileInfo(clean).isDir())
        return true;
    const QString parent = QFileInfo(clean).absolutePath();
    if (parent != clean && !createFolder(parent))
        return false;
    if (::mkdir(QFile::encodeName(clean).constData(), 0700) != 0 && errno != EEXIST)
        return false;
    ::chmod(QFile::encodeName(clean).constData(), 0700);
    return QFileInfo(clean).isDir();
}

bool restrictFolder(const QString &dir)
{
    return createFolder(dir) && ::chmod(QFile::encodeName(dir).constData(), 0700) == 0;
}

bool restrictFile(const QString &path)
{
    struct stat st;
    const QByteArray native = QFile::encodeName(path);
    return ::stat(native.constData(), &st) == 0 &&
           ::chmod(native.constData(), st.st_mode & 0700) == 0;
}

bool createFile(const QString &path)
{
    if (QFileInfo::exists(path))
        return true;
    if (!createFolder(QFileInfo(path).absolutePath()))
        return false;
    return createExclusively(path) >= 0;
}

QString createUnique(const QString &base, const QString &suffix)
{
    if (!createFolder(QFileInfo(base).absolutePath()))
        return {};
    for (int n = 1; n < 10000; ++n) {
        const QString path =
            n == 1 ? base + suffix : QStringLiteral("%1-%2%3").arg(base).arg(n).arg(suffix);
        const int made = createExclusively(path);
        if (made == 1)
            return path;
        if (made < 0)
            return {};
    }
    return {};
}

} // namespace OwnerOnly
