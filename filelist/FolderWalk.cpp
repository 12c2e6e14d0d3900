#include "filelist/FolderWalk.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

// Links are not followed: a link to a large folder elsewhere must not count,
// nor loop.
qint64 FolderWalk::contentSize(const QString &folder, qint64 stopAfter,
                               const std::atomic_bool *cancelled)
{
    qint64 total = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext() && total <= stopAfter) {
        if (cancelled && cancelled->load())
            break;
        it.next();
        const QFileInfo entry = it.fileInfo();
        if (entry.isFile() && !entry.isSymLink())
            total += entry.size();
    }
    return total;
}
