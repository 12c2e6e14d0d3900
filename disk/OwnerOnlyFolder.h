#pragma once

#include <QString>

// A folder only this user may enter: mode 0700 on Linux; on Windows a
// protected access list (nothing taken from the folder above) that names
// this user alone. Made so from the first moment, so that another user of a
// shared folder (the temporary folder, a team's folder) never sees into it,
// not even briefly. Both the staging folder and the archive's private
// folder are made here.
class OwnerOnlyFolder
{
public:
    // Makes a new folder in parent, named prefix and six random characters;
    // its path, or an empty string when this user may not make one there.
    static QString makeUnique(const QString &parent, const QString &prefix);

    // Makes path such a folder, or takes back one of ours left there by an
    // earlier run (closing it to others again). False when something else
    // is at path: a link, a file, another user's folder.
    static bool ensure(const QString &path);

    // Whether path is a real folder, not a link, of this user's and closed
    // to others.
    static bool isOwn(const QString &path);

#if defined(Q_OS_WIN)
    // Whether the file or folder open as handle (a HANDLE) is this user's.
    static bool ownsHandle(void *handle);
#endif
};
