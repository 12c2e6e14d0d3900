#include "ListBench.h"

#include "Sandbox.h"

#include "app/MainWidget.h"
#include "filelist/FileWidget.h"
#include "filelist/SingleFileWidget.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGridLayout>
#include <QLocale>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

constexpr int columnCount = 7;
constexpr int fileSize = 100;

struct ListSample
{
    double addMs = 0.0;
    double removeMs = 0.0;
    double renameMs = 0.0;
};

void showLikeTheProgram(QWidget *window)
{
    window->resize(980, 660);
    window->show();
    settle();
}

SingleFileWidget *rowNamed(const QWidget *window, const QString &name)
{
    const QList<SingleFileWidget *> rows = window->findChildren<SingleFileWidget *>();
    for (SingleFileWidget *row : rows) {
        if (row->getName() == name)
            return row;
    }
    throw BenchError(QStringLiteral("No row for %1").arg(name));
}

// Renames as the list's dialog would once accepted, without the dialog.
void renameRow(SingleFileWidget *row, const QString &newName)
{
    row->setName(newName);
    row->makeFileCopy(newName);
}

ListSample timeList(const QStringList &paths, int run)
{
    MainWidget window;
    showLikeTheProgram(&window);
    auto *list = window.findChild<FileWidget *>();
    ListSample sample;
    QElapsedTimer clock;

    clock.start();
    emit window.addFiles(paths);
    settle();
    sample.addMs = elapsedMs(clock.nsecsElapsed());
    if (list->getFiles().size() != paths.size())
        throw BenchError(QStringLiteral("The list holds %1 of %2 files").arg(list->getFiles().size()).arg(paths.size()));

    clock.restart();
    list->removeFile(paths.at(paths.size() / 2));
    settle();
    sample.removeMs = elapsedMs(clock.nsecsElapsed());

    SingleFileWidget *row = rowNamed(&window, QFileInfo(paths.at(paths.size() / 3)).fileName());
    const QString newName = QStringLiteral("renamed-%1-%2.txt").arg(paths.size()).arg(run);
    clock.restart();
    renameRow(row, newName);
    settle();
    sample.renameMs = elapsedMs(clock.nsecsElapsed());
    if (!list->checkIfFileNameExists(newName))
        throw BenchError(QStringLiteral("The rename to %1 did not reach the list").arg(newName));
    return sample;
}

// The same rows in a seven-column grid in a scroll area, as the list holds
// them, with nothing of the list's own: built while hidden and shown at once,
// the cheapest way there is.
double timeBareRows(const QStringList &paths)
{
    QWidget window;
    auto *scrollArea = new QScrollArea;
    scrollArea->setWidgetResizable(true);
    (new QVBoxLayout(&window))->addWidget(scrollArea);
    showLikeTheProgram(&window);

    QElapsedTimer clock;
    clock.start();
    auto *rowArea = new QWidget;
    auto *grid = new QGridLayout(rowArea);
    for (int i = 0; i < paths.size(); ++i)
        grid->addWidget(new SingleFileWidget(paths.at(i)), i / columnCount, i % columnCount);
    scrollArea->setWidget(rowArea);
    settle();
    return elapsedMs(clock.nsecsElapsed());
}

QList<Figure> measureCount(const Sandbox &sandbox, int count, int runs)
{
    const QStringList paths = sandbox.makeSmallFiles(QStringLiteral("list-%1").arg(count), count, fileSize);
    const QString counted = QLocale(QLocale::English).toString(count);
    const QString reference = QStringLiteral("%1 bare rows").arg(counted);
    Figure add = timeFigure(QStringLiteral("Add %1 files").arg(counted), reference);
    Figure remove = timeFigure(QStringLiteral("Remove 1 of %1 files").arg(counted), reference);
    Figure rename = timeFigure(QStringLiteral("Rename 1 of %1 files").arg(counted), reference);

    // "Adds little over building the rows": at most half as much again.
    add.ratioLimit = 1.5;
    remove.ratioLimit = 1.5;
    if (count == 1000) {
        add.valueLimit = 500.0;
        remove.valueLimit = 500.0;
    }

    for (int run = 0; run < runs; ++run) {
        const ListSample sample = timeList(paths, run);
        const double bare = timeBareRows(paths);
        add.samples << sample.addMs;
        remove.samples << sample.removeMs;
        rename.samples << sample.renameMs;
        for (Figure *figure : {&add, &remove, &rename})
            figure->referenceSamples << bare;
        settle();
    }
    return {add, remove, rename};
}

} // namespace

namespace ListBench {

QList<Figure> measure(const Sandbox &sandbox)
{
    QList<Figure> figures;
    figures += measureCount(sandbox, 100, 5);
    figures += measureCount(sandbox, 1000, 5);
    figures += measureCount(sandbox, 5000, 3);
    return figures;
}

} // namespace ListBench
