#include "app/CompressionRun.h"

#include "app/TerminationWatch.h"
#include "disk/FolderWalk.h"
#include "disk/NoReplaceMove.h"
#include "disk/PrivateFolder.h"
#include "filelist/BackgroundWork.h"
#include "ui/MessageBox.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <memory>

namespace {

const char *const existsText = "File with this name already exists";
const char *const failedText = "Compression failed!";
const char *const unusableText = "Some of the listed files no longer exist or cannot be read: ";
const char *const deniedText =
    "You are unable to save the file in the specified destination. To resolve this, kindly run "
    "the app as an administrator or choose an alternative destination.";

constexpr int namesShown = 5;

std::function<QStringList(const QStringList &)> &checkForTests()
{
    static std::function<QStringList(const QStringList &)> check;
    return check;
}

// A long list would not fit the box: the first few names, then how many more.
QString unusableMessage(const QStringList &names)
{
    QString text = QString::fromLatin1(unusableText) + names.mid(0, namesShown).join(QStringLiteral(", "));
    if (names.size() > namesShown)
        text += QStringLiteral(", and %1 more").arg(names.size() - namesShown);
    return text;
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

CompressionRun::Ending CompressionRun::exec(const QString &destination, const QStringList &paths)
{
    if (FolderWalk::existsOrIsLink(destination))
        return stopBeforeArchiver(QString::fromLatin1(existsText));

    dialog.show();
    const QStringList unusable = findUnusable(paths);
    // Cancelled while checking: nothing was started, nothing to tell.
    if (ending || cancelRequested)
        return stopBeforeArchiver(QString());
    if (!unusable.isEmpty())
        return stopBeforeArchiver(unusableMessage(unusable));
    // The archiver writes into a folder of our own beside the destination,
    // under the destination's own name, and only a finished archive comes
    // out of it: nobody else who may write beside the destination can add
    // to the archive, swap it, or see it half-written. Not being able to
    // make the folder is how the program finds, in any language, that it
    // may not write there: the archiver's own words for it are the
    // system's, and would blame a listed file's access error on the
    // destination as well.
    const PrivateFolder folder(QFileInfo(destination).absolutePath());
    if (!folder.isValid())
        return stopBeforeArchiver(QString::fromLatin1(deniedText));
    const QString archive = folder.filePath(QFileInfo(destination).fileName());

    dialog.setText(QStringLiteral("Compressing..."));
    const ArchiveJob::Outcome outcome = runArchiver(archive, paths);
    return conclude(outcome, archive, destination, paths);
}

CompressionRun::Ending CompressionRun::stopBeforeArchiver(const QString &message)
{
    dialog.hide();
    if (!message.isEmpty())
        MessageBox::tell(message);
    return Ending::BeforeArchiver;
}

QStringList CompressionRun::findUnusable(const QStringList &paths)
{
    // Off the GUI thread: a large folder on a slow disk takes its time, and
    // the window keeps painting meanwhile. The worker has its own copy of
    // what it checks, so the wait may end at once on Cancel.
    auto stop = std::make_shared<std::atomic_bool>(false);
    std::function<QStringList()> check = [paths, stop] { return FolderWalk::unusableNames(paths, stop.get()); };
    if (checkForTests())
        check = [paths, forTests = checkForTests()] { return forTests(paths); };
    QFutureWatcher<QStringList> watcher;
    QEventLoop loop;
    checking = &loop;
    connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    // On threads nothing waits for: a check stuck in a read must not keep
    // the program from ending.
    watcher.setFuture(QtConcurrent::run(BackgroundWork::workers(), check));
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

ArchiveJob::Outcome CompressionRun::runArchiver(const QString &archive, const QStringList &paths)
{
    ArchiveJob::Outcome outcome = ArchiveJob::Outcome::Failed;
    QEventLoop loop;
    connect(&job, &ArchiveJob::finished, &loop, [&outcome, &loop](ArchiveJob::Outcome result) {
        outcome = result;
        loop.quit();
    });
    job.start(archiver, archive, paths);
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

CompressionRun::Ending CompressionRun::conclude(ArchiveJob::Outcome outcome, const QString &archive,
                                                const QString &destination, const QStringList &paths)
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
        tellFailure(paths);
        return Ending::Failed;
    }
    if (!moveWithoutReplacing(archive, destination)) {
        const bool taken = FolderWalk::existsOrIsLink(destination);
        MessageBox::tell(QString::fromLatin1(taken ? existsText : failedText));
        return Ending::Failed;
    }
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

void CompressionRun::tellFailure(const QStringList &paths)
{
    // A listed file that turned unreadable during the run is what failed
    // it; the archiver's words for that are the system's, in any language.
    const QStringList unusable = findUnusable(paths);
    dialog.hide();
    if (ending)
        return;
    if (!unusable.isEmpty()) {
        MessageBox::tell(unusableMessage(unusable));
        return;
    }
    // Otherwise the file 7-Zip failed on, as its output names it (a file
    // held open by another program, a read that failed midway), on a line
    // of its own under the verdict.
    const QString failed = ArchiverOutput::failedFileIn(job.output(), paths);
    MessageBox::tell(QString::fromLatin1(failedText) + (failed.isEmpty() ? QString() : QLatin1Char('\n') + failed));
}
