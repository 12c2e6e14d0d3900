#include "Bench.h"

#include "app/ArchiveJob.h"
#include "app/ArchiverCommand.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

namespace {

constexpr int fileCount = 300;
constexpr qint64 meanBytes = 200LL * 1024 * 1024 / fileCount;

// Half text that packs well, half random bytes that do not, of sizes around
// the mean; the same seed gives the same files.
QStringList makeMixedFiles(const QString &folder)
{
    QDir().mkpath(folder);
    QRandomGenerator random(20240611);
    const QByteArrayList words = QByteArray("archive brisk copper delta ember fable garnet harbor\n").split(' ');
    QStringList paths;
    for (int i = 0; i < fileCount; ++i) {
        const qint64 size = qint64(double(meanBytes) * (0.5 + random.generateDouble())) / 4 * 4;
        QByteArray content;
        while (i % 2 == 0 && content.size() < size)
            content += words.at(random.bounded(int(words.size()))) + ' ';
        content.resize(size);
        if (i % 2)
            random.fillRange(reinterpret_cast<quint32 *>(content.data()), size / 4);
        QFile file(QStringLiteral("%1/file-%2").arg(folder).arg(i, 3, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != size)
            fail(QStringLiteral("Cannot write %1").arg(file.fileName()));
        paths << file.fileName();
    }
    return paths;
}

// How long the run took, and the longest event-loop gap meanwhile. start
// connects the loop's exit to the run's end (exit code 0 for success).
QPair<double, double> timeRun(const std::function<void(QEventLoop &)> &start)
{
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    int result = 1;
    const double gap = longestGapWhile([&] {
        start(loop);
        result = loop.exec();
    });
    if (result != 0)
        fail(QStringLiteral("A compression run failed"));
    return {msSince(clock), gap};
}

} // namespace

QList<Figure> measureCompression(const Sandbox &sandbox, const QString &archiver)
{
    const QStringList paths = makeMixedFiles(sandbox.path(QStringLiteral("mixed")));
    const QString destination = sandbox.path(QStringLiteral("archive.7z"));
    const QString alone = QStringLiteral("`7zz` run alone, same command line");
    Figure time{QStringLiteral("Compress 200 MB in 300 files"), alone, Figure::Goal::RatioAtMost, 1.05};
    Figure gap{QStringLiteral("Longest event-loop gap, compressing"), alone, Figure::Goal::Below, 50.0};

    // In turns, so that the disk cache and the processor's clock treat both alike.
    for (int run = 0; run < 3; ++run) {
        QFile::remove(destination);
        ArchiveJob job;
        const auto [jobMs, jobGap] = timeRun([&](QEventLoop &loop) {
            QObject::connect(&job, &ArchiveJob::finished, &loop, [&loop](ArchiveJob::Outcome outcome) {
                loop.exit(outcome == ArchiveJob::Outcome::Succeeded ? 0 : 1);
            });
            job.start(archiver, destination, paths);
        });
        QFile::remove(destination);
        QProcess process;
        // Its output read and dropped as it comes, so that its pipe never fills.
        process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&process, &QProcess::readyRead, &process, [&process] { process.readAll(); });
        const auto [aloneMs, aloneGap] = timeRun([&](QEventLoop &loop) {
            QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::exit);
            QObject::connect(&process, &QProcess::errorOccurred, &loop, [&loop] { loop.exit(1); });
            process.start(archiver, ArchiverCommand::arguments(destination, paths));
        });
        time.samples << jobMs;
        time.referenceSamples << aloneMs;
        gap.samples << jobGap;
        gap.referenceSamples << aloneGap;
    }
    QFile::remove(destination);
    return {time, gap};
}
