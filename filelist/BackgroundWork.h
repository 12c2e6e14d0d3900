#pragma once

#include <QObject>
#include <QString>

class QEventLoop;
class QThreadPool;

#include <atomic>
#include <functional>
#include <memory>

// Runs one piece of disk work (a copy, a folder walk) on a worker thread
// while its caller waits in a local event loop, so that the window keeps
// painting and the caller still reads as plain sequential code. Whoever
// starts work here must not let the events that arrive meanwhile change what
// the work is for: the file list queues them.
//
// The worker owns everything it uses: the task is copied to it, and what it
// shares with the caller is held by both. So the caller may stop waiting at
// any moment (Cancel, the program ending) while the worker is still stuck in
// a read; the worker finishes on its own later and its result is dropped.
class BackgroundWork : public QObject
{
    Q_OBJECT

public:
    // What the work sees of its caller, from the worker thread.
    class Progress
    {
    public:
        // Turns true when the caller no longer wants the work done.
        const std::atomic_bool *cancelFlag() const;
        // How far the work is; a total of 0 or less means it is not known.
        void report(qint64 done, qint64 total);
        // For work whose result the caller cannot undo once taken: true when
        // the caller will take it, false when the caller has stopped
        // waiting, in which case the work undoes what it made itself.
        bool claimResult();
        // Test seam: where work may be held up as a slow read would hold it.
        void pauseForTests();

    private:
        friend class BackgroundWork;
        enum State { Running, Claimed, Abandoned };
        bool abandon();

        std::atomic_bool cancelled{false};
        std::atomic_int percent{-1};
        std::atomic_int state{Running};
    };
    using Task = std::function<void(Progress &)>;

    explicit BackgroundWork(QObject *parent = nullptr);

    // Returns true once the task has run to its end, false as soon as the
    // user cancelled it or the wait was ended from outside (the program is
    // quitting), whether or not the worker has stopped yet.
    // labelText says what the work does, detail what it works on.
    bool run(const QString &labelText, const QString &detail, Task task);

    bool isRunning() const;
    // How far the running work is, 0 to 100, or -1 when that is not known.
    int percent() const;

    // How long work may take before it is said to be slow.
    static constexpr int slowAfterMs = 300;

    // The threads that abandoned work runs on. Nothing waits for them when
    // the program ends: Qt's shared pool is waited for as the application
    // object goes, and a read stuck on a dead network share would keep the
    // process, without its window, for as long as it stays stuck.
    static QThreadPool *workers();

    // Test seam: every worker calls this where pauseForTests() is, before
    // going on (the function may block, as a stuck read would).
    static void setPauseForTests(std::function<void()> pause);

public slots:
    // Stops waiting at once; the work is asked to stop and left to end.
    void cancel();

signals:
    // The work has taken longer than a moment: time to show a dialog with
    // this label and detail, a bar and a Cancel button.
    void slow(const QString &labelText, const QString &detail);
    // The work is over, or no longer waited for.
    void ended();

private:
    std::shared_ptr<Progress> current;
    QEventLoop *waitingLoop = nullptr;
    bool slowSaid = false;
};
