#include "Announcement.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace {

constexpr auto kAnnouncerName = "Announcement";

// Draws nothing: its words are for assistive technology; the window says
// them in its own place too.
class Announcer : public QWidget {
  public:
    explicit Announcer(QWidget* window) : QWidget(window) {
        setObjectName(QLatin1String(kAnnouncerName));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setGeometry(0, 0, 1, 1);
    }
    QString words;
};

class AccessibleAnnouncer : public QAccessibleWidget {
  public:
    explicit AccessibleAnnouncer(Announcer* announcer)
        : QAccessibleWidget(announcer, QAccessible::AlertMessage) {}
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? static_cast<const Announcer*>(widget())->words : QString();
    }
};

QAccessibleInterface* accessibleAnnouncer(const QString&, QObject* object) {
    auto* announcer = dynamic_cast<Announcer*>(object);
    return announcer ? new AccessibleAnnouncer(announcer) : nullptr;
}

Announcer* announcerOf(const QWidget* where) {
    const QWidget* window = where->window();
    for (QObject* child : window->children()) {
        if (auto* announcer = dynamic_cast<Announcer*>(child)) {
            return announcer;
        }
    }
    return nullptr;
}

}  // namespace

void announce(QWidget* where, const QString& words) {
    static const bool installed = [] {
        QAccessible::installFactory(accessibleAnnouncer);
        return true;
    }();
    (void)installed;
    if (where == nullptr || words.isEmpty()) {
        return;
    }
    Announcer* announcer = announcerOf(where);
    if (announcer == nullptr) {
        announcer = new Announcer(where->window());
    }
    // Hidden and shown again, so that the same words twice are spoken twice:
    // a screen reader speaks an alert as it comes into sight.
    announcer->hide();
    announcer->words = words;
    announcer->show();
}

QString lastAnnouncement(const QWidget* where) {
    const Announcer* announcer = where ? announcerOf(where) : nullptr;
    return announcer ? announcer->words : QString();
}
