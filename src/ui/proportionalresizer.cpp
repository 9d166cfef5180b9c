#include "ui/proportionalresizer.h"

#include <QEvent>
#include <QWidget>

#include <algorithm>
#include <cmath>

ProportionalResizer::ProportionalResizer(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    window->installEventFilter(this);
}

ProportionalResizer::~ProportionalResizer() = default;

void ProportionalResizer::refresh()
{
    m_baseWidth = m_window->width();
    m_baseHeight = m_window->height();
    m_noted.clear();
    const QList<QWidget *> children = m_window->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *child : children) {
        if (child->isWindow())
            continue;
        Noted noted;
        noted.widget = child;
        noted.geometry = child->geometry();
        const QFont font = child->font();
        noted.pixelFont = font.pointSizeF() <= 0;
        noted.fontSize = noted.pixelFont ? font.pixelSize() : font.pointSizeF();
        m_noted.append(noted);
    }
}

bool ProportionalResizer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Resize) {
        // The first size only becomes the base; nothing moves.
        if (!hasNoted())
            refresh();
        else
            scale();
    }
    return QObject::eventFilter(watched, event);
}

void ProportionalResizer::scale()
{
    if (m_suspended || m_baseWidth <= 0 || m_baseHeight <= 0)
        return;
    const qreal x = m_window->width() / m_baseWidth;
    const qreal y = m_window->height() / m_baseHeight;
    const qreal fontRatio = std::min(x, y);
    for (const Noted &noted : std::as_const(m_noted)) {
        QWidget *widget = noted.widget;
        if (!widget)
            continue;
        if (noted.fontSize > 0) {
            QFont font = widget->font();
            if (noted.pixelFont)
                font.setPixelSize(std::max(1, int(std::lround(noted.fontSize * fontRatio))));
            else
                font.setPointSizeF(std::max(1.0, noted.fontSize * fontRatio));
            widget->setFont(font);
        }
        const QRectF &g = noted.geometry;
        // Edges are rounded, not the size, so neighbours that touched still touch.
        const int left = int(std::lround(g.left() * x));
        const int top = int(std::lround(g.top() * y));
        const int right = int(std::lround((g.left() + g.width()) * x));
        const int bottom = int(std::lround((g.top() + g.height()) * y));
        widget->setGeometry(left, top, right - left, bottom - top);
    }
}
