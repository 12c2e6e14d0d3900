#include "filelist/FileList.h"

#include "filelist/BackgroundWork.h"
#include "filelist/EntryReader.h"
#include "filelist/ListTotal.h"
#include "filelist/RefusalReport.h"
#include "filelist/Relisting.h"
#include "filelist/StagingFolder.h"

#include <QThreadPool>

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

const char *const renameExistsText = "The file with the name you provided exists, Please choose another name";
const char *const invalidText = "The file name you provided is not valid, Please choose another name";
const char *const copyFailedText = "The file could not be copied under the new name";
const char *const folderText = "A folder keeps its own name in the archive: only a file can be given another name.";

// Gone from the list, a large map is destroyed on a worker: a hundred
// thousand entries take the window's thread too long to free.
template <typename Data>
void letGoElsewhere(Data &data)
{
    auto leaving = std::make_shared<Data>();
    leaving->swap(data);
    QThreadPool::globalInstance()->start([leaving]() mutable { leaving.reset(); });
}

} // namespace

FileList::FileList(QObject *parent)
    : QObject(parent)
    , listTotal(std::make_unique<ListTotal>([this] {
        float sum = 0.0f;
        for (const auto &[path, entry] : entries)
            sum += entry.size();
        return sum;
    }))
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
    moves.clear();
    busy = false;
}

// A change asked for against a file (a Remove clicked on its row) while a
// rename gave it another path meets it under that path.
QString FileList::followMoves(QString path) const
{
    for (int step = 0; step < moves.size() && moves.contains(path); ++step)
        path = moves.value(path);
    return path;
}

void FileList::noteMove(const QString &oldPath, const QString &newPath)
{
    if (busy && oldPath != newPath)
        moves.insert(oldPath, newPath);
}

void FileList::add(const QStringList &paths)
{
    perform([this, paths] { addMany(paths, false); });
}

void FileList::addDropped(const QStringList &paths)
{
    perform([this, paths] { addMany(paths, true); });
}

void FileList::remove(const QString &path)
{
    perform([this, path] { removeOne(followMoves(path)); });
}

void FileList::rename(const QString &path, const QString &newName)
{
    perform([this, path, newName] { renameOne(followMoves(path), newName); });
}

void FileList::relist(const QString &oldPath, const QString &newPath)
{
    perform([this, oldPath, newPath] {
        const QString from = followMoves(oldPath);
        const auto found = entries.find(from);
        if (found == entries.end() || entries.count(newPath))
            return;
        Entry moved = found->second;
        const int cell = cellOf(from);
        erase(from);
        moved.path = newPath;
        moved.name = EntryReader::nameOf(newPath);
        insert(moved, cell);
        noteMove(from, newPath);
        emit entryRenamed(from, newPath);
        emit cellsChanged(cell);
    });
}

void FileList::removeAll()
{
    perform([this] {
        clear();
        emit cellsChanged(0);
        emit sizeChanged(0.0f);
    });
}

void FileList::rebuild()
{
    perform([this] { rebuildAll(); });
}

// What the paths hold is read on a worker and listed batch by batch, each
// judged against the list as it then is (name, size). One message at the
// end names whatever was left out.
void FileList::addMany(const QStringList &paths, bool dropped)
{
    if (paths.isEmpty())
        return;
    RefusalReport report(paths.size());
    const QString detail = QDir::toNativeSeparators(paths.size() == 1 ? paths.first()
                                                                      : QFileInfo(paths.first()).absolutePath());
    EntryReader::Receiver receiver;
    receiver.take = [this, dropped, &report](std::vector<Entry> &batch) { listRead(batch, dropped, report); };
    // A folder is walked only if its name is free.
    receiver.mayWalk = [this, dropped, &report](const Entry &folder) {
        if (dropped)
            emit initDestinationPath(folder.path);
        const QString holder = holderOf(folder.name);
        if (holder.isEmpty())
            return true;
        report.nameTaken(folder.path, holder, staging().isCopy(holder));
        return false;
    };
    // Cancelled, what was listed so far stays listed, whole.
    EntryReader::readInBatches(*backgroundWork, this, QStringLiteral("Adding files..."), detail, paths, {}, receiver);
    emit sizeChanged(total());
    tell(report);
}

void FileList::listRead(const std::vector<Entry> &batch, bool dropped, RefusalReport &report)
{
    const int first = int(cells.size());
    for (const Entry &entry : batch) {
        // A folder has been announced before its walk.
        if (dropped && !entry.isFolder)
            emit initDestinationPath(entry.path);
        // Added or renamed, a name is held to the same rules: on a disk
        // that ignores case, Report.pdf and report.pdf from two folders
        // would be one file in the archive.
        const QString holder = holderOf(entry.name);
        if (!holder.isEmpty()) {
            report.nameTaken(entry.path, holder, staging().isCopy(holder));
            continue;
        }
        if (!listTotal->fits(entry, qsizetype(entries.size()))) {
            report.overLimit(entry.path, entry.bytes);
            continue;
        }
        insert(entry);
        report.added(entry.name);
    }
    if (cells.size() > first)
        emit cellsChanged(first);
    emit sizeChanged(listTotal->soFar());
}

void FileList::tell(const RefusalReport &report)
{
    if (!report.hasRefusals())
        return;
    const QString text = report.text(ListTotal::limit - total());
    if (report.isAboutTheLimitOnly())
        emit sizeExceeded(text);
    else
        emit refused(text);
}

void FileList::removeOne(const QString &path)
{
    if (!entries.count(path))
        return;
    rebuildAll(path);
}

// Every path (but the one leaving) is read again on a worker and listed
// anew in key order there; until that is done the list stays as it was, and
// then it takes the new one at once. Cancelled, nothing is read again: the
// files keep what they had.
void FileList::rebuildAll(const QString &leaving)
{
    const QStringList listed = paths();
    QHash<QString, Entry> folders;
    for (const QString &folder : folderPaths)
        folders.insert(folder, entries.at(folder));
    std::shared_ptr<Relisting> relisting = Relisting::readAgain(*backgroundWork, listed, leaving, folders);
    if (!relisting) {
        relisting = std::make_shared<Relisting>();
        for (const auto &[path, entry] : entries) {
            if (path != leaving)
                relisting->append(entry);
        }
    }
    // The list passes through empty, as the window has always seen it: its
    // first file then sets the destination afresh.
    std::map<QString, Entry> before;
    before.swap(entries);
    emit sizeChanged(0.0f);
    const QString first = listed.value(listed.value(0) == leaving ? 1 : 0);
    if (!first.isEmpty())
        emit initDestinationPath(first);
    adopt(*relisting, leaving, before);
    letGoElsewhere(before);
}

void FileList::adopt(Relisting &relisting, const QString &leaving, const std::map<QString, Entry> &before)
{
    RefusalReport report(0);
    std::vector<QString> gone;
    if (!leaving.isEmpty())
        gone.push_back(leaving);
    for (const Entry &entry : relisting.overLimit) {
        report.overLimit(entry.path, entry.bytes);
        gone.push_back(entry.path);
    }
    for (const QString &path : gone)
        holders.erase(FileNames::comparisonKey(before.at(path).name, nameRules));
    entries.swap(relisting.entries);
    folderPaths.swap(relisting.folders);
    cells = relisting.cells;
    keyOrderPaths = relisting.cells;
    keyOrderPathsValid = true;
    listTotal->reset(relisting.total, relisting.units);
    emit cellsChanged(0);
    if (!entries.empty())
        emit sizeChanged(relisting.total);
    tell(report);
}

void FileList::clear()
{
    letGoElsewhere(entries);
    letGoElsewhere(holders);
    folderPaths.clear();
    cells.clear();
    keyOrderPaths.clear();
    keyOrderPathsValid = true;
    listTotal->reset();
}

QString FileList::renameRefusal(const QString &path) const
{
    const Entry *listed = entry(path);
    return listed && listed->isFolder ? QString::fromLatin1(folderText) : QString();
}

void FileList::renameOne(const QString &path, const QString &newName)
{
    const auto found = entries.find(path);
    if (found == entries.end() || newName.isEmpty() || newName == found->second.name)
        return;
    if (const QString why = renameRefusal(path); !why.isEmpty()) {
        emit refused(why);
        return;
    }
    // Refused before anything is copied: the system would refuse the copy,
    // or make it under another name than the one shown.
    if (!FileNames::canHold(newName, nameRules)) {
        emit refused(QString::fromLatin1(invalidText));
        emit renameRefused(path, newName);
        return;
    }
    const QString holder = holderOf(newName);
    if (!holder.isEmpty() && holder != path) {
        emit refused(QString::fromLatin1(renameExistsText) + QStringLiteral("\nThe listed %1 has that name.")
                                                                 .arg(QDir::toNativeSeparators(holder)));
        emit renameRefused(path, newName);
        return;
    }
    const StagingFolder::Copy copy = staging().copyUnderName(path, newName, *backgroundWork);
    // A copy the user stopped needs no word about it.
    if (copy.outcome == StagingFolder::Outcome::Failed)
        emit refused(QString::fromLatin1(copyFailedText));
    if (copy.outcome != StagingFolder::Outcome::Made)
        return;
    Entry renamed = found->second;
    // A renamed file keeps its cell.
    const int cell = cellOf(path);
    erase(path);
    renamed.path = copy.path;
    renamed.name = newName;
    insert(renamed, cell);
    // Our earlier copy of it is not needed any more; the user's file always stays.
    if (!FileNames::sameName(path, copy.path))
        staging().discardCopy(path);
    noteMove(path, copy.path);
    emit entryRenamed(path, copy.path);
    emit cellsChanged(cell);
}

bool FileList::isNameTaken(const QString &name, const QString &except) const
{
    const QString holder = holderOf(name);
    return !holder.isEmpty() && holder != except;
}

QString FileList::holderOf(const QString &name) const
{
    const auto found = holders.find(FileNames::comparisonKey(name, nameRules));
    return found == holders.end() ? QString() : found->second;
}

QStringList FileList::paths() const
{
    if (!keyOrderPathsValid) {
        keyOrderPaths.clear();
        keyOrderPaths.reserve(qsizetype(entries.size()));
        for (const auto &[path, entry] : entries)
            keyOrderPaths << path;
        keyOrderPathsValid = true;
    }
    return keyOrderPaths;
}

int FileList::count() const
{
    return int(entries.size());
}

const FileList::Entry *FileList::entry(const QString &path) const
{
    const auto found = entries.find(path);
    return found == entries.end() ? nullptr : &found->second;
}

QString FileList::pathAt(int cell) const
{
    return cells.value(cell);
}

int FileList::cellOf(const QString &path) const
{
    return int(cells.indexOf(path));
}

float FileList::total() const
{
    return listTotal->value();
}

// In the given cell, which held the entry before it moved, or in a new
// cell after every other.
void FileList::insert(const Entry &entry, int cell)
{
    const auto inserted = entries.emplace(entry.path, entry).first;
    const bool isLastKey = std::next(inserted) == entries.end();
    holders.insert_or_assign(FileNames::comparisonKey(entry.name, nameRules), entry.path);
    if (cell >= 0 && cell < cells.size())
        cells[cell] = entry.path;
    else
        cells << entry.path;
    if (keyOrderPathsValid && isLastKey)
        keyOrderPaths << entry.path;
    else
        keyOrderPathsValid = false;
    if (entry.isFolder)
        folderPaths.insert(entry.path);
    listTotal->add(entry, isLastKey);
}

void FileList::erase(const QString &path)
{
    const auto found = entries.find(path);
    if (found == entries.end())
        return;
    holders.erase(FileNames::comparisonKey(found->second.name, nameRules));
    folderPaths.erase(path);
    listTotal->remove(found->second);
    entries.erase(found);
    keyOrderPathsValid = false;
}
