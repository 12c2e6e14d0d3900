#include "app/ArchiveJob.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

const char *const successMarker = "Everything is Ok";
const char *const deniedMarkers[] = {"Access is denied.", "Permission denied"};

// How long a stopped archiver may take to tidy up before it is killed.
constexpr int killGraceMs = 3000;

bool isSegmentEnd(char c)
{
    // The archiver redraws its progress in place with backspaces.
    return c == '\b' || c == '\r' || c == '\n';
}

// The marker counts only on a line of its own: a file name that contains the
// words (echoed in progress or warnings) must not pass for a success.
bool hasSuccessLine(const QByteArray &output)
{
    const QList<QByteArray> lines = output.split('\n');
    for (const QByteArray &line : lines) {
        if (line.trimmed() == successMarker)
            return true;
    }
    return false;
}

bool existsOrIsLink(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

ArchiveJob::ArchiveJob(QObject *parent)
    : QObject(parent)
{
    killTimer.setSingleShot(true);
    killTimer.setInterval(killGraceMs);
    connect(&killTimer, &QTimer::timeout, this, [this] {
        if (process)
            process->kill();
    });
}

QStringList ArchiveJob::arguments(const QString &destination, const QStringList &paths)
{
    // -spd: names are taken literally (no wildcards), and without -r no
    // same-named file from a subfolder slips in. -sse: an input that cannot
    // be opened fails the run instead of leaving an archive without it.
    // -bsp1: the percentage on standard output.
    QStringList args{QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-spd"),
                     QStringLiteral("-sse"), QStringLiteral("-bsp1"), destination};
    args += paths;
    return args;
}

QStringList ArchiveJob::unusablePaths(const QStringList &paths)
{
    QStringList unusable;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (!info.exists() || !info.isReadable())
            unusable << path;
    }
    return unusable;
}

ArchiveJob::Outcome ArchiveJob::judge(const QByteArray &standardOutput, const QByteArray &standardError,
                                      int exitCode, bool archiveExists)
{
    if (hasSuccessLine(standardOutput))
        return Outcome::Succeeded;
    // Without the marker, an archive is trusted only from a clean exit: a
    // warning exit leaves an archive that lacks some of the files.
    if (exitCode == 0 && archiveExists)
        return Outcome::Succeeded;
    // Windows words it one way, POSIX systems the other; on Linux the
    // archiver prints it on standard error.
    const QByteArray all = standardOutput + '\n' + standardError;
    for (const char *marker : deniedMarkers) {
        if (all.contains(marker))
            return Outcome::AccessDenied;
    }
    return Outcome::Failed;
}

void ArchiveJob::start(const QString &program, const QString &destinationPath, const QStringList &paths)
{
    if (running)
        return;
    destination = destinationPath;
    destinationExisted = existsOrIsLink(destination);
    running = true;
    cancelRequested = false;
    currentPercent = 0;
    standardOutput.clear();
    standardError.clear();
    pendingSegment.clear();

    process = new QProcess(this);
    // Whatever the archiver might ask for would never be answered: it reads
    // end-of-file instead of waiting for ever.
    process->setStandardInputFile(QProcess::nullDevice());
    connect(process, &QProcess::readyReadStandardOutput, this, &ArchiveJob::readStandardOutput);
    connect(process, &QProcess::readyReadStandardError, this, &ArchiveJob::readStandardError);
    connect(process, &QProcess::finished, this, &ArchiveJob::onProcessFinished);
    connect(process, &QProcess::errorOccurred, this, &ArchiveJob::onProcessError);
    process->start(program, arguments(destination, paths), QIODevice::ReadOnly);
}

bool ArchiveJob::isRunning() const
{
    return running;
}

int ArchiveJob::percent() const
{
    return currentPercent;
}

void ArchiveJob::cancel()
{
    if (!running || cancelRequested)
        return;
    cancelRequested = true;
    process->terminate();
    killTimer.start();
}

void ArchiveJob::consumeOutput(const QByteArray &chunk)
{
    standardOutput += chunk;
    pendingSegment += chunk;
    QList<QByteArray> segments;
    qsizetype segmentStart = 0;
    for (qsizetype i = 0; i < pendingSegment.size(); ++i) {
        if (isSegmentEnd(pendingSegment.at(i))) {
            segments << pendingSegment.mid(segmentStart, i - segmentStart);
            segmentStart = i + 1;
        }
    }
    // An unfinished segment waits for the rest of it in the next piece.
    pendingSegment.remove(0, segmentStart);

    // Reported once per piece, after the buffers are settled: a receiver may
    // well run the event loop and bring in the next piece meanwhile.
    int latest = currentPercent;
    for (const QByteArray &segment : segments)
        latest = percentIn(segment, latest);
    if (latest == currentPercent)
        return;
    currentPercent = latest;
    emit progressChanged(latest);
}

int ArchiveJob::percentIn(const QByteArray &segment, int otherwise)
{
    static const QRegularExpression percentage(QStringLiteral("^\\s*(\\d{1,3})%"));
    const QRegularExpressionMatch match = percentage.match(QString::fromUtf8(segment));
    if (!match.hasMatch())
        return otherwise;
    return qMin(match.captured(1).toInt(), 100);
}

void ArchiveJob::readStandardOutput()
{
    consumeOutput(process->readAllStandardOutput());
}

void ArchiveJob::readStandardError()
{
    standardError += process->readAllStandardError();
}

void ArchiveJob::onProcessFinished(int exitCode, QProcess::ExitStatus status)
{
    if (!running)
        return;
    readStandardOutput();
    readStandardError();
    if (cancelRequested)
        finish(Outcome::Cancelled);
    else if (status == QProcess::CrashExit)
        finish(Outcome::Failed);
    else
        finish(judge(standardOutput, standardError, exitCode, existsOrIsLink(destination)));
}

void ArchiveJob::onProcessError(QProcess::ProcessError error)
{
    // A crash is followed by finished(); a failed start is not.
    if (error == QProcess::FailedToStart && running)
        finish(Outcome::Failed);
}

void ArchiveJob::finish(Outcome outcome)
{
    killTimer.stop();
    // Nothing was at the destination before this run, so whatever is there
    // now is this run's own partial or incomplete archive.
    if (outcome != Outcome::Succeeded && !destinationExisted && existsOrIsLink(destination))
        QFile::remove(destination);
    process->deleteLater();
    process = nullptr;
    running = false;
    emit finished(outcome);
}
