#pragma once
// The main window on the production driver library, talking to tq7310-sim
// through a symbolic link in a private folder, driven the way an operator
// drives it: by clicking controls found by name and reading their captions.

#include <QTemporaryDir>
#include <memory>

#include "LibraryDriver.h"
#include "LinkParam.h"
#include "SimProcess.h"
#include "TrafficLines.h"
#include "WindowDriver.h"
#include "ssqx.h"

namespace sim_e2e {

// The polls tick every 500 and 1000 ms; a handful of ticks is plenty for a
// change on the module to reach a caption. The bound is generous: a test
// that passes never waits for it, and a loaded, sanitized run has needed
// seven seconds.
inline constexpr int kTicksMs = 15000;

using test_support::Heartbeat;
using test_support::inputCaption;
using test_support::outputCaption;
using test_support::TickWatch;

// The simulator, the driver and the window of one test.
class PanelOnSim : public test_support::WindowDriver {
  public:
    PanelOnSim() : WindowDriver(nullptr) {}
    PanelOnSim(const PanelOnSim&) = delete;
    PanelOnSim& operator=(const PanelOnSim&) = delete;

    ~PanelOnSim() {
        // Let go of the port before the simulator goes.
        if (window_) {
            press(QStringLiteral("Command10"));
            window_.reset();
        }
        sim_.reset();
    }

    bool valid() const { return dir_.isValid(); }
    QString linkPath() const { return dir_.filePath(QStringLiteral("com1")); }

    // Starts a simulator on linkPath(), with `extra` options; true once it
    // is serving.
    bool startSim(const QStringList& extra = {}) {
        sim_ = std::make_unique<SimProcess>();
        return sim_->start(QStringList{QStringLiteral("--link"), linkPath()} + extra);
    }
    SimProcess& sim() { return *sim_; }
    void forgetSim() { sim_.reset(); }

    // Builds and shows the window; port 1 leads to `device`.
    bool showWindow(const QString& device) {
        qputenv("TQ7310_COM1", device.toLocal8Bit());
        window_ = std::make_unique<ssqx>(driver_, [] {});
        attach(window_.get());
        window_->show();
        return QTest::qWaitForWindowExposed(window_.get());
    }
    ssqx& window() { return *window_; }

    // The line's latest `count` rows as 通讯记录 shows them: what a failed
    // verdict was made of.
    QString recentTraffic(int count = 12) {
        traffic::TrafficFeed& feed = window_->trafficFeed();
        feed.pull();
        QStringList rows;
        for (qint64 i = std::max(feed.firstIndex(), feed.endIndex() - count); i < feed.endIndex();
             ++i) {
            rows << traffic::lineText(feed.line(i));
        }
        return rows.join(u'\n');
    }
    LibraryDriver& driver() { return driver_; }

    std::int32_t openResult() const { return window_->linkParam()[link_param::kOpenResult]; }

  private:
    QTemporaryDir dir_;
    std::unique_ptr<SimProcess> sim_;
    LibraryDriver driver_;
    std::unique_ptr<ssqx> window_;
};

}  // namespace sim_e2e
