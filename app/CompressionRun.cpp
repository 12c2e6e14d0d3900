#include "app/CompressionRun.h"

#include "app/RunMessages.h"
#include "app/TerminationWatch.h"
#include "disk/FolderWalk.h"
#include "disk/PrivateFolder.h"
#include "filelist/BackgroundWork.h"
#include "ui/MessageBox.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QStorageInfo>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <memory>

namespace {

// Deflate packs at most 1032 bytes into one; every entry of a ZIP archive
// has a local and a central header (30 and 46 bytes) with its name in each,
// and the archive ends with a record of 22 bytes.
constexpr qint64 mostPackedPerByte = 1032;
constexpr qint64 headerBytes = 76;
constexpr qint64 endRecordBytes = 22;

std::function<QStringList(const QStringList &)> &checkForTests()
{
    static std::function<QStringList(const QStringList &)> check;
    return check;
}

std::function<void(CompressionRun::Moment, const QString &)> &pauseForTests()
{
    static std::function<void(CompressionRun::Moment, const QString &)> pause;
    return pause;
}

void pause(CompressionRun::Moment moment, const QString &folder)
{
    if (pauseForTests())
        pauseForTests()(moment, folder);
}

// The least any archive of these files can take: more free space than that
// on the destination's disk is no sign that the archive will not fit, less
// is a certainty that it will not.
qint64 leastArchiveBytes(const QStringList &paths, qint64 bytes)
{
    qint64 least = endRecordBytes + bytes / mostPackedPerByte;
    for (const QString &path : paths)
        least += headerBytes + 2 * QFileInfo(path).fileName().toUtf8().size();
    return least;
}

} // namespace

CompressionRun::CompressionRun(const QString &archiverProgram, QWidget *window, TerminationWatch *termination)
    : archiver(archiverProgram)
    , termination(termination)
    , dialog(QStringLiteral("Checking the files..."), window)
{
    buildDialog();
}

void CompressionRun::buildDialog()
{
    connect(&dialog, &ProgressDialog::cancelRequested, this, &CompressionRun::requestCancel);
    connect(&job, &ArchiveJob::progressChanged, &dialog, &ProgressDialog::setValue);
    connect(&job, &ArchiveJob::fileChanged, &dialog, &ProgressDialog::setDetail);
}

void CompressionRun::setCheckForTests(std::function<QStringList(const QStringList &)> check)
{
    checkForTests() = std::move(check);
}

void CompressionRun::setPauseForTests(std::function<void(Moment, const QString &)> pause)
{
    pauseForTests() = std::move(pause);
}

CompressionRun::Ending CompressionRun::exec(const QString &destination, const QStringList &paths, bool replace)
{
    if (!replace && FolderWalk::existsOrIsLink(destination))
        return stopBeforeArchiver(RunMessages::exists(destination));

    dialog.show();
    const Check checked = check(paths);
    // Cancelled while checking: nothing was started, nothing to tell.
    if (ending || cancelRequested)
        return stopBeforeArchiver(QString());
    if (!checked.unusable.isEmpty())
        return stopBeforeArchiver(RunMessages::unusable(checked.unusable));
    const QString folderPath = QFileInfo(destination).absolutePath();
    const qint64 needed = leastArchiveBytes(paths, checked.bytes);
    const QStorageInfo disk(folderPath);
    if (disk.isValid() && disk.isReady() && disk.bytesAvailable() < needed)
        return stopBeforeArchiver(RunMessages::notEnoughSpace(folderPath, disk.bytesAvailable(), needed));
    // The archiver writes into a folder of our own beside the destination,
    // under the destination's own name, and only a finished archive comes
    // out of it: nobody else who may write beside the destination can add
    // to the archive, swap it, or see it half-written. Not being able to
    // make the folder is how the program finds, in any language, that it
    // may not write there: the archiver's own words for it are the
    // system's, and would blame a listed file's access error on the
    // destination as well.
    const PrivateFolder folder(folderPath);
    if (!folder.isValid())
        return stopBeforeArchiver(RunMessages::cannotWrite(folderPath));

    pause(Moment::ArchiverStarts, folder.path());
    dialog.setText(QStringLiteral("Compressing..."));
    const ArchiveJob::Outcome outcome = runArchiver(folder, QFileInfo(destination).fileName(), paths);
    return conclude(outcome, folder, destination, paths, replace);
}

CompressionRun::Ending CompressionRun::stopBeforeArchiver(const QString &message)
{
    dialog.hide();
    if (!message.isEmpty())
        MessageBox::tell(message);
    return Ending::BeforeArchiver;
}

CompressionRun::Check CompressionRun::check(const QStringList &paths)
{
    // Off the GUI thread: a large folder on a slow disk takes its time, and
    // the window keeps painting meanwhile. The worker has its own copy of
    // what it checks, so the wait may end at once on Cancel.
    auto stop = std::make_shared<std::atomic_bool>(false);
    std::function<Check()> work = [paths, stop] {
        Check result;
        result.unusable = FolderWalk::unusableNames(paths, stop.get(), &result.bytes);
        return result;
    };
    if (checkForTests())
        work = [paths, forTests = checkForTests()] { return Check{forTests(paths), 0}; };
    QFutureWatcher<Check> watcher;
    QEventLoop loop;
    checking = &loop;
    connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    // On threads nothing waits for: a check stuck in a read must not keep
    // the program from ending.
    watcher.setFuture(QtConcurrent::run(BackgroundWork::workers(), work));
    if (!watcher.isFinished())
        loop.exec();
    checking = nullptr;
    if (!watcher.isFinished()) {
        stop->store(true);
        // Cancelled, or the program is ending.
        ending = ending || !cancelRequested;
        return {};
    }
    return watcher.result();
}

ArchiveJob::Outcome CompressionRun::runArchiver(const PrivateFolder &folder, const QString &name,
                                                const QStringList &paths)
{
    ArchiveJob::Outcome outcome = ArchiveJob::Outcome::Failed;
    QEventLoop loop;
    connect(&job, &ArchiveJob::finished, &loop, [&outcome, &loop](ArchiveJob::Outcome result) {
        outcome = result;
        loop.quit();
    });
    job.start(archiver, folder, name, paths);
    if (job.isRunning())
        loop.exec();
    if (job.isRunning()) {
        // The loop was ended from outside: the program is ending, and the
        // archiver and its archive must go before it does.
        ending = true;
        job.stopNow();
    }
    return outcome;
}

void CompressionRun::requestCancel()
{
    if (cancelRequested)
        return;
    cancelRequested = true;
    dialog.showCancelling();
    if (checking)
        checking->quit();
    job.cancel();
}

CompressionRun::Ending CompressionRun::conclude(ArchiveJob::Outcome outcome, const PrivateFolder &folder,
                                                const QString &destination, const QStringList &paths, bool replace)
{
    if (outcome != ArchiveJob::Outcome::Failed)
        dialog.hide();
    if (ending)
        return Ending::Failed;
    if (outcome == ArchiveJob::Outcome::Cancelled) {
        MessageBox::tell(QStringLiteral("Compression cancelled."));
        return Ending::Failed;
    }
    if (outcome == ArchiveJob::Outcome::Failed) {
        tellFailure(paths, QFileInfo(destination).absolutePath());
        return Ending::Failed;
    }
    pause(Moment::ArchiverEnded, folder.path());
    // What the archiver wrote in our folder, found through its handle, goes
    // to the destination in one step.
    const QString name = QFileInfo(destination).fileName();
    if (folder.moveOut(name, name, replace) != PrivateFolder::Move::Moved)
        return tellMoveFailure(destination, replace);
    // Asked to end as the archiver ended: the archive is in place; the
    // program ends instead of asking about it.
    if (termination && termination->takeRequest()) {
        QCoreApplication::exit(0);
        return Ending::Succeeded;
    }
    if (MessageBox::offerOpen(QStringLiteral("Compression finished successfully!"),
                              QStringLiteral("7z file is saved in ") + QDir::toNativeSeparators(destination)))
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(destination).absolutePath()));
    return Ending::Succeeded;
}

CompressionRun::Ending CompressionRun::tellMoveFailure(const QString &destination, bool replace)
{
    const QString folder = QFileInfo(destination).absolutePath();
    if (!QFileInfo(folder).isDir())
        MessageBox::tell(RunMessages::cannotWrite(folder));
    else if (!FolderWalk::existsOrIsLink(destination))
        MessageBox::tell(QString::fromLatin1(RunMessages::failed));
    else
        MessageBox::tell(replace ? RunMessages::notReplaced(destination) : RunMessages::exists(destination));
    return Ending::Failed;
}

void CompressionRun::tellFailure(const QStringList &paths, const QString &folder)
{
    if (job.listFileFailed()) {
        dialog.hide();
        MessageBox::tell(RunMessages::temporaryFolder(QDir::tempPath()));
        return;
    }
    // A listed file that turned unreadable during the run is what failed
    // it; the archiver's words for that are the system's, in any language.
    const QStringList unusable = check(paths).unusable;
    dialog.hide();
    if (ending)
        return;
    if (!unusable.isEmpty()) {
        MessageBox::tell(RunMessages::unusable(unusable));
        return;
    }
    if (ArchiverOutput::saysDiskFull(job.output())) {
        MessageBox::tell(RunMessages::diskFull(folder));
        return;
    }
    // Otherwise the file 7-Zip failed on, as its output names it (a file
    // held open by another program, a read that failed midway), on a line
    // of its own under the verdict.
    MessageBox::tell(RunMessages::failedOn(ArchiverOutput::failedFileIn(job.output(), paths)));
}
