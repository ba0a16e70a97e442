#include "CheckClock.h"

#include <QElapsedTimer>
#include <QThread>

CheckClock CheckClock::steady() {
    return {[] {
                static const QElapsedTimer started = [] {
                    QElapsedTimer t;
                    t.start();
                    return t;
                }();
                return started.nsecsElapsed();
            },
            [](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); }};
}
