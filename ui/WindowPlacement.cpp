#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

QPoint centredTopLeft(QSize window, QRect available) {
    const QPoint centred = available.center() - QRect(QPoint(0, 0), window).center();
    return {qMax(centred.x(), available.left()), qMax(centred.y(), available.top())};
}

void placeOnScreen(QWidget* window) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        window->move(centredTopLeft(window->size(), screen->availableGeometry()));
    }
}

QRect placeOf(const QWidget* window) {
    return {window->pos(), window->size()};
}

void placeAt(QWidget* window, const std::optional<QRect>& place) {
    if (place && QGuiApplication::screenAt(place->topLeft() + QPoint(place->width() / 2, 8))) {
        window->move(place->topLeft());
        window->resize(place->size());
    }
}

void keepOnScreen(QWidget* window) {
    const QScreen* screen = window->isVisible() && window->screen()
                                ? window->screen()
                                : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect free = screen->availableGeometry();
    // Until it is shown, the frame is not known: a title bar and borders.
    QSize frame = window->frameGeometry().size() - window->size();
    if (!window->isVisible() || frame.height() <= 0) {
        frame = QSize(16, 48);
    }
    window->resize(window->size().boundedTo(free.size() - frame));
    if (window->isVisible() || window->testAttribute(Qt::WA_Moved)) {
        const QSize outer = window->size() + frame;
        // The title bar first, where a window still does not fit.
        window->move(
            std::max(free.left(), std::min(window->pos().x(), free.right() + 1 - outer.width())),
            std::max(free.top(), std::min(window->pos().y(), free.bottom() + 1 - outer.height())));
    }
}
