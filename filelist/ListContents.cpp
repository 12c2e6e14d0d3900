#include "filelist/ListContents.h"

#include "filelist/ListTotal.h"
#include "filelist/Relisting.h"

#include <QTimer>

struct ListContents::Held
{
    std::map<QString, ListedEntry> entries;
    // A tree, not a hash: a hash grown by a long addition would stop the
    // window while it rehashed every name.
    std::map<QString, QString> holders;
    QStringList cells;
    std::set<QString> folders;
};

ListContents::ListContents()
    : held(std::make_unique<Held>())
    , listTotal(std::make_unique<ListTotal>([this] {
        float sum = 0.0f;
        for (const auto &[path, entry] : held->entries)
            sum += entry.size();
        return sum;
    }))
    , nameRules(FileNames::thisSystem())
{
}

ListContents::~ListContents() = default;

void ListContents::useNameRules(FileNames::System system)
{
    nameRules = system;
}

int ListContents::count() const
{
    return int(held->entries.size());
}

const ListedEntry *ListContents::entry(const QString &path) const
{
    const auto found = held->entries.find(path);
    return found == held->entries.end() ? nullptr : &found->second;
}

QString ListContents::holderOf(const QString &name) const
{
    const auto found = held->holders.find(FileNames::comparisonKey(name, nameRules));
    return found == held->holders.end() ? QString() : found->second;
}

// Made when first asked after a change that put a path before others.
QStringList ListContents::paths() const
{
    if (!keyOrderPathsValid) {
        keyOrderPaths.clear();
        keyOrderPaths.reserve(count());
        for (const auto &[path, entry] : held->entries)
            keyOrderPaths << path;
        keyOrderPathsValid = true;
    }
    return keyOrderPaths;
}

QString ListContents::pathAt(int cell) const
{
    return held->cells.value(cell);
}

int ListContents::cellOf(const QString &path) const
{
    return int(held->cells.indexOf(path));
}

QHash<QString, ListedEntry> ListContents::folders() const
{
    QHash<QString, ListedEntry> found;
    for (const QString &folder : held->folders)
        found.insert(folder, held->entries.at(folder));
    return found;
}

float ListContents::total() const
{
    return listTotal->value();
}

float ListContents::totalSoFar() const
{
    return listTotal->soFar();
}

bool ListContents::fits(const ListedEntry &entry) const
{
    return listTotal->fits(entry, count());
}

void ListContents::insert(const ListedEntry &entry, int cell)
{
    const auto inserted = held->entries.emplace(entry.path, entry).first;
    const bool isLastKey = std::next(inserted) == held->entries.end();
    held->holders.insert_or_assign(FileNames::comparisonKey(entry.name, nameRules), entry.path);
    if (cell >= 0 && cell < held->cells.size())
        held->cells[cell] = entry.path;
    else
        held->cells << entry.path;
    if (keyOrderPathsValid && isLastKey)
        keyOrderPaths << entry.path;
    else
        keyOrderPathsValid = false;
    if (entry.isFolder)
        held->folders.insert(entry.path);
    listTotal->add(entry, isLastKey);
}

void ListContents::erase(const QString &path)
{
    const auto found = held->entries.find(path);
    if (found == held->entries.end())
        return;
    held->holders.erase(FileNames::comparisonKey(found->second.name, nameRules));
    held->folders.erase(path);
    listTotal->remove(found->second);
    held->entries.erase(found);
    keyOrderPathsValid = false;
}

void ListContents::whileEmpty(const std::function<void()> &meanwhile)
{
    std::map<QString, ListedEntry> listed;
    listed.swap(held->entries);
    meanwhile();
    listed.swap(held->entries);
}

void ListContents::adopt(Relisting &relisting, const std::vector<QString> &gone)
{
    for (const QString &path : gone) {
        if (const ListedEntry *leaving = entry(path))
            held->holders.erase(FileNames::comparisonKey(leaving->name, nameRules));
    }
    auto next = std::make_unique<Held>();
    next->entries.swap(relisting.entries);
    next->holders.swap(held->holders);
    next->cells = relisting.cells;
    next->folders.swap(relisting.folders);
    letGo();
    held = std::move(next);
    keyOrderPaths = relisting.cells;
    keyOrderPathsValid = true;
    listTotal->reset(relisting.total, relisting.units);
}

void ListContents::clear()
{
    letGo();
    held = std::make_unique<Held>();
    keyOrderPaths.clear();
    keyOrderPathsValid = true;
    listTotal->reset();
}

namespace {

// At most this many entries freed between two turns of the event loop.
constexpr int freedAtOnce = 2000;

// A hundred thousand entries take the window's thread too long to free at
// once; a worker freeing them takes the allocator's lock that the window's
// painting asks for all the while. So they are freed here, a slice at a
// time between turns of the event loop.
void freeInSlices(std::shared_ptr<std::map<QString, ListedEntry>> entries,
                  std::shared_ptr<std::map<QString, QString>> holders)
{
    for (int freed = 0; freed < freedAtOnce && !entries->empty(); ++freed)
        entries->erase(entries->begin());
    for (int freed = 0; freed < freedAtOnce && !holders->empty(); ++freed)
        holders->erase(holders->begin());
    if (!entries->empty() || !holders->empty())
        QTimer::singleShot(0, [entries, holders] { freeInSlices(entries, holders); });
}

} // namespace

void ListContents::letGo()
{
    auto entries = std::make_shared<std::map<QString, ListedEntry>>();
    auto holders = std::make_shared<std::map<QString, QString>>();
    entries->swap(held->entries);
    holders->swap(held->holders);
    held.reset();
    keyOrderPaths.clear();
    freeInSlices(entries, holders);
}
