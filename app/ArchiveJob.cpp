#include "app/ArchiveJob.h"

#include "app/ArchiverCommand.h"
#include "app/ChildProcessGuard.h"
#include "disk/FolderWalk.h"
#include "disk/PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <utility>

namespace {

// How long a killed archiver may take to be gone when the program ends.
constexpr int stopWaitMs = 5000;

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

void ArchiveJob::start(const QString &program, const QString &archivePath, const QStringList &paths)
{
    if (running)
        return;
    folder = nullptr;
    archive = archivePath;
    archiveExisted = FolderWalk::existsOrIsLink(archive);
    begin(program, archive, paths);
}

void ArchiveJob::start(const QString &program, const PrivateFolder &privateFolder, const QString &name,
                       const QStringList &paths)
{
    if (running)
        return;
    folder = &privateFolder;
    archiveName = name;
    archive = privateFolder.path() + QLatin1Char('/') + name;
    archiveExisted = false;
    begin(program, privateFolder.argumentFor(name), paths);
}

namespace {

// The archiver may start in another working folder: every path it is given
// is whole.
QString whole(const QString &path)
{
    return QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path);
}

} // namespace

void ArchiveJob::begin(const QString &program, const QString &archiveArgument, const QStringList &givenPaths)
{
    running = true;
    cancelRequested = false;
    listFileUnwritable = false;
    reader = ArchiverOutput();

    QStringList paths;
    for (const QString &path : givenPaths)
        paths << whole(path);
    const QString leftOut = folder ? folder->name() : QString();
    QStringList args;
    if (!ArchiverCommand::needsListFile(archiveArgument, paths))
        args = ArchiverCommand::arguments(archiveArgument, paths, QString(), leftOut);
    else if (writeListFile(paths))
        args = ArchiverCommand::arguments(archiveArgument, paths, listFilePath, leftOut);
    else
        listFileUnwritable = true;

    process = new QProcess(this);
    // Whatever the archiver might ask for would never be answered: it reads
    // end-of-file instead of waiting for ever. Its errors come on standard
    // output (-bse1); what little else it might write elsewhere is not read.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    ChildProcessGuard::prepare(process, folder ? folder->handleForChild() : -1);
    connect(process, &QProcess::started, this, [this] { ChildProcessGuard::adopt(process); });
    connect(process, &QProcess::readyReadStandardOutput, this, &ArchiveJob::readStandardOutput);
    connect(process, &QProcess::finished, this, &ArchiveJob::onProcessFinished);
    connect(process, &QProcess::errorOccurred, this, &ArchiveJob::onProcessError);
    if (args.isEmpty()) {
        finish(Outcome::Failed);
        return;
    }
    process->start(program.contains(QLatin1Char('/')) ? whole(program) : program, args, QIODevice::ReadOnly);
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
    listFilePath = whole(file.fileName());
    for (const QString &path : paths) {
        if (ArchiverCommand::fitsListFile(path))
            file.write(ArchiverCommand::listFileLine(path));
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
    return reader.percent();
}

const QByteArray &ArchiveJob::output() const
{
    return reader.all();
}

bool ArchiveJob::listFileFailed() const
{
    return listFileUnwritable;
}

// A success counts only for the file the archiver wrote: in a private
// folder, the regular file there, found through the folder's handle.
bool ArchiveJob::archiveWritten() const
{
    return folder ? folder->holdsFile(archiveName) : FolderWalk::existsOrIsLink(archive);
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
    const int percentBefore = reader.percent();
    const QString fileBefore = reader.file();
    // Reported once per piece, after the reader has settled: a receiver may
    // well run the event loop and bring in the next piece meanwhile.
    if (!reader.read(chunk))
        return;
    if (reader.file() != fileBefore)
        emit fileChanged(reader.file());
    if (reader.percent() != percentBefore)
        emit progressChanged(reader.percent());
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
        finish(ArchiverOutput::succeeded(reader.all(), exitCode, archiveWritten())
                   ? Outcome::Succeeded
                   : Outcome::Failed);
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
    // there now is this run's own partial or incomplete archive. A private
    // folder takes it with it when it goes.
    if (outcome != Outcome::Succeeded && !folder && !archiveExisted && FolderWalk::existsOrIsLink(archive))
        QFile::remove(archive);
    removeListFile();
    process->disconnect(this);
    process->deleteLater();
    process = nullptr;
    running = false;
    emit finished(outcome);
}
