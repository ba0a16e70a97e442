#include "PortReport.h"

#include <algorithm>
#include <cstring>

namespace modbusrtu {

namespace {

void copyDevice(const std::string& device, Tq7310LinkStatus& report) {
    const std::size_t n = std::min(device.size(), sizeof report.device - 1);
    std::memcpy(report.device, device.data(), n);
    report.device[n] = '\0';
}

}  // namespace

void PortReport::countFailure(Tq7310Outcome outcome) {
    ++report_.failures;
    counters_.failed(outcome);
}

void PortReport::opened(bool ok, int systemError, const std::string& device,
                        const LineSettings& settings) {
    const std::lock_guard<std::mutex> guard(mutex_);
    report_.transactions = 0;
    report_.failures = 0;
    report_.round_trip_us = -1;
    counters_ = {};
    report_.outcome = ok ? TQ7310_OK : TQ7310_OPEN_FAILED;
    report_.system_error = ok ? 0 : systemError;
    report_.exception_code = 0;
    report_.is_open = ok ? 1 : 0;
    report_.baud = settings.baud;
    report_.parity = settings.parity;
    copyDevice(device, report_);
}

void PortReport::closed() {
    const std::lock_guard<std::mutex> guard(mutex_);
    report_.is_open = 0;
}

void PortReport::failedBeforeSending(const ErrorKind& kind) {
    const std::lock_guard<std::mutex> guard(mutex_);
    report_.outcome = kind.outcome;
    report_.system_error = kind.systemError;
    report_.exception_code = kind.exceptionCode;
}

void PortReport::reopened(bool ok, int systemError) {
    const std::lock_guard<std::mutex> guard(mutex_);
    report_.is_open = ok ? 1 : 0;
    if (!ok) {
        ++report_.transactions;
        countFailure(TQ7310_OPEN_FAILED);
        report_.outcome = TQ7310_OPEN_FAILED;
        report_.system_error = systemError;
        report_.exception_code = 0;
    }
}

void PortReport::transaction(const Exchange& out, bool answered, std::int32_t roundTripUs,
                             bool gone) {
    const std::lock_guard<std::mutex> guard(mutex_);
    ++report_.transactions;
    if (out.verdict.outcome != TQ7310_OK) {
        countFailure(out.verdict.outcome);
    }
    report_.outcome = out.verdict.outcome;
    report_.system_error = out.systemError;
    report_.exception_code = out.verdict.exceptionCode;
    report_.other_address = out.verdict.otherAddress;
    report_.maybe_answers = out.maybeAnswers;
    if (answered) {
        report_.round_trip_us = roundTripUs;
        counters_.roundTrip(roundTripUs);
    }
    if (gone) {
        report_.is_open = 0;
    }
}

void PortReport::status(const std::function<std::string()>& deviceNow,
                        Tq7310LinkStatus& out) const {
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        out = report_;
    }
    if (out.device[0] == '\0' || out.is_open == 0) {
        copyDevice(deviceNow(), out);
    }
}

void PortReport::counters(Tq7310LinkCounters& out) const {
    LinkCounters kept;
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        kept = counters_;
        out.transactions = report_.transactions;
        out.failures = report_.failures;
    }
    kept.fill(out);
}

}  // namespace modbusrtu
