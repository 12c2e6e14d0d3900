#include "filelist/StagingFolder.h"

#include "filelist/FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryFile>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

constexpr QFile::Permissions ownerOnly =
    QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

// Enough for every running copy a user could have open at once.
constexpr int mostRunningCopies = 64;

// Subfolders tried for copies whose names others' files already hold.
constexpr int mostSubfolders = 100;

bool existsOrIsLink(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

StagingFolder::StagingFolder() = default;

StagingFolder::~StagingFolder() = default;

StagingFolder &StagingFolder::ofThisProgram()
{
    static StagingFolder folder;
    return folder;
}

QString StagingFolder::path()
{
    return ofThisProgram().folder();
}

void StagingFolder::remove()
{
    ofThisProgram().tidyUp();
}

QString StagingFolder::folder()
{
    const QString tempPath = QDir::tempPath();
    if (tempPath != chosenIn)
        choose(tempPath);
    return chosen;
}

void StagingFolder::choose(const QString &tempPath)
{
    release();
    chosenIn = tempPath;
    chosen = tempPath + QStringLiteral("/velmora");
    for (int number = 1; number <= mostRunningCopies; ++number) {
        const QString candidate = number == 1 ? chosen : chosen + QLatin1Char('-') + QString::number(number);
        // Beside the folder, so that the folder itself can go when emptied.
        auto candidateLock = std::make_unique<QLockFile>(candidate + QStringLiteral(".lock"));
        // Held for as long as the program runs: only a dead holder makes it stale.
        candidateLock->setStaleLockTime(0);
        if (!candidateLock->tryLock(0))
            continue;
        const QFileInfo info(candidate);
        if ((info.exists() || info.isSymLink()) && !isOurOwnFolder(candidate))
            continue;
        lock = std::move(candidateLock);
        chosen = candidate;
        return;
    }
}

bool StagingFolder::prepare()
{
    const QString target = folder();
    if (!lock)
        return false;
    const QFileInfo info(target);
    // A dangling link does not "exist", so links are looked at first.
    if (!info.isSymLink() && !info.isJunction() && !info.exists()) {
        QDir().mkpath(info.absolutePath());
        // Created owner-only from the start: another user on a shared
        // temporary folder must never see or fill it, not even briefly.
        QDir().mkdir(target, ownerOnly);
    }
    if (!isOurOwnFolder(target))
        return false;
    // A folder left by an older run may be readable by others; close it.
    QFile::setPermissions(target, ownerOnly);
    return true;
}

QString StagingFolder::placeFor(const QString &name)
{
    for (int number = 1; number <= mostSubfolders; ++number) {
        const QString folder = subfolder(number);
        if (folder.isEmpty())
            continue;
        const QString candidate = folder + QLatin1Char('/') + name;
        if (!existsOrIsLink(candidate) || isCopy(candidate))
            return candidate;
    }
    return QString();
}

// The folder itself first, then subfolders "2", "3", ... that we made; a
// name someone else holds there is passed over.
QString StagingFolder::subfolder(int number)
{
    if (number == 1)
        return folder();
    const QString candidate = folder() + QLatin1Char('/') + QString::number(number);
    if (subfolders.contains(candidate))
        return candidate;
    if (existsOrIsLink(candidate) || !QDir().mkdir(candidate, ownerOnly))
        return QString();
    subfolders << candidate;
    return candidate;
}

QString StagingFolder::reserveTemporary(const QString &target)
{
    QTemporaryFile file(QFileInfo(target).absolutePath() + QStringLiteral("/.brimlet-copy-XXXXXX"));
    file.setAutoRemove(false);
    if (!file.open())
        return QString();
    copies << file.fileName();
    return file.fileName();
}

bool StagingFolder::holds(const QString &path)
{
    const QString inside = folder() + QLatin1Char('/');
    return QString::compare(path.left(inside.size()), inside, FileNames::caseSensitivity()) == 0;
}

void StagingFolder::recordCopy(const QString &copyPath)
{
    // On a disk that ignores case, the new copy has replaced any copy whose
    // name differs from it only in case.
    forgetCopy(copyPath);
    copies << copyPath;
}

void StagingFolder::discardCopy(const QString &copyPath)
{
    if (!isCopy(copyPath))
        return;
    QFile::remove(copyPath);
    forgetCopy(copyPath);
}

bool StagingFolder::isCopy(const QString &path) const
{
    for (const QString &copy : copies) {
        if (FileNames::sameName(copy, path))
            return true;
    }
    return false;
}

void StagingFolder::forgetCopy(const QString &copyPath)
{
    copies.removeIf([&copyPath](const QString &copy) { return FileNames::sameName(copy, copyPath); });
}

void StagingFolder::tidyUp()
{
    if (!chosen.isEmpty() && isOurOwnFolder(chosen)) {
        for (const QString &copy : std::as_const(copies))
            QFile::remove(copy);
        // Each only succeeds once the folder is empty.
        for (const QString &folder : std::as_const(subfolders))
            QDir().rmdir(folder);
        QDir().rmdir(chosen);
    }
    copies.clear();
    subfolders.clear();
}

void StagingFolder::release()
{
    lock.reset();
    chosenIn.clear();
    chosen.clear();
    copies.clear();
    subfolders.clear();
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
