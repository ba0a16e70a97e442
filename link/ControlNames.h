#pragma once
// The names of the window's controls that the handlers reach, spelt once: a
// function per control array, taking the member's index, and one per single
// control. The layout names its controls with the same functions, and a test
// checks that every name a handler uses exists on the window.

#include "WindowAccess.h"

namespace control {

// The link settings: port number, module address, the baud rate options
// (9600, 19200, 38400) and the parity options (none, odd, even).
inline QString Combo1() {
    return QStringLiteral("Combo1");
}
inline QString Combo2() {
    return QStringLiteral("Combo2");
}
inline QString Option1(int i) {
    return memberName("Option1", i);
}
inline QString Option2(int i) {
    return memberName("Option2", i);
}

// The poll timers: the status poll and the counter poll.
inline QString Timer1() {
    return QStringLiteral("Timer1");
}
inline QString Timer2() {
    return QStringLiteral("Timer2");
}

// The value boxes the polls write: the date (9) and time (10); the states of
// X1..X4, DI1..DI6 and of Y1..Y5; the 16-bit counts; the 32-bit counts (0..3)
// and frequencies (4..7); the configuration registers.
inline QString Label2(int i) {
    return memberName("Label2", i);
}
inline QString B_2R(int i) {
    return memberName("B_2R", i);
}
inline QString B_1RW(int i) {
    return memberName("B_1RW", i);
}
inline QString D_4R(int i) {
    return memberName("D_4R", i);
}
inline QString D_4R32(int i) {
    return memberName("D_4R32", i);
}
inline QString D_4R4(int k) {
    return memberName("D_4R4", k);
}

// The configuration editors that are text boxes; the others are combo boxes.
inline QString Text1(int k) {
    return memberName("Text1", k);
}

}  // namespace control
