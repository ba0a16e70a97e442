#pragma once
// The main window on the production driver library, talking to tq7310-sim
// through a symbolic link in a private folder, driven the way an operator
// drives it: by clicking controls found by name and reading their captions.

#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <optional>

#include "SimProcess.h"
#include "link/LibraryDriver.h"
#include "link/LinkParam.h"
#include "ui/ssqx.h"

namespace sim_e2e {

// The polls tick every 500 and 1000 ms; a handful of ticks is plenty for a
// change on the module to reach a caption.
inline constexpr int kTicksMs = 5000;

inline QString statusCaption(const QString& prefix, const QString& signal, bool closed) {
    return prefix + signal + (closed ? QStringLiteral("闭合") : QStringLiteral("断开"));
}

// "输入X1闭合", "输入DI6断开": label i of B_2R.
inline QString inputCaption(int label, bool closed) {
    const QString signal =
        label < 4 ? QStringLiteral("X%1").arg(label + 1) : QStringLiteral("DI%1").arg(label - 3);
    return statusCaption(QStringLiteral("输入"), signal, closed);
}

// "输出Y2闭合": label i of B_1RW.
inline QString outputCaption(int label, bool closed) {
    return statusCaption(QStringLiteral("输出"), QStringLiteral("Y%1").arg(label + 1), closed);
}

inline QString member(const char* array, int index) {
    return QStringLiteral("%1(%2)").arg(QLatin1String(array)).arg(index);
}

// Counts the timeouts of one of the window's poll timers. The window
// connected its own handler first, so by the time this one runs the tick has
// returned. Each tick's length is measured from the timer event (which
// reaches the event filter before the handler) to then; a tick started while
// another is yielding nests inside it, hence the stack.
class TickWatch : public QObject {
  public:
    TickWatch(ssqx& window, const char* timerName) : timer_(window.findChild<QTimer*>(timerName)) {
        if (timer_ != nullptr) {
            timer_->installEventFilter(this);
            connect(timer_, &QTimer::timeout, this, [this] {
                ++ticks_;
                if (!started_.isEmpty()) {
                    longestMs_ = qMax(longestMs_, started_.takeLast().elapsed());
                }
            });
        }
    }

    bool valid() const { return timer_ != nullptr; }
    int ticks() const { return ticks_; }
    qint64 longestMs() const { return longestMs_; }

    // True once `count` more ticks have ended, false after `ms`.
    bool waitFor(int count, int ms = kTicksMs) {
        const int target = ticks_ + count;
        return QTest::qWaitFor([&] { return ticks_ >= target; }, ms);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == timer_ && event->type() == QEvent::Timer) {
            QElapsedTimer started;
            started.start();
            started_.append(started);
        }
        return false;
    }

  private:
    QTimer* timer_;
    int ticks_ = 0;
    qint64 longestMs_ = 0;
    QList<QElapsedTimer> started_;
};

// A timer of its own that notes the longest stretch in which no event was
// handled: whatever the panel blocks on shows up here.
class Heartbeat : public QObject {
  public:
    explicit Heartbeat(int intervalMs = 20) {
        timer_.setInterval(intervalMs);
        connect(&timer_, &QTimer::timeout, this, [this] {
            ++beats_;
            longestGapMs_ = qMax(longestGapMs_, sinceLast_.restart());
        });
        sinceLast_.start();
        timer_.start();
    }

    int beats() const { return beats_; }
    qint64 longestGapMs() const { return longestGapMs_; }

  private:
    QTimer timer_;
    QElapsedTimer sinceLast_;
    int beats_ = 0;
    qint64 longestGapMs_ = 0;
};

// The simulator, the driver and the window of one test.
class PanelOnSim {
  public:
    PanelOnSim() = default;
    PanelOnSim(const PanelOnSim&) = delete;
    PanelOnSim& operator=(const PanelOnSim&) = delete;

    ~PanelOnSim() {
        // Let go of the port before the simulator goes.
        if (window_) {
            clickIfThere(QStringLiteral("Command10"));
            window_.reset();
        }
        sim_.reset();
    }

    bool valid() const { return dir_.isValid(); }
    QString linkPath() const { return dir_.filePath(QStringLiteral("com1")); }

    // Starts a simulator on linkPath(); true once it is serving.
    bool startSim() {
        sim_ = std::make_unique<SimProcess>();
        return sim_->start({QStringLiteral("--link"), linkPath()});
    }
    SimProcess& sim() { return *sim_; }
    void forgetSim() { sim_.reset(); }

    // Builds and shows the window; port 1 leads to `device`.
    bool showWindow(const QString& device) {
        qputenv("TQ7310_COM1", device.toLocal8Bit());
        window_ = std::make_unique<ssqx>(driver_, [] {});
        window_->show();
        return QTest::qWaitForWindowExposed(window_.get());
    }
    ssqx& window() { return *window_; }

    bool click(const QString& name) {
        auto* button = window_->findChild<QAbstractButton*>(name);
        if (button == nullptr || !button->isVisible()) {
            return false;
        }
        QTest::mouseClick(button, Qt::LeftButton);
        return true;
    }

    // Picks list entry `index`, as the operator does with the drop-down.
    bool choose(const QString& combo, int index) {
        auto* box = window_->findChild<QComboBox*>(combo);
        if (box == nullptr || index >= box->count()) {
            return false;
        }
        box->setCurrentIndex(index);
        return true;
    }

    bool type(const QString& edit, const QString& text) {
        auto* box = window_->findChild<QLineEdit*>(edit);
        if (box == nullptr) {
            return false;
        }
        box->clear();
        QTest::keyClicks(box, text);
        return box->text() == text;
    }

    QString caption(const QString& name) const { return window_->text(name); }

    // A value label as a number; nothing while it shows none.
    std::optional<qint64> value(const QString& name) const {
        bool ok = false;
        const qint64 v = caption(name).toLongLong(&ok);
        return ok ? std::optional<qint64>(v) : std::nullopt;
    }

    std::int32_t openResult() const { return window_->linkParam()[link_param::kOpenResult]; }

  private:
    void clickIfThere(const QString& name) {
        if (auto* button = window_->findChild<QAbstractButton*>(name)) {
            button->click();
        }
    }

    QTemporaryDir dir_;
    std::unique_ptr<SimProcess> sim_;
    LibraryDriver driver_;
    std::unique_ptr<ssqx> window_;
};

}  // namespace sim_e2e
