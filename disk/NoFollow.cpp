#include "disk/NoFollow.h"

#include "disk/LongPath.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#if defined(Q_OS_WIN)
#include <qt_windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The steps from folder down to the file, each a plain name; empty when
// relative would lead anywhere else.
QStringList stepsOf(const QString &relative)
{
    if (relative.isEmpty() || QDir::isAbsolutePath(relative))
        return {};
    const QStringList steps = QDir::fromNativeSeparators(relative).split(QLatin1Char('/'));
    for (const QString &step : steps) {
        if (step.isEmpty() || step == QLatin1String(".") || step == QLatin1String(".."))
            return {};
    }
    return steps;
}

#if defined(Q_OS_WIN)
bool isPlain(const QString &path, bool folder)
{
    const QString longForm = longPathForm(path);
    const DWORD attributes = GetFileAttributesW(longPathWide(longForm));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        && bool(attributes & FILE_ATTRIBUTE_DIRECTORY) == folder;
}
#endif

} // namespace

bool NoFollow::openOwnFile(QFile &file, const QString &path, QIODevice::OpenMode mode)
{
#if defined(Q_OS_WIN)
    // A temporary folder on Windows is the user's own: asking first is
    // enough there.
    if (QFile::exists(path) && !isPlain(path, false))
        return false;
    file.setFileName(path);
    return file.open(mode);
#else
    int flags = O_NOFOLLOW | O_CLOEXEC;
    if (mode & QIODevice::WriteOnly)
        flags |= O_CREAT | ((mode & QIODevice::ReadOnly) ? O_RDWR : O_WRONLY);
    if (mode & QIODevice::Append)
        flags |= O_APPEND;
    const int fd = ::open(QFile::encodeName(path).constData(), flags, 0600);
    if (fd < 0)
        return false;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        return false;
    }
    return file.open(fd, mode, QFileDevice::AutoCloseHandle);
#endif
}

bool NoFollow::removeFileBeneath(const QString &folder, const QString &relative)
{
    const QStringList steps = stepsOf(relative);
    if (steps.isEmpty())
        return false;
#if defined(Q_OS_WIN)
    // Windows has no call relative to a held folder that Qt's build
    // reaches; each step is asked for in turn.
    QString path = folder;
    for (const QString &step : steps) {
        if (!isPlain(path, true))
            return false;
        path += QLatin1Char('/') + step;
    }
    const QString longForm = longPathForm(path);
    return isPlain(path, false) && DeleteFileW(longPathWide(longForm));
#else
    int at = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    for (qsizetype i = 0; at >= 0 && i + 1 < steps.size(); ++i) {
        const int next = ::openat(at, QFile::encodeName(steps.at(i)).constData(),
                                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(at);
        at = next;
    }
    if (at < 0)
        return false;
    const QByteArray name = QFile::encodeName(steps.last());
    struct stat info;
    // Whatever might be put at the name after this question, the removal
    // takes the name away and never reaches through it.
    const bool removed = ::fstatat(at, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0
        && S_ISREG(info.st_mode) && ::unlinkat(at, name.constData(), 0) == 0;
    ::close(at);
    return removed;
#endif
}
