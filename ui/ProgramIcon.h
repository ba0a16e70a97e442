#pragma once

#include <QIcon>
#include <QImage>

inline constexpr int kProgramIconSizes[] = {16, 24, 32, 48};

// One size of the icon; needs no application object, so the build can write
// the icon files that the desktop entry names.
QImage programIconImage(int size);

// The program's icon, drawn at 16, 24, 32 and 48 pixels: a counter face with
// a pulse train. Shared by the splash and the main window.
QIcon programIcon();
