#pragma once

#include "disk/FileNames.h"
#include "filelist/ListedEntry.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

class ListTotal;
struct Relisting;

// What the list holds, kept in step with every change: the entries by path
// (key order), each listed name's key by the name rules with the path that
// holds it, the grid's cells, the paths in key order, the folders, and the
// total held to the limit. Lookups by path and by name cost the same at a
// hundred thousand files as at ten.
class ListContents
{
public:
    ListContents();
    ~ListContents();

    void useNameRules(FileNames::System system);

    int count() const;
    const ListedEntry *entry(const QString &path) const;
    // The listed path whose name is this one by the rules, or an empty string.
    QString holderOf(const QString &name) const;
    QStringList paths() const;
    QString pathAt(int cell) const;
    int cellOf(const QString &path) const;
    // The listed folders, with what their walks found.
    QHash<QString, ListedEntry> folders() const;
    float total() const;
    float totalSoFar() const;
    bool fits(const ListedEntry &entry) const;

    // In the given cell, which held the entry before it moved, or in a new
    // cell after every other.
    void insert(const ListedEntry &entry, int cell = -1);
    void erase(const QString &path);
    // Runs meanwhile with no entries listed, the rest as it was.
    void whileEmpty(const std::function<void()> &meanwhile);
    // Takes the list listed anew; the names of gone are free again.
    void adopt(Relisting &relisting, const std::vector<QString> &gone);
    void clear();

private:
    struct Held;
    void letGo();

    std::unique_ptr<Held> held;
    // The cells and paths() are shared with the held entries' own paths.
    mutable QStringList keyOrderPaths;
    mutable bool keyOrderPathsValid = true;
    std::unique_ptr<ListTotal> listTotal;
    FileNames::System nameRules;
};
