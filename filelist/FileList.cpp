#include "filelist/FileList.h"

#include "filelist/BackgroundWork.h"
#include "filelist/EntryReader.h"
#include "filelist/ListContents.h"
#include "filelist/ListTotal.h"
#include "filelist/RefusalReport.h"
#include "filelist/Relisting.h"
#include "filelist/StagingFolder.h"

#include <QDir>
#include <QFileInfo>

namespace {

const char *const renameExistsText = "The file with the name you provided exists, Please choose another name";
const char *const invalidText = "The file name you provided is not valid, Please choose another name";
const char *const copyFailedText = "The file could not be copied under the new name";
const char *const folderText = "A folder keeps its own name in the archive: only a file can be given another name.";

} // namespace

FileList::FileList(QObject *parent)
    : QObject(parent)
    , contents(std::make_unique<ListContents>())
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
    contents->useNameRules(system);
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
        const Entry *found = contents->entry(from);
        if (!found || contents->entry(newPath))
            return;
        Entry moved = *found;
        const int cell = contents->cellOf(from);
        contents->erase(from);
        moved.path = newPath;
        moved.name = EntryReader::nameOf(newPath);
        contents->insert(moved, cell);
        noteMove(from, newPath);
        emit entryRenamed(from, newPath);
        emit cellsChanged(cell);
    });
}

void FileList::removeAll()
{
    perform([this] {
        contents->clear();
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
        const QString holder = contents->holderOf(folder.name);
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
    const int first = contents->count();
    for (const Entry &entry : batch) {
        // A folder has been announced before its walk.
        if (dropped && !entry.isFolder)
            emit initDestinationPath(entry.path);
        // Added or renamed, a name is held to the same rules: on a disk
        // that ignores case, Report.pdf and report.pdf from two folders
        // would be one file in the archive.
        const QString holder = contents->holderOf(entry.name);
        if (!holder.isEmpty()) {
            report.nameTaken(entry.path, holder, staging().isCopy(holder));
            continue;
        }
        if (!contents->fits(entry)) {
            report.overLimit(entry.path, entry.bytes);
            continue;
        }
        contents->insert(entry);
        report.added(entry.name);
    }
    if (contents->count() > first)
        emit cellsChanged(first);
    emit sizeChanged(contents->totalSoFar());
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
    if (contents->entry(path))
        rebuildAll(path);
}

// Every path (but the one leaving) is read again on a worker and listed
// anew in key order there; until that is done the list stays as it was, and
// then it takes the new one at once. Cancelled, nothing is read again: the
// files keep what they had.
void FileList::rebuildAll(const QString &leaving)
{
    const QStringList listed = contents->paths();
    std::shared_ptr<Relisting> relisting = Relisting::readAgain(*backgroundWork, listed, leaving, contents->folders());
    if (!relisting) {
        relisting = std::make_shared<Relisting>();
        for (const QString &path : listed) {
            if (path != leaving)
                relisting->append(*contents->entry(path));
        }
    }
    // The list passes through empty, as the window has always seen it: its
    // first file then sets the destination afresh.
    contents->whileEmpty([this, &listed, &leaving] {
        emit sizeChanged(0.0f);
        const QString first = listed.value(listed.value(0) == leaving ? 1 : 0);
        if (!first.isEmpty())
            emit initDestinationPath(first);
    });
    RefusalReport report(0);
    std::vector<QString> gone{leaving};
    for (const Entry &entry : relisting->overLimit) {
        report.overLimit(entry.path, entry.bytes);
        gone.push_back(entry.path);
    }
    contents->adopt(*relisting, gone);
    emit cellsChanged(0);
    if (contents->count() > 0)
        emit sizeChanged(relisting->total);
    tell(report);
}

QString FileList::renameRefusal(const QString &path) const
{
    const Entry *listed = contents->entry(path);
    return listed && listed->isFolder ? QString::fromLatin1(folderText) : QString();
}

void FileList::renameOne(const QString &path, const QString &newName)
{
    const Entry *found = contents->entry(path);
    if (!found || newName.isEmpty() || newName == found->name)
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
    const QString holder = contents->holderOf(newName);
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
    Entry renamed = *contents->entry(path);
    // A renamed file keeps its cell.
    const int cell = contents->cellOf(path);
    contents->erase(path);
    renamed.path = copy.path;
    renamed.name = newName;
    contents->insert(renamed, cell);
    // Our earlier copy of it is not needed any more; the user's file always stays.
    if (!FileNames::sameName(path, copy.path))
        staging().discardCopy(path);
    noteMove(path, copy.path);
    emit entryRenamed(path, copy.path);
    emit cellsChanged(cell);
}

bool FileList::isNameTaken(const QString &name, const QString &except) const
{
    const QString holder = contents->holderOf(name);
    return !holder.isEmpty() && holder != except;
}

QStringList FileList::paths() const
{
    return contents->paths();
}

int FileList::count() const
{
    return contents->count();
}

const FileList::Entry *FileList::entry(const QString &path) const
{
    return contents->entry(path);
}

QString FileList::pathAt(int cell) const
{
    return contents->pathAt(cell);
}

int FileList::cellOf(const QString &path) const
{
    return contents->cellOf(path);
}

float FileList::total() const
{
    return contents->total();
}
