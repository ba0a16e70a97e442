#include "PortSettings.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QSettings>

#include "ControlNames.h"
#include "LeadingNumber.h"
#include "PortChoiceText.h"
#include "PortDialog.h"
#include "SerialLine.h"

namespace {

QSettings settings() {
    return QSettings(QStringLiteral("tq7310-panel"), QStringLiteral("tq7310-panel"));
}

}  // namespace

PortSettings::PortSettings(QWidget* window, const QHash<QString, QWidget*>& controls)
    : QObject(window), window_(window), controls_(controls) {
    auto kept = settings();
    choices_.load(kept);
    choices_.applyToEnvironment();
    auto* list = qobject_cast<QComboBox*>(controls_.value(control::Combo1()));
    auto* action = new QAction(QStringLiteral("端口设置…"), window);
    action->setObjectName(QStringLiteral("PortSettingsAction"));
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    action->setShortcutContext(Qt::WindowShortcut);
    window->addAction(action);
    connect(action, &QAction::triggered, this, &PortSettings::showDialog);
    // The list's text takes the right click first: the entry goes into both.
    for (QWidget* w : {static_cast<QWidget*>(list), static_cast<QWidget*>(list->lineEdit())}) {
        w->setContextMenuPolicy(Qt::ActionsContextMenu);
        w->addAction(action);
    }
    list->setToolTip(ports::portListTip(action->shortcut().toString(QKeySequence::NativeText)));
    connect(list, &QComboBox::editTextChanged, this, &PortSettings::showLineSettings);
    showLineSettings();
}

int PortSettings::listedPort() const {
    auto* list = qobject_cast<QComboBox*>(controls_.value(control::Combo1()));
    return leadingInt32(list->currentText()).value_or(0);
}

void PortSettings::choose(const ports::PortTexts& chosen) {
    choices_.setChosen(chosen);
    auto kept = settings();
    choices_.save(kept);
    choices_.applyToEnvironment();
    showLineSettings();
}

void PortSettings::showDialog() {
    const int port = std::clamp(listedPort(), module_line::kFirstPort, module_line::kLastPort);
    auto* dialog = new ports::PortDialog(choices_, port, window_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] { choose(dialog->chosen()); });
    dialog->open();
}

void PortSettings::showLineSettings() {
    const auto target = choices_.parsedTarget(listedPort());
    const auto kind = target ? target->kind : module_line::TargetKind::Serial;
    const QString note = ports::lineSettingsNote(kind);
    QStringList options;
    for (int i = 0; i < int(module_line::kBauds.size()); ++i) {
        options << control::Option1(i);
    }
    for (int i = 0; i < int(module_line::kParities.size()); ++i) {
        options << control::Option2(i);
    }
    for (const QString& name : options) {
        if (QWidget* option = controls_.value(name)) {
            option->setEnabled(kind != module_line::TargetKind::ModbusTcp);
            option->setToolTip(note);
        }
    }
    for (const char* frame : {"Frame2(1)", "Frame5(1)"}) {
        if (QWidget* w = controls_.value(QLatin1String(frame))) {
            w->setToolTip(note);
        }
    }
}
