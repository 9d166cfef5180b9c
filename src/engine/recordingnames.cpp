#include "engine/recordingnames.h"

#include <QStringBuilder>

#include "engine/streamtitle.h"

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
// Bytes of a code point in UTF-8.
int utf8Length(char32_t codePoint)
{
    return codePoint < 0x80 ? 1 : codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
}
} // namespace

qsizetype audioExtensionLength(const QString &name)
{
    for (const QLatin1String extension : {QLatin1String(".mp3"), QLatin1String(".aac"), QLatin1String(".ogg")}) {
        if (name.endsWith(extension, Qt::CaseInsensitive))
            return extension.size();
    }
    return 0;
}

QString recordingFileName(const QByteArray &name, int copy)
{
    const QString decoded = decodeTitle(cleanFileName(name));
    const qsizetype extensionLength = audioExtensionLength(decoded);
    QString stem = decoded.chopped(extensionLength);
    const QString extension = decoded.right(extensionLength);
    // A name never hides, and never is only blanks or the folder itself (".", "..").
    qsizetype lead = 0;
    while (lead < stem.size() && (stem.at(lead) == QLatin1Char('.') || stem.at(lead).isSpace()))
        ++lead;
    stem.remove(0, lead);
    if (stem.isEmpty())
        return {};
    const QString suffix = copy > 1 ? QStringLiteral(" (%1)").arg(copy) : QString();

    // The stem keeps as many whole characters as fit beside suffix and extension.
    const int room = kMaxFileNameBytes - static_cast<int>((suffix + extension).toUtf8().size());
    int used = 0;
    qsizetype end = 0;
    while (end < stem.size()) {
        char32_t codePoint = stem.at(end).unicode();
        qsizetype width = 1;
        if (stem.at(end).isHighSurrogate() && end + 1 < stem.size() && stem.at(end + 1).isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(stem.at(end), stem.at(end + 1));
            width = 2;
        }
        if (used + utf8Length(codePoint) > room)
            break;
        used += utf8Length(codePoint);
        end += width;
    }
    return stem.left(end) + suffix + extension;
}

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
