#include "ui/displayicons.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

#include <cmath>

namespace
{

// Draws one of our pictures at whatever size Qt asks for, so a 2x screen gets
// a sharp picture rather than a scaled one.
class PaintedIcon final : public QIconEngine
{
public:
    explicit PaintedIcon(DisplayIcon kind)
        : m_kind(kind)
    {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        const QPalette palette = QGuiApplication::palette();
        QColor ink =
            palette.color(mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active, QPalette::ButtonText);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const qreal s = std::min(rect.width(), rect.height());
        painter->translate(rect.x() + (rect.width() - s) / 2.0, rect.y() + (rect.height() - s) / 2.0);
        painter->scale(s / 24.0, s / 24.0);
        painter->setPen(Qt::NoPen);
        painter->setBrush(ink);
        switch (m_kind) {
        case DisplayIcon::Record:
            painter->setBrush(mode == QIcon::Disabled ? ink : QColor(220, 30, 30));
            painter->drawEllipse(QRectF(5, 5, 14, 14));
            break;
        case DisplayIcon::Stop:
            painter->drawRoundedRect(QRectF(6, 6, 12, 12), 1.5, 1.5);
            break;
        case DisplayIcon::Pause:
            painter->drawRoundedRect(QRectF(6, 5, 4.5, 14), 1, 1);
            painter->drawRoundedRect(QRectF(13.5, 5, 4.5, 14), 1, 1);
            break;
        case DisplayIcon::Listen: {
            // A speaker with two waves.
            QPainterPath speaker;
            speaker.moveTo(3, 9);
            speaker.lineTo(7, 9);
            speaker.lineTo(12, 4.5);
            speaker.lineTo(12, 19.5);
            speaker.lineTo(7, 15);
            speaker.lineTo(3, 15);
            speaker.closeSubpath();
            painter->drawPath(speaker);
            painter->setBrush(Qt::NoBrush);
            painter->setPen(QPen(ink, 1.8, Qt::SolidLine, Qt::RoundCap));
            painter->drawArc(QRectF(10, 8, 6, 8), -60 * 16, 120 * 16);
            painter->drawArc(QRectF(9, 4.5, 11, 15), -60 * 16, 120 * 16);
            break;
        }
        case DisplayIcon::TimeMode:
            painter->setBrush(Qt::NoBrush);
            painter->setPen(QPen(ink, 1.8));
            painter->drawEllipse(QRectF(4, 4, 16, 16));
            painter->setPen(QPen(ink, 1.8, Qt::SolidLine, Qt::RoundCap));
            painter->drawLine(QPointF(12, 12), QPointF(12, 7));
            painter->drawLine(QPointF(12, 12), QPointF(15.5, 14));
            break;
        case DisplayIcon::Quit:
            painter->setBrush(Qt::NoBrush);
            painter->setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap));
            painter->drawArc(QRectF(5, 5.5, 14, 14), 125 * 16, 290 * 16);
            painter->drawLine(QPointF(12, 3.5), QPointF(12, 11));
            break;
        }
        painter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        QPixmap pixmap(size * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    QIconEngine *clone() const override { return new PaintedIcon(m_kind); }

private:
    DisplayIcon m_kind;
};

QString themeName(DisplayIcon kind)
{
    switch (kind) {
    case DisplayIcon::Record:
        return QStringLiteral("media-record");
    case DisplayIcon::Stop:
        return QStringLiteral("media-playback-stop");
    case DisplayIcon::Pause:
        return QStringLiteral("media-playback-pause");
    case DisplayIcon::Listen:
        return QStringLiteral("audio-volume-high");
    case DisplayIcon::TimeMode:
        return QStringLiteral("chronometer");
    case DisplayIcon::Quit:
        return QStringLiteral("application-exit");
    }
    return QString();
}

} // namespace

QIcon displayIcon(DisplayIcon kind)
{
    return QIcon::fromTheme(themeName(kind), QIcon(new PaintedIcon(kind)));
}
