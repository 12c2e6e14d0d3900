#include "app/Destination.h"

#include "disk/FolderWalk.h"
#include "filelist/StagingFolder.h"

#include <QDir>
#include <QFileInfo>

Destination::Destination(const QString &initial)
    : current(initial)
{
}

QString Destination::path() const
{
    return current;
}

bool Destination::beginList(const QString &filePath, const StagingFolder &staging)
{
    if (chosen || staging.holds(QFileInfo(filePath).absoluteFilePath()))
        return false;
    current = defaultFor(filePath);
    return true;
}

void Destination::choose(const QString &path)
{
    current = path;
    chosen = true;
    replaceAgreed = FolderWalk::existsOrIsLink(path);
}

bool Destination::mayReplace() const
{
    return chosen && replaceAgreed;
}

void Destination::forgetChoice()
{
    chosen = false;
    replaceAgreed = false;
}

QString Destination::defaultFor(const QString &filePath)
{
    const QFileInfo file(filePath);
    const QDir folder = file.absoluteDir();
    // A root has no name to give the archive: the file gives it instead.
    if (folder.isRoot()) {
        const QString name = file.baseName().isEmpty() ? file.fileName() : file.baseName();
        return folder.absolutePath() + name + QStringLiteral(".7z");
    }
    return folder.absolutePath() + QLatin1Char('/') + folder.dirName() + QStringLiteral(".7z");
}
