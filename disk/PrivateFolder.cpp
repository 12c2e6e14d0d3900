#include "disk/PrivateFolder.h"

#include "disk/LongPath.h"
#include "disk/OwnerOnlyFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

#if defined(Q_OS_WIN)
#include <qt_windows.h>
#include <aclapi.h>
#else
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const char prefix[] = ".brimlet-";

#if defined(Q_OS_WIN)
// 7-Zip makes no folders in here; whatever might, is not followed far.
constexpr int mostDepth = 8;

struct Entry
{
    QString name;
    DWORD attributes = 0;
};

// Listed through the folder's own handle: the system will not list a held
// folder by its path (that would open it again, which the handle denies).
QList<Entry> entriesOf(HANDLE folder)
{
    QList<Entry> entries;
    alignas(8) char buffer[64 * 1024];
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(folder, kind, buffer, sizeof(buffer))) {
        kind = FileIdBothDirectoryInfo;
        for (const char *at = buffer;;) {
            const auto *info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO *>(at);
            const QString name = QString::fromWCharArray(info->FileName, int(info->FileNameLength / sizeof(wchar_t)));
            if (name != QLatin1String(".") && name != QLatin1String(".."))
                entries << Entry{name, info->FileAttributes};
            if (!info->NextEntryOffset)
                break;
            at += info->NextEntryOffset;
        }
    }
    return entries;
}

// A link in here is removed as the link it is; a folder is entered by a
// handle of its own, never through a link.
void removeBeneath(HANDLE folder, const QString &longForm, int depth)
{
    for (const Entry &entry : entriesOf(folder)) {
        const QString inner = longForm + QLatin1Char('\\') + entry.name;
        if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            DeleteFileW(longPathWide(inner));
            continue;
        }
        if (!(entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) && depth < mostDepth) {
            HANDLE opened = CreateFileW(longPathWide(inner), FILE_LIST_DIRECTORY,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
            if (opened != INVALID_HANDLE_VALUE) {
                removeBeneath(opened, inner, depth + 1);
                CloseHandle(opened);
            }
        }
        RemoveDirectoryW(longPathWide(inner));
    }
}

// A move within one volume keeps the access list the file had, and 7-Zip's
// archive took ours, which names this user alone: in a team's folder nobody
// else could open it. Given an empty list that is no longer protected, the
// system fills it with what the new folder passes on to a file made there.
// Should that fail, the archive is still whole, only private.
void takeAccessOfItsFolder(const QString &longForm)
{
    ACL empty;
    if (InitializeAcl(&empty, sizeof(empty), ACL_REVISION))
        SetNamedSecurityInfoW(const_cast<wchar_t *>(longPathWide(longForm)), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &empty, nullptr);
}
#endif

#if !defined(Q_OS_WIN)
// Tries more names than a clash of six random characters could ever need.
constexpr int mostAttempts = 100;
// 7-Zip makes no folders in here; whatever might, is not followed far.
constexpr int mostDepth = 8;

QString randomName()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString name = QLatin1String(prefix);
    for (int i = 0; i < 6; ++i)
        name += QLatin1Char(letters[QRandomGenerator::system()->bounded(62)]);
    return name;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

QList<QByteArray> namesIn(int folder)
{
    QList<QByteArray> names;
    const int listing = ::dup(folder);
    DIR *dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (!dir) {
        if (listing >= 0)
            ::close(listing);
        return names;
    }
    // The copy shares its place in the listing with the handle.
    ::rewinddir(dir);
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names << name;
    }
    ::closedir(dir);
    return names;
}

// A link in here is removed as the link it is; a folder is entered by its
// handle, never through a link.
void removeBeneath(int folder, int depth)
{
    for (const QByteArray &name : namesIn(folder)) {
        struct stat info;
        if (::fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISDIR(info.st_mode)) {
            ::unlinkat(folder, name.constData(), 0);
            continue;
        }
        const int inner = depth < mostDepth
            ? ::openat(folder, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
            : -1;
        if (inner >= 0) {
            removeBeneath(inner, depth + 1);
            ::close(inner);
        }
        ::unlinkat(folder, name.constData(), AT_REMOVEDIR);
    }
}
#endif

} // namespace

PrivateFolder::PrivateFolder(const QString &parent)
    : parentPath(QDir::cleanPath(parent))
{
    make(parentPath);
}

PrivateFolder::~PrivateFolder()
{
    if (isValid())
        removeAll();
#if !defined(Q_OS_WIN)
    if (parentHandle >= 0)
        ::close(parentHandle);
#endif
}

bool PrivateFolder::isValid() const
{
#if defined(Q_OS_WIN)
    return handle != nullptr;
#else
    return handle >= 0;
#endif
}

QString PrivateFolder::path() const
{
    return isValid() ? parentPath + QLatin1Char('/') + folderName : QString();
}

QString PrivateFolder::name() const
{
    return folderName;
}

#if defined(Q_OS_WIN)

// Made closed to others, then opened so that nobody else may delete or
// rename it while it is held, then checked to be a folder of this user's
// and no link: someone who may delete entries around it could have put
// something else at its name in between.
void PrivateFolder::make(const QString &parent)
{
    const QString made = OwnerOnlyFolder::makeUnique(parent, QLatin1String(prefix));
    if (made.isEmpty())
        return;
    const QString longForm = longPathForm(made);
    HANDLE opened = CreateFileW(longPathWide(longForm), DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return;
    handle = opened;
    folderName = QFileInfo(made).fileName();
    if (!isTheOneMade()) {
        CloseHandle(opened);
        handle = nullptr;
        folderName.clear();
    }
}

bool PrivateFolder::isTheOneMade() const
{
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(handle, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        && !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && OwnerOnlyFolder::ownsHandle(handle);
}

void PrivateFolder::removeAll()
{
    removeBeneath(handle, longPathForm(path()), 0);
    // Deleted through the handle, which alone may delete it.
    FILE_DISPOSITION_INFO disposition = {TRUE};
    const bool marked = SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition));
    CloseHandle(handle);
    if (!marked) {
        const QString longForm = longPathForm(path());
        RemoveDirectoryW(longPathWide(longForm));
    }
}

QString PrivateFolder::argumentFor(const QString &fileName) const
{
    // The working folder of a program is a path on Windows, limited to 260
    // characters; the held folder's path names it all the same.
    return path() + QLatin1Char('/') + fileName;
}

int PrivateFolder::handleForChild() const
{
    return -1;
}

bool PrivateFolder::holdsFile(const QString &fileName) const
{
    const QString longForm = longPathForm(path() + QLatin1Char('/') + fileName);
    const DWORD attributes = GetFileAttributesW(longPathWide(longForm));
    return attributes != INVALID_FILE_ATTRIBUTES
        && !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

PrivateFolder::Move PrivateFolder::moveOut(const QString &fileName, const QString &targetName, bool replace) const
{
    const QString source = longPathForm(path() + QLatin1Char('/') + fileName);
    const QString target = longPathForm(parentPath + QLatin1Char('/') + targetName);
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the target
    // exists; with it, the old file goes only as the new one takes its name.
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (MoveFileExW(longPathWide(source), longPathWide(target), flags)) {
        takeAccessOfItsFolder(target);
        return Move::Moved;
    }
    const DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? Move::Taken : Move::Failed;
}

#else

// Made closed to others, opened without following a link, then checked to
// be a folder of this user's, closed to others and empty: someone who may
// rename entries around it could have put something else at its name in
// between. From then on the handle is what counts, whatever stands at the
// name.
void PrivateFolder::make(const QString &parent)
{
    // Held only to make, open and move things in: a folder others may drop
    // files into without listing it (mode 1733) is written in all the same.
#if defined(O_PATH)
    parentHandle = ::open(QFile::encodeName(parent).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#else
    parentHandle = ::open(QFile::encodeName(parent).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
    if (parentHandle < 0)
        return;
    for (int attempt = 0; attempt < mostAttempts; ++attempt) {
        const QString candidate = randomName();
        const QByteArray encoded = QFile::encodeName(candidate);
        if (::mkdirat(parentHandle, encoded.constData(), 0700) != 0) {
            if (errno == EEXIST)
                continue;
            return;
        }
        handle = ::openat(parentHandle, encoded.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        folderName = candidate;
        // Taken away at once: only an empty folder can go here.
        if (handle < 0)
            ::unlinkat(parentHandle, encoded.constData(), AT_REMOVEDIR);
        break;
    }
    if (handle >= 0 && !isTheOneMade()) {
        ::close(handle);
        handle = -1;
    }
}

bool PrivateFolder::isTheOneMade() const
{
    struct stat info;
    return ::fstat(handle, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid()
        && (info.st_mode & 077) == 0 && namesIn(handle).isEmpty();
}

void PrivateFolder::removeAll()
{
    removeBeneath(handle, 0);
    struct stat own;
    const bool known = ::fstat(handle, &own) == 0;
    // The folder itself goes by its name in the folder around it, and only
    // while that name is still this folder's. Someone may have renamed it
    // there: the system knows its name now.
    QByteArray name = QFile::encodeName(folderName);
    struct stat there;
    if (known && (::fstatat(parentHandle, name.constData(), &there, AT_SYMLINK_NOFOLLOW) != 0 || !sameFile(own, there))) {
        char now[PATH_MAX];
        const ssize_t length = ::readlink(QByteArray("/proc/self/fd/" + QByteArray::number(handle)).constData(), now, sizeof(now));
        const QByteArray where(now, length > 0 ? int(length) : 0);
        name = where.mid(where.lastIndexOf('/') + 1);
    }
    if (known && !name.isEmpty() && ::fstatat(parentHandle, name.constData(), &there, AT_SYMLINK_NOFOLLOW) == 0
        && sameFile(own, there))
        ::unlinkat(parentHandle, name.constData(), AT_REMOVEDIR);
    ::close(handle);
}

QString PrivateFolder::argumentFor(const QString &fileName) const
{
    // Relative to the working folder, which the program enters by the
    // held handle; "./" keeps a name such as "-x.7z" from reading as a switch.
    return QStringLiteral("./") + fileName;
}

int PrivateFolder::handleForChild() const
{
    return handle;
}

bool PrivateFolder::holdsFile(const QString &fileName) const
{
    struct stat info;
    return isValid() && ::fstatat(handle, QFile::encodeName(fileName).constData(), &info, AT_SYMLINK_NOFOLLOW) == 0
        && S_ISREG(info.st_mode);
}

PrivateFolder::Move PrivateFolder::moveOut(const QString &fileName, const QString &targetName, bool replace) const
{
    const QByteArray source = QFile::encodeName(fileName);
    const QByteArray target = QFile::encodeName(targetName);
#if defined(Q_OS_LINUX)
    if (::renameat2(handle, source.constData(), parentHandle, target.constData(), replace ? 0 : RENAME_NOREPLACE) == 0)
        return Move::Moved;
    if (errno == EEXIST)
        return Move::Taken;
    // Some file systems know no such rename; a hard link is as careful.
    if (errno != EINVAL && errno != ENOSYS)
        return Move::Failed;
#endif
    if (replace)
        return ::renameat(handle, source.constData(), parentHandle, target.constData()) == 0 ? Move::Moved : Move::Failed;
    if (::linkat(handle, source.constData(), parentHandle, target.constData(), 0) != 0)
        return errno == EEXIST ? Move::Taken : Move::Failed;
    ::unlinkat(handle, source.constData(), 0);
    return Move::Moved;
}

#endif
