#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What the archiver (7-Zip's console program) prints, read: its progress
// as it comes, in pieces of any size, and, once it has ended, its verdict
// and the file it failed on. Nothing here starts a process, so it is tried
// on recorded output.
class ArchiverOutput
{
public:
    // Takes the next piece of standard output; true when the percentage or
    // the file being packed has moved with it.
    bool read(const QByteArray &chunk);

    // The share done so far, 0 to 100.
    int percent() const { return currentPercent; }
    // The file being packed now, as the archiver names it (it shortens a
    // long path itself); empty before the first.
    QString file() const { return currentFile; }
    // Everything read so far.
    const QByteArray &all() const { return everything; }

    // Whether an archiver that exited normally with this code succeeded.
    static bool succeeded(const QByteArray &output, int exitCode, bool archiveExists);
    // The file the output names as the one it failed on: a listed path, or
    // one inside a listed folder, as the archiver wrote it. Empty when the
    // output names none.
    static QString failedFileIn(const QByteArray &output, const QStringList &paths);
    // Whether the output says that a disk was full.
    static bool saysDiskFull(const QByteArray &output);

private:
    static int percentIn(const QByteArray &segment, int otherwise);
    static QString fileIn(const QByteArray &segment, const QString &otherwise);

    QByteArray everything;
    // The start of a line whose end has not come yet.
    QByteArray pendingSegment;
    int currentPercent = 0;
    QString currentFile;
};
