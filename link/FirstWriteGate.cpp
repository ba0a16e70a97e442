#include "FirstWriteGate.h"

#include <QCoreApplication>
#include <QTimer>

FirstWriteGate::FirstWriteGate(ModuleDriver& inner, std::chrono::milliseconds bound, Wait wait)
    : ForwardingDriver(inner), bound_(bound), wait_(std::move(wait)) {}

void FirstWriteGate::runEventsUntil(const std::function<bool()>& ready,
                                    std::chrono::milliseconds bound) {
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(bound);
    while (!ready() && deadline.isActive()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

bool FirstWriteGate::learning(std::int32_t port) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return learning_.contains(port);
}

bool FirstWriteGate::echoKnown(std::int32_t port) {
    const auto echo = this->echo(port);
    return !echo || *echo != TQ7310_ECHO_UNKNOWN;
}

DriverResult FirstWriteGate::around(const Call& call,
                                    const std::function<DriverResult()>& forward) {
    const std::int32_t port = call.port;
    if (call.operation == Operation::Write && learning(port)) {
        if (!echoKnown(port)) {
            wait_([this, port] { return !learning(port) || echoKnown(port); }, bound_);
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        learning_.erase(port);
    }
    const DriverResult result = forward();
    const std::lock_guard<std::mutex> lock(mutex_);
    if (call.operation == Operation::Open && result == 0) {
        learning_.insert(port);
    } else if (call.operation == Operation::Open || call.operation == Operation::Close) {
        learning_.erase(port);
    }
    return result;
}
