#include "ui/windowplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

void placeOnScreen(QWidget &window, QRect wanted)
{
    const QScreen *screen = wanted.width() > 0 ? QGuiApplication::screenAt(wanted.center()) : nullptr;
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
        wanted = QRect();
    }
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    QSize size = wanted.isValid() ? wanted.size() : window.size();
    size = size.boundedTo(area.size() - QSize(16, 48)).expandedTo(window.minimumSizeHint());
    window.resize(size);
    QPoint place = wanted.isValid() ? wanted.topLeft()
                                    : QPoint(area.x() + (area.width() - size.width()) / 2,
                                             area.y() + std::max(0, (area.height() - size.height()) / 3));
    place.setX(std::clamp(place.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())));
    place.setY(std::clamp(place.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
    window.move(place);
}
