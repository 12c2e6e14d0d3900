#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class BackgroundWork;
class QLockFile;

// The folder that holds copies of renamed files, under the system's
// temporary folder. Each running copy of the program has its own: the first
// takes "velmora", one that finds it held by a live process takes a sibling
// ("velmora-2", ...), and when another user holds all those names, one of
// its own under a name nobody can guess. The temporary folder may be shared
// between users, so a name is only used when this program can make the
// folder there, owner-only, or finds its own. The copies made there are
// listed beside it ("velmora.copies", by its lock), so that a copy of the
// program that died can be tidied after by the next one; the folder holds
// only the names the user gave.
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

    // The folder in use, or an empty string before the first copy (and
    // after release()).
    QString path() const;
    // Whether path lies in the folder in use, or in a subfolder of it.
    bool holds(const QString &path) const;
    // Whether path is one of the copies made here.
    bool isCopy(const QString &path) const;

    enum class Outcome { Made, Failed, Stopped };
    struct Copy
    {
        Outcome outcome = Outcome::Failed;
        // Where the copy is, once made.
        QString path;
    };
    // Copies source into the folder under newName on work's worker, while
    // the caller's event loop runs on: takes the folder if none is held yet,
    // finds the copy its place, copies, and records the copy as ours. A
    // file there that is not one of our copies (an archive the user saved
    // there, say) is never replaced: the copy then goes into a subfolder of
    // our own. Stopped when the user cancelled; nothing of it stays then.
    Copy copyUnderName(const QString &source, const QString &newName, BackgroundWork &work);
    // Removes a copy made here.
    void discardCopy(const QString &copyPath);

    // Removes the copies made here, then the folder if nothing else is in
    // it: whatever someone else put there stays, the folder with it.
    void tidyUp();

    // Lets the folder go for another running copy to take; the next copy
    // chooses again. Happens by itself when the program ends.
    void release();

private:
    bool take();
    void choose(const QString &tempPath);
    bool tryToTake(const QString &candidate);
    QString placeFor(const QString &name);
    QString subfolder(int number);
    QString reserveTemporary(const QString &target);
    bool placeCopy(const QString &temporary, const QString &target);
    void recordCopy(const QString &copyPath);
    void forgetCopy(const QString &copyPath);
    void note(char change, const QString &path, bool isFolder = false);
    static void removeListedIn(const QString &folder);

    QString chosenIn;
    QString chosen;
    std::unique_ptr<QLockFile> lock;
    QStringList copies;
    // Subfolders made for copies whose names were taken by others' files.
    QStringList subfolders;
};
