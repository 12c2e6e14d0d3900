#pragma once

#include <QString>
#include <QStringList>

#include <atomic>

// Walks a listed folder as the archiver packs it: links followed, each real
// file and folder counted once, loops stopped. The size shown in the list and
// the check before a run both come from here, so they never disagree about
// what the archive will hold.
class FolderWalk
{
public:
    struct Result
    {
        // The bytes of the regular files the archive will hold.
        qint64 bytes = 0;
        // What the archiver could not pack, named from the folder's own name
        // on ("Photos/private.jpg"): entries that cannot be read, and
        // anything that is not a regular file or folder (devices, named
        // pipes, sockets, the system's own pseudo files), which it would
        // read for ever or fail on.
        QStringList unusable;
    };

    enum class Purpose {
        // For the list's size: may stop as soon as the total passes stopAfter.
        Weigh,
        // For the check before a run: every entry, and each file opened as
        // the archiver will open it where asking is not enough.
        Check,
    };

    // Stops (answering what it has so far) once *cancelled turns true.
    static Result walk(const QString &folder, Purpose purpose, qint64 stopAfter = -1,
                       const std::atomic_bool *cancelled = nullptr);

    // What a listed path or an entry on the way is, to the archiver.
    enum class Kind { Missing, Folder, RegularFile, Special };
    static Kind kindOf(const QString &path);

    // Whether the archiver will be able to open this regular file.
    static bool canRead(const QString &path);

    // Whether anything lies at path, a link to nothing included.
    static bool existsOrIsLink(const QString &path);

    // What of the listed paths has gone or cannot be read, a listed
    // folder's content included, named as the user knows it: a listed file
    // by its name, anything inside a listed folder from that folder's name
    // on. Packing it would fail. Stops early, with what it found so far,
    // once *cancelled turns true. *bytes, when given, is set to what the
    // regular files among them hold.
    static QStringList unusableNames(const QStringList &paths, const std::atomic_bool *cancelled = nullptr,
                                     qint64 *bytes = nullptr);
};
