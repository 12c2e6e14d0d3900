#include "Bench.h"

#include "app/ArchiveJob.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

namespace {

constexpr int fileCount = 300;
constexpr qint64 meanBytes = 200LL * 1024 * 1024 / fileCount;

// Every other file is text that packs well, the rest random bytes that do
// not; sizes vary around the mean. The same seed gives the same files.
QStringList makeMixedFiles(const QString &folder)
{
    QDir().mkpath(folder);
    QRandomGenerator random(20240611);
    const QByteArrayList words = QByteArray("archive brisk copper delta ember fable garnet harbor\n").split(' ');
    QStringList paths;
    for (int i = 0; i < fileCount; ++i) {
        const qint64 size = qint64(double(meanBytes) * (0.5 + random.generateDouble())) / 4 * 4;
        QByteArray content;
        if (i % 2 == 0) {
            while (content.size() < size)
                content += words.at(random.bounded(int(words.size()))) + ' ';
            content.truncate(size);
        } else {
            content.resize(size);
            random.fillRange(reinterpret_cast<quint32 *>(content.data()), size / 4);
        }
        QFile file(QStringLiteral("%1/file-%2").arg(folder).arg(i, 3, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != size)
            fail(QStringLiteral("Cannot write %1").arg(file.fileName()));
        paths << file.fileName();
    }
    return paths;
}

// How long the run took and the longest event-loop gap meanwhile.
QPair<double, double> timeRun(const std::function<bool(QEventLoop &)> &start)
{
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    bool succeeded = false;
    const double gap = longestGapWhile([&] { succeeded = start(loop) && loop.exec() == 0; });
    if (!succeeded)
        fail(QStringLiteral("A compression run failed"));
    return {msSince(0, clock.nsecsElapsed()), gap};
}

} // namespace

QList<Figure> measureCompression(const Sandbox &sandbox, const QString &archiver)
{
    const QStringList paths = makeMixedFiles(sandbox.path(QStringLiteral("mixed")));
    const QString destination = sandbox.path(QStringLiteral("archive.7z"));
    const QString alone = QStringLiteral("`7zz` run alone, same command line");
    Figure time(QStringLiteral("Compress 200 MB in 300 files"), alone);
    time.goal = Figure::Goal::RatioAtMost;
    time.limit = 1.05;
    Figure gap(QStringLiteral("Longest event-loop gap, compressing"), alone);
    gap.goal = Figure::Goal::Below;
    gap.limit = 50.0;
    gap.worstCounts = true;

    // In turns, so that the disk cache and the processor's clock treat both alike.
    for (int run = 0; run < 3; ++run) {
        QFile::remove(destination);
        ArchiveJob job;
        const auto [jobMs, jobGap] = timeRun([&](QEventLoop &loop) {
            QObject::connect(&job, &ArchiveJob::finished, &loop, [&loop](ArchiveJob::Outcome outcome) {
                loop.exit(outcome == ArchiveJob::Outcome::Succeeded ? 0 : 1);
            });
            job.start(archiver, destination, paths);
            return true;
        });
        QFile::remove(destination);
        QProcess process;
        // Its output read and dropped as it comes, so that its pipe never fills.
        process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&process, &QProcess::readyRead, &process, [&process] { process.readAll(); });
        const auto [aloneMs, aloneGap] = timeRun([&](QEventLoop &loop) {
            QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::exit);
            process.start(archiver, ArchiveJob::arguments(destination, paths));
            return process.waitForStarted();
        });
        time.samples << jobMs;
        time.referenceSamples << aloneMs;
        gap.samples << jobGap;
        gap.referenceSamples << aloneGap;
    }
    QFile::remove(destination);
    return {time, gap};
}
