#include "ToolWindowRole.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace {

// Asked first with the object's own class name: Qt's own factory, asked
// after, knows none of ours.
QAccessibleInterface* accessibleToolWindow(const QString& className, QObject* object) {
    const QMetaObject* own = object->metaObject();
    if (!object->isWidgetType() || className != QLatin1String(own->className()) ||
        own->superClass() != &QWidget::staticMetaObject) {
        return nullptr;
    }
    auto* widget = static_cast<QWidget*>(object);
    return widget->isWindow() ? new QAccessibleWidget(widget, QAccessible::Window) : nullptr;
}

}  // namespace

void useWindowRoles() {
    static const bool installed = [] {
        QAccessible::installFactory(accessibleToolWindow);
        return true;
    }();
    (void)installed;
}
