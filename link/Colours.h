#pragma once
// Every colour the main window shows, named for what it means there. The
// layout paints the controls with them at creation, and the handlers repaint
// the state labels with them.

#include "WindowAccess.h"

namespace colours {

// Frame captions.
inline constexpr Rgb kPortFrameCaption{255, 0, 0};
inline constexpr Rgb kBaudFrameCaption{0, 128, 0};

// The date and time boxes: red on light green.
inline constexpr Rgb kClockText{255, 0, 0};
inline constexpr Rgb kClockBackground{128, 255, 128};

// Value boxes at creation, and the state labels once "关闭" blanks them.
inline constexpr Rgb kInputIdle{192, 255, 255};
inline constexpr Rgb kOutputIdle{255, 255, 192};
inline constexpr Rgb kValueBox{255, 192, 255};
inline constexpr Rgb kHiddenValueBox{255, 255, 255};
// The text of a value box kept after "关闭": read on a link since closed.
inline constexpr Rgb kOldValueText{128, 128, 128};

// The state labels while polling.
inline constexpr Rgb kInputOpen = kInputIdle;
inline constexpr Rgb kInputClosed{0, 255, 0};
inline constexpr Rgb kOutputOpen{255, 255, 0};
inline constexpr Rgb kOutputClosed{255, 192, 192};

}  // namespace colours
