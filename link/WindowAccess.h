#pragma once
// What the link, poll and command handlers may do to the main window. The
// window implements it on its real controls; tests implement it on a table.
// Controls are named as on the window: "Combo1", "B_2R(3)", "Timer1". A name
// that does not exist is ignored, so a failing step never stops a handler.

#include <QString>
#include <cstdint>

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// The name of member `index` of the control array `array`: "B_2R(3)".
inline QString memberName(const char* array, int index) {
    return QStringLiteral("%1(%2)").arg(QLatin1String(array)).arg(index);
}

class WindowAccess {
  public:
    virtual ~WindowAccess() = default;

    virtual QString text(const QString& control) const = 0;  // combo box or text box
    virtual bool isSelected(const QString& option) const = 0;
    // A combo box shows its item of that text, or the text typed in; a text
    // box holds the text.
    virtual void setText(const QString& control, const QString& text) = 0;
    // Checks an option button; its group's rule unchecks the others.
    virtual void select(const QString& option) = 0;
    virtual void setCaption(const QString& control, const QString& caption) = 0;
    virtual void setBackground(const QString& control, Rgb colour) = 0;
    virtual void setTimerEnabled(const QString& timer, bool enabled) = 0;

    // Handles every pending window event, then returns.
    virtual void yieldToEvents() = 0;
};
