#pragma once

#include "filelist/ListedEntry.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <set>
#include <vector>

class BackgroundWork;

// The list listed anew in key order, as if its files were added one by one
// to an empty list: each still held to the limit. Made on a worker, with
// every file read again, so that the window only takes the result.
struct Relisting
{
    std::map<QString, ListedEntry> entries;
    // The grid's order after a rebuild: key order.
    QStringList cells;
    float total = 0.0f;
    qint64 units = 0;
    std::set<QString> folders;
    // Files the limit left out, in key order.
    std::vector<ListedEntry> overLimit;

    // Lists the entry after every other; the limit may leave it out.
    void append(ListedEntry entry);

    // Reads every path but leaving again on work's worker (folders, whose
    // figures folders holds, only when their time says they changed) and
    // lists them anew. Null when the user cancelled.
    static std::shared_ptr<Relisting> readAgain(BackgroundWork &work, const QStringList &paths, const QString &leaving,
                                                const QHash<QString, ListedEntry> &folders);
};
