#include "ReadMarks.h"

#include "ControlNames.h"
#include "PortControl.h"
#include "ValueBox.h"

namespace {

struct Group {
    QString (*box)(int);
    int count;
    bool answered;
    // A state label's colour means a state: an old one shows none.
    std::optional<Rgb> oldBackground = std::nullopt;
};

void mark(const Controls& controls, const Group& group, const QDateTime& at,
          const QString& failure) {
    for (int i = 0; i < group.count; ++i) {
        auto* box = qobject_cast<ValueBox*>(controls.value(group.box(i)));
        if (box == nullptr) {
            continue;
        }
        if (group.answered) {
            box->markRead(at);
        } else {
            box->markOld(QStringLiteral("读取失败：") + failure, group.oldBackground);
        }
    }
}

}  // namespace

void markStatusGroup(const Controls& controls, StatusPoll::Group group, bool answered,
                     const QDateTime& at, const QString& failure) {
    using namespace module_map;
    mark(controls,
         group == StatusPoll::Group::Inputs
             ? Group{control::B_2R, kInputStatusLabels, answered, colours::kInputIdle}
             : Group{control::B_1RW, kOutputsShown, answered, colours::kOutputIdle},
         at, failure);
}

void markCounterTick(const Controls& controls, const CounterTick& tick, const QString& failure) {
    using namespace module_map;
    for (const Group& group :
         {Group{control::D_4R, kCount16Values, tick.count16.has_value()},
          Group{control::D_4R32, kCount32Values, tick.count32.has_value()},
          Group{control::D_4R4, kConfigRegistersShown, tick.config.has_value()}}) {
        mark(controls, group, tick.time, failure);
    }
}

void markAllOld(const QWidget* window, const QString& why) {
    for (auto* box : window->findChildren<ValueBox*>()) {
        box->markOld(why);
    }
}
