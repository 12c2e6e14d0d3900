#pragma once

#include <QDateTime>
#include <QString>

// One listed file or folder, as the list knows it.
struct ListedEntry
{
    // The path the archiver packs: the user's file, or our copy of it under
    // the name the user gave it.
    QString path;
    // The name it has in the archive.
    QString name;
    qint64 bytes = 0;
    bool isFolder = false;
    // Its size was read, or its folder walked to the end, at least once.
    bool measured = false;
    // A folder's own time when its figure was taken, while it vouches for
    // the figure (see EntryReader).
    QDateTime walkedFolderTime;

    // Megabytes, as the list has always counted them: the byte count as a
    // float, scaled twice by 1/1024.
    float size() const;
};
