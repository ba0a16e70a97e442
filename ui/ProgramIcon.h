#pragma once

#include <QIcon>

// The program's icon, drawn at 16, 24, 32 and 48 pixels: a counter face with
// a pulse train. Shared by the splash and the main window.
QIcon programIcon();
