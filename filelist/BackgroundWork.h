#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <atomic>
#include <functional>

class QEventLoop;

// Runs one piece of disk work (a copy, a folder walk) in a worker thread
// while the caller waits for it in a local event loop, so that the window
// keeps painting and the caller still reads as plain sequential code. Work
// that lasts longer than a moment shows a modal progress dialog; its Cancel
// asks the work to stop, and the caller gets control back only once the work
// has returned.
class BackgroundWork
{
public:
    // What the work sees of its caller, from the worker thread.
    class Progress
    {
    public:
        bool isCancelled() const;
        // For code that polls a flag of its own kind.
        const std::atomic_bool *cancelFlag() const;
        // How far the work is; a total of 0 or less means it is not known.
        void report(qint64 done, qint64 total);

    private:
        friend class BackgroundWork;
        std::atomic_bool cancelled{false};
        std::atomic_int percent{-1};
    };

    // labelText is what the dialog says ("Copying..."); the dialog opens
    // over dialogParent's window.
    BackgroundWork(const QString &labelText, QWidget *dialogParent);

    // Returns once work has returned: true if it ran to its end, false if
    // the user cancelled it.
    bool run(const std::function<void(Progress &)> &work);

    // How long work may take before the dialog shows.
    static constexpr int dialogDelayMs = 300;

private:
    // Shows the dialog and waits in loop until the work has finished.
    void waitWithDialog(Progress &progress, QEventLoop &loop);

    QString labelText;
    QPointer<QWidget> dialogParent;
};
