#pragma once
// The main window's controls as data: name, kind, containing frame, caption,
// rectangle in twips (15 to the pixel), colours, font and visibility. The
// window is built from this table; the table is the layout.

#include <optional>
#include <vector>

#include "WindowAccess.h"

enum class ControlKind { Frame, Caption, ValueBox, Button, ComboBox, TextBox, OptionButton };

enum class FontFace {
    Default,
    Song9Italic,          // "宋体" 9 pt italic
    Song10_5Italic,       // "宋体" 10.5 pt italic
    Song10_5,             // "宋体" 10.5 pt
    Arial10_5BoldItalic,  // "Arial" 10.5 pt bold italic
};

struct Twips {
    int left, top, width, height;
};

struct ControlSpec {
    QString name{};  // objectName: "Combo1", "B_2R(3)"
    ControlKind kind{};
    QString parent{};  // containing frame, empty for the window itself
    QString caption{};
    Twips rect{};
    std::optional<Rgb> background{};
    std::optional<Rgb> foreground{};
    FontFace font = FontFace::Default;
    bool hidden = false;
    bool centred = false;
};

inline constexpr int kTwipsPerPixel = 15;
inline constexpr int kClientWidthTwips = 15525;
inline constexpr int kClientHeightTwips = 9165;

// Every control of the main window, each frame before its contents.
const std::vector<ControlSpec>& mainWindowLayout();

// The keyboard order of the visible focusable controls.
const std::vector<QString>& mainWindowTabOrder();
