#include "Bench.h"

#include "app/MainWidget.h"
#include "filelist/FileWidget.h"
#include "filelist/SingleFileWidget.h"

#include <QElapsedTimer>
#include <QGridLayout>

namespace {

constexpr int runs = 5;
constexpr int fileCount = 1000;

struct ListSample
{
    double addMs;
    double removeMs;
};

ListSample timeList(const QStringList &paths)
{
    MainWidget window;
    window.resize(980, 660);
    window.show();
    settle();
    auto *list = window.findChild<FileWidget *>();

    QElapsedTimer clock;
    clock.start();
    emit window.addFiles(paths);
    settle();
    const double addMs = msSince(0, clock.nsecsElapsed());
    if (list->getFiles().size() != paths.size())
        fail(QStringLiteral("The list holds %1 of %2 files").arg(list->getFiles().size()).arg(paths.size()));

    clock.restart();
    list->removeFile(paths.at(paths.size() / 2));
    settle();
    return {addMs, msSince(0, clock.nsecsElapsed())};
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
    for (int i = 0; i < paths.size(); ++i)
        grid->addWidget(new SingleFileWidget(paths.at(i), &rowArea), i / 7, i % 7);
    settle();
    return msSince(0, clock.nsecsElapsed());
}

} // namespace

QList<Figure> measureList(const Sandbox &sandbox)
{
    const QStringList paths = sandbox.makeFiles(QStringLiteral("list"), fileCount, 100);
    const QString reference = QStringLiteral("the same rows built unshown");
    Figure add{QStringLiteral("Add 1,000 files"), reference};
    add.goal = Figure::Goal::RatioAtMost;
    add.limit = 1.2;
    Figure remove{QStringLiteral("Remove 1 of 1,000 files"), reference};
    for (int run = 0; run < runs; ++run) {
        const ListSample sample = timeList(paths);
        settle();
        const double unshown = timeUnshownRows(paths);
        settle();
        add.samples << sample.addMs;
        remove.samples << sample.removeMs;
        add.referenceSamples << unshown;
        remove.referenceSamples << unshown;
    }
    return {add, remove};
}
