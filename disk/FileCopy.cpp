#include "disk/FileCopy.h"

#include "disk/FolderWalk.h"

#include <QByteArray>
#include <QDateTime>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr qint64 chunkBytes = 1 << 20;

} // namespace

FileCopy::FileCopy(const QString &source, const QString &target)
    : in(source)
    , out(target)
{
}

bool FileCopy::open()
{
    return openSource() && out.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

// The kind is asked of the open file itself, so that nothing can be put in
// the file's place between the question and the open.
bool FileCopy::openSource()
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(in.fileName()).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return in.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
#else
    return FolderWalk::kindOf(in.fileName()) == FolderWalk::Kind::RegularFile && in.open(QIODevice::ReadOnly);
#endif
}

bool FileCopy::run(const std::atomic_bool *cancelled, const Report &report)
{
    if (!in.isOpen() || !out.isOpen())
        return false;
    const auto stopped = [cancelled] { return cancelled && cancelled->load(); };
    const qint64 total = in.size();
    qint64 copied = 0;
    QByteArray chunk(chunkBytes, Qt::Uninitialized);
    while (!stopped()) {
        const qint64 read = in.read(chunk.data(), chunk.size());
        if (read == 0)
            break;
        if (read < 0 || out.write(chunk.constData(), read) != read)
            return false;
        copied += read;
        if (report)
            report(copied, total);
    }
    if (stopped() || !out.flush())
        return false;
    out.setFileTime(in.fileTime(QFileDevice::FileModificationTime), QFileDevice::FileModificationTime);
    out.close();
    return out.error() == QFileDevice::NoError
        && out.setPermissions(in.permissions() | QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}
