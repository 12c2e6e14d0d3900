#include "Bench.h"

#include "filelist/FileWidget.h"
#include "filelist/FolderWalk.h"
#include "filelist/SingleFileWidget.h"
#include "filelist/StagingFolder.h"

#include <QFile>

#include <limits>

namespace {

constexpr qint64 bigFileBytes = 400LL * 1024 * 1024;

double renameGap(const QString &bigFile, const QString &newName)
{
    FileWidget list;
    list.show();
    list.addFile(bigFile);
    settle();
    SingleFileWidget *row = list.findChild<SingleFileWidget *>();
    const double gap = longestGapWhile([&] {
        row->setName(newName);
        row->makeFileCopy(newName);
    });
    const QString copy = StagingFolder::path() + QLatin1Char('/') + newName;
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

QList<Figure> measureFreezes(const Sandbox &sandbox)
{
    // Made first, so that the folder is well older than its first walk.
    const QString folder = sandbox.makeFolderTree(QStringLiteral("tree"), 100, 1000);
    const QString bigFile = sandbox.makeFiles(QStringLiteral("big"), 1, bigFileBytes).first();
    const QString smallFile = sandbox.makeFiles(QStringLiteral("small"), 1, 1).first();
    const QString copy = sandbox.path(QStringLiteral("copy.bin"));

    Figure rename(QStringLiteral("Longest event-loop gap, renaming a 400 MB file"),
                  QStringLiteral("`QFile::copy` on the GUI thread"));
    Figure add(QStringLiteral("Longest event-loop gap, adding a folder of 100,000 files"),
               QStringLiteral("the walk on the GUI thread"));
    Figure remove(QStringLiteral("Longest event-loop gap, removing a row beside that folder"),
                  QStringLiteral("the walk on the GUI thread, as each rebuild did"));
    for (Figure *figure : {&rename, &add, &remove}) {
        figure->goal = Figure::Goal::Below;
        figure->limit = 50.0;
        figure->worstCounts = true;
    }
    for (int run = 0; run < 3; ++run) {
        rename.samples << renameGap(bigFile, QStringLiteral("renamed-%1.bin").arg(run));
        rename.referenceSamples << longestGapWhile([&] { QFile::copy(bigFile, copy); });
        QFile::remove(copy);
        const auto [addGap, removeGap] = folderGaps(folder, smallFile);
        settle();
        add.samples << addGap;
        remove.samples << removeGap;
        const double walkGap = longestGapWhile(
            [&] { FolderWalk::contentSize(folder, std::numeric_limits<qint64>::max()); });
        add.referenceSamples << walkGap;
        remove.referenceSamples << walkGap;
    }
    return {rename, add, remove};
}
