#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What the archiver (7-Zip's console program) is told: its command line,
// and the list file that holds the paths when the command line would be too
// long for the system. Plain functions, so that the command line can be
// tried without starting anything.
namespace ArchiverCommand {

// The command line for packing exactly these paths into archive; with a
// list file the paths are read from it instead, but for those it cannot
// hold (fitsListFile). Anything named leftOut, at any depth of a listed
// folder, is not packed.
QStringList arguments(const QString &archive, const QStringList &paths, const QString &listFile = QString(),
                      const QString &leftOut = QString());

// Whether the paths go on the command line or, when they would make it too
// long for the system, into a list file.
bool needsListFile(const QString &archive, const QStringList &paths);

// Whether a list file can hold this path.
bool fitsListFile(const QString &path);

// A path's line in a list file, read back by the archiver exactly.
QByteArray listFileLine(const QString &path);

} // namespace ArchiverCommand
