#include "disk/NoReplaceMove.h"

#include "disk/LongPath.h"

#include <QFile>

#if defined(Q_OS_WIN)
#include <qt_windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#endif

bool moveWithoutReplacing(const QString &from, const QString &to)
{
#if defined(Q_OS_WIN)
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists.
    const QString source = longPathForm(from);
    const QString target = longPathForm(to);
    return MoveFileExW(longPathWide(source), longPathWide(target), MOVEFILE_WRITE_THROUGH) != 0;
#else
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
#if defined(Q_OS_LINUX)
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    // Some file systems know no such rename; a hard link is as careful.
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    if (::link(source.constData(), target.constData()) != 0)
        return false;
    ::unlink(source.constData());
    return true;
#endif
}
