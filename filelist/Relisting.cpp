#include "filelist/Relisting.h"

#include "filelist/BackgroundWork.h"
#include "filelist/EntryReader.h"
#include "filelist/ListTotal.h"

void Relisting::append(ListedEntry entry)
{
    if (entry.size() + total > ListTotal::limit) {
        overLimit.push_back(std::move(entry));
        return;
    }
    total += entry.size();
    units += ListTotal::unitsOf(entry);
    cells << entry.path;
    if (entry.isFolder)
        folders.insert(entry.path);
    const QString key = entry.path;
    entries.emplace_hint(entries.end(), key, std::move(entry));
}

std::shared_ptr<Relisting> Relisting::readAgain(BackgroundWork &work, const QStringList &paths, const QString &leaving,
                                                const QHash<QString, ListedEntry> &folders)
{
    auto relisting = std::make_shared<Relisting>();
    const bool finished = work.run(QStringLiteral("Reading the listed files..."), QString(),
                                   [relisting, paths, leaving, folders](BackgroundWork::Progress &progress) {
        progress.pauseForTests();
        for (qsizetype i = 0; i < paths.size(); ++i) {
            if (progress.cancelFlag()->load())
                return;
            if (paths.at(i) == leaving)
                continue;
            // A file's name in the archive is the name of the path it is
            // listed under, a copy's too.
            ListedEntry entry = folders.value(paths.at(i));
            if (entry.path.isEmpty()) {
                entry.path = paths.at(i);
                entry.name = EntryReader::nameOf(entry.path);
            }
            if (!EntryReader::read(entry, progress.cancelFlag()))
                return;
            relisting->append(std::move(entry));
            progress.report(i + 1, paths.size());
        }
    });
    return finished ? relisting : nullptr;
}
