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

// A link is known by where it leads; anything else inside a folder known by
// its real path is known by that path and its own name, which spares asking
// the file system for each of many files.
QString realPathOf(const QFileInfo &entry, const QString &realFolder)
{
    return isLink(entry) ? entry.canonicalFilePath() : realFolder + QLatin1Char('/') + entry.fileName();
}

// Qt answers for a shortcut with what it points to; the archiver packs the
// shortcut file itself, a file like any other to the file system.
qint64 shortcutSize(const QFileInfo &entry)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(std::filesystem::path(entry.filePath().toStdU16String()), error);
    return error ? 0 : qint64(size);
}

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
    QSet<QString> visitedFolders{start};
    QSet<QString> countedFiles;
    QStringList pending{start};
    qint64 total = 0;
    while (!pending.isEmpty() && total <= stopAfter) {
        const QString realFolder = pending.takeLast();
        QDirIterator it(realFolder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        while (it.hasNext() && total <= stopAfter) {
            if (cancelled && cancelled->load())
                return total;
            it.next();
            const QFileInfo entry = it.fileInfo();
            if (entry.isShortcut()) {
                total += shortcutSize(entry);
                continue;
            }
            const QString realPath = realPathOf(entry, realFolder);
            if (realPath.isEmpty())
                continue; // a dangling link: the archiver skips it too
            if (entry.isDir()) {
                if (!visitedFolders.contains(realPath)) {
                    visitedFolders.insert(realPath);
                    pending << realPath;
                }
            } else if (entry.isFile() && !countedFiles.contains(realPath)) {
                // A linked file may be met again in its own folder.
                countedFiles.insert(realPath);
                total += entry.size();
            }
        }
    }
    return total;
}
