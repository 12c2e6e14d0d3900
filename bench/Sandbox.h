#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// A temporary folder that the benchmark and its children work in. TMPDIR and
// HOME point inside it, so the machine's own staging and documents folders
// are never touched. Made before the application object, which reads both.
class Sandbox
{
public:
    Sandbox();

    bool isValid() const;
    QString path(const QString &relative) const;

    // count files of size bytes (sparse) in a new folder, sorted as listed.
    QStringList makeFiles(const QString &folder, int count, qint64 size) const;
    // A folder of folders * filesEach empty files. Its own time is set
    // before the files are made, so that it is old when it is listed.
    QString makeFolderTree(const QString &folder, int folders, int filesEach) const;

private:
    QTemporaryDir dir;
};

// Lays out and paints what is pending and deletes what was released, as the
// event loop would before the user sees the result.
void settle();

// Runs work and gives the longest time, in ms, between two turns of a 10 ms
// timer meanwhile: how long the window could not react.
double longestGapWhile(const std::function<void()> &work);
