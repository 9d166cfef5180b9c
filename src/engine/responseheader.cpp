#include "engine/responseheader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "platform/bytetext.h"
#include "sources/httpreply.h"

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
    if (digits.size() > 10 || !platform::isWholeNumber(digits))
        return std::nullopt;
    const qint64 value = digits.toLongLong();
    if (value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(value);
}

} // namespace

qsizetype indexOfNoCase(const QByteArray &haystack, const QByteArray &needle, qsizetype from)
{
    // Every packet of a stream is searched this way, so this is a
    // Boyer-Moore-Horspool search over letter-folded bytes rather than a
    // byte-by-byte comparison.
    const qsizetype n = haystack.size();
    const qsizetype m = needle.size();
    from = std::max<qsizetype>(from, 0);
    if (m == 0)
        return from <= n ? from : -1;
    if (n - from < m)
        return -1;

    static const std::array<unsigned char, 256> folded = [] {
        std::array<unsigned char, 256> table{};
        for (int c = 0; c < 256; ++c)
            table[static_cast<size_t>(c)] = static_cast<unsigned char>(lowerAscii(static_cast<char>(c)));
        return table;
    }();
    const auto fold = [](char c) { return folded[static_cast<unsigned char>(c)]; };
    std::array<qsizetype, 256> skip;
    skip.fill(m);
    for (qsizetype k = 0; k + 1 < m; ++k)
        skip[fold(needle.at(k))] = m - 1 - k;

    const char *h = haystack.constData();
    const char *p = needle.constData();
    const unsigned char needleLast = fold(p[m - 1]);
    for (qsizetype i = from; i + m <= n;) {
        const unsigned char last = fold(h[i + m - 1]);
        if (last == needleLast) {
            qsizetype k = m - 2;
            while (k >= 0 && fold(h[i + k]) == fold(p[k]))
                --k;
            if (k < 0)
                return i;
        }
        i += skip[last];
    }
    return -1;
}

bool containsNoCase(const QByteArray &haystack, const QByteArray &needle)
{
    return indexOfNoCase(haystack, needle) >= 0;
}

namespace
{

// Which of the screened texts a packet holds anywhere.
struct ScreenedTexts
{
    bool refusal = false;     // "ICY 40"
    bool browserPage = false; // "SHOUTCast Server", in any letter case
    bool redirect = false;    // "302 Found"
};

// Every packet of a stream is screened, so the three texts are found in one
// pass: each of them holds a space, and spaces are rare in audio, so only the
// spaces memchr finds are looked at.
ScreenedTexts findScreenedTexts(const QByteArray &packet)
{
    static constexpr char kRefusal[] = "ICY 40";
    static constexpr char kBrowserPage[] = "shoutcast server";
    static constexpr char kRedirect[] = "302 Found";
    constexpr qsizetype kRefusalSpace = 3;
    constexpr qsizetype kBrowserPageSpace = 9;
    constexpr qsizetype kRedirectSpace = 3;

    const auto at = [&](qsizetype start, const char *text, qsizetype length, bool foldCase) {
        if (start < 0 || start + length > packet.size())
            return false;
        const char *bytes = packet.constData() + start;
        if (!foldCase)
            return std::memcmp(bytes, text, static_cast<size_t>(length)) == 0;
        for (qsizetype k = 0; k < length; ++k) {
            if (lowerAscii(bytes[k]) != text[k])
                return false;
        }
        return true;
    };

    ScreenedTexts found;
    const char *begin = packet.constData();
    const char *end = begin + packet.size();
    for (const char *space = begin;
         (space = static_cast<const char *>(std::memchr(space, ' ', static_cast<size_t>(end - space)))) != nullptr;
         ++space) {
        const qsizetype s = space - begin;
        found.refusal = found.refusal || at(s - kRefusalSpace, kRefusal, sizeof(kRefusal) - 1, false);
        if (found.refusal)
            break; // it decides alone
        found.browserPage =
            found.browserPage || at(s - kBrowserPageSpace, kBrowserPage, sizeof(kBrowserPage) - 1, true);
        found.redirect = found.redirect || at(s - kRedirectSpace, kRedirect, sizeof(kRedirect) - 1, false);
    }
    return found;
}

} // namespace

PacketKind screenPacket(const QByteArray &packet, bool atReplyStart)
{
    const ScreenedTexts found = findScreenedTexts(packet);
    if (found.refusal)
        return PacketKind::Refusal;
    // An error page is no stream, whatever it says further down.
    const std::optional<sources::HttpStatus> status =
        atReplyStart ? sources::httpStatus(packet) : std::optional<sources::HttpStatus>();
    if (status && status->code >= 400)
        return PacketKind::Refusal;
    if (found.browserPage)
        return PacketKind::BrowserPage;
    if (found.redirect)
        return PacketKind::Redirect;
    // A redirect without a target is left to the header checks.
    if (status && sources::isRedirectStatus(status->code) && sources::headerValue(packet, "Location"))
        return PacketKind::Redirect;
    return PacketKind::Stream;
}

RefusalTexts refusalTexts(const QByteArray &packet, const QString &name, qint32 server)
{
    const QString n = QString::number(server);
    if (const std::optional<sources::HttpStatus> status = sources::httpStatus(packet);
        status && status->code >= 400 && !packet.contains("ICY 40")) {
        const QByteArray reason = status->reason.toLower();
        const char *matching = "ICY 499";
        if (status->code == 404)
            matching = "ICY 404";
        else if (reason.contains("full") || reason.contains("limit"))
            matching = "ICY 400";
        else if (status->code == 403)
            matching = "ICY 403";
        return refusalTexts(QByteArray(matching), name, server);
    }
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
    const qsizetype config = packet.indexOf('\r', start);
    if (config < 0)
        return std::nullopt;
    return platform::trimSpaces(packet.mid(start, config - start));
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
    // The value ends with its line, whichever line end the server uses.
    qsizetype end = start;
    while (end < packet.size() && packet.at(end) != '\r' && packet.at(end) != '\n')
        ++end;
    return platform::trimSpaces(packet.mid(start, end - start));
}

qsizetype findHeaderEnd(const QByteArray &packet)
{
    return packet.indexOf("\r\n\r\n") + 1;
}

} // namespace engine
