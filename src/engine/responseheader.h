#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Reading a stream server's answer: how a packet is screened, the texts for a
// refusal, and the header values the recorder takes. All searches are made in
// the packet bytes; "blanks" are space characters.
namespace engine
{

enum class PacketKind
{
    Refusal,     // "ICY 40": server error, full, forbidden or not found
    BrowserPage, // "SHOUTCast Server" in any case: the web page sent to browsers
    Redirect,    // "302 Found"
    Stream,      // anything else: header or stream data
};

// The first rule that applies, in the order of the enumeration. At the start
// of a reply (atReplyStart) an HTTP status line counts as well: a code of 400
// or above is a refusal, a redirect code (301, 302, 303, 307, 308) with a
// Location a redirect.
PacketKind screenPacket(const QByteArray &packet, bool atReplyStart = false);

// Tray tip and caption for a refusal; name is the station title, server the
// number of the server that refused. An HTTP refusal reads like the ICY one it
// matches: 404 not found, 403 forbidden, a reason that says "full" or "limit"
// server full, anything else the general error.
struct RefusalTexts
{
    QString tip;
    QString caption;
};
RefusalTexts refusalTexts(const QByteArray &packet, const QString &name, qint32 server);

// Case-insensitive containment (ASCII letters only).
bool containsNoCase(const QByteArray &haystack, const QByteArray &needle);
// Case-insensitive search (ASCII letters only); -1 when absent.
qsizetype indexOfNoCase(const QByteArray &haystack, const QByteArray &needle, qsizetype from = 0);

// The value of "icy-name:": the text after it up to the next CR, blanks removed
// at both ends. Empty optional when the key is missing or no CR follows it.
std::optional<QByteArray> icyName(const QByteArray &packet);

// The digits after "icy-metaint:", read while each character is a blank or a
// digit. Empty optional when the key is missing, no digit follows, or the value
// is 0 or does not fit a 32-bit integer (none of which can describe a stream).
std::optional<qint32> metaInterval(const QByteArray &packet);

// The value of "icy-br:": the text after it up to the next "icy-" (or the end),
// when that text, white space at both ends ignored, is a whole number.
std::optional<qint32> bitRate(const QByteArray &packet);

// The target of "Location:" (any case): up to the next CR, LF or the end, blanks
// removed at both ends. Empty optional when there is no "Location:".
std::optional<QByteArray> redirectLocation(const QByteArray &packet);

// 1-based position of the first CR LF CR LF, 0 when there is none.
qsizetype findHeaderEnd(const QByteArray &packet);

} // namespace engine
