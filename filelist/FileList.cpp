#include "filelist/FileList.h"

#include "disk/FolderWalk.h"
#include "filelist/BackgroundWork.h"
#include "filelist/StagingFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <memory>

namespace {

constexpr float sizeLimit = 500.0f;
constexpr float perKibibyte = 0.0009765625f;
// A size in megabytes is a whole number of bytes scaled by 2^-20.
constexpr float unitsPerMegabyte = 1048576.0f;
// The largest byte count that still comes to 500.0 MB once it is held as a
// float; a folder walk may stop as soon as it has counted more than this.
constexpr qint64 largestAcceptedBytes = 524288016;

const char *const existsText = "The file with the name you provided exists";
const char *const renameExistsText = "The file with the name you provided exists, Please choose another name";
const char *const invalidText = "The file name you provided is not valid, Please choose another name";
const char *const copyFailedText = "The file could not be copied under the new name";
const char *const exceededText = "You can't add more than 500 MB of files";

QString fileNameOf(const QString &path)
{
    return QFileInfo(QFile(path)).fileName();
}

} // namespace

float FileList::Entry::size() const
{
    return float(bytes) * perKibibyte * perKibibyte;
}

FileList::FileList(QObject *parent)
    : QObject(parent)
    , nameRules(FileNames::thisSystem())
    , backgroundWork(new BackgroundWork(this))
{
}

FileList::~FileList() = default;

void FileList::useStagingFolder(StagingFolder *folder)
{
    stagingFolder = folder;
}

void FileList::useNameRules(FileNames::System system)
{
    nameRules = system;
}

StagingFolder &FileList::staging() const
{
    return stagingFolder ? *stagingFolder : StagingFolder::ofThisProgram();
}

BackgroundWork *FileList::work() const
{
    return backgroundWork;
}

bool FileList::isBusy() const
{
    return busy;
}

// A change that arrives while another runs (from the event loop that its
// disk work or its message keeps going) would see the list half-changed:
// it waits, and runs once the current one has ended.
void FileList::perform(std::function<void()> change)
{
    pending.enqueue(std::move(change));
    if (busy)
        return;
    busy = true;
    while (!pending.isEmpty()) {
        emit changesStarted();
        pending.dequeue()();
        emit changesEnded();
    }
    busy = false;
}

void FileList::add(const QStringList &paths)
{
    perform([this, paths] {
        for (const QString &path : paths)
            addOne(path);
    });
}

void FileList::addDropped(const QStringList &paths)
{
    perform([this, paths] {
        for (const QString &path : paths) {
            emit initDestinationPath(path);
            addOne(path);
        }
    });
}

void FileList::remove(const QString &path)
{
    perform([this, path] { removeOne(path); });
}

void FileList::rename(const QString &path, const QString &newName)
{
    perform([this, path, newName] { renameOne(path, newName); });
}

void FileList::relist(const QString &oldPath, const QString &newPath)
{
    perform([this, oldPath, newPath] {
        const auto found = entries.find(oldPath);
        if (found == entries.end() || entries.count(newPath))
            return;
        Entry moved = found->second;
        erase(oldPath);
        moved.path = newPath;
        moved.name = fileNameOf(newPath);
        insert(moved);
        emit entryRenamed(oldPath, newPath);
    });
}

void FileList::removeAll()
{
    perform([this] {
        clear();
        emit sizeChanged(runningTotal);
    });
}

void FileList::rebuild()
{
    perform([this] { rebuildAll(); });
}

void FileList::addOne(const QString &path)
{
    Entry entry;
    entry.path = path;
    entry.name = fileNameOf(path);
    // Added or renamed, a name is held to the same rules: on a disk that
    // ignores case, Report.pdf and report.pdf from two folders would be one
    // file in the archive.
    if (isNameTaken(entry.name)) {
        emit refused(QString::fromLatin1(existsText));
        return;
    }
    // The user stopped the measuring of a folder: it is not added.
    if (!read(entry))
        return;
    tryToList(entry);
}

bool FileList::tryToList(const Entry &entry)
{
    if (entry.size() + runningTotal > sizeLimit) {
        emit sizeExceeded(QString::fromLatin1(exceededText));
        return false;
    }
    insert(entry);
    emit entryAdded(entry.path);
    emit sizeChanged(runningTotal);
    return true;
}

// Reads what the path holds now. A folder is walked on a worker; false when
// the user stopped that and nothing was known of it before.
bool FileList::read(Entry &entry)
{
    const QFileInfo info{QFile(entry.path)};
    entry.isFolder = info.isDir();
    if (entry.isFolder)
        return readFolder(entry);
    entry.bytes = info.size();
    entry.measured = true;
    return true;
}

// A folder is walked when it is added, and walked again on a rebuild only if
// its own modification time changed. That time moves when an entry right
// inside it is added, removed or renamed, not when a file deeper down
// changes: such a change shows only once the folder is added again. Walking
// every listed folder on every removal froze the window for large folders,
// for a change that is rarely there.
bool FileList::readFolder(Entry &entry)
{
    const QDateTime modified = QFileInfo(entry.path).lastModified();
    if (entry.walkedFolderTime.isValid() && modified == entry.walkedFolderTime)
        return true;
    const QString folder = entry.path;
    const QDateTime walkStarted = QDateTime::currentDateTime();
    auto bytes = std::make_shared<qint64>(0);
    const bool finished = backgroundWork->run(QStringLiteral("Measuring the folder..."), QDir::toNativeSeparators(folder),
                                              [folder, bytes](BackgroundWork::Progress &progress) {
        progress.pauseForTests();
        *bytes = FolderWalk::walk(folder, FolderWalk::Purpose::Weigh, largestAcceptedBytes, progress.cancelFlag()).bytes;
    });
    // Cancelled, the entry keeps what it knew before, if anything.
    if (!finished)
        return entry.measured;
    entry.bytes = *bytes;
    entry.measured = true;
    // A change made within the same tick of the file system's clock as the
    // walk leaves the time as it was, so only a time well before the walk
    // vouches for the figure (FAT counts in steps of two seconds).
    entry.walkedFolderTime = modified.secsTo(walkStarted) > 2 ? modified : QDateTime();
    return true;
}

void FileList::removeOne(const QString &path)
{
    if (!entries.count(path))
        return;
    erase(path);
    rebuildAll();
}

// Every path is read again and listed anew in key order, as if added one by
// one to an empty list: each still held to the limit.
void FileList::rebuildAll()
{
    std::map<QString, Entry> previous;
    previous.swap(entries);
    clear();
    emit sizeChanged(runningTotal);
    if (!previous.empty())
        emit initDestinationPath(previous.begin()->first);
    for (auto &[path, entry] : previous) {
        if (read(entry))
            tryToList(entry);
    }
}

void FileList::clear()
{
    entries.clear();
    listedPaths.clear();
    runningTotal = 0.0f;
    exactTotalUnits = 0;
    emit entriesCleared();
}

void FileList::renameOne(const QString &path, const QString &newName)
{
    const auto found = entries.find(path);
    if (found == entries.end() || newName.isEmpty() || newName == found->second.name)
        return;
    // Refused before anything is copied: the system would refuse the copy,
    // or make it under another name than the one shown.
    if (!FileNames::canHold(newName, nameRules)) {
        emit refused(QString::fromLatin1(invalidText));
        return;
    }
    if (isNameTaken(newName, path)) {
        emit refused(QString::fromLatin1(renameExistsText));
        return;
    }
    const StagingFolder::Copy copy = staging().copyUnderName(path, newName, *backgroundWork);
    // A copy the user stopped needs no word about it.
    if (copy.outcome == StagingFolder::Outcome::Failed)
        emit refused(QString::fromLatin1(copyFailedText));
    if (copy.outcome != StagingFolder::Outcome::Made)
        return;
    Entry renamed = found->second;
    erase(path);
    renamed.path = copy.path;
    renamed.name = newName;
    insert(renamed);
    // Our earlier copy of it is not needed any more; the user's file always stays.
    if (!FileNames::sameName(path, copy.path))
        staging().discardCopy(path);
    emit entryRenamed(path, copy.path);
}

bool FileList::isNameTaken(const QString &name, const QString &except) const
{
    for (const auto &[path, entry] : entries) {
        if (path != except && FileNames::sameName(entry.name, name, nameRules))
            return true;
    }
    return false;
}

QStringList FileList::paths() const
{
    return listedPaths;
}

const FileList::Entry *FileList::entry(const QString &path) const
{
    const auto found = entries.find(path);
    return found == entries.end() ? nullptr : &found->second;
}

float FileList::total() const
{
    return runningTotal;
}

// paths() is asked after every single change (the size line asks whether
// the list is empty), so the paths are kept ready in key order rather than
// collected from the map each time.
void FileList::insert(const Entry &entry)
{
    const auto inserted = entries.emplace(entry.path, entry).first;
    const auto position = std::lower_bound(listedPaths.cbegin(), listedPaths.cend(), entry.path);
    listedPaths.insert(position - listedPaths.cbegin(), entry.path);
    addToTotal(entry.size(), std::next(inserted) == entries.end());
}

void FileList::erase(const QString &path)
{
    entries.erase(path);
    const auto position = std::lower_bound(listedPaths.cbegin(), listedPaths.cend(), path);
    if (position != listedPaths.cend() && *position == path)
        listedPaths.removeAt(position - listedPaths.cbegin());
    sumAnew();
}

// The total must be the float sum in key order, which depends on the order
// once sums round. Added behind every other key, the running sum is that sum.
// Elsewhere it still is while the exact total stays below 2^24 units of one
// byte's size: every size is a whole number of such units, so no partial sum
// in any order rounds. Only otherwise is it summed anew.
void FileList::addToTotal(float size, bool isLastKey)
{
    exactTotalUnits += qint64(size * unitsPerMegabyte);
    if (isLastKey || exactTotalUnits < (qint64(1) << 24))
        runningTotal += size;
    else
        sumAnew();
}

void FileList::sumAnew()
{
    float sum = 0.0f;
    qint64 units = 0;
    for (const auto &[path, entry] : entries) {
        sum += entry.size();
        units += qint64(entry.size() * unitsPerMegabyte);
    }
    runningTotal = sum;
    exactTotalUnits = units;
}
