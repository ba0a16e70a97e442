#pragma once
// Drives a window as the operator does, for the end-to-end, simulator and
// hardening tests and the benchmarks: controls found by their object names
// ("Command2AC(15)"), buttons clicked, list entries chosen, boxes typed into,
// captions and colours read. Every call that acts says whether it found what
// it acts on, so a renamed control fails the test by name instead of
// crashing it.

#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <optional>

namespace test_support {

class WindowDriver {
  public:
    explicit WindowDriver(const QWidget* window) : window_(window) {}

    template <typename Control = QWidget>
    Control* find(const QString& name) const {
        return window_->findChild<Control*>(name);
    }

    // A mouse click on a button the operator can see.
    bool click(const QString& name) const {
        auto* button = find<QAbstractButton>(name);
        if (button == nullptr || !button->isVisible()) {
            return false;
        }
        QTest::mouseClick(button, Qt::LeftButton);
        return true;
    }

    // The button's own click, with no mouse events: for a click given from
    // inside a timer's handler, or by a benchmark that times the handler.
    bool press(const QString& name) const {
        auto* button = find<QAbstractButton>(name);
        if (button == nullptr) {
            return false;
        }
        button->click();
        return true;
    }

    // Picks a list entry of a drop-down, by its text or by its place.
    bool choose(const QString& combo, const QString& entry) const {
        auto* box = find<QComboBox>(combo);
        return box != nullptr && choose(combo, box->findText(entry)) && box->currentText() == entry;
    }
    bool choose(const QString& combo, int index) const {
        auto* box = find<QComboBox>(combo);
        if (box == nullptr || index < 0 || index >= box->count()) {
            return false;
        }
        box->setCurrentIndex(index);
        return true;
    }

    // Types into a text box key by key, after clearing it.
    bool type(const QString& edit, const QString& text) const {
        auto* box = find<QLineEdit>(edit);
        if (box == nullptr) {
            return false;
        }
        box->clear();
        QTest::keyClicks(box, text);
        return box->text() == text;
    }

    // Puts `text` in a text box or a drop-down's edit line at once, as a
    // paste does: for text too long to type, or not among the entries.
    bool paste(const QString& editor, const QString& text) const {
        if (auto* combo = find<QComboBox>(editor)) {
            combo->setEditText(text);
            return true;
        }
        if (auto* edit = find<QLineEdit>(editor)) {
            edit->setText(text);
            return true;
        }
        return false;
    }

    // A configuration entry as a user makes it: the list entry of a
    // drop-down, typed into a text box.
    bool enter(const QString& editor, const QString& entry) const {
        return find<QComboBox>(editor) ? choose(editor, entry) : type(editor, entry);
    }

    // What a label, a box or a drop-down shows; a marker for a control that
    // does not exist, so a comparison fails by name.
    QString text(const QString& name) const {
        if (auto* label = find<QLabel>(name)) {
            return label->text();
        }
        if (auto* edit = find<QLineEdit>(name)) {
            return edit->text();
        }
        if (auto* combo = find<QComboBox>(name)) {
            return combo->currentText();
        }
        return QStringLiteral("<no %1>").arg(name);
    }

    // A caption as a number; nothing while it shows none.
    std::optional<qint64> value(const QString& name) const {
        bool ok = false;
        const qint64 v = text(name).toLongLong(&ok);
        return ok ? std::optional<qint64>(v) : std::nullopt;
    }

    QColor colour(const QString& name, QPalette::ColorRole role = QPalette::Window) const {
        const QWidget* w = find(name);
        return w ? w->palette().color(role) : QColor();
    }

    // Every listed control that does not show its expected text, as
    // "name: shown (expected)", so a failure names them all at once.
    QStringList mismatches(const QMap<QString, QString>& expected) const {
        QStringList wrong;
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            const QString now = text(it.key());
            if (now != it.value()) {
                wrong << QStringLiteral("%1: %2 (%3)").arg(it.key(), now, it.value());
            }
        }
        return wrong;
    }

  protected:
    // For a holder that builds its window after itself.
    void attach(const QWidget* window) { window_ = window; }

  private:
    const QWidget* window_;
};

// "输入X1闭合", "输入DI6断开": what input label i of B_2R shows, written out
// here rather than taken from the panel's code.
inline QString inputCaption(int label, bool closed) {
    const QString signal =
        label < 4 ? QStringLiteral("X%1").arg(label + 1) : QStringLiteral("DI%1").arg(label - 3);
    return QStringLiteral("输入%1%2").arg(signal, closed ? "闭合" : "断开");
}

// "输出Y2闭合": output label i of B_1RW.
inline QString outputCaption(int label, bool closed) {
    return QStringLiteral("输出Y%1%2").arg(label + 1).arg(closed ? "闭合" : "断开");
}

// Milliseconds left of `budget` since `since` started, at least 1, for the
// QTRY macros: a bound counted from an event rather than from the macro.
inline int remainingOf(int budget, const QElapsedTimer& since) {
    return int(qMax<qint64>(1, budget - since.elapsed()));
}

// Counts the timeouts of one of a window's timers and how long its handler
// took. The window connected its own handler first, so by the time this one
// runs the tick has returned. Each tick's length is measured from the timer
// event (which reaches the event filter before the handler) to then; a tick
// started while another is yielding nests inside it, hence the stack.
class TickWatch : public QObject {
  public:
    TickWatch(const QWidget& window, const char* timerName)
        : timer_(window.findChild<QTimer*>(QLatin1String(timerName))) {
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
    bool waitFor(int count, int ms) {
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
// handled: whatever the window blocks on shows up here.
class Heartbeat : public QObject {
  public:
    explicit Heartbeat(int intervalMs = 20, bool startNow = true) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(intervalMs);
        connect(&timer_, &QTimer::timeout, this, [this] {
            ++beats_;
            longestGapMs_ = qMax(longestGapMs_, sinceLast_.restart());
        });
        if (startNow) {
            start();
        }
    }

    void start() {
        sinceLast_.start();
        timer_.start();
    }
    void stop() { timer_.stop(); }
    int beats() const { return beats_; }
    qint64 longestGapMs() const { return longestGapMs_; }

  private:
    QTimer timer_;
    QElapsedTimer sinceLast_;
    int beats_ = 0;
    qint64 longestGapMs_ = 0;
};

}  // namespace test_support
