#pragma once
// The names of the window's controls that the handlers reach, spelt once: a
// function per control array, taking the member's index, and one per single
// control. The layout names its controls with the same functions, and a test
// checks that every name a handler uses exists on the window.

#include "link/WindowAccess.h"

namespace control {

// The link settings.
inline QString Combo1() { return QStringLiteral("Combo1"); }  // port number
inline QString Combo2() { return QStringLiteral("Combo2"); }  // module address
inline QString Option1(int i) { return memberName("Option1", i); }  // 9600, 19200, 38400
inline QString Option2(int i) { return memberName("Option2", i); }  // none, odd, even parity

// The poll timers.
inline QString Timer1() { return QStringLiteral("Timer1"); }  // status poll
inline QString Timer2() { return QStringLiteral("Timer2"); }  // counter poll

// The value boxes the polls write.
inline QString Label2(int i) { return memberName("Label2", i); }  // 9 date, 10 time
inline QString B_2R(int i) { return memberName("B_2R", i); }      // X1..X4, DI1..DI6
inline QString B_1RW(int i) { return memberName("B_1RW", i); }    // Y1..Y5
inline QString D_4R(int i) { return memberName("D_4R", i); }      // 16-bit counts
inline QString D_4R32(int i) { return memberName("D_4R32", i); }  // 32-bit counts, frequencies
inline QString D_4R4(int k) { return memberName("D_4R4", k); }    // configuration registers

// The configuration editors that are text boxes; the others are combo boxes.
inline QString Text1(int k) { return memberName("Text1", k); }

}  // namespace control
