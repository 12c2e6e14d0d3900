#include "support/HeldWorkers.h"

#include "filelist/BackgroundWork.h"

#include <QAtomicInt>
#include <QSemaphore>
#include <QTimer>

namespace TestSupport {

struct HeldWorkers::Gate
{
    QAtomicInt holds = 1;
    QSemaphore arrived;
    QSemaphore open;
};

HeldWorkers::HeldWorkers()
    : gate(std::make_shared<Gate>())
{
    BackgroundWork::setPauseForTests([gate = gate] {
        if (gate->holds.fetchAndSubOrdered(1) <= 0)
            return;
        gate->arrived.release();
        gate->open.acquire();
    });
}

HeldWorkers::~HeldWorkers()
{
    BackgroundWork::setPauseForTests({});
    gate->holds.storeRelease(0);
    gate->open.release(100);
}

bool HeldWorkers::oneArrived()
{
    return gate->arrived.tryAcquire();
}

void HeldWorkers::release()
{
    released = true;
    gate->open.release();
}

void whileHeld(HeldWorkers &held, std::function<void()> action)
{
    QObject *context = &held.context;
    auto *ticker = new QTimer(context);
    QObject::connect(ticker, &QTimer::timeout, ticker, [&held, ticker, context, action] {
        if (!held.oneArrived())
            return;
        ticker->stop();
        ticker->deleteLater();
        action();
        // Posted after whatever action posted, so it comes after that.
        QMetaObject::invokeMethod(context, [&held] { held.release(); }, Qt::QueuedConnection);
    });
    ticker->start(5);
}

} // namespace TestSupport
