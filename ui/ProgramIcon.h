#pragma once

#include <QIcon>
#include <QImage>

inline constexpr int kProgramIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

// One size of the icon; needs no application object, so the build can write
// the icon files that the desktop entry names.
QImage programIconImage(int size);

// The same icon as scalable vector graphics, for the theme's scalable folder.
QByteArray programIconSvg();

// The program's icon, drawn at every size of kProgramIconSizes: a counter face with
// a pulse train. Shared by the splash and the main window.
QIcon programIcon();
