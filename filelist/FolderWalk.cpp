#include "filelist/FolderWalk.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include <filesystem>

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

// Folders are known by their real paths, so a folder met again (through a
// link, or a loop) is not entered again. Files are only asked for their real
// path when they are links: a plain file in a real folder that is walked
// once is met once, unless a link led to it before.
class Walk
{
public:
    explicit Walk(const QString &start)
        : visitedFolders{start}
        , pending{start}
    {
    }

    bool hasPending() const { return !pending.isEmpty(); }
    QString nextFolder()
    {
        walkedFolders.insert(pending.last());
        return pending.takeLast();
    }

    qint64 weigh(const QFileInfo &entry, const QString &realFolder)
    {
        if (entry.isShortcut())
            return shortcutSize(entry);
        if (!isLink(entry)) {
            if (entry.isDir())
                enter(realFolder + QLatin1Char('/') + entry.fileName());
            else if (entry.isFile() && !reachedByLink(realFolder + QLatin1Char('/') + entry.fileName()))
                return entry.size();
            return 0;
        }
        const QString target = entry.canonicalFilePath();
        if (target.isEmpty())
            return 0; // dangling: the archiver skips it too
        if (entry.isDir()) {
            enter(target);
            return 0;
        }
        // Counted where it lies if that folder is walked (or being walked).
        if (!entry.isFile() || walkedFolders.contains(QFileInfo(target).path()) || linkedFiles.contains(target))
            return 0;
        linkedFiles.insert(target);
        return entry.size();
    }

private:
    void enter(const QString &realFolder)
    {
        if (visitedFolders.contains(realFolder))
            return;
        visitedFolders.insert(realFolder);
        pending << realFolder;
    }

    bool reachedByLink(const QString &realPath) const
    {
        return !linkedFiles.isEmpty() && linkedFiles.contains(realPath);
    }

    QSet<QString> visitedFolders;
    QSet<QString> walkedFolders;
    QSet<QString> linkedFiles;
    QStringList pending;
};

} // namespace

// The archiver follows links, so a link to a large file or folder elsewhere
// is packed and must be weighed. It would follow a loop until the system
// refuses; here each real folder is entered once, which also counts a
// folder reached through two links once.
qint64 FolderWalk::contentSize(const QString &folder, qint64 stopAfter,
                               const std::atomic_bool *cancelled)
{
    const QString start = QFileInfo(folder).canonicalFilePath();
    if (start.isEmpty())
        return 0;
    Walk walk(start);
    qint64 total = 0;
    while (walk.hasPending() && total <= stopAfter) {
        const QString realFolder = walk.nextFolder();
        QDirIterator it(realFolder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        while (it.hasNext() && total <= stopAfter) {
            if (cancelled && cancelled->load())
                return total;
            it.next();
            total += walk.weigh(it.fileInfo(), realFolder);
        }
    }
    return total;
}
