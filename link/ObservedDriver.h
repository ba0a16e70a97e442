#pragma once
// Tells an observer which port each operation used, once it has returned.
// The status line hangs on it, so it follows every poll and command without
// a transaction of its own. It also counts the transactions since the last
// open and how many of them failed, for a library that keeps no such count.
// The finder calls it from a thread of its own: the observer is called on
// the thread that made the call.

#include <mutex>

#include "ForwardingDriver.h"

struct TransactionCount {
    int transactions = 0;
    int failures = 0;
};

class ObservedDriver final : public ForwardingDriver {
  public:
    using Observer = std::function<void(std::int32_t port, bool anyPoint)>;

    using ForwardingDriver::ForwardingDriver;
    void setObserver(Observer observer) { observer_ = std::move(observer); }
    TransactionCount count() const {
        const std::lock_guard<std::mutex> lock(countMutex_);
        return count_;
    }

  protected:
    DriverResult around(const Call& call, const std::function<DriverResult()>& forward) override {
        const DriverResult result = forward();
        {
            const std::lock_guard<std::mutex> lock(countMutex_);
            if (call.operation == Operation::Open) {
                count_ = {};
            } else if (result && call.operation != Operation::Close) {
                ++count_.transactions;
                count_.failures += *result == MODBUSRTU_FAILED;
            }
        }
        if (observer_) {
            observer_(call.port, call.anyPoint);
        }
        return result;
    }

  private:
    Observer observer_;
    mutable std::mutex countMutex_;
    TransactionCount count_;
};
