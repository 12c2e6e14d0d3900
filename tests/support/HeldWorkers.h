#pragma once

#include <QObject>

#include <functional>
#include <memory>

namespace TestSupport {

// Holds the next worker of the list's disk work where it may pause (a copy
// with its target open, a walk before it starts) until released, as a stuck
// read would. A worker that comes late, even after this is gone, passes.
class HeldWorkers
{
public:
    // Owns what waits for the workers, so that nothing outlives this.
    QObject context;

    HeldWorkers();
    ~HeldWorkers();

    // Whether a worker has reached its pause; asked from the GUI thread.
    bool oneArrived();
    void release();
    bool released = false;

private:
    struct Gate;
    // Shared with the workers, which may outlive this.
    std::shared_ptr<Gate> gate;
};

// Runs action from the event loop that the list keeps going while a held
// worker waits, once a worker has arrived; then lets the worker go on.
void whileHeld(HeldWorkers &held, std::function<void()> action);

} // namespace TestSupport
