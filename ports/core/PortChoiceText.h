#pragma once
// The one table of the port dialog's words that say why or whence: why an
// entry is refused, and where a port's target comes from.

#include <QString>

#include "PortChoices.h"

namespace ports {

QString choiceFaultText(ChoiceFault fault);

// "由环境变量 TQ7310_COM3 设定，程序运行中不可更改"
QString environmentSourceText(int port);

// What the driver's default makes of port `port`.
QString automaticText(int port);

// What a port's row says of where its target comes from.
QString sourceText(bool byEnvironment, bool chosen);

// What the baud and parity options mean for a port's target, for their
// tooltip; empty where they mean what they always did.
QString lineSettingsNote(module_line::TargetKind kind);

// How the port list names the way to the dialog.
QString portListTip(const QString& shortcut);

}  // namespace ports
