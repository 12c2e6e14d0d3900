#include "app/TerminationWatch.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace {

const int watchedSignals[] = {SIGTERM, SIGHUP, SIGINT};
struct sigaction previousActions[std::size(watchedSignals)];
int pipeEnds[2] = {-1, -1};

// Only what is safe inside a signal handler: one write to the pipe.
void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
}

} // namespace

TerminationWatch::TerminationWatch(QObject *parent)
    : QObject(parent)
{
    if (pipeEnds[0] < 0 && ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TerminationWatch::onPipeReadable);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(watchedSignals); ++i)
        sigaction(watchedSignals[i], &action, &previousActions[i]);
}

TerminationWatch::~TerminationWatch()
{
    if (!notifier)
        return;
    for (size_t i = 0; i < std::size(watchedSignals); ++i)
        sigaction(watchedSignals[i], &previousActions[i], nullptr);
}

bool TerminationWatch::takeRequest()
{
    bool taken = false;
    char bytes[16];
    while (pipeEnds[0] >= 0 && ::read(pipeEnds[0], bytes, sizeof(bytes)) > 0)
        taken = true;
    return taken;
}

void TerminationWatch::onPipeReadable()
{
    if (takeRequest())
        emit requested();
}

#else

TerminationWatch::TerminationWatch(QObject *parent)
    : QObject(parent)
{
}

TerminationWatch::~TerminationWatch() = default;

bool TerminationWatch::takeRequest()
{
    return false;
}

void TerminationWatch::onPipeReadable()
{
}

#endif
