#include "engine/responseheader.h"

#include <limits>

namespace engine
{

namespace
{

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A whole number made of decimal digits only, fitting a 32-bit integer.
std::optional<qint32> wholeNumber(const QByteArray &digits)
{
    if (digits.isEmpty() || digits.size() > 10)
        return std::nullopt;
    qint64 value = 0;
    for (const char c : digits) {
        if (!isDigit(c))
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(value);
}

} // namespace

qsizetype indexOfNoCase(const QByteArray &haystack, const QByteArray &needle, qsizetype from)
{
    const qsizetype n = haystack.size();
    const qsizetype m = needle.size();
    if (m == 0)
        return from <= n ? from : -1;
    const char first = lowerAscii(needle.at(0));
    for (qsizetype i = std::max<qsizetype>(from, 0); i + m <= n; ++i) {
        if (lowerAscii(haystack.at(i)) != first)
            continue;
        qsizetype k = 1;
        while (k < m && lowerAscii(haystack.at(i + k)) == lowerAscii(needle.at(k)))
            ++k;
        if (k == m)
            return i;
    }
    return -1;
}

bool containsNoCase(const QByteArray &haystack, const QByteArray &needle)
{
    return indexOfNoCase(haystack, needle) >= 0;
}

QByteArray trimBlanks(const QByteArray &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == ' ')
        ++begin;
    while (end > begin && text.at(end - 1) == ' ')
        --end;
    return text.mid(begin, end - begin);
}

PacketKind screenPacket(const QByteArray &packet)
{
    if (packet.contains("ICY 40"))
        return PacketKind::Refusal;
    if (containsNoCase(packet, QByteArrayLiteral("SHOUTCast Server")))
        return PacketKind::BrowserPage;
    if (packet.contains("302 Found"))
        return PacketKind::Redirect;
    return PacketKind::Stream;
}

RefusalTexts refusalTexts(const QByteArray &packet, const QString &name, qint32 server)
{
    const QString n = QString::number(server);
    if (packet.contains("ICY 404"))
        return {name + QStringLiteral(" -- NETWORK: Server error, resource not found... trying server ") + n,
                QStringLiteral("[ERR]: Resource not found, trying server ") + n + QStringLiteral("...")};
    if (packet.contains("ICY 400"))
        return {name + QStringLiteral(" -- Server Full... trying server ") + n,
                QStringLiteral("[ERR]: Server full, trying server ") + n + QStringLiteral("...")};
    if (packet.contains("ICY 403"))
        return {name + QStringLiteral(" -- NETWORK: Server error, forbidden... trying server ") + n,
                QStringLiteral("[ERR]: Resource forbidden, trying server ") + n + QStringLiteral("...")};
    return {name + QStringLiteral(" --  General ICY error -- trying server ") + n,
            QStringLiteral("[ERR]: General ICY error -- trying server ") + n + QStringLiteral("...")};
}

std::optional<QByteArray> icyName(const QByteArray &packet)
{
    static const QByteArray key = QByteArrayLiteral("icy-name:");
    const qsizetype at = packet.indexOf(key);
    if (at < 0)
        return std::nullopt;
    const qsizetype start = at + key.size();
    const qsizetype cr = packet.indexOf('\r', start);
    if (cr < 0)
        return std::nullopt;
    return trimBlanks(packet.mid(start, cr - start));
}

std::optional<qint32> metaInterval(const QByteArray &packet)
{
    static const QByteArray key = QByteArrayLiteral("icy-metaint:");
    const qsizetype at = packet.indexOf(key);
    if (at < 0)
        return std::nullopt;
    QByteArray digits;
    for (qsizetype i = at + key.size(); i < packet.size(); ++i) {
        const char c = packet.at(i);
        if (isDigit(c))
            digits.append(c);
        else if (c != ' ')
            break;
    }
    const auto value = wholeNumber(digits);
    if (!value || *value == 0)
        return std::nullopt;
    return value;
}

std::optional<qint32> bitRate(const QByteArray &packet)
{
    static const QByteArray key = QByteArrayLiteral("icy-br:");
    const qsizetype at = packet.indexOf(key);
    if (at < 0)
        return std::nullopt;
    const qsizetype start = at + key.size();
    qsizetype end = packet.indexOf("icy-", start);
    if (end < 0)
        end = packet.size();
    const QByteArray value = packet.mid(start, end - start).trimmed();
    return wholeNumber(value);
}

std::optional<QByteArray> redirectLocation(const QByteArray &packet)
{
    static const QByteArray key = QByteArrayLiteral("Location:");
    const qsizetype at = indexOfNoCase(packet, key);
    if (at < 0)
        return std::nullopt;
    const qsizetype start = at + key.size();
    qsizetype end = packet.indexOf('\r', start);
    if (end < 0)
        end = packet.size();
    return trimBlanks(packet.mid(start, end - start));
}

qsizetype findHeaderEnd(const QByteArray &packet)
{
    return packet.indexOf("\r\n\r\n") + 1;
}

} // namespace engine
