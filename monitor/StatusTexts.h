#pragma once
// What an input or output status label shows for a state: its caption and
// its background colour.

#include <QString>

#include "WindowAccess.h"

struct Indication {
    QString caption;
    Rgb colour;
};

// Input label 0..9 shows X1..X4, DI1..DI6.
Indication inputIndication(int label, bool closed);
// Output label 0..4 shows Y1..Y5.
Indication outputIndication(int label, bool closed);
