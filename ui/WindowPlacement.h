#pragma once
// Where the program's windows open: centred on the screen's free area, but
// never with the top-left corner outside it, so that on a screen smaller than
// the window the title bar stays within reach and the window can be moved.

#include <QPoint>
#include <QRect>
#include <QSize>
#include <optional>

class QWidget;

QPoint centredTopLeft(QSize window, QRect available);

// Moves `window` there on the primary screen; does nothing without a screen.
void placeOnScreen(QWidget* window);

// Where `window` is: its frame's top-left and its size, as placeAt takes it.
QRect placeOf(const QWidget* window);

// Puts `window` at `place` (placeOf's) when there is one and a screen holds
// its title bar; else (a place saved on a larger desktop) it stays where it
// would open.
void placeAt(QWidget* window, const std::optional<QRect>& place);

// Keeps `window` within the free area of its screen (the primary one before
// it is first shown): no larger than that area less a title bar and borders,
// and, once it has a place of its own, moved in so that its title bar and
// bottom edge both show. Where it first opens is otherwise the window
// manager's choice, which keeps a window that fits on the screen.
void keepOnScreen(QWidget* window);
