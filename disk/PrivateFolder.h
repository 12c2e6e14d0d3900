#pragma once

#include <QString>

// A folder of our own inside another folder, under a name nobody can guess
// (".brimlet-" and six random characters), that only this user may enter
// (see OwnerOnlyFolder), held by its handle from the moment it is made
// until it is removed. Another user who may rename entries in the folder
// around it (a team's folder, a shared folder of theirs) can take its name
// away and put something else there, a link or a folder of theirs; what is
// done here goes on in the folder that was made. On Linux every call below
// is made relative to the held handles of this folder and of the one
// around it. Windows has no such calls for most of it; there the handle is
// held without letting anyone else delete or rename the folder, so its path
// keeps naming it (and, the system being what it is, none of the folders
// above it can be renamed either), and the calls go by path.
class PrivateFolder
{
public:
    // Made at once; isValid() says whether that worked (whether this user
    // may write in parent at all).
    explicit PrivateFolder(const QString &parent);
    // Removes what is in it and then itself, through its handle, never
    // following a link.
    ~PrivateFolder();

    PrivateFolder(const PrivateFolder &) = delete;
    PrivateFolder &operator=(const PrivateFolder &) = delete;

    bool isValid() const;
    QString path() const;
    // Its own name, ".brimlet-…".
    QString name() const;

    // For a program started to write in here: how it names fileName, and
    // (Linux) the handle it makes its working folder before it starts, -1
    // where it names the file by its whole path instead.
    QString argumentFor(const QString &fileName) const;
    int handleForChild() const;

    // Whether fileName in here is a regular file, not a link.
    bool holdsFile(const QString &fileName) const;

    enum class Move { Moved, Taken, Failed };
    // Moves fileName from here into the folder around, as targetName. Only
    // with replace does it replace what is there, in one step; without it
    // a file that appeared there meanwhile stays (Taken).
    Move moveOut(const QString &fileName, const QString &targetName, bool replace) const;

private:
    void make(const QString &parent);
    bool isTheOneMade() const;
    void removeAll();

    QString parentPath;
    QString folderName;
#if defined(Q_OS_WIN)
    void *handle = nullptr;
#else
    int parentHandle = -1;
    int handle = -1;
#endif
};
