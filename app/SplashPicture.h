#pragma once

#include <QPixmap>

// The splash window's picture, 1000 x 348 pixels, drawn at start.
QPixmap splashPicture();
