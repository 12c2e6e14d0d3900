#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QLockFile;

// The folder that holds copies of renamed files, under the system's
// temporary folder. Each running copy of the program has its own: the first
// takes "velmora", one that finds it held by a live process takes a sibling
// ("velmora-2", ...), and when another user holds all those names, one of
// its own under a name nobody can guess. The temporary folder may be shared
// between users, so a folder is only used when it is a real folder of our
// own. The copies made there are listed in it, so that a copy of the
// program that died can be tidied after by the next one.
class StagingFolder
{
public:
    StagingFolder();
    ~StagingFolder();

    // The folder of this running copy of the program.
    static StagingFolder &ofThisProgram();
    // Removes, in tempPath, the copies that running copies of the program
    // which died left in their folders (whose locks are stale), then those
    // folders if nothing else is in them; a live copy's folder, and anything
    // a program did not list as its own copy, stay.
    static void removeWhatDeadCopiesLeft(const QString &tempPath);
    // ofThisProgram().folder() and ofThisProgram().tidyUp().
    static QString path();
    static void remove();

    // Chosen, and held, when first asked; chosen afresh should the system's
    // temporary folder change.
    QString folder();

    // Creates the folder (owner-only) when missing. False when it cannot be
    // used safely: not held, not creatable, a link, or someone else's.
    bool prepare();

    // Where a new copy of this name goes: right in the folder, unless a
    // file there is not one of our copies (an archive the user saved here,
    // say), which is never replaced; then in a subfolder of our own. Empty
    // when there is no such place.
    QString placeFor(const QString &name);
    // An empty file of our own beside target, for a copy to be written into
    // before it takes target's name; recorded as ours until then.
    QString reserveTemporary(const QString &target);
    // Whether path lies in this folder, or in a subfolder of it.
    bool holds(const QString &path);

    // The copies made here, which tidyUp() removes again.
    void recordCopy(const QString &copyPath);
    // Removes a copy made here.
    void discardCopy(const QString &copyPath);
    bool isCopy(const QString &path) const;

    // Removes the copies made here, then the folder if nothing else is in
    // it: whatever someone else put there stays, the folder with it.
    void tidyUp();

    // Lets the folder go for another running copy to take; the next use
    // chooses again. Happens by itself when the program ends.
    void release();

private:
    void choose(const QString &tempPath);
    bool tryToTake(const QString &candidate);
    void forgetCopy(const QString &copyPath);
    void note(char change, const QString &path, bool isFolder = false);
    static void removeListedIn(const QString &folder);
    QString subfolder(int number);
    static bool isOurOwnFolder(const QString &folder);

    QString chosenIn;
    QString chosen;
    std::unique_ptr<QLockFile> lock;
    QStringList copies;
    // Subfolders made for copies whose names were taken by others' files.
    QStringList subfolders;
};
