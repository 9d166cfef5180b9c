#include "ui/slider.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <cmath>

Slider::Slider(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
}

Slider::~Slider() = default;

void Slider::setMinimum(int minimum)
{
    m_minimum = minimum;
    if (m_value < minimum)
        m_value = minimum;
    if (m_maximum < minimum + 1)
        m_maximum = minimum + 1;
    update();
}

void Slider::setMaximum(int maximum)
{
    m_maximum = std::max(maximum, m_minimum + 1);
    if (m_value > m_maximum)
        m_value = m_maximum;
    update();
}

void Slider::setValue(int value)
{
    if (value == m_value)
        return;
    m_value = std::clamp(value, m_minimum, m_maximum);
    if (!m_dragging)
        m_dragThumb = thumbPosition();
    update();
    Q_EMIT valueChanged(m_value);
}

void Slider::setOrientation(Qt::Orientation orientation)
{
    m_orientation = orientation;
    updateGeometry();
    update();
}

void Slider::setToolTipText(std::function<QString(int)> text)
{
    m_tipText = std::move(text);
}

int Slider::length() const
{
    return m_orientation == Qt::Horizontal ? width() : height();
}

int Slider::thickness() const
{
    return m_orientation == Qt::Horizontal ? height() : width();
}

int Slider::thumbLength() const
{
    // Proportional to the thickness so the control scales with the display.
    return std::max(6, thickness() * 2 / 3);
}

int Slider::capLength() const
{
    return std::max(2, thumbLength() / 4);
}

int Slider::travel() const
{
    // A control no longer than its thumb would divide by zero below.
    return std::max(1, length() - thumbLength());
}

int Slider::thumbPosition() const
{
    const double share = double(m_value - m_minimum) / double(m_maximum - m_minimum);
    return int(std::lround(share * travel()));
}

QSize Slider::sizeHint() const
{
    return m_orientation == Qt::Horizontal ? QSize(120, 20) : QSize(20, 120);
}

int Slider::along(const QPointF &point) const
{
    return int(std::lround(m_orientation == Qt::Horizontal ? point.x() : point.y()));
}

Slider::Part Slider::partAt(int position) const
{
    const int thumb = thumbPosition();
    if (position >= thumb && position < thumb + thumbLength())
        return Part::Thumb;
    if (position < capLength())
        return Part::StartCap;
    if (position >= length() - capLength())
        return Part::EndCap;
    return Part::Track;
}

int Slider::trackValueAt(int position) const
{
    // Truncating, as a press on the track does.
    const int p = std::clamp(position, 0, travel());
    return m_minimum + int(qint64(p) * (m_maximum - m_minimum) / travel());
}

QString Slider::tipFor(int value) const
{
    return m_tipText ? m_tipText(value) : QString::number(value);
}

void Slider::mousePressEvent(QMouseEvent *event)
{
    const int position = along(event->position());
    switch (partAt(position)) {
    case Part::Thumb:
        m_dragging = true;
        m_dragThumb = thumbPosition();
        m_lastDragPosition = position;
        break;
    case Part::StartCap:
        setValue(m_minimum);
        break;
    case Part::EndCap:
        setValue(m_maximum);
        break;
    case Part::Track:
        setValue(trackValueAt(position));
        break;
    }
    Q_EMIT pressed();
}

void Slider::mouseMoveEvent(QMouseEvent *event)
{
    const int position = along(event->position());
    if (!m_dragging) {
        int shown = m_value;
        switch (partAt(position)) {
        case Part::StartCap:
            shown = m_minimum;
            break;
        case Part::EndCap:
            shown = m_maximum;
            break;
        case Part::Track:
            shown = trackValueAt(position);
            break;
        case Part::Thumb:
            break;
        }
        setToolTip(tipFor(shown));
        return;
    }
    if (position == m_lastDragPosition)
        return;
    m_lastDragPosition = position;
    // The thumb's leading edge follows the pointer.
    m_dragThumb = std::clamp(position, 0, travel());
    const double share = double(m_dragThumb) / double(travel());
    setValue(m_minimum + int(std::lround(share * (m_maximum - m_minimum))));
    setToolTip(tipFor(m_value));
}

void Slider::mouseReleaseEvent(QMouseEvent *)
{
    m_dragging = false;
    update();
    Q_EMIT released();
}

void Slider::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        setValue(m_value - 1);
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        setValue(m_value + 1);
        break;
    default:
        break;
    }
    Q_EMIT keyPressed();
}

bool Slider::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        const auto *help = static_cast<QHelpEvent *>(event);
        QToolTip::showText(help->globalPos(), tipFor(m_value), this);
        return true;
    }
    return QWidget::event(event);
}

void Slider::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &pal = palette();
    const bool horizontal = m_orientation == Qt::Horizontal;
    const double thick = thickness();
    const double groove = std::max(3.0, thick / 5.0);

    // Track from cap to cap; the part towards the low end (the louder part of a
    // volume slider read top-down) is not singled out: the thumb says it all.
    QRectF track = horizontal ? QRectF(0, (thick - groove) / 2, width(), groove)
                              : QRectF((thick - groove) / 2, 0, groove, height());
    painter.setPen(Qt::NoPen);
    painter.setBrush(pal.color(QPalette::Mid));
    painter.drawRoundedRect(track, groove / 2, groove / 2);

    // The stretch from the thumb to the far end shows the level.
    const double thumb = m_dragging ? m_dragThumb : thumbPosition();
    const double tl = thumbLength();
    QRectF level = horizontal ? QRectF(0, track.top(), thumb + tl / 2, groove)
                              : QRectF(track.left(), thumb + tl / 2, groove, height() - thumb - tl / 2);
    painter.setBrush(pal.color(QPalette::Highlight));
    painter.drawRoundedRect(level, groove / 2, groove / 2);

    QRectF knob = horizontal ? QRectF(thumb, 1, tl, thick - 2) : QRectF(1, thumb, thick - 2, tl);
    painter.setBrush(pal.color(QPalette::Button));
    painter.setPen(QPen(hasFocus() ? pal.color(QPalette::Highlight) : pal.color(QPalette::Dark), 1.2));
    painter.drawRoundedRect(knob.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    // A grip line across the thumb.
    painter.setPen(QPen(pal.color(QPalette::Dark), 1));
    const QPointF centre = knob.center();
    if (horizontal)
        painter.drawLine(QPointF(centre.x(), knob.top() + 3), QPointF(centre.x(), knob.bottom() - 3));
    else
        painter.drawLine(QPointF(knob.left() + 3, centre.y()), QPointF(knob.right() - 3, centre.y()));
}
