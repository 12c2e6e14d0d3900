#include "filelist/BackgroundWork.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QtConcurrent>

namespace {

constexpr int dialogRefreshMs = 100;

} // namespace

bool BackgroundWork::Progress::isCancelled() const
{
    return cancelled.load();
}

const std::atomic_bool *BackgroundWork::Progress::cancelFlag() const
{
    return &cancelled;
}

void BackgroundWork::Progress::report(qint64 done, qint64 total)
{
    percent.store(total > 0 ? int(qBound(qint64(0), done * 100 / total, qint64(100))) : -1);
}

BackgroundWork::BackgroundWork(const QString &labelText, QWidget *dialogParent)
    : labelText(labelText)
    , dialogParent(dialogParent)
{
}

bool BackgroundWork::run(const std::function<void(Progress &)> &work)
{
    Progress progress;
    bool done = false;
    QEventLoop loop;
    QFutureWatcher<void> watcher;
    QObject::connect(&watcher, &QFutureWatcher<void>::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    watcher.setFuture(QtConcurrent::run([&work, &progress] { work(progress); }));

    // Most work is over before anyone would notice. Until the dialog shows,
    // clicks and keys wait for later: the caller holds on to the list's rows
    // and must not see them removed under its feet.
    QTimer delay;
    delay.setSingleShot(true);
    QObject::connect(&delay, &QTimer::timeout, &loop, &QEventLoop::quit);
    delay.start(dialogDelayMs);
    if (!done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    delay.stop();

    if (!done)
        waitWithDialog(progress, loop);
    return !progress.isCancelled();
}

void BackgroundWork::waitWithDialog(Progress &progress, QEventLoop &loop)
{
    QWidget *parent = dialogParent ? dialogParent->window() : nullptr;
    QProgressDialog dialog(labelText, QStringLiteral("Cancel"), 0, 100, parent);
    dialog.setWindowTitle(QStringLiteral("Brimlet"));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAutoReset(false);
    dialog.setAutoClose(false);
    dialog.setMinimumDuration(0);
    // The dialog stays up, saying so, until the work has really stopped: a
    // read from a slow share may take a while to give control back, and
    // until then the list must stay out of the user's reach. Cancel and
    // Escape hide the dialog first; it is shown again at once.
    QTimer refresher;
    const auto cancel = [&] {
        progress.cancelled.store(true);
        refresher.stop();
        dialog.setLabelText(QStringLiteral("Cancelling..."));
        if (auto *button = dialog.findChild<QPushButton *>())
            button->setEnabled(false);
        dialog.show();
    };
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, cancel);
    QObject::connect(&dialog, &QDialog::rejected, &dialog, cancel);

    const auto refresh = [&] {
        const int percent = progress.percent.load();
        if (percent < 0) {
            dialog.setRange(0, 0);
        } else {
            dialog.setRange(0, 100);
            dialog.setValue(percent);
        }
    };
    QObject::connect(&refresher, &QTimer::timeout, &dialog, refresh);
    refresher.start(dialogRefreshMs);
    refresh();
    // Shown from the next turn of the loop: building the dialog for the
    // first time, showing it and painting it are then three short waits for
    // the window instead of one long one.
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.show(); });

    loop.exec();
}
