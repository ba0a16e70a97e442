#pragma once

#include <QApplication>

// Application-wide settings made before the first window opens.
void prepareApplication(QApplication& app);
