#pragma once
// What each port number stands for, as the user chose it in "端口设置": the
// value of its TQ7310_COM<n> (see PortTarget.h), or nothing for the driver's
// own default. The driver reads the variable at each open, so a choice is
// put into the panel's environment and takes effect at the next "打开".
//
// A variable the panel found set when it started (set by anything but the
// panel itself) wins over any choice: a technician who starts
// `TQ7310_COM1=... tq7310-panel` gets that port, whatever a saved choice or
// a workspace says. Only a variable the panel put is ever changed or unset.

#include <QString>
#include <map>
#include <optional>
#include <variant>
#include <vector>

#include "PortTarget.h"

class QSettings;

namespace ports {

enum class ChoiceKind { Automatic, Serial, ModbusTcp, RtuOverTcp };

// The dialog's fields for one port number, as typed.
struct ChoiceFields {
    ChoiceKind kind = ChoiceKind::Automatic;
    QString device;   // Serial
    QString host;     // the network kinds
    QString tcpPort;  // empty: 502 for Modbus TCP, refused for RTU over TCP
    bool operator==(const ChoiceFields&) const = default;
};

enum class ChoiceFault { NoDevice, DeviceLooksNetworked, NoHost, BadHost, BadTcpPort, NoTcpPort };

// The variable's value the fields make (empty for automatic), or why not.
std::variant<QString, ChoiceFault> choiceText(const ChoiceFields& fields);

// The fields a value shows as; a value that does not read shows as a device.
ChoiceFields fieldsOf(const QString& text);

// Port number -> the value of its variable.
using PortTexts = std::map<int, QString>;

// The TQ7310_COM<n> variables set now by anything but the panel.
PortTexts environmentPortVariables();

class PortChoices {
  public:
    explicit PortChoices(PortTexts environment = environmentPortVariables());

    // What the driver will use: the environment's value, else the choice;
    // empty for the driver's default.
    QString target(int port) const;
    std::optional<module_line::PortTarget> parsedTarget(int port) const;
    bool setByEnvironment(int port) const { return environment_.contains(port); }

    // The user's choices, set by the environment or not; a workspace keeps these.
    const PortTexts& chosen() const { return chosen_; }
    // Replaces them, leaving out what does not read or is not a port number.
    void setChosen(const PortTexts& chosen);

    // The listed port numbers and every other that stands for something.
    std::vector<int> shownPorts() const;

    // Sets each port's variable to the choice, or unsets it for automatic
    // where the panel had set it; a variable the environment set is left alone.
    void applyToEnvironment() const;

    void load(QSettings& settings);
    void save(QSettings& settings) const;

  private:
    PortTexts environment_;
    PortTexts chosen_;
};

// Whether the value is one a user may choose: a port target that reads.
bool validPortText(int port, const QString& text);

}  // namespace ports
