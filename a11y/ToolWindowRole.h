#pragma once
// A tool window built on a plain QWidget is, to Qt, a "client" area, which a
// screen reader's bridge calls a filler; it is a window and says so.

// From the first call on, every window whose class derives straight from
// QWidget has the window role.
void useWindowRoles();
