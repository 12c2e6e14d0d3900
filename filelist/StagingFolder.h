#pragma once

#include <QString>

// The folder that holds copies of renamed files, under the system's
// temporary folder. It may be shared between users, so it is only used
// when it is a real folder of our own.
class StagingFolder
{
public:
    static QString path();

    // Creates the folder (owner-only) when missing. False when it cannot be
    // used safely: not creatable, a symbolic link, or someone else's.
    static bool prepare();

    // Deletes the folder and its contents, never following a link.
    static void remove();

    // Whether a copy under this name stays inside the folder: no path
    // separators and no "." or "..".
    static bool isPlainFileName(const QString &fileName);

private:
    static bool isOurOwnFolder(const QString &folder);
};
