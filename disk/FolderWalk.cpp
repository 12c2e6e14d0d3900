#include "disk/FolderWalk.h"

#include "disk/LongPath.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <filesystem>

#if defined(Q_OS_WIN)
#include <qt_windows.h>
#elif defined(Q_OS_UNIX)
#include <sys/stat.h>
#include <unistd.h>
#endif
#if defined(Q_OS_LINUX)
#include <sys/vfs.h>
#endif

namespace {

bool isLink(const QFileInfo &entry)
{
    return entry.isSymbolicLink() || entry.isJunction();
}

// Qt answers for a shortcut with what it points to; the archiver packs the
// shortcut file itself, a file like any other to the file system.
qint64 shortcutSize(const QFileInfo &entry)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(std::filesystem::path(entry.filePath().toStdU16String()), error);
    return error ? 0 : qint64(size);
}

// The kernel's own files (/proc, /sys, ...) say they are empty and then give
// bytes for ever, or change while they are read.
bool onPseudoFileSystem(const QString &path)
{
#if defined(Q_OS_LINUX)
    struct statfs info;
    if (::statfs(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    switch (static_cast<unsigned long>(info.f_type)) {
    case 0x9fa0:     // proc
    case 0x62656572: // sysfs
    case 0x64626720: // debugfs
    case 0x74726163: // tracefs
    case 0x73636673: // securityfs
    case 0x27e0eb:   // cgroup
    case 0x63677270: // cgroup2
    case 0xcafe4a11: // bpf
    case 0x6165676c: // pstore
    case 0x62656570: // configfs
    case 0x65735543: // fusectl
    case 0xde5e81e4: // efivarfs
    case 0x1cd1:     // devpts
        return true;
    default:
        return false;
    }
#else
    Q_UNUSED(path)
    return false;
#endif
}

bool canEnter(const QString &folder)
{
#if defined(Q_OS_UNIX)
    return ::access(QFile::encodeName(folder).constData(), R_OK | X_OK) == 0;
#else
    return QFileInfo(folder).isReadable();
#endif
}

// Folders are known by their real paths, so a folder met again (through a
// link, or a loop) is not entered again. Files are only asked for their real
// path when they are links: a plain file in a real folder that is walked
// once is met once, unless a link led to it before.
class Walk
{
public:
    Walk(const QString &start, const QString &startName, FolderWalk::Purpose purpose)
        : purpose(purpose)
    {
        enter(start, startName);
    }

    bool hasPending() const { return !pending.isEmpty(); }

    // The next folder to list, by its real path; *shownName is how the user
    // reaches it from the listed folder.
    QString nextFolder(QString *shownName)
    {
        const Pending next = pending.takeLast();
        walkedFolders.insert(next.realPath);
        *shownName = next.shownName;
        return next.realPath;
    }

    void visit(const QFileInfo &entry, const QString &realFolder, const QString &shownFolder)
    {
        const QString shown = shownFolder + QLatin1Char('/') + entry.fileName();
        if (entry.isShortcut()) {
            checkFile(entry.filePath(), shown);
            result.bytes += shortcutSize(entry);
            return;
        }
        if (!isLink(entry)) {
            const QString real = realFolder + QLatin1Char('/') + entry.fileName();
            if (entry.isDir())
                enter(real, shown);
            else if (!entry.isFile())
                refuse(real, shown);
            else if (!reachedByLink(real) && checkFile(real, shown))
                result.bytes += entry.size();
            return;
        }
        const QString target = entry.canonicalFilePath();
        if (target.isEmpty())
            return; // dangling: the archiver skips it too
        switch (FolderWalk::kindOf(target)) {
        case FolderWalk::Kind::Folder:
            enter(target, shown);
            return;
        case FolderWalk::Kind::RegularFile:
            // Counted where it lies if that folder is walked (or being walked).
            if (walkedFolders.contains(QFileInfo(target).path()) || linkedFiles.contains(target))
                return;
            linkedFiles.insert(target);
            if (checkFile(target, shown))
                result.bytes += QFileInfo(target).size();
            return;
        case FolderWalk::Kind::Special:
            refuse(target, shown);
            return;
        case FolderWalk::Kind::Missing:
            return;
        }
    }

    FolderWalk::Result result;

private:
    struct Pending
    {
        QString realPath;
        QString shownName;
    };

    void enter(const QString &realFolder, const QString &shown)
    {
        if (visitedFolders.contains(realFolder))
            return;
        visitedFolders.insert(realFolder);
        if (onPseudoFileSystem(realFolder) || (purpose == FolderWalk::Purpose::Check && !canEnter(realFolder))) {
            refuse(realFolder, shown);
            return;
        }
        pending.append({realFolder, shown});
    }

    bool checkFile(const QString &real, const QString &shown)
    {
        if (purpose != FolderWalk::Purpose::Check || FolderWalk::canRead(real))
            return true;
        refuse(real, shown);
        return false;
    }

    void refuse(const QString &real, const QString &shown)
    {
        if (!refusedPaths.contains(real)) {
            refusedPaths.insert(real);
            result.unusable << shown;
        }
    }

    bool reachedByLink(const QString &realPath) const
    {
        return !linkedFiles.isEmpty() && linkedFiles.contains(realPath);
    }

    FolderWalk::Purpose purpose;
    QSet<QString> visitedFolders;
    QSet<QString> walkedFolders;
    QSet<QString> linkedFiles;
    QSet<QString> refusedPaths;
    QList<Pending> pending;
};

} // namespace

// The archiver follows links, so a link to a large file or folder elsewhere
// is packed and must be weighed and checked. It would follow a loop until the
// system refuses; here each real folder is entered once, which also counts a
// folder reached through two links once.
FolderWalk::Result FolderWalk::walk(const QString &folder, Purpose purpose, qint64 stopAfter,
                                    const std::atomic_bool *cancelled)
{
    const QString start = QFileInfo(folder).canonicalFilePath();
    if (start.isEmpty())
        return {};
    Walk walk(start, QFileInfo(folder).fileName(), purpose);
    const auto stopped = [&] {
        return (stopAfter >= 0 && walk.result.bytes > stopAfter) || (cancelled && cancelled->load());
    };
    while (walk.hasPending() && !stopped()) {
        QString shownFolder;
        const QString realFolder = walk.nextFolder(&shownFolder);
        QDirIterator it(realFolder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        while (it.hasNext() && !stopped()) {
            it.next();
            walk.visit(it.fileInfo(), realFolder, shownFolder);
        }
    }
    return walk.result;
}

FolderWalk::Kind FolderWalk::kindOf(const QString &path)
{
#if defined(Q_OS_UNIX)
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return Kind::Missing;
    if (S_ISDIR(info.st_mode))
        return onPseudoFileSystem(path) ? Kind::Special : Kind::Folder;
    if (S_ISREG(info.st_mode))
        return onPseudoFileSystem(path) ? Kind::Special : Kind::RegularFile;
    return Kind::Special;
#else
    const QFileInfo info(path);
    if (info.isShortcut())
        return Kind::RegularFile;
    if (info.isDir())
        return Kind::Folder;
    if (info.isFile())
        return Kind::RegularFile;
    return info.exists() ? Kind::Special : Kind::Missing;
#endif
}

bool FolderWalk::canRead(const QString &path)
{
#if defined(Q_OS_WIN)
    // Asking Windows only tells whether the file exists. The archiver opens
    // a file for reading and lets others read it meanwhile, no more: a file
    // another program holds open without sharing, or for writing, fails it.
    // In the long form, as the archiver opens it: a file deeper than 260
    // characters is as readable as any other.
    const QString longForm = longPathForm(path);
    HANDLE file = CreateFileW(longPathWide(longForm), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
#else
    return ::access(QFile::encodeName(path).constData(), R_OK) == 0;
#endif
}

bool FolderWalk::existsOrIsLink(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QStringList FolderWalk::unusableNames(const QStringList &paths, const std::atomic_bool *cancelled, qint64 *bytes)
{
    QStringList names;
    qint64 total = 0;
    for (const QString &path : paths) {
        if (cancelled && cancelled->load())
            break;
        const QString name = QFileInfo(path).fileName();
        switch (kindOf(path)) {
        case Kind::Folder: {
            const Result walked = walk(path, Purpose::Check, -1, cancelled);
            names << walked.unusable;
            total += walked.bytes;
            break;
        }
        case Kind::RegularFile:
            if (!canRead(path))
                names << name;
            total += QFileInfo(path).size();
            break;
        case Kind::Missing:
        case Kind::Special:
            names << name;
            break;
        }
    }
    if (bytes)
        *bytes = total;
    return names;
}
