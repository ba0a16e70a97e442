#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

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
