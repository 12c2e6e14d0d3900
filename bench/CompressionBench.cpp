#include "CompressionBench.h"

#include "Sandbox.h"

#include "app/ArchiveJob.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int runs = 3;
constexpr int fileCount = 300;
constexpr qint64 totalBytes = 200LL * 1024 * 1024;
constexpr quint32 seed = 20240611;
constexpr int tickMs = 10;

const char *const words[] = {
    "archive", "brisk", "copper", "delta", "ember", "fable", "garnet", "harbor", "island", "jasper",
    "kettle", "lantern", "meadow", "nectar", "orchid", "pepper", "quartz", "river", "saddle", "timber",
    "umber", "velvet", "willow", "yonder", "zephyr", "about", "before", "could", "during", "every",
    "from", "given", "have", "into", "just", "known", "little", "might", "never", "other",
    "place", "quite", "rather", "since", "their", "under", "very", "where", "which", "years",
};

QByteArray makeText(QRandomGenerator &random, qint64 size)
{
    QByteArray text;
    text.reserve(size + 16);
    int wordsOnLine = 0;
    while (text.size() < size) {
        text += words[random.bounded(int(std::size(words)))];
        text += (++wordsOnLine % 12 == 0) ? '\n' : ' ';
    }
    text.truncate(size);
    return text;
}

QByteArray makeRandomBytes(QRandomGenerator &random, qint64 size)
{
    QByteArray bytes(size, '\0');
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / qint64(sizeof(quint32)));
    return bytes;
}

// Every other file is text that packs well, the rest random bytes that do
// not; sizes vary around the mean. The same seed gives the same files.
QStringList makeMixedFiles(const QString &folder)
{
    QDir().mkpath(folder);
    QRandomGenerator random(seed);
    const qint64 meanSize = totalBytes / fileCount;
    QStringList paths;
    for (int i = 0; i < fileCount; ++i) {
        const qint64 size = qint64(double(meanSize) * (0.5 + random.generateDouble()));
        const bool isText = i % 2 == 0;
        const QString path = QStringLiteral("%1/%2-%3.%4")
                                 .arg(folder, isText ? QStringLiteral("text") : QStringLiteral("data"))
                                 .arg(i, 3, 10, QLatin1Char('0'))
                                 .arg(isText ? QStringLiteral("txt") : QStringLiteral("bin"));
        QFile file(path);
        const QByteArray content = isText ? makeText(random, size) : makeRandomBytes(random, size);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            throw BenchError(QStringLiteral("Cannot write %1").arg(path));
        paths << path;
    }
    paths.sort();
    // Written back now, not while the first run reads.
    ::sync();
    return paths;
}

// Records the longest wait between the turns of a 10 ms timer: how long the
// event loop could not react.
class GapWatch
{
public:
    GapWatch()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(tickMs);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] { tick(); });
    }

    void start()
    {
        longest = 0;
        sinceLastTurn.start();
        timer.start();
    }

    double stop()
    {
        tick();
        timer.stop();
        return elapsedMs(longest);
    }

private:
    void tick()
    {
        longest = qMax(longest, sinceLastTurn.nsecsElapsed());
        sinceLastTurn.restart();
    }

    QTimer timer;
    QElapsedTimer sinceLastTurn;
    qint64 longest = 0;
};

// Processor time of this process and of its children that have ended. On a
// busy machine it shows what the program adds even when the clock cannot.
double processorMsSoFar()
{
    rusage self{};
    rusage children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    const auto ms = [](const timeval &time) { return double(time.tv_sec) * 1000.0 + double(time.tv_usec) / 1000.0; };
    return ms(self.ru_utime) + ms(self.ru_stime) + ms(children.ru_utime) + ms(children.ru_stime);
}

struct RunSample
{
    double ms = 0.0;
    double processorMs = 0.0;
    double longestGapMs = 0.0;
};

RunSample runJob(const QString &archiver, const QString &destination, const QStringList &paths)
{
    QFile::remove(destination);
    ArchiveJob job;
    QEventLoop loop;
    bool done = false;
    ArchiveJob::Outcome outcome = ArchiveJob::Outcome::Failed;
    QObject::connect(&job, &ArchiveJob::finished, &loop, [&](ArchiveJob::Outcome result) {
        outcome = result;
        done = true;
        loop.quit();
    });

    GapWatch watch;
    QElapsedTimer clock;
    const double processorAtStart = processorMsSoFar();
    watch.start();
    clock.start();
    job.start(archiver, destination, paths);
    if (!done)
        loop.exec();
    const double ms = elapsedMs(clock.nsecsElapsed());
    RunSample sample{ms, processorMsSoFar() - processorAtStart, watch.stop()};
    if (outcome != ArchiveJob::Outcome::Succeeded)
        throw BenchError(QStringLiteral("The compression job did not succeed"));
    return sample;
}

// The archiver alone, with the very same command line, its output read and
// dropped as it comes so that its pipe never fills.
RunSample runDirect(const QString &archiver, const QString &destination, const QStringList &paths)
{
    QFile::remove(destination);
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    QObject::connect(&process, &QProcess::readyReadStandardOutput, &process,
                     [&process] { process.readAllStandardOutput(); });
    QObject::connect(&process, &QProcess::readyReadStandardError, &process,
                     [&process] { process.readAllStandardError(); });
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);

    GapWatch watch;
    QElapsedTimer clock;
    const double processorAtStart = processorMsSoFar();
    watch.start();
    clock.start();
    process.start(archiver, ArchiveJob::arguments(destination, paths), QIODevice::ReadOnly);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    const double ms = elapsedMs(clock.nsecsElapsed());
    RunSample sample{ms, processorMsSoFar() - processorAtStart, watch.stop()};
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        throw BenchError(QStringLiteral("%1 failed: %2").arg(archiver, process.errorString()));
    return sample;
}

} // namespace

namespace CompressionBench {

QList<Figure> measure(const Sandbox &sandbox, const QString &archiver)
{
    const QStringList paths = makeMixedFiles(sandbox.path(QStringLiteral("mixed")));
    const QString destination = sandbox.path(QStringLiteral("archive.7z"));
    const QString direct = QStringLiteral("7zz run directly");

    Figure time = timeFigure(QStringLiteral("Compress 200 MB, 300 files"), direct);
    time.ratioLimit = 1.05;
    Figure processorTime = timeFigure(QStringLiteral("Compress 200 MB, processor time"), direct);
    Figure longestGap = timeFigure(QStringLiteral("Longest event-loop gap (worst run)"), direct);
    longestGap.summary = Figure::Summary::Maximum;
    longestGap.valueLimit = 50.0;
    Figure typicalGap = timeFigure(QStringLiteral("Longest event-loop gap (median run)"), direct);
    typicalGap.valueLimit = 50.0;

    // Taken in turns, so that the disk cache and the processor's clock
    // treat both alike.
    for (int run = 0; run < runs; ++run) {
        const RunSample job = runJob(archiver, destination, paths);
        const RunSample bare = runDirect(archiver, destination, paths);
        time.samples << job.ms;
        time.referenceSamples << bare.ms;
        processorTime.samples << job.processorMs;
        processorTime.referenceSamples << bare.processorMs;
        for (Figure *gap : {&longestGap, &typicalGap}) {
            gap->samples << job.longestGapMs;
            gap->referenceSamples << bare.longestGapMs;
        }
    }
    QFile::remove(destination);
    return {time, processorTime, longestGap, typicalGap};
}

QString archiverVersion(const QString &archiver)
{
    QProcess process;
    process.start(archiver, {}, QIODevice::ReadOnly);
    process.waitForFinished(10000);
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        if (line.trimmed().startsWith("7-Zip"))
            return QString::fromUtf8(line.trimmed());
    }
    return QString();
}

} // namespace CompressionBench
