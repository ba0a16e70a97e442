#pragma once
// The way from the main window's "通讯端口" frame to "端口设置": the port
// list's context menu entry, a key, and its tooltip naming both. Keeps the
// choices (in the settings between runs, in the driver's variables for the
// next "打开") and shows on the baud and parity options what they mean for
// the port the list names: nothing for Modbus TCP, the far line for RTU
// over TCP.

#include <QHash>
#include <QObject>
#include <QString>

#include "PortChoices.h"

class QWidget;

class PortSettings : public QObject {
    Q_OBJECT
  public:
    // `controls` are the main window's, by objectName.
    PortSettings(QWidget* window, const QHash<QString, QWidget*>& controls);

    const ports::PortTexts& chosen() const { return choices_.chosen(); }
    // Keeps the choices, as "确定" in the dialog does.
    void choose(const ports::PortTexts& chosen);
    // Opens "端口设置" on the port the list names.
    void showDialog();

  private:
    int listedPort() const;
    void showLineSettings();

    QWidget* window_;
    QHash<QString, QWidget*> controls_;
    ports::PortChoices choices_;
};
