#include "app/NoReplaceMove.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#if defined(Q_OS_WIN)
#include <qt_windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#endif

QString longPathForm(const QString &path)
{
#if defined(Q_OS_WIN)
    const QString native = QDir::toNativeSeparators(path);
    if (native.startsWith(QLatin1String("\\\\?\\")) || native.startsWith(QLatin1String("\\\\.\\")))
        return native;
    // The long form is taken literally: no "." or "..", no forward slashes.
    const QString absolute =
        QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (absolute.startsWith(QLatin1String("\\\\")))
        return QStringLiteral("\\\\?\\UNC\\") + absolute.mid(2);
    return QStringLiteral("\\\\?\\") + absolute;
#else
    return path;
#endif
}

bool moveWithoutReplacing(const QString &from, const QString &to)
{
#if defined(Q_OS_WIN)
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists.
    return MoveFileExW(reinterpret_cast<LPCWSTR>(longPathForm(from).utf16()),
                       reinterpret_cast<LPCWSTR>(longPathForm(to).utf16()), MOVEFILE_WRITE_THROUGH)
           != 0;
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
