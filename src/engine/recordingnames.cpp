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

// The value of decimal digits only; -1 for anything else.
int digitsValue(const QByteArray &text)
{
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
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

std::optional<QDate> archiveDate(const QByteArray &fileName)
{
    const qsizetype n = fileName.size();
    if (n < 12)
        return std::nullopt;
    const int month = digitsValue(fileName.mid(n - 12, 2));
    const int day = digitsValue(fileName.mid(n - 10, 2));
    const int year = digitsValue(fileName.mid(n - 8, 4));
    if (month < 0 || day < 0 || year < 0)
        return std::nullopt;
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

} // namespace engine
