#pragma once

#include <QString>

class StagingFolder;

// Where the archive goes. A new list takes the default from its first file
// (an archive named after the file's folder, inside that folder), unless
// the user chose a place in the save dialog: that choice stays until the
// list has been emptied. Only a chosen file that existed when the dialog
// gave it (the dialog asked whether to replace it) may be replaced.
class Destination
{
public:
    explicit Destination(const QString &initial);

    QString path() const;

    // A new list begins with this file; true when the destination moved to
    // the file's default. A file in the staging folder is one of our own
    // copies, not in a place the user chose: it moves nothing.
    bool beginList(const QString &filePath, const StagingFolder &staging);
    // Chosen in the save dialog, which asked before it gave a file that
    // exists: that file may be replaced by a finished archive.
    void choose(const QString &path);
    bool mayReplace() const;
    // The list was emptied: the next list takes its own default again.
    void forgetChoice();

    static QString defaultFor(const QString &filePath);

private:
    QString current;
    bool chosen = false;
    bool replaceAgreed = false;
};
