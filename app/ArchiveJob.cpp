#include "app/ArchiveJob.h"

#include "app/ChildProcessGuard.h"

#include "filelist/FolderWalk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

namespace {

const char *const successMarker = "Everything is Ok";

// Well under what Windows takes (32,767 characters, quotes included) and
// what Linux takes for all arguments: longer lists go in a list file.
constexpr qsizetype commandLineBudget = 16000;

// How long a killed archiver may take to be gone when the program ends.
constexpr int stopWaitMs = 5000;

bool isSegmentEnd(char c)
{
    // The archiver redraws its progress in place with backspaces.
    return c == '\b' || c == '\r' || c == '\n';
}

// The marker counts only as the whole of what its line finally shows: a file
// name holding the words must not pass for a success, and the archiver may
// print the marker over an erased progress line.
bool hasSuccessLine(const QByteArray &output)
{
    const QList<QByteArray> lines = output.split('\n');
    for (const QByteArray &line : lines) {
        const QByteArray trimmed = line.trimmed();
        const qsizetype redrawn = qMax(trimmed.lastIndexOf('\b'), trimmed.lastIndexOf('\r'));
        if (trimmed.mid(redrawn + 1).trimmed() == successMarker)
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
}

ArchiveJob::~ArchiveJob()
{
    stopNow();
    removeListFile();
}

QStringList ArchiveJob::arguments(const QString &archive, const QStringList &paths,
                                  const QString &listFile)
{
    // -spd: names are taken literally (no wildcards), and without -r no
    // same-named file from a subfolder slips in. -sse: an input that cannot
    // be opened fails the run instead of leaving an archive without it.
    // -sae: the archive gets exactly the name given, no ".zip" added (which
    // would add to another archive of that name). -bsp1: the percentage on
    // standard output.
    QStringList args{QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-spd"),
                     QStringLiteral("-sse"), QStringLiteral("-sae"), QStringLiteral("-bsp1")};
    if (listFile.isEmpty())
        return args << archive << paths;
    // A name a list file cannot hold goes on the command line beside it.
    args << QStringLiteral("-scsUTF-8") << archive << QLatin1Char('@') + listFile;
    for (const QString &path : paths) {
        if (!fitsListFile(path))
            args << path;
    }
    return args;
}

// The archiver reads a list file line by line, ending a line at a line feed
// or a carriage return.
bool ArchiveJob::fitsListFile(const QString &path)
{
    return !path.contains(QLatin1Char('\n')) && !path.contains(QLatin1Char('\r'));
}

// The archiver trims spaces and tabs at both ends of each line, then strips
// one pair of double quotes around what is left: quoted, every name comes
// back exactly as it is, spaces and quotes at its ends included.
QByteArray ArchiveJob::listFileLine(const QString &path)
{
    return '"' + QDir::toNativeSeparators(path).toUtf8() + "\"\n";
}

bool ArchiveJob::needsListFile(const QString &archive, const QStringList &paths)
{
    qsizetype length = archive.size() + 64;
    for (const QString &path : paths)
        length += path.size() + 3;
    return length > commandLineBudget;
}

QStringList ArchiveJob::unusableNames(const QStringList &paths, const std::atomic_bool *cancelled)
{
    QStringList names;
    for (const QString &path : paths) {
        if (cancelled && cancelled->load())
            break;
        const QString name = QFileInfo(path).fileName();
        switch (FolderWalk::kindOf(path)) {
        case FolderWalk::Kind::Folder:
            names << FolderWalk::walk(path, FolderWalk::Purpose::Check, -1, cancelled).unusable;
            break;
        case FolderWalk::Kind::RegularFile:
            if (!FolderWalk::canRead(path))
                names << name;
            break;
        case FolderWalk::Kind::Missing:
        case FolderWalk::Kind::Special:
            names << name;
            break;
        }
    }
    return names;
}

ArchiveJob::Outcome ArchiveJob::judge(const QByteArray &standardOutput, int exitCode,
                                      bool archiveExists)
{
    // A warning exit leaves an archive that lacks some of the files, and a
    // marker without an archive on disk is no archive at all.
    if ((exitCode == 0 || hasSuccessLine(standardOutput)) && archiveExists)
        return Outcome::Succeeded;
    return Outcome::Failed;
}

void ArchiveJob::start(const QString &program, const QString &archivePath, const QStringList &paths)
{
    if (running)
        return;
    archive = archivePath;
    archiveExisted = existsOrIsLink(archive);
    running = true;
    cancelRequested = false;
    currentPercent = 0;
    standardOutput.clear();
    pendingSegment.clear();

    QStringList args;
    if (!needsListFile(archive, paths))
        args = arguments(archive, paths);
    else if (writeListFile(paths))
        args = arguments(archive, paths, listFilePath);

    process = new QProcess(this);
    // Whatever the archiver might ask for would never be answered: it reads
    // end-of-file instead of waiting for ever. Its error output is not read.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    ChildProcessGuard::prepare(process);
    connect(process, &QProcess::started, this, [this] { ChildProcessGuard::adopt(process); });
    connect(process, &QProcess::readyReadStandardOutput, this, &ArchiveJob::readStandardOutput);
    connect(process, &QProcess::finished, this, &ArchiveJob::onProcessFinished);
    connect(process, &QProcess::errorOccurred, this, &ArchiveJob::onProcessError);
    if (args.isEmpty()) {
        finish(Outcome::Failed);
        return;
    }
    process->start(program, args, QIODevice::ReadOnly);
}

bool ArchiveJob::writeListFile(const QStringList &paths)
{
    // A QTemporaryFile keeps its handle open until it goes, and Windows will
    // not let the archiver read a file that is still open for writing: the
    // file is closed here, and this job removes it after the run.
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/brimlet-list-XXXXXX.txt"));
    file.setAutoRemove(false);
    if (!file.open())
        return false;
    listFilePath = file.fileName();
    for (const QString &path : paths) {
        if (fitsListFile(path))
            file.write(listFileLine(path));
    }
    return file.flush() && file.error() == QFileDevice::NoError;
}

void ArchiveJob::removeListFile()
{
    if (!listFilePath.isEmpty())
        QFile::remove(listFilePath);
    listFilePath.clear();
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
    process->kill();
}

void ArchiveJob::stopNow()
{
    if (!running)
        return;
    cancel();
    if (running && !process->waitForFinished(stopWaitMs))
        finish(Outcome::Cancelled);
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
    QString latestFile = currentFile;
    for (const QByteArray &segment : segments) {
        latest = percentIn(segment, latest);
        latestFile = fileIn(segment, latestFile);
    }
    const bool percentMoved = latest != currentPercent;
    const bool fileMoved = latestFile != currentFile;
    currentPercent = latest;
    currentFile = latestFile;
    if (fileMoved)
        emit fileChanged(latestFile);
    if (percentMoved)
        emit progressChanged(latest);
}

// A progress line reads " 42% 3 + path/to/file": the share done, how many
// files are done (left out before the first), and the file being added.
QString ArchiveJob::fileIn(const QByteArray &segment, const QString &otherwise)
{
    static const QRegularExpression adding(QStringLiteral("^\\s*\\d{1,3}%(?:\\s+\\d+)?\\s+\\+\\s+(.+)$"));
    const QRegularExpressionMatch match = adding.match(QString::fromUtf8(segment));
    return match.hasMatch() ? match.captured(1) : otherwise;
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

void ArchiveJob::onProcessFinished(int exitCode, QProcess::ExitStatus status)
{
    if (!running)
        return;
    readStandardOutput();
    if (cancelRequested)
        finish(Outcome::Cancelled);
    else if (status == QProcess::CrashExit)
        finish(Outcome::Failed);
    else
        finish(judge(standardOutput, exitCode, existsOrIsLink(archive)));
}

void ArchiveJob::onProcessError(QProcess::ProcessError error)
{
    // A crash is followed by finished(); a failed start is not.
    if (error == QProcess::FailedToStart && running)
        finish(Outcome::Failed);
}

void ArchiveJob::finish(Outcome outcome)
{
    // Nothing was at the archive's name before this run, so whatever is
    // there now is this run's own partial or incomplete archive.
    if (outcome != Outcome::Succeeded && !archiveExisted && existsOrIsLink(archive))
        QFile::remove(archive);
    removeListFile();
    process->disconnect(this);
    process->deleteLater();
    process = nullptr;
    running = false;
    emit finished(outcome);
}
