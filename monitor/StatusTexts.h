#pragma once
// What an input or output status label shows for a state: its caption and
// its background colour.

#include <QString>

#include "link/WindowAccess.h"

struct Indication {
    QString caption;
    Rgb colour;
};

inline constexpr Rgb kInputOpenColour{192, 255, 255};
inline constexpr Rgb kInputClosedColour{0, 255, 0};
inline constexpr Rgb kOutputOpenColour{255, 255, 0};
inline constexpr Rgb kOutputClosedColour{255, 192, 192};

// Input label 0..9 shows X1..X4, DI1..DI6.
Indication inputIndication(int label, bool closed);
// Output label 0..4 shows Y1..Y5.
Indication outputIndication(int label, bool closed);
