#pragma once

#include <QObject>

class QSocketNotifier;

// While it lives, a request from outside to end the program (SIGTERM, as at
// logout, SIGHUP, SIGINT) arrives as a signal in the event loop instead of
// ending the process on the spot, so that the program can undo or finish
// what it is doing and remove its copies first. Windows asks through the
// window system, which Qt already delivers.
class TerminationWatch : public QObject
{
    Q_OBJECT

public:
    explicit TerminationWatch(QObject *parent = nullptr);
    ~TerminationWatch() override;

    // Whether a request came that the event loop has not delivered yet;
    // takes it. For the moments when the program must know now (a run about
    // to start or just over), not at the loop's next turn.
    bool takeRequest();

signals:
    void requested();

private:
    void onPipeReadable();

    QSocketNotifier *notifier = nullptr;
};
