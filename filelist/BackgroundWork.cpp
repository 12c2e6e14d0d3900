#include "filelist/BackgroundWork.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QMutex>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent>

namespace {

QMutex pauseLock;
std::function<void()> &pauseForTestsFunction()
{
    static std::function<void()> pause;
    return pause;
}

// Enough for every read a user could leave stuck, with room for new work.
constexpr int mostWorkers = 64;

} // namespace

QThreadPool *BackgroundWork::workers()
{
    static QThreadPool *const pool = [] {
        auto *threads = new QThreadPool; // never deleted, so never waited for
        threads->setMaxThreadCount(mostWorkers);
        // Kept, not ended when idle: a thread of the Windows build must not
        // end before the process does (see StartupWarmUp).
        threads->setExpiryTimeout(-1);
        return threads;
    }();
    return pool;
}

const std::atomic_bool *BackgroundWork::Progress::cancelFlag() const
{
    return &cancelled;
}

void BackgroundWork::Progress::report(qint64 done, qint64 total)
{
    percent.store(total > 0 ? int(qBound(qint64(0), done * 100 / total, qint64(100))) : -1);
}

bool BackgroundWork::Progress::claimResult()
{
    int expected = Running;
    return state.compare_exchange_strong(expected, Claimed) || expected == Claimed;
}

bool BackgroundWork::Progress::abandon()
{
    int expected = Running;
    return state.compare_exchange_strong(expected, Abandoned) || expected == Abandoned;
}

void BackgroundWork::Progress::pauseForTests()
{
    std::function<void()> pause;
    {
        QMutexLocker locker(&pauseLock);
        pause = pauseForTestsFunction();
    }
    if (pause)
        pause();
}

void BackgroundWork::setPauseForTests(std::function<void()> pause)
{
    QMutexLocker locker(&pauseLock);
    pauseForTestsFunction() = std::move(pause);
}

BackgroundWork::BackgroundWork(QObject *parent)
    : QObject(parent)
{
}

bool BackgroundWork::run(const QString &labelText, const QString &detail, Task task)
{
    auto progress = std::make_shared<Progress>();
    current = progress;
    slowSaid = false;
    QEventLoop loop;
    waitingLoop = &loop;
    QFutureWatcher<void> watcher;
    connect(&watcher, &QFutureWatcher<void>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run(workers(), [task = std::move(task), progress] {
        task(*progress);
        progress->claimResult();
    }));

    // Most work is over before anyone would notice. Until then clicks and
    // keys wait for later; after that a modal dialog keeps them off the list.
    QTimer delay;
    delay.setSingleShot(true);
    connect(&delay, &QTimer::timeout, &loop, &QEventLoop::quit);
    delay.start(slowAfterMs);
    if (!watcher.isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    delay.stop();
    if (!watcher.isFinished() && current) {
        slowSaid = true;
        emit slow(labelText, detail);
        if (!watcher.isFinished() && current)
            loop.exec();
    }

    current.reset();
    waitingLoop = nullptr;
    if (slowSaid)
        emit ended();
    if (watcher.isFinished())
        return progress->state.load() == Progress::Claimed;
    // Cancelled, or the loop was ended from outside. Work that has already
    // claimed its result is only returning: it is waited for, as its result
    // has been taken.
    progress->cancelled.store(true);
    if (progress->abandon())
        return false;
    watcher.waitForFinished();
    return true;
}

bool BackgroundWork::isRunning() const
{
    return bool(current);
}

int BackgroundWork::percent() const
{
    return current ? current->percent.load() : -1;
}

void BackgroundWork::cancel()
{
    if (!current)
        return;
    current->cancelled.store(true);
    // Work that has just claimed its result is left to return it.
    if (!current->abandon())
        return;
    current.reset();
    waitingLoop->quit();
}
