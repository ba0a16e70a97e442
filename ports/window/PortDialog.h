#pragma once
// "端口设置": for each port number, what it stands for — the driver's
// default, a serial device (picked from the computer's list or typed), a
// Modbus TCP server or an RTU serial server over TCP. The dialog edits a
// copy of the choices; a port's fields are checked when another port is
// picked and at "确定", and refused with the reason beside them. A port the
// environment set is shown, not edited.

#include <QDialog>

#include "PortChoices.h"

class QButtonGroup;
class QComboBox;
class QDialogButtonBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QTableWidget;

namespace ports {

class PortDialog : public QDialog {
    Q_OBJECT
  public:
    // `choices` gives the environment's and the current choices; it is not changed.
    PortDialog(const PortChoices& choices, int current, QWidget* parent = nullptr);

    // What "确定" left: the choices with the edits.
    const PortTexts& chosen() const { return chosen_; }

    void accept() override;

  private:
    QWidget* buildChoice();
    QWidget* buildDevices();
    void fillPortTable();
    void fillDevices();
    void showPort(int port);
    void showKind();
    // Takes the shown port's fields into the choices; false, with the
    // reason shown, when they are refused.
    bool takeFields();
    ChoiceFields fields() const;
    QString chosenText(int port) const;
    void useDevice(int row);

    const PortChoices& choices_;
    PortTexts chosen_;
    int port_ = 0;
    QTableWidget* ports_;
    QGroupBox* choice_;
    QButtonGroup* kinds_;
    QComboBox* device_;
    QLineEdit* host_;
    QLineEdit* tcpPort_;
    QLabel* source_;
    QLabel* fault_;
    QTableWidget* devices_;
    QDialogButtonBox* buttons_;
};

}  // namespace ports
