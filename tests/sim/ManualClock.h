#pragma once
// A clock the test moves by hand, for driving sim::ModuleModel.

#include <chrono>

#include "ModuleModel.h"

struct ManualClock {
    sim::Nanos now{0};
    sim::Clock clock() {
        return [this] { return now; };
    }
    void advance(sim::Nanos step) { now += step; }
};
