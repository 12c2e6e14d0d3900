#pragma once

#include <QFile>
#include <QString>

#include <atomic>
#include <functional>

// A copy of a file under another name that is the file and nothing else:
// the same bytes and the same modification time, so that an archive stores
// it as it would the file itself. It is always writable, whatever the
// source's attributes, so that it can be removed again. Only a regular file
// is copied: a named pipe would block the open, a device give bytes for ever.
class FileCopy
{
public:
    FileCopy(const QString &source, const QString &target);

    // Opens the source, when it is a regular file that can be read, and the
    // target for writing (replacing what it held).
    bool open();

    // Copies what open() opened; false when it failed, or stopped once
    // *cancelled turned true. report, when given, hears how far it got.
    using Report = std::function<void(qint64 done, qint64 total)>;
    bool run(const std::atomic_bool *cancelled = nullptr, const Report &report = {});

private:
    bool openSource();

    QFile in;
    QFile out;
};
