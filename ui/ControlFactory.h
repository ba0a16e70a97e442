#pragma once
// Turns the layout table into real Qt controls: frames become group boxes,
// value boxes bordered labels with a filled background, option buttons radio
// buttons, combo boxes editable drop-downs that never add typed text.

#include <QHash>
#include <QString>
#include <QWidget>

#include "Layout.h"

// Creates every control of `layout` inside `client`, each named by its spec,
// and returns them by name.
QHash<QString, QWidget*> buildControls(QWidget* client, const std::vector<ControlSpec>& layout);

QFont fontFor(FontFace face);
// Tells Qt which installed faces stand in for "宋体"; once per process.
void preferChineseFaces();
void setBackgroundColour(QWidget* widget, Rgb colour);
int toPixels(int twips);
