#pragma once

#include "disk/FileNames.h"

#include <QDateTime>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>

class BackgroundWork;
class StagingFolder;

// The files to pack, without any window: each listed path with its name in
// the archive and its size, the total held to the limit, the name rules, and
// the copies that give files other names. Widgets show what it says; its
// refusals go out as signals for the window to tell.
//
// One change runs at a time. Measuring a folder or copying a file waits for
// a worker while the event loop runs on, and a change asked for meanwhile (a
// drop, a click) waits in a queue and runs after the current one, in order,
// judged against the list as it then is.
class FileList : public QObject
{
    Q_OBJECT

public:
    struct Entry
    {
        // The path the archiver packs: the user's file, or our copy of it
        // under the name the user gave it.
        QString path;
        // The name it has in the archive.
        QString name;
        qint64 bytes = 0;
        bool isFolder = false;
        // Its size was read, or its folder walked to the end, at least once.
        bool measured = false;
        // A folder's own time when its figure was taken, while it vouches
        // for the figure (see readFolder).
        QDateTime walkedFolderTime;

        // Megabytes, as the list has always counted them: the byte count as
        // a float, scaled twice by 1/1024.
        float size() const;
    };

    explicit FileList(QObject *parent = nullptr);
    ~FileList() override;

    // Where renamed copies go: this program's own staging folder unless set,
    // before anything is renamed, to another (a second running copy's, say).
    void useStagingFolder(StagingFolder *folder);
    // The naming rules additions and renames are held to: this system's
    // unless set, so that another system's rules can be tried here.
    void useNameRules(FileNames::System system);

    // Lists each path in turn; each is judged on its own (name, size).
    void add(const QStringList &paths);
    // As add(), but announces each path by initDestinationPath first, as a
    // drop does.
    void addDropped(const QStringList &paths);
    void remove(const QString &path);
    // Gives a listed file another name in the archive, through a copy.
    void rename(const QString &path, const QString &newName);
    // Moves an entry to another path that already holds its file.
    void relist(const QString &oldPath, const QString &newPath);
    void removeAll();
    // Reads every listed path again and lists them anew, in key order.
    void rebuild();

    // The listed paths in key order (plain, case-sensitive string order).
    QStringList paths() const;
    const Entry *entry(const QString &path) const;
    // The sum of the entries' sizes in key order, from 0.0.
    float total() const;
    // Whether a listed name other than except's is this name, by the rules.
    bool isNameTaken(const QString &name, const QString &except = QString()) const;
    bool isBusy() const;
    // The disk work the list waits for, for a window to show.
    BackgroundWork *work() const;

signals:
    // A change is under way; rows come and go until changesEnded().
    void changesStarted();
    void changesEnded();
    // Listed, after the entries listed before it.
    void entryAdded(const QString &path);
    void entryRenamed(const QString &oldPath, const QString &newPath);
    // Every entry left the list; some may come back within this change.
    void entriesCleared();

    void sizeChanged(float size);
    void initDestinationPath(QString path);
    void sizeExceeded(QString error);
    // A change that could not be made, in words for the user.
    void refused(QString message);

private:
    void perform(std::function<void()> change);
    void addOne(const QString &path);
    void removeOne(const QString &path);
    void renameOne(const QString &path, const QString &newName);
    void rebuildAll();
    void clear();

    bool read(Entry &entry);
    bool readFolder(Entry &entry);
    bool tryToList(const Entry &entry);

    void insert(const Entry &entry);
    void erase(const QString &path);
    void addToTotal(float size, bool isLastKey);
    void sumAnew();
    StagingFolder &staging() const;

    std::map<QString, Entry> entries;
    // The same paths, in the same order, ready for paths().
    QStringList listedPaths;
    float runningTotal = 0.0f;
    // The same total counted exactly, in units of one byte's size.
    qint64 exactTotalUnits = 0;
    FileNames::System nameRules;
    StagingFolder *stagingFolder = nullptr;
    BackgroundWork *backgroundWork;
    QQueue<std::function<void()>> pending;
    bool busy = false;
};
