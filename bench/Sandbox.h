#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A temporary folder that the benchmark and its children work in. TMPDIR and
// HOME point inside it, so the staging folder and the documents folder of the
// machine are never touched. Made before the application object, which reads
// both.
class Sandbox
{
public:
    Sandbox();

    bool isValid() const;
    QString path(const QString &relative) const;

    // count files of the given size with unique names in a new folder,
    // sorted as the list keeps them.
    QStringList makeSmallFiles(const QString &folder, int count, int size) const;

private:
    QTemporaryDir dir;
};

// Lays out and paints what is pending and deletes what was released, as the
// event loop would before the user sees the result.
void settle();
