#include "ValueBox.h"

#include <QAccessibleWidget>

#include "StatusPoll.h"

namespace {

// The name may be the caption beside the box, so its number is read as its
// value and as its text: Qt's bridges read a label's words only through a
// text interface, which Qt gives a plain label none of.
class AccessibleValueBox : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    explicit AccessibleValueBox(ValueBox* box) : QAccessibleWidget(box, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value ||
            (t == QAccessible::Name && widget()->accessibleName().isEmpty())) {
            return shown();
        }
        return QAccessibleWidget::text(t);
    }
    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(t);
    }

    // Read only: no caret, no selection.
    QString text(int start, int end) const override { return shown().mid(start, end - start); }
    int characterCount() const override { return static_cast<int>(shown().size()); }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    int selectionCount() const override { return 0; }
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset;
        return {};
    }

  private:
    QString shown() const { return static_cast<const QLabel*>(widget())->text(); }
};

}  // namespace

void ValueBox::showValue(const QString& value) {
    const QString old = text();
    if (value == old) {
        return;
    }
    setText(value);
    QAccessibleTextUpdateEvent changed(this, 0, old, value);
    QAccessible::updateAccessibility(&changed);
}

void ValueBox::markRead(const QDateTime& at) {
    readAt_ = at;
    if (ownColour_) {
        QPalette p = palette();
        p.setColor(QPalette::WindowText, *ownColour_);
        setPalette(p);
        ownColour_.reset();
    }
    setNote({});
}

void ValueBox::markOld(const QString& why, std::optional<Rgb> background) {
    if (!readAt_.isValid()) {
        return;
    }
    QPalette p = palette();
    if (!ownColour_) {
        ownColour_ = p.color(QPalette::WindowText);
        const Rgb grey = colours::kOldValueText;
        p.setColor(QPalette::WindowText, QColor(grey.red, grey.green, grey.blue));
    }
    if (background) {
        p.setColor(QPalette::Window, QColor(background->red, background->green, background->blue));
    }
    setPalette(p);
    setNote(QStringLiteral("读于 %1（%2）").arg(timeCaption(readAt_), why));
}

void ValueBox::setNote(const QString& note) {
    if (note == toolTip()) {
        return;
    }
    setToolTip(note);
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

QAccessibleInterface* accessibleValueBox(ValueBox* box) {
    return new AccessibleValueBox(box);
}
