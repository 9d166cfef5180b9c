#include "ui/segmentdisplay.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace
{

// Segments a..g of the digits 0-9, bit 0 = a.
constexpr unsigned char kSegments[10] = {0x3f, 0x06, 0x5b, 0x4f, 0x66, 0x6d, 0x7d, 0x07, 0x7f, 0x6f};

// One segment as a pointed bar from a to b, thickness t.
QPainterPath bar(QPointF a, QPointF b, qreal t)
{
    const QPointF d = b - a;
    const bool horizontal = std::abs(d.x()) > std::abs(d.y());
    const qreal h = t / 2;
    QPainterPath path;
    if (horizontal) {
        path.moveTo(a);
        path.lineTo(a.x() + h, a.y() - h);
        path.lineTo(b.x() - h, b.y() - h);
        path.lineTo(b);
        path.lineTo(b.x() - h, b.y() + h);
        path.lineTo(a.x() + h, a.y() + h);
    } else {
        path.moveTo(a);
        path.lineTo(a.x() + h, a.y() + h);
        path.lineTo(b.x() + h, b.y() - h);
        path.lineTo(b);
        path.lineTo(b.x() - h, b.y() - h);
        path.lineTo(a.x() - h, a.y() + h);
    }
    path.closeSubpath();
    return path;
}

void drawDigit(QPainter &painter, const QRectF &box, int digit, bool idle, const QColor &on, const QColor &ghost)
{
    const qreal t = std::max<qreal>(1.5, box.width() * 0.16);
    const qreal gap = t * 0.18;
    const qreal l = box.left() + t / 2;
    const qreal r = box.right() - t / 2;
    const qreal top = box.top() + t / 2;
    const qreal mid = box.center().y();
    const qreal bottom = box.bottom() - t / 2;
    const QPainterPath segments[7] = {
        bar({l + gap, top}, {r - gap, top}, t),       // a
        bar({r, top + gap}, {r, mid - gap}, t),       // b
        bar({r, mid + gap}, {r, bottom - gap}, t),    // c
        bar({l + gap, bottom}, {r - gap, bottom}, t), // d
        bar({l, mid + gap}, {l, bottom - gap}, t),    // e
        bar({l, top + gap}, {l, mid - gap}, t),       // f
        bar({l + gap, mid}, {r - gap, mid}, t),       // g
    };
    const unsigned char lit = idle ? 0 : kSegments[digit];
    for (int s = 0; s < 7; ++s)
        painter.fillPath(segments[s], (lit >> s) & 1 ? on : ghost);
}

} // namespace

SegmentDisplay::SegmentDisplay(QWidget *parent)
    : QWidget(parent)
{}

SegmentDisplay::~SegmentDisplay() = default;

void SegmentDisplay::setValue(qint32 value)
{
    if (!m_idle && value == m_value)
        return;
    m_value = value;
    m_idle = false;
    update();
}

void SegmentDisplay::setMinus(bool lit)
{
    if (lit == m_minus)
        return;
    m_minus = lit;
    update();
}

void SegmentDisplay::setIdle()
{
    if (m_idle)
        return;
    m_idle = true;
    update();
}

void SegmentDisplay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor on(255, 0, 0);
    const QColor off(64, 0, 0);
    const QColor ghost(52, 8, 8);
    const qreal h = height() * 0.86;
    const qreal y = (height() - h) / 2;
    const qreal w = std::min(width() * 0.36, h * 0.55);
    const qreal minusWidth = width() - 2 * w - w * 0.3;

    // The minus sign in front of the digits.
    const qreal mt = std::max<qreal>(1.5, w * 0.16);
    painter.fillRect(QRectF(minusWidth * 0.15, height() / 2.0 - mt / 2, minusWidth * 0.6, mt), m_minus ? on : off);

    const qint32 shown = std::max<qint32>(0, m_value) % 100;
    // A slight slant reads as a display rather than as text.
    painter.translate(0, 0);
    QTransform slant;
    slant.translate(height() * 0.06, 0);
    slant.shear(-0.06, 0);
    painter.setTransform(slant, true);
    const qreal x0 = minusWidth;
    drawDigit(painter, QRectF(x0, y, w, h), shown / 10, m_idle, on, ghost);
    drawDigit(painter, QRectF(x0 + w * 1.3, y, w, h), shown % 10, m_idle, on, ghost);
}
