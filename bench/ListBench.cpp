// The file list: its speed with many rows, and the window kept alive while
// it copies and walks folders.
#include "Bench.h"

#include "app/MainWidget.h"
#include "filelist/FileList.h"
#include "filelist/FileWidget.h"
#include "disk/FolderWalk.h"
#include "filelist/SingleFileWidget.h"
#include "filelist/StagingFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGridLayout>


namespace {

constexpr qint64 bigFileBytes = 400LL * 1024 * 1024;

// Adds the files to a shown window, then removes one of them (a rebuild);
// both times settled, as the user would see the result.
QPair<double, double> timeList(const QStringList &paths)
{
    MainWidget window;
    window.resize(980, 660);
    window.show();
    settle();
    QElapsedTimer clock;
    clock.start();
    emit window.addFiles(paths);
    settle();
    const double addMs = msSince(clock);
    auto *list = window.findChild<FileWidget *>();
    if (list->getFiles().size() != paths.size())
        fail(QStringLiteral("The list holds %1 of %2 files").arg(list->getFiles().size()).arg(paths.size()));
    clock.restart();
    list->removeFile(paths.at(paths.size() / 2));
    settle();
    return {addMs, msSince(clock)};
}

// The same rows, built into a grid that is never shown: what the rows cost
// before anything of the list or of showing them. Built means settled too:
// every new widget asks the event loop to style it, shown or not.
double timeUnshownRows(const QStringList &paths)
{
    QElapsedTimer clock;
    clock.start();
    QWidget rowArea;
    auto *grid = new QGridLayout(&rowArea);
    for (int i = 0; i < paths.size(); ++i) {
        const QFileInfo file(paths.at(i));
        grid->addWidget(new SingleFileWidget(paths.at(i), file.fileName(), file.size(), false, &rowArea), i / 7, i % 7);
    }
    settle();
    return msSince(clock);
}

double renameGap(const QString &bigFile, const QString &newName)
{
    FileWidget list;
    list.show();
    list.addFile(bigFile);
    settle();
    const double gap = longestGapWhile([&] { list.fileList()->rename(bigFile, newName); });
    const QString copy = StagingFolder::ofThisProgram().path() + QLatin1Char('/') + newName;
    if (list.getFiles() != QStringList{copy} || QFileInfo(copy).size() != bigFileBytes)
        fail(QStringLiteral("The rename did not make its copy"));
    QFile::remove(copy);
    return gap;
}

// Lists the folder beside a small file, then removes the small file, which
// rebuilds the list with the folder in it.
QPair<double, double> folderGaps(const QString &folder, const QString &smallFile)
{
    FileWidget list;
    list.show();
    list.addFile(smallFile);
    settle();
    const double addGap = longestGapWhile([&] { list.addFiles({folder}); });
    settle();
    if (list.getFiles().size() != 2)
        fail(QStringLiteral("The folder was not listed"));
    return {addGap, longestGapWhile([&] { list.removeFile(smallFile); })};
}

} // namespace

QList<Figure> measureList(const Sandbox &sandbox)
{
    const QStringList paths = sandbox.makeFiles(QStringLiteral("list"), 1000, 100);
    const QString unshown = QStringLiteral("the same rows built unshown (a grid in a hidden widget), settled");
    Figure add{QStringLiteral("Add 1,000 files"), unshown, Figure::Goal::RatioAtMost, 1.2};
    Figure remove{QStringLiteral("Remove 1 of 1,000 files"), unshown};
    for (int run = 0; run < 5; ++run) {
        const auto [addMs, removeMs] = timeList(paths);
        settle();
        add.samples << addMs;
        remove.samples << removeMs;
        add.referenceSamples << timeUnshownRows(paths);
        settle();
    }
    remove.referenceSamples = add.referenceSamples;
    return {add, remove};
}

QList<Figure> measureFreezes(const Sandbox &sandbox)
{
    // 100 folders of 1,000 files, the folders made first, so that the top
    // folder's own time is well older than its first walk.
    for (int i = 0; i < 100; ++i)
        QDir().mkpath(sandbox.path(QStringLiteral("tree/part-%1").arg(i)));
    for (int i = 0; i < 100; ++i)
        sandbox.makeFiles(QStringLiteral("tree/part-%1").arg(i), 1000, 0);
    const QString folder = sandbox.path(QStringLiteral("tree"));
    const QString bigFile = sandbox.makeFiles(QStringLiteral("big"), 1, bigFileBytes).first();
    const QString smallFile = sandbox.makeFiles(QStringLiteral("small"), 1, 1).first();
    const QString copy = sandbox.path(QStringLiteral("copy.bin"));
    const QString walk = QStringLiteral("the walk on the GUI thread");
    Figure rename{QStringLiteral("Longest event-loop gap, renaming a 400 MB file"),
                  QStringLiteral("`QFile::copy` on the GUI thread"), Figure::Goal::Below, 50.0};
    Figure add{QStringLiteral("Longest event-loop gap, adding a folder of 100,000 files"), walk, Figure::Goal::Below, 50.0};
    Figure remove{QStringLiteral("Longest event-loop gap, removing a row beside that folder"),
                  walk + QStringLiteral(", as each rebuild did"), Figure::Goal::Below, 50.0};
    for (int run = 0; run < 3; ++run) {
        rename.samples << renameGap(bigFile, QStringLiteral("renamed-%1.bin").arg(run));
        rename.referenceSamples << longestGapWhile([&] { QFile::copy(bigFile, copy); });
        QFile::remove(copy);
        const auto [addGap, removeGap] = folderGaps(folder, smallFile);
        settle();
        add.samples << addGap;
        remove.samples << removeGap;
        add.referenceSamples << longestGapWhile(
            [&] { FolderWalk::walk(folder, FolderWalk::Purpose::Weigh); });
    }
    remove.referenceSamples = add.referenceSamples;
    return {rename, add, remove};
}
