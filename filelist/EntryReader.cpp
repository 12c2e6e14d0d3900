#include "filelist/EntryReader.h"

#include "disk/FolderWalk.h"
#include "filelist/BackgroundWork.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QPointer>
#include <QSemaphore>

#include <memory>
#include <optional>

namespace {

// The largest byte count that still comes to 500.0 MB once it is held as a
// float; a folder walk may stop as soon as it has counted more than this.
constexpr qint64 largestAcceptedBytes = 524288016;

// A batch is what the caller's thread lists between two paints: a couple
// of hundred files take a millisecond or two there. A slow disk hands over what
// it has at least this often, so that the list keeps moving.
constexpr std::size_t batchSize = 256;
constexpr qint64 handOverAfterMs = 50;
constexpr int lookForCancelMs = 10;

// What the worker and the caller's thread share. The worker hands a batch
// over only while the caller still waits (open, under the lock), so the
// context it posts to is alive; the caller closes it when it stops waiting,
// and batches still on their way are dropped.
struct Channel
{
    QMutex lock;
    bool open = true;
    QObject *context = nullptr;
    EntryReader::Receiver receiver;
    QSemaphore taken;
    // The caller's answer to the last question, read after taken.
    bool walkAnswer = false;
    // Worker only: a batch is on its way and not yet taken.
    bool outstanding = false;
};

bool waitTaken(Channel &channel, const std::atomic_bool *cancelled)
{
    while (!channel.taken.tryAcquire(1, lookForCancelMs)) {
        if (cancelled->load())
            return false;
    }
    channel.outstanding = false;
    return true;
}

// One batch on its way at a time: the worker reads the next one meanwhile.
bool handOver(const std::shared_ptr<Channel> &channel, std::vector<ListedEntry> batch,
              std::optional<ListedEntry> folderAhead, const std::atomic_bool *cancelled)
{
    if (channel->outstanding && !waitTaken(*channel, cancelled))
        return false;
    QMutexLocker locker(&channel->lock);
    if (!channel->open)
        return false;
    QMetaObject::invokeMethod(channel->context, [channel, batch = std::move(batch),
                                                 folderAhead = std::move(folderAhead)]() mutable {
        if (!channel->open)
            return;
        if (!batch.empty())
            channel->receiver.take(batch);
        channel->walkAnswer = folderAhead && channel->receiver.mayWalk(*folderAhead);
        channel->taken.release();
    }, Qt::QueuedConnection);
    channel->outstanding = true;
    return true;
}

// A file's size is read as it is now. A folder is walked when it is added,
// and walked again on a rebuild only if its own modification time changed.
// That time moves when an entry right inside it is added, removed or
// renamed, not when a file deeper down changes: such a change shows only
// once the folder is added again. Walking every listed folder on every
// removal froze the window for large folders, for a change that is rarely
// there.
bool readUnlessWalk(ListedEntry &entry, QDateTime *folderTime)
{
    const QFileInfo info{QFile(entry.path)};
    entry.isFolder = info.isDir();
    if (!entry.isFolder) {
        entry.bytes = info.size();
        entry.measured = true;
        return true;
    }
    *folderTime = info.lastModified();
    return entry.walkedFolderTime.isValid() && *folderTime == entry.walkedFolderTime;
}

// False when the walk was stopped before its end: the entry keeps what it
// knew before.
bool walk(ListedEntry &entry, const QDateTime &folderTime, const std::atomic_bool *cancelled)
{
    const QDateTime walkStarted = QDateTime::currentDateTime();
    const qint64 bytes = FolderWalk::walk(entry.path, FolderWalk::Purpose::Weigh, largestAcceptedBytes, cancelled).bytes;
    if (cancelled->load())
        return false;
    entry.bytes = bytes;
    entry.measured = true;
    // A change made within the same tick of the file system's clock as the
    // walk leaves the time as it was, so only a time well before the walk
    // vouches for the figure (FAT counts in steps of two seconds).
    entry.walkedFolderTime = folderTime.secsTo(walkStarted) > 2 ? folderTime : QDateTime();
    return true;
}

void readAll(const std::shared_ptr<Channel> &channel, const QStringList &paths,
             const QHash<QString, ListedEntry> &known, BackgroundWork::Progress &progress)
{
    const std::atomic_bool *cancelled = progress.cancelFlag();
    std::vector<ListedEntry> batch;
    QElapsedTimer sinceHandedOver;
    sinceHandedOver.start();
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (cancelled->load())
            return;
        ListedEntry entry = known.value(paths.at(i));
        if (entry.path.isEmpty()) {
            entry.path = paths.at(i);
            entry.name = EntryReader::nameOf(entry.path);
        }
        QDateTime folderTime;
        if (!readUnlessWalk(entry, &folderTime)) {
            // The list says first whether it wants the folder at all: a
            // folder whose name is taken is never walked.
            if (!handOver(channel, std::exchange(batch, {}), entry, cancelled) || !waitTaken(*channel, cancelled))
                return;
            if (!channel->walkAnswer)
                continue;
            if (!walk(entry, folderTime, cancelled))
                return;
        }
        batch.push_back(std::move(entry));
        if (batch.size() >= batchSize || sinceHandedOver.elapsed() >= handOverAfterMs) {
            if (!handOver(channel, std::exchange(batch, {}), std::nullopt, cancelled))
                return;
            sinceHandedOver.restart();
        }
        if (paths.size() > 1)
            progress.report(i + 1, paths.size());
    }
    if (!batch.empty() && !handOver(channel, std::move(batch), std::nullopt, cancelled))
        return;
    if (channel->outstanding)
        waitTaken(*channel, cancelled);
}

} // namespace

bool EntryReader::readInBatches(BackgroundWork &work, QObject *context, const QString &label, const QString &detail,
                                const QStringList &paths, const QHash<QString, ListedEntry> &known,
                                const Receiver &receiver)
{
    auto channel = std::make_shared<Channel>();
    channel->context = context;
    channel->receiver = receiver;
    const bool finished = work.run(label, detail, [channel, paths, known](BackgroundWork::Progress &progress) {
        progress.pauseForTests();
        readAll(channel, paths, known, progress);
    });
    QMutexLocker locker(&channel->lock);
    channel->open = false;
    return finished;
}

bool EntryReader::read(ListedEntry &entry, const std::atomic_bool *cancelled)
{
    QDateTime folderTime;
    return readUnlessWalk(entry, &folderTime) || walk(entry, folderTime, cancelled);
}

QString EntryReader::nameOf(const QString &path)
{
    return QFileInfo(QFile(path)).fileName();
}
