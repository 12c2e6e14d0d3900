#pragma once

#include <QString>
#include <QStringList>

// What a press of Compress tells when it cannot end in an archive: each
// message's first line is its verdict as it has always read; the lines
// after it say which file or folder, and what the user can do.
namespace RunMessages {

extern const char *const failed;

// Something is at the destination already, and the user did not agree to
// replace it.
QString exists(const QString &destination);
// Listed files that are gone or cannot be read.
QString unusable(const QStringList &names);
// The destination's folder is gone, or this user may not write in it.
QString cannotWrite(const QString &folder);
// The destination's disk has plainly too little room for the archive.
QString notEnoughSpace(const QString &folder, qint64 available, qint64 needed);
// The run failed as the destination's disk filled up.
QString diskFull(const QString &folder);
// The list of paths for the archiver could not be written.
QString temporaryFolder(const QString &folder);
// The finished archive could not take the place of the file the user
// agreed to replace; that file stays as it was.
QString notReplaced(const QString &destination);
// The archiver failed, on the named file if it named one.
QString failedOn(const QString &file);

} // namespace RunMessages
