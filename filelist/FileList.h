#pragma once

#include "disk/FileNames.h"
#include "filelist/ListedEntry.h"

#include <QHash>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class BackgroundWork;
class ListContents;
class RefusalReport;
class StagingFolder;

// The files to pack, without any window: each listed path with its name in
// the archive and its size, the total held to the limit, the name rules, the
// copies that give files other names, and the order in which the window's
// grid shows them. Widgets show what it says; its refusals go out as
// signals for the window to tell, one message for one change.
//
// One change runs at a time. Reading what many paths hold, measuring a
// folder or copying a file waits for a worker while the event loop runs on,
// and a change asked for meanwhile (a drop, a click) waits in a queue and
// runs after the current one, in order, judged against the list as it then
// is, on the same file even if the current change gave it another path.
class FileList : public QObject
{
    Q_OBJECT

public:
    using Entry = ListedEntry;

    explicit FileList(QObject *parent = nullptr);
    ~FileList() override;

    // Where renamed copies go: this program's own staging folder unless set,
    // before anything is renamed, to another (a second running copy's, say).
    void useStagingFolder(StagingFolder *folder);
    // The naming rules additions and renames are held to: this system's
    // unless set, so that another system's rules can be tried here.
    void useNameRules(FileNames::System system);

    // Lists each path in turn; each is judged on its own (name, size). What
    // the paths hold is read on a worker and the list grows in steps; the
    // user may cancel, which keeps what was listed so far.
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
    int count() const;
    const Entry *entry(const QString &path) const;
    // The grid's order: the order of adding since the last rebuild, key
    // order after one; a renamed file keeps its cell.
    QString pathAt(int cell) const;
    // The cell of a listed path, or -1.
    int cellOf(const QString &path) const;
    // The sum of the entries' sizes in key order, from 0.0.
    float total() const;
    // Whether a listed name other than except's is this name, by the rules.
    bool isNameTaken(const QString &name, const QString &except = QString()) const;
    // Why this listed path cannot be given another name (a folder keeps
    // its own), or an empty string when it can.
    QString renameRefusal(const QString &path) const;
    bool isBusy() const;
    // The disk work the list waits for, for a window to show.
    BackgroundWork *work() const;

signals:
    // A change is under way; cells come and go until changesEnded().
    void changesStarted();
    void changesEnded();
    // Cells from this one on may show other files, or the count changed.
    void cellsChanged(int first);
    void entryRenamed(const QString &oldPath, const QString &newPath);

    void sizeChanged(float size);
    void initDestinationPath(QString path);
    // Files left out by the limit, in words for the user.
    void sizeExceeded(QString error);
    // A change that could not be made, in words for the user.
    void refused(QString message);
    // A new name was refused; the user may want to try another.
    void renameRefused(const QString &path, const QString &newName);

private:
    void perform(std::function<void()> change);
    QString followMoves(QString path) const;
    void noteMove(const QString &oldPath, const QString &newPath);

    void addMany(const QStringList &paths, bool dropped);
    void listRead(const std::vector<Entry> &batch, bool dropped, RefusalReport &report);
    void removeOne(const QString &path);
    void renameOne(const QString &path, const QString &newName);
    void rebuildAll(const QString &leaving = QString());
    void tell(const RefusalReport &report);
    StagingFolder &staging() const;

    std::unique_ptr<ListContents> contents;
    FileNames::System nameRules;
    StagingFolder *stagingFolder = nullptr;
    BackgroundWork *backgroundWork;
    QQueue<std::function<void()>> pending;
    // Paths that files took during the changes now queued, old to new.
    QHash<QString, QString> moves;
    bool busy = false;
};
