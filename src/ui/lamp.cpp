#include "ui/lamp.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRadialGradient>

Lamp::Lamp(const QString &caption, QWidget *parent)
    : QWidget(parent)
    , m_caption(caption)
{}

Lamp::~Lamp() = default;

QColor Lamp::onColour()
{
    return QColor(255, 0, 0);
}

QColor Lamp::offColour()
{
    return QColor(64, 0, 0);
}

void Lamp::setOn(bool on)
{
    if (on == m_on)
        return;
    m_on = on;
    update();
}

void Lamp::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    update();
}

void Lamp::setBulbVisible(bool visible)
{
    m_bulb = visible;
    update();
}

void Lamp::mousePressEvent(QMouseEvent *event)
{
    // Presses on a plain lamp drag the window it sits on.
    if (m_clickable && event->button() == Qt::LeftButton)
        event->accept();
    else
        event->ignore();
}

void Lamp::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_clickable && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}

void Lamp::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = m_on ? onColour() : offColour();
    qreal x = 0;
    if (m_bulb) {
        const qreal d = height() * 0.55;
        const QRectF bulb(1, (height() - d) / 2, d, d);
        if (m_on) {
            // A soft glow makes a lit lamp read at a glance on the dark panel.
            QRadialGradient glow(bulb.center(), d);
            glow.setColorAt(0, QColor(255, 60, 60, 150));
            glow.setColorAt(1, QColor(255, 0, 0, 0));
            painter.setPen(Qt::NoPen);
            painter.setBrush(glow);
            painter.drawEllipse(bulb.center(), d, d);
        }
        painter.setBrush(colour);
        // The rim keeps an unlit lamp visible against the panel.
        painter.setPen(QPen(m_on ? QColor(255, 150, 150) : QColor(110, 40, 40), 1));
        painter.drawEllipse(bulb);
        x = bulb.right() + d * 0.45;
    }
    // An unlit lamp's name stays readable: only its bulb goes dark.
    painter.setPen(m_bulb && !m_on ? QColor(150, 70, 70) : colour);
    painter.setFont(font());
    painter.drawText(QRectF(x, 0, width() - x, height()), Qt::AlignVCenter | Qt::AlignLeft, m_caption);
}
