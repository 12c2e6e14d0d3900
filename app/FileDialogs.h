#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The platform's file dialogs as the main window asks them, each answered
// instead by a test when it has set the next answer.
class FileDialogs
{
public:
    // Files to add; empty when the user chose none.
    static QStringList openFiles(QWidget *parent);
    // Where to save the archive, asked in current's folder with current's
    // name filled in; empty when the user cancelled.
    static QString saveArchive(QWidget *parent, const QString &current);
    // A folder to add; empty when the user chose none.
    static QString openFolder(QWidget *parent);

    // Test seams: the next dialog is not shown but answered with this.
    static void setNextFilesAnswer(const QStringList &paths);
    static void setNextArchiveAnswer(const QString &path);
    static void setNextFolderAnswer(const QString &path);
};
