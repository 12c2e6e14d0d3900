#include "StartupBench.h"

#include "ChildModes.h"
#include "Sandbox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

namespace {

constexpr int startRuns = 7;
constexpr int memoryRuns = 3;
constexpr int listedFiles = 1000;
constexpr int childTimeoutMs = 60000;

struct ChildSample
{
    double msToPaint = 0.0;
    double peakMb = 0.0;
};

QByteArray valueAfter(const QByteArray &output, const QByteArray &key)
{
    for (const QByteArray &line : output.split('\n')) {
        if (line.startsWith(key + ' '))
            return line.mid(key.size() + 1).trimmed();
    }
    return {};
}

ChildSample runChild(const char *mode, const QString &filesFolder = {})
{
    QProcess child;
    QStringList arguments{QStringLiteral("--child"), QString::fromLatin1(mode)};
    if (!filesFolder.isEmpty())
        arguments << filesFolder;

    ChildSample sample;
    QByteArray output;
    QElapsedTimer clock;
    clock.start();
    child.start(QCoreApplication::applicationFilePath(), arguments, QIODevice::ReadOnly);
    while (!output.contains("painted\n") && child.waitForReadyRead(childTimeoutMs))
        output += child.readAllStandardOutput();
    sample.msToPaint = elapsedMs(clock.nsecsElapsed());

    child.waitForFinished(childTimeoutMs);
    output += child.readAllStandardOutput();
    const qint64 peakKb = valueAfter(output, "peak-kb").toLongLong();
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0 || !output.contains("painted\n")
        || peakKb <= 0) {
        throw BenchError(QStringLiteral("Child %1 failed: %2\n%3")
                             .arg(QString::fromLatin1(mode), child.errorString(),
                                  QString::fromLocal8Bit(child.readAllStandardError())));
    }
    sample.peakMb = double(peakKb) / 1024.0;
    return sample;
}

const char *const bareWindow = "bare QWidget window";

Figure startFigure()
{
    return timeFigure(QStringLiteral("Start-up to first paint"), QString::fromLatin1(bareWindow));
}

Figure memoryFigure(const QString &name)
{
    Figure figure = timeFigure(name, QString::fromLatin1(bareWindow));
    figure.unit = QStringLiteral("MB");
    return figure;
}

} // namespace

namespace StartupBench {

QList<Figure> measure(const Sandbox &sandbox)
{
    // The first start of each warms the disk cache and the font cache; it
    // is not counted.
    runChild(ChildModes::startMain);
    runChild(ChildModes::startBare);

    Figure start = startFigure();
    Figure memoryAtStart = memoryFigure(QStringLiteral("Peak memory at start"));
    for (int run = 0; run < startRuns; ++run) {
        const ChildSample main = runChild(ChildModes::startMain);
        const ChildSample bare = runChild(ChildModes::startBare);
        start.samples << main.msToPaint;
        start.referenceSamples << bare.msToPaint;
        memoryAtStart.samples << main.peakMb;
        memoryAtStart.referenceSamples << bare.peakMb;
    }

    const QString folder = QStringLiteral("memory-files");
    sandbox.makeSmallFiles(folder, listedFiles, 100);
    Figure memoryListed = memoryFigure(QStringLiteral("Peak memory, 1,000 files listed"));
    for (int run = 0; run < memoryRuns; ++run)
        memoryListed.samples << runChild(ChildModes::startMain, sandbox.path(folder)).peakMb;
    memoryListed.referenceSamples = memoryAtStart.referenceSamples;

    return {start, memoryAtStart, memoryListed};
}

} // namespace StartupBench
