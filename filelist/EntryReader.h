#pragma once

#include "filelist/ListedEntry.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>

#include <functional>
#include <vector>

class BackgroundWork;
class QObject;

// Reads what paths hold, on a worker: a file's name and size, a folder's
// size by a walk as 7-Zip packs it. What has been read goes to the caller's
// thread in batches while its event loop runs on, so that a list of any
// length grows in steps the window paints between, and a window that waits
// for a stuck disk still answers.
class EntryReader
{
public:
    // What the caller does with what was read, on its own thread.
    struct Receiver
    {
        // Entries read, in the order of the paths.
        std::function<void(std::vector<ListedEntry> &)> take;
        // Whether to walk this folder, which comes next; false leaves it
        // out. Asked once every entry before it has been taken.
        std::function<bool(const ListedEntry &)> mayWalk;
    };

    // Reads every path in order; known holds what was known before of some
    // of them (a folder's figure and the time that vouches for it). True
    // once all were read and taken; false as soon as the user cancelled or
    // the wait was ended, and what was taken by then stays taken. context
    // lives on the caller's thread, as long as the call.
    static bool readInBatches(BackgroundWork &work, QObject *context, const QString &label, const QString &detail,
                              const QStringList &paths, const QHash<QString, ListedEntry> &known,
                              const Receiver &receiver);

    // Reads what the entry's path holds now; false when the walk of a folder
    // was stopped before its end (the entry then keeps what it had).
    static bool read(ListedEntry &entry, const std::atomic_bool *cancelled);
    // The name a path gives a file in the archive.
    static QString nameOf(const QString &path);
};
