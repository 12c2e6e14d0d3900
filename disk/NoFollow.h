#pragma once

#include <QIODevice>
#include <QString>

class QFile;

// Files of the program's own reached as what they are: never through a link
// put in the place of a folder on the way, or of the file itself, where
// someone may have put one (a shared temporary folder, a folder left by a
// program that died).
namespace NoFollow {

// Opens path, a regular file of this user's, in mode; with WriteOnly it
// is made, closed to others, when missing. False when something else is
// there: a link, a folder, another user's file.
bool openOwnFile(QFile &file, const QString &path, QIODevice::OpenMode mode);

// Removes folder/relative when it is a regular file reached from folder,
// itself no link, through real folders only. relative may not leave
// folder ("..", an absolute path).
bool removeFileBeneath(const QString &folder, const QString &relative);

} // namespace NoFollow
