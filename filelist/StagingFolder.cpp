#include "filelist/StagingFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

constexpr QFile::Permissions ownerOnly =
    QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

} // namespace

QString StagingFolder::path()
{
    return QDir::tempPath() + QStringLiteral("/velmora");
}

bool StagingFolder::prepare()
{
    const QString folder = path();
    const QFileInfo info(folder);
    // A dangling link does not "exist", so links are looked at first.
    if (!info.isSymLink() && !info.isJunction() && !info.exists()) {
        QDir().mkpath(info.absolutePath());
        // Created owner-only from the start: another user on a shared
        // temporary folder must never see or fill it, not even briefly.
        QDir().mkdir(folder, ownerOnly);
    }
    if (!isOurOwnFolder(folder))
        return false;
    // A folder left by an older run may be readable by others; close it.
    QFile::setPermissions(folder, ownerOnly);
    return true;
}

void StagingFolder::remove()
{
    const QString folder = path();
    if (isOurOwnFolder(folder))
        QDir(folder).removeRecursively();
}

bool StagingFolder::isPlainFileName(const QString &fileName)
{
    return !fileName.isEmpty()
        && fileName != QLatin1String(".")
        && fileName != QLatin1String("..")
        && !fileName.contains(QLatin1Char('/'))
        && !fileName.contains(QLatin1Char('\\'));
}

bool StagingFolder::isOurOwnFolder(const QString &folder)
{
    const QFileInfo info(folder);
    if (info.isSymLink() || info.isJunction() || !info.isDir())
        return false;
#ifdef Q_OS_UNIX
    if (info.ownerId() != ::geteuid())
        return false;
#endif
    return true;
}
