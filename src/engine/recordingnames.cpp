#include "engine/recordingnames.h"

#include <QStringBuilder>

namespace engine
{

namespace
{
QByteArray padded(int value, int width)
{
    return QByteArray::number(value).rightJustified(width, '0');
}
} // namespace

QByteArray datePart(const QDate &day)
{
    return padded(day.month(), 2) + padded(day.day(), 2) + padded(day.year(), 4);
}

QByteArray datedFileName(const QByteArray &prefix, const QDate &day)
{
    return prefix + '-' + datePart(day) + QByteArrayLiteral(".mp3");
}

QByteArray unknownFileName(const QDate &day)
{
    return datedFileName(QByteArrayLiteral("unknown"), day);
}

QByteArray fallbackFileName(int number, const QDate &day)
{
    return QByteArrayLiteral("unknown-") + QByteArray::number(number) + '-' + datePart(day) + QByteArrayLiteral(".mp3");
}

} // namespace engine
