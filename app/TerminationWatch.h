#pragma once

#include <QObject>

class QSocketNotifier;

// While it lives, a request from outside to end the program (SIGTERM, as at
// logout, SIGHUP, SIGINT) arrives as a signal in the event loop instead of
// ending the process on the spot, so that a running job can tidy up first.
// Windows asks through the window system, which Qt already delivers.
class TerminationWatch : public QObject
{
    Q_OBJECT

public:
    explicit TerminationWatch(QObject *parent = nullptr);
    ~TerminationWatch() override;

signals:
    void requested();

private:
    void onPipeReadable();

    QSocketNotifier *notifier = nullptr;
};
