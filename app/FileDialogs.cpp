#include "app/FileDialogs.h"

#include <QCoreApplication>
#include <QFileDialog>

#include <utility>

namespace {

QStringList nextFilesAnswer;
QString nextArchiveAnswer;
QString nextFolderAnswer;

#if defined(Q_OS_WIN)
const char *const allFilesFilter = "All files (*.*)";
#else
// "*.*" leaves out files without an extension everywhere but on Windows.
const char *const allFilesFilter = "All files (*)";
#endif

} // namespace

QStringList FileDialogs::openFiles(QWidget *parent)
{
    QStringList paths = std::exchange(nextFilesAnswer, QStringList());
    if (paths.isEmpty())
        paths = QFileDialog::getOpenFileNames(parent, QStringLiteral("Select one or more files to open"), QString(),
                                              QString::fromLatin1(allFilesFilter));
    return paths;
}

QString FileDialogs::saveArchive(QWidget *parent, const QString &current)
{
    QString path = std::exchange(nextArchiveAnswer, QString());
    if (path.isNull())
        path = QFileDialog::getSaveFileName(parent, QCoreApplication::translate("MainWidget", "Save File"), current,
                                            QCoreApplication::translate("MainWidget", "7z files (*.7z)"));
    return path;
}

QString FileDialogs::openFolder(QWidget *parent)
{
    QString path = std::exchange(nextFolderAnswer, QString());
    if (path.isEmpty())
        path = QFileDialog::getExistingDirectory(parent, QStringLiteral("Select a folder to add"));
    return path;
}

void FileDialogs::setNextFilesAnswer(const QStringList &paths)
{
    nextFilesAnswer = paths;
}

void FileDialogs::setNextArchiveAnswer(const QString &path)
{
    nextArchiveAnswer = path;
}

void FileDialogs::setNextFolderAnswer(const QString &path)
{
    nextFolderAnswer = path;
}
