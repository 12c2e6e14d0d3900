#include "app/ArchiveJob.h"

#include "app/ChildProcessGuard.h"

#include "filelist/FolderWalk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <utility>

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

// What a line of output finally shows: the archiver redraws in place with
// backspaces and carriage returns, and ends lines with CR LF on Windows.
QString shownText(QByteArray line)
{
    while (line.endsWith('\r'))
        line.chop(1);
    const qsizetype redrawn = qMax(line.lastIndexOf('\b'), line.lastIndexOf('\r'));
    return QString::fromUtf8(line.mid(redrawn + 1));
}

#if defined(Q_OS_WIN)
constexpr Qt::CaseSensitivity pathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity pathCase = Qt::CaseSensitive;
#endif

// Either, everywhere: a line that starts with a listed path and goes on
// with a backslash names something inside it only on Windows, but nothing
// else that starts so can be in the archiver's output.
bool isSeparator(QChar c)
{
    return c == QLatin1Char('\\') || c == QLatin1Char('/');
}

const QLatin1String messageSeparator(" : ");

// The path a line of output begins with, when it is the listed path or lies
// inside it: the whole line, or what comes before " : " and the system's
// words for the failure.
QString pathAtStart(const QString &text, const QString &listed)
{
    if (listed.isEmpty() || !text.startsWith(listed, pathCase))
        return QString();
    const QString rest = text.mid(listed.size());
    if (rest.trimmed().isEmpty() || rest.startsWith(messageSeparator))
        return text.left(listed.size());
    if (!isSeparator(rest.at(0)) && !isSeparator(listed.back()))
        return QString();
    const qsizetype message = text.indexOf(messageSeparator, listed.size());
    return message < 0 ? text : text.left(message);
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
    // would add to another archive of that name). -mcu=on: every name is
    // stored in UTF-8 with the ZIP format's flag for it; without it the
    // Windows 7-Zip stores a name that fits the system's old DOS code page in
    // that code page, unflagged, and every other computer reads it wrongly.
    // -bsp1: the percentage on standard output; -bse1: the errors there too,
    // in order, and -sccUTF-8 writes both in UTF-8, so that the path of a
    // file that failed reads back whatever the system's code page.
    QStringList args{QStringLiteral("a"),    QStringLiteral("-tzip"), QStringLiteral("-spd"),
                     QStringLiteral("-sse"), QStringLiteral("-sae"),  QStringLiteral("-mcu=on"),
                     QStringLiteral("-bsp1"), QStringLiteral("-bse1"), QStringLiteral("-sccUTF-8")};
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

QString ArchiveJob::failedFileIn(const QByteArray &standardOutput, const QStringList &paths)
{
    // 7-Zip names the file it failed on in a line of its own after its
    // message ("WARNING: " and the system's words, in the user's language),
    // and in its closing summary as "<path> : <the system's words>". Its own
    // words are English; the path is the path in any language.
    // As listed, and as the system writes paths (7-Zip's way on Windows).
    QStringList listed;
    for (const QString &path : paths)
        listed << path << QDir::toNativeSeparators(path);
    listed.removeDuplicates();
    const QList<QByteArray> lines = standardOutput.split('\n');
    for (const QByteArray &line : lines) {
        const QString text = shownText(line);
        for (const QString &path : std::as_const(listed)) {
            const QString named = pathAtStart(text, path);
            if (!named.isEmpty())
                return named;
        }
    }
    return QString();
}

void ArchiveJob::start(const QString &program, const QString &archivePath, const QStringList &paths)
{
    if (running)
        return;
    archive = archivePath;
    archiveExisted = FolderWalk::existsOrIsLink(archive);
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
    // end-of-file instead of waiting for ever. Its errors come on standard
    // output (-bse1); what little else it might write elsewhere is not read.
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

const QByteArray &ArchiveJob::output() const
{
    return standardOutput;
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
        finish(judge(standardOutput, exitCode, FolderWalk::existsOrIsLink(archive)));
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
    if (outcome != Outcome::Succeeded && !archiveExisted && FolderWalk::existsOrIsLink(archive))
        QFile::remove(archive);
    removeListFile();
    process->disconnect(this);
    process->deleteLater();
    process = nullptr;
    running = false;
    emit finished(outcome);
}
