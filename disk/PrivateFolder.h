#pragma once

#include <QString>

// A folder of our own inside another folder, under a name nobody can guess
// (".brimlet-" and six random characters), that only this user may enter
// (see OwnerOnlyFolder). Whatever another user does in the folder around
// it, nothing in here can be read, added or replaced. The folder goes, with
// all it holds, when this goes.
class PrivateFolder
{
public:
    // Made at once; isValid() says whether that worked (whether this user
    // may write in parent at all).
    explicit PrivateFolder(const QString &parent);
    ~PrivateFolder();

    PrivateFolder(const PrivateFolder &) = delete;
    PrivateFolder &operator=(const PrivateFolder &) = delete;

    bool isValid() const;
    QString path() const;
    QString filePath(const QString &name) const;

private:
    QString folder;
};
