#include "filelist/StagingFolder.h"

#include "disk/FileCopy.h"
#include "disk/FileNames.h"
#include "disk/FolderWalk.h"
#include "disk/OwnerOnlyFolder.h"
#include "filelist/BackgroundWork.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSet>
#include <QTemporaryFile>

#include <memory>

namespace {

// Enough for every running copy a user could have open at once.
constexpr int mostRunningCopies = 64;

// Subfolders tried for copies whose names others' files already hold.
constexpr int mostSubfolders = 100;

const char baseName[] = "velmora";
const char lockSuffix[] = ".lock";
// In the folder: our copies, one path a line relative to the folder, and
// the subfolders made for them, marked so.
const char listName[] = ".brimlet-copies";
const char subfolderMark[] = "folder:";

// Held for as long as the program runs: only a dead holder makes it stale.
std::unique_ptr<QLockFile> lockFor(const QString &folder)
{
    auto lock = std::make_unique<QLockFile>(folder + QLatin1String(lockSuffix));
    lock->setStaleLockTime(0);
    return lock;
}

} // namespace

StagingFolder::StagingFolder() = default;

StagingFolder::~StagingFolder() = default;

StagingFolder &StagingFolder::ofThisProgram()
{
    static StagingFolder folder;
    return folder;
}

QString StagingFolder::path() const
{
    return chosen;
}

// Chooses, locks and makes the folder in one step, so that nobody can take
// the name between the choice and the making. A folder made before and gone
// since (tidied after a success) is made again, unless someone else has
// taken its name meanwhile: then another name is chosen.
bool StagingFolder::take()
{
    const QString tempPath = QDir::tempPath();
    if (lock && tempPath == chosenIn && OwnerOnlyFolder::ensure(chosen))
        return true;
    choose(tempPath);
    return bool(lock);
}

void StagingFolder::choose(const QString &tempPath)
{
    release();
    chosenIn = tempPath;
    const QString base = tempPath + QLatin1Char('/') + QLatin1String(baseName);
    for (int number = 1; number <= mostRunningCopies; ++number) {
        if (tryToTake(number == 1 ? base : base + QLatin1Char('-') + QString::number(number)))
            return;
    }
    // Every name is someone else's, which another user on a shared temporary
    // folder can arrange: a folder of our own under a name nobody can guess.
    const QString own = OwnerOnlyFolder::makeUnique(tempPath, QLatin1String(baseName) + QLatin1Char('-'));
    if (own.isEmpty() || !tryToTake(own))
        release();
}

bool StagingFolder::tryToTake(const QString &candidate)
{
    // Beside the folder, so that the folder itself can go when emptied.
    std::unique_ptr<QLockFile> candidateLock = lockFor(candidate);
    if (!candidateLock->tryLock(0) || !OwnerOnlyFolder::ensure(candidate))
        return false;
    lock = std::move(candidateLock);
    chosen = candidate;
    return true;
}

QString StagingFolder::placeFor(const QString &name)
{
    for (int number = 1; number <= mostSubfolders; ++number) {
        const QString folder = subfolder(number);
        if (folder.isEmpty())
            continue;
        const QString candidate = folder + QLatin1Char('/') + name;
        if (!FolderWalk::existsOrIsLink(candidate) || isCopy(candidate))
            return candidate;
    }
    return QString();
}

// The folder itself first, then subfolders "2", "3", ... that we made; a
// name someone else holds there is passed over.
QString StagingFolder::subfolder(int number)
{
    if (number == 1)
        return chosen;
    const QString candidate = chosen + QLatin1Char('/') + QString::number(number);
    if (subfolders.contains(candidate))
        return candidate;
    if (FolderWalk::existsOrIsLink(candidate) || !OwnerOnlyFolder::ensure(candidate))
        return QString();
    subfolders << candidate;
    note('+', candidate, true);
    return candidate;
}

QString StagingFolder::reserveTemporary(const QString &target)
{
    QTemporaryFile file(QFileInfo(target).absolutePath() + QStringLiteral("/.brimlet-copy-XXXXXX"));
    file.setAutoRemove(false);
    if (!file.open())
        return QString();
    copies << file.fileName();
    note('+', file.fileName());
    return file.fileName();
}

bool StagingFolder::holds(const QString &path) const
{
    if (chosen.isEmpty())
        return false;
    const QString inside = chosen + QLatin1Char('/');
    return QString::compare(path.left(inside.size()), inside, FileNames::caseSensitivity()) == 0;
}

StagingFolder::Copy StagingFolder::copyUnderName(const QString &source, const QString &newName, BackgroundWork &work)
{
    if (FolderWalk::kindOf(source) != FolderWalk::Kind::RegularFile || !take())
        return {};
    const QString target = placeFor(newName);
    const QString temporary = target.isEmpty() ? QString() : reserveTemporary(target);
    if (temporary.isEmpty())
        return {};
    auto copied = std::make_shared<bool>(false);
    const bool finished = work.run(
        QStringLiteral("Copying the file for its new name..."), QDir::toNativeSeparators(source),
        [source, temporary, copied](BackgroundWork::Progress &progress) {
            bool made = false;
            {
                FileCopy copy(source, temporary);
                made = copy.open();
                if (made) {
                    progress.pauseForTests();
                    made = copy.run(progress.cancelFlag(), [&progress](qint64 done, qint64 total) {
                        progress.report(done, total);
                    });
                }
            }
            // Ended after the user stopped waiting: nothing of it stays. The
            // copy is closed by now: Windows does not remove an open file.
            if (!progress.claimResult() || !made) {
                QFile::remove(temporary);
                return;
            }
            *copied = true;
        });
    if (!finished || !*copied || !placeCopy(temporary, target)) {
        discardCopy(temporary);
        return {finished ? Outcome::Failed : Outcome::Stopped, QString()};
    }
    return {Outcome::Made, target};
}

// Gives the finished copy its name. What lies there is one of our own copies
// (placeFor never offers anything else), which the new one replaces; on a
// disk that ignores case that may be the source itself in another case,
// read already. The move itself never replaces anything, so a file that
// appeared meanwhile stays and the copy fails.
bool StagingFolder::placeCopy(const QString &temporary, const QString &target)
{
    if (FolderWalk::existsOrIsLink(target) && isCopy(target))
        discardCopy(target);
    if (!QFile::rename(temporary, target))
        return false;
    discardCopy(temporary);
    recordCopy(target);
    return true;
}

void StagingFolder::recordCopy(const QString &copyPath)
{
    // On a disk that ignores case, the new copy has replaced any copy whose
    // name differs from it only in case.
    forgetCopy(copyPath);
    copies << copyPath;
    note('+', copyPath);
}

void StagingFolder::discardCopy(const QString &copyPath)
{
    if (!isCopy(copyPath))
        return;
    QFile::remove(copyPath);
    forgetCopy(copyPath);
    note('-', copyPath);
}

// Each change to our copies is one line added to the list kept in the
// folder: "+" and a path made, "-" and a path gone, relative to the folder
// ("+folder:2" for a subfolder made). The list is only ever added to, never
// rewritten: a file rewritten in place is written out to the disk at once,
// behind whatever the disk still has to write (a copy of hundreds of
// megabytes just made), and the window's thread would wait for all of it.
void StagingFolder::note(char change, const QString &path, bool isFolder)
{
    QFile list(chosen + QLatin1Char('/') + QLatin1String(listName));
    if (list.open(QIODevice::WriteOnly | QIODevice::Append))
        list.write(change + QByteArray(isFolder ? subfolderMark : "")
                   + QDir(chosen).relativeFilePath(path).toUtf8() + '\n');
}

void StagingFolder::removeWhatDeadCopiesLeft(const QString &tempPath)
{
    const QStringList locks = QDir(tempPath).entryList(
        {QLatin1String(baseName) + QLatin1Char('*') + QLatin1String(lockSuffix)}, QDir::Files | QDir::Hidden);
    for (const QString &lockName : locks) {
        const QString folder = tempPath + QLatin1Char('/') + lockName.chopped(int(qstrlen(lockSuffix)));
        // Taken only from a holder that died (or never held it); let go
        // again, which removes it, at the end of this turn.
        std::unique_ptr<QLockFile> lock = lockFor(folder);
        if (lock->tryLock(0) && OwnerOnlyFolder::isOwn(folder))
            removeListedIn(folder);
    }
}

void StagingFolder::removeListedIn(const QString &folder)
{
    QFile list(folder + QLatin1Char('/') + QLatin1String(listName));
    if (!list.open(QIODevice::ReadOnly))
        return;
    QStringList madeFolders;
    QSet<QString> files;
    for (const QByteArray &line : list.readAll().split('\n')) {
        const bool made = line.startsWith('+');
        QString entry = QString::fromUtf8(line.mid(1));
        const bool isFolder = entry.startsWith(QLatin1String(subfolderMark));
        if (isFolder)
            entry.remove(0, int(qstrlen(subfolderMark)));
        // Only what lies inside the folder.
        if ((!made && !line.startsWith('-')) || entry.isEmpty()
            || QDir::cleanPath(entry).startsWith(QLatin1String("..")) || QDir::isAbsolutePath(entry))
            continue;
        const QString path = folder + QLatin1Char('/') + entry;
        if (isFolder)
            madeFolders.prepend(path);
        else if (made)
            files.insert(path);
        else
            files.remove(path);
    }
    list.close();
    for (const QString &path : std::as_const(files)) {
        if (QFileInfo(path).isFile() && !QFileInfo(path).isSymLink())
            QFile::remove(path);
    }
    list.remove();
    for (const QString &made : std::as_const(madeFolders))
        QDir().rmdir(made);
    QDir().rmdir(folder);
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
    if (!chosen.isEmpty() && OwnerOnlyFolder::isOwn(chosen)) {
        for (const QString &copy : std::as_const(copies))
            QFile::remove(copy);
        QFile::remove(chosen + QLatin1Char('/') + QLatin1String(listName));
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
