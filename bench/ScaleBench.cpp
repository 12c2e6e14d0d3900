// The list at scale: many small files added to the shown window and one of
// them removed, each size in a process of its own, so that the list's
// memory is what the process gained.
#include "Bench.h"

#include "app/MainWidget.h"
#include "app/StartupWarmUp.h"
#include "filelist/FileWidget.h"
#include "ui/MessageBox.h"
#include "ui/StyleSheet.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <cstdio>

namespace {

constexpr qint64 smallFileBytes = 1000;

// The resident size now, in MB: what the process holds, not its peak.
double residentMb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0.0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toDouble() * 4096.0 / (1024.0 * 1024.0);
}

struct ScaleRun
{
    double addMs = 0.0;
    double addStall = 0.0;
    double removeMs = 0.0;
    double removeStall = 0.0;
    double listMb = 0.0;
};

ScaleRun runScaleChildProcess(const QString &folder, const QString &mode)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), mode, folder});
    if (!child.waitForFinished(3600 * 1000) || child.exitCode() != 0)
        fail(QStringLiteral("Scale child failed: %1").arg(QString::fromLocal8Bit(child.readAllStandardError())));
    const QList<QByteArray> values = child.readAllStandardOutput().trimmed().split(' ');
    if (values.size() != 5)
        fail(QStringLiteral("Scale child said %1").arg(QString::fromLocal8Bit(values.join(' '))));
    return {values[0].toDouble(), values[1].toDouble(), values[2].toDouble(), values[3].toDouble(),
            values[4].toDouble()};
}

QString thousands(int count)
{
    return QLocale(QLocale::English).toString(count);
}

QList<int> sizesToMeasure()
{
    // BRIMLET_BENCH_SCALE=1000,10000 leaves out what would take hours on an
    // older build.
    QList<int> sizes;
    for (const QString &size : qEnvironmentVariable("BRIMLET_BENCH_SCALE", QStringLiteral("1000,10000,100000"))
                                   .split(u',', Qt::SkipEmptyParts))
        sizes << size.toInt();
    return sizes;
}

} // namespace

// Shows the window as the program does, adds every file of the folder as
// the browse dialog hands them over, then removes the middle one; prints
// the times, the longest stalls by a 1 ms timer, and the list's memory.
// "scale-over" adds files of which a fifth go over the size limit, every
// refusal answered at once.
int runScaleChild(int &argc, char **argv)
{
    QApplication app(argc, argv);
    const StartupWarmUp warmUp;
    StyleSheet::useBundledFont();
    app.setStyleSheet(StyleSheet::application());
    MainWidget window;
    window.resize(980, 660);
    window.show();
    settle();
    auto *list = window.findChild<FileWidget *>();
    ScaleRun run;
    // The paths count as the list's: it holds them.
    const double before = residentMb();
    const QDir folder(QString::fromLocal8Bit(argv[3]));
    QStringList paths;
    for (const QString &name : folder.entryList(QDir::Files, QDir::Name))
        paths << folder.filePath(name);
    if (qstrcmp(argv[2], "scale-over") == 0) {
        for (int i = 0; i < paths.size(); ++i)
            MessageBox::setNextAnswer(QMessageBox::Ok);
    }
    QElapsedTimer clock;
    clock.start();
    run.addStall = longestGapWhile([&] {
        emit window.addFiles(paths);
        settle();
    }, 1);
    run.addMs = msSince(clock);
    run.listMb = residentMb() - before;
    const qsizetype listed = list->getFiles().size();
    if (listed == 0 || (listed != paths.size() && qstrcmp(argv[2], "scale") == 0))
        fail(QStringLiteral("The list holds %1 of %2 files").arg(listed).arg(paths.size()));
    clock.restart();
    run.removeStall = longestGapWhile([&] {
        list->removeFile(list->getFiles().at(listed / 2));
        settle();
    }, 1);
    run.removeMs = msSince(clock);
    if (list->getFiles().size() != listed - 1)
        fail(QStringLiteral("The removal left %1 files").arg(list->getFiles().size()));
    std::printf("%f %f %f %f %f\n", run.addMs, run.addStall, run.removeMs, run.removeStall, run.listMb);
    return 0;
}

QList<Figure> measureScale(const Sandbox &sandbox)
{
    QList<Figure> figures;
    // Each size's totals beside the size ten times smaller: linear is 10x.
    Figure lastAdd{QString(), QString()};
    Figure lastRemove{QString(), QString()};
    for (const int count : sizesToMeasure()) {
        const QString name = QStringLiteral("scale-%1").arg(count);
        sandbox.makeFiles(name, count, smallFileBytes);
        const QString files = thousands(count) + QStringLiteral(" files");
        Figure add{QStringLiteral("Add %1, total").arg(files), lastAdd.name, Figure::Goal::RatioAtMost, 12.0};
        Figure remove{QStringLiteral("Remove 1 of %1, total").arg(files), lastRemove.name,
                      Figure::Goal::RatioAtMost, 12.0};
        Figure addStall{QStringLiteral("Longest stall adding %1").arg(files), QString(), Figure::Goal::Below, 16.0};
        Figure removeStall{QStringLiteral("Longest stall removing 1 of %1").arg(files), QString(),
                           Figure::Goal::Below, 16.0};
        Figure memory{QStringLiteral("List memory, %1").arg(files), QString(),
                      count == 10000 ? Figure::Goal::Below : Figure::Goal::None, 20.0};
        memory.unit = QStringLiteral("MB");
        const int runs = count >= 100000 ? 1 : 3;
        for (int run = 0; run < runs; ++run) {
            const ScaleRun measured = runScaleChildProcess(sandbox.path(name), QStringLiteral("scale"));
            add.samples << measured.addMs;
            addStall.samples << measured.addStall;
            remove.samples << measured.removeMs;
            removeStall.samples << measured.removeStall;
            memory.samples << measured.listMb;
        }
        add.referenceSamples = lastAdd.samples;
        remove.referenceSamples = lastRemove.samples;
        if (lastAdd.samples.isEmpty())
            add.goal = remove.goal = Figure::Goal::None;
        lastAdd = add;
        lastRemove = remove;
        figures << add << addStall << remove << removeStall << memory;
    }
    return figures;
}

// 20,000 files of 32 KB in one selection: 16,000 fit under the limit, the
// rest are refused.
QList<Figure> measureOverLimit(const Sandbox &sandbox)
{
    const QString name = QStringLiteral("over-limit");
    sandbox.makeFiles(name, 20000, 32768);
    Figure add{QStringLiteral("Add 20,000 files of 32 KB, 4,000 over the limit"), QString()};
    Figure stall{QStringLiteral("Longest stall adding them"), QString(), Figure::Goal::Below, 16.0};
    const ScaleRun measured = runScaleChildProcess(sandbox.path(name), QStringLiteral("scale-over"));
    add.samples << measured.addMs;
    stall.samples << measured.addStall;
    return {add, stall};
}
