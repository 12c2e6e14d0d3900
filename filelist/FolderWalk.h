#pragma once

#include <QString>

#include <atomic>

// Weighs a folder as the archive will hold it.
class FolderWalk
{
public:
    // The bytes of the files below folder, counted as the archiver packs
    // them: links followed, each real file and folder counted once, loops
    // stopped. The walk may stop as soon as it has counted more than
    // stopAfter, and stops (answering what it has so far) once *cancelled
    // turns true.
    static qint64 contentSize(const QString &folder, qint64 stopAfter,
                              const std::atomic_bool *cancelled = nullptr);
};
