#pragma once
// What the panel benchmarks share: percentiles, the real window on the real
// driver library, driven through the tests' WindowDriver, and the simulator
// as a separate process, so that its CPU time never counts as the panel's.

#include <QApplication>
#include <algorithm>
#include <vector>

#include "SimProcess.h"
#include "WindowDriver.h"
#include "ui/ssqx.h"

namespace bench {

inline double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

// The benchmarks draw into memory like the headless tests, unless told otherwise.
inline void headlessUnlessTold() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}

// Starts the simulator and points the window's port 1 at its device.
inline bool startSimulator(SimProcess& sim, const QStringList& args) {
    if (!sim.start(args)) {
        std::fprintf(stderr, "tq7310-sim did not start: %s\n", qPrintable(sim.transcript()));
        return false;
    }
    qputenv("TQ7310_COM1", sim.device().toLocal8Bit());
    return true;
}

}  // namespace bench
