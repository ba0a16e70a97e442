#pragma once
// A recording driver whose traffic log is a list the test fills, on one port,
// or, with `direct`, the driver library's own log.

#include <vector>

#include "ModbusRTU.h"
#include "RecordingDriver.h"

class LogDriver : public RecordingDriver {
  public:
    std::vector<Tq7310Traffic> entries;
    std::optional<Tq7310LinkCounters> counters;  // what the port counted, if the library does
    std::optional<Tq7310LinkCounters> linkCounters(std::int32_t) override { return counters; }
    int (*direct)(int32_t, uint32_t, Tq7310Traffic*, int32_t, int32_t*) = nullptr;
    int reads = 0;
    int port = 1;  // where the entries are

    int readTraffic(std::int32_t asked, std::uint32_t after, Tq7310Traffic* records, int capacity,
                    std::int32_t* lost) override {
        ++reads;
        if (direct != nullptr) {
            return direct(asked, after, records, capacity, lost);
        }
        *lost = 0;
        int n = 0;
        for (const Tq7310Traffic& e : entries) {
            if (asked == port && e.sequence > after && n < capacity) {
                records[n++] = e;
            }
        }
        return n;
    }

    // An exchange with `reply` as its bytes and `outcome` as its verdict.
    void add(int outcome, std::initializer_list<std::uint8_t> reply = {}) {
        Tq7310Traffic e{};
        e.sequence = std::uint32_t(entries.size() + 1);
        e.outcome = outcome;
        e.round_trip_us = -1;
        e.request_length = 8;
        const std::uint8_t request[] = {1, 3, 0, 0, 0, 1, 0x84, 0x0A};
        std::copy(std::begin(request), std::end(request), e.request);
        e.reply_length = int(reply.size());
        std::copy(reply.begin(), reply.end(), e.reply);
        entries.push_back(e);
    }
};
