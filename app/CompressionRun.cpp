#include "app/CompressionRun.h"

#include "ui/MessageBox.h"
#include "app/NoReplaceMove.h"
#include "app/TerminationWatch.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryFile>
#include <QUrl>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

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

bool existsOrIsLink(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

CompressionRun::CompressionRun(const QString &archiverProgram, QWidget *window)
    : archiver(archiverProgram)
    , dialog(window)
{
    buildDialog();
}

void CompressionRun::buildDialog()
{
    dialog.setWindowTitle(QStringLiteral("Brimlet"));
    dialog.setWindowModality(Qt::ApplicationModal);
    label = new QLabel(QStringLiteral("Compressing..."));
    bar = new QProgressBar;
    bar->setRange(0, 100);
    bar->setValue(0);
    cancelButton = new QPushButton(QStringLiteral("Cancel"));
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(label);
    layout->addWidget(bar);
    layout->addWidget(cancelButton, 0, Qt::AlignRight);

    connect(cancelButton, &QPushButton::clicked, this, &CompressionRun::requestCancel);
    connect(&job, &ArchiveJob::progressChanged, bar, &QProgressBar::setValue);
    // Escape and the window's close button cancel, but the dialog stays
    // until the archiver has ended.
    dialog.installEventFilter(this);
}

void CompressionRun::setCheckForTests(std::function<QStringList(const QStringList &)> check)
{
    checkForTests() = std::move(check);
}

CompressionRun::Ending CompressionRun::exec(const QString &destination, const QStringList &paths)
{
    if (existsOrIsLink(destination))
        return stopBeforeArchiver(QString::fromLatin1(existsText));

    dialog.show();
    const QStringList unusable = findUnusable(paths);
    // Cancelled while checking: nothing was started, nothing to tell.
    if (ending || cancelRequested)
        return stopBeforeArchiver(QString());
    if (!unusable.isEmpty())
        return stopBeforeArchiver(unusableMessage(unusable));
    // Found here, in any language: the archiver's own words for it are the
    // system's, and would blame a listed file's access error on the
    // destination as well.
    const QString archive = reserveTemporaryName(destination);
    if (archive.isEmpty())
        return stopBeforeArchiver(QString::fromLatin1(deniedText));

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
    // the window keeps painting meanwhile.
    const auto check = checkForTests() ? checkForTests() : &ArchiveJob::unusableNames;
    QFutureWatcher<QStringList> watcher;
    QEventLoop loop;
    connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run(check, paths));
    if (!watcher.isFinished())
        loop.exec();
    if (!watcher.isFinished()) {
        // The program is ending.
        ending = true;
        return {};
    }
    return watcher.result();
}

QString CompressionRun::reserveTemporaryName(const QString &destination)
{
    // The archiver must create the file itself (it takes an existing empty
    // file for a broken archive), so the name is only tried out here.
    const QFileInfo info(destination);
    QTemporaryFile probe(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                         + QStringLiteral(".part-XXXXXX"));
    if (!probe.open())
        return QString();
    return probe.fileName();
}

ArchiveJob::Outcome CompressionRun::runArchiver(const QString &archive, const QStringList &paths)
{
    TerminationWatch termination;
    connect(&termination, &TerminationWatch::requested, this, &CompressionRun::onTerminationRequested);

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
    label->setText(QStringLiteral("Cancelling..."));
    cancelButton->hide();
    job.cancel();
}

void CompressionRun::onTerminationRequested()
{
    QCoreApplication::exit(0);
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
        const bool taken = existsOrIsLink(destination);
        QFile::remove(archive);
        MessageBox::tell(QString::fromLatin1(taken ? existsText : failedText));
        return Ending::Failed;
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
    const QString failed = ArchiveJob::failedFileIn(job.output(), paths);
    MessageBox::tell(QString::fromLatin1(failedText) + (failed.isEmpty() ? QString() : QLatin1Char('\n') + failed));
}

bool CompressionRun::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &dialog) {
        const bool escape = event->type() == QEvent::KeyPress
                            && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape;
        // A close from the program itself (quitting) goes through.
        const bool closedByUser = event->type() == QEvent::Close && event->spontaneous();
        if (escape || closedByUser) {
            event->ignore();
            requestCancel();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
