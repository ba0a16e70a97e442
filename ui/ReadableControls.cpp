#include "ReadableControls.h"

#include <QAccessibleWidget>

namespace {

constexpr auto kNamesAnother = "namesAnother";

// A client area or frame whose children leave out the captions that name
// another control.
class AccessibleContainer : public QAccessibleWidget {
  public:
    AccessibleContainer(QWidget* w, QAccessible::Role role) : QAccessibleWidget(w, role) {}

    QString text(QAccessible::Text t) const override {
        auto* frame = qobject_cast<QGroupBox*>(widget());
        if (t == QAccessible::Name && frame && frame->accessibleName().isEmpty()) {
            return frame->title();
        }
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return static_cast<int>(read().size()); }
    QAccessibleInterface* child(int index) const override {
        const QList<QWidget*> children = read();
        return index >= 0 && index < children.size()
                   ? QAccessible::queryAccessibleInterface(children[index])
                   : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child ? static_cast<int>(read().indexOf(qobject_cast<QWidget*>(child->object())))
                     : -1;
    }

  private:
    QList<QWidget*> read() const {
        QList<QWidget*> children;
        for (QObject* o : widget()->children()) {
            auto* w = qobject_cast<QWidget*>(o);
            if (w && !w->isWindow() && !w->property(kNamesAnother).toBool()) {
                children << w;
            }
        }
        return children;
    }
};

class AccessibleCombo : public QAccessibleWidget {
  public:
    explicit AccessibleCombo(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) {
            return combo()->currentText();
        }
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override {
        return QStringList{showMenuAction(), pressAction()} << QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction()) {
            combo()->showPopup();
        } else {
            QAccessibleWidget::doAction(action);
        }
    }

  private:
    QComboBox* combo() const { return static_cast<QComboBox*>(widget()); }
};

}  // namespace

void markNamesAnother(QWidget* label) {
    label->setProperty(kNamesAnother, true);
}

QAccessibleInterface* accessibleReadable(QObject* object) {
    if (auto* combo = qobject_cast<CaptionedCombo*>(object)) {
        return new AccessibleCombo(combo);
    }
    if (auto* frame = qobject_cast<ControlFrame*>(object)) {
        return new AccessibleContainer(frame, QAccessible::Grouping);
    }
    if (auto* client = qobject_cast<ClientArea*>(object)) {
        return new AccessibleContainer(client, QAccessible::Pane);
    }
    return nullptr;
}
