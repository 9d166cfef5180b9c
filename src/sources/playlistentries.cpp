#include "sources/playlistentries.h"

#include <algorithm>

#include "sources/hlsplaylist.h"
#include "sources/parsedurl.h"
#include "sources/requestvalue.h"

namespace sources
{

namespace
{

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray trimBlanks(const QByteArray &text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isBlank(text.at(start)))
        ++start;
    while (end > start && isBlank(text.at(end - 1)))
        --end;
    return text.mid(start, end - start);
}

// Up to (not including) the first CR or LF at or after from.
qsizetype lineEnd(const QByteArray &text, qsizetype from)
{
    qsizetype end = from;
    while (end < text.size() && text.at(end) != '\r' && text.at(end) != '\n')
        ++end;
    return end;
}

// Calls take(key, value) for every "key=value" line of a PLS playlist, the key
// in lower case, both without blanks at the ends, until take returns false.
// One pass over the text: a value ends at its own line end, so no text is
// looked at twice whatever the lines hold.
template <typename Take> void forEachPlsEntry(const QByteArray &text, Take take)
{
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype end = lineEnd(text, start);
        const qsizetype equals = std::find(text.cbegin() + start, text.cbegin() + end, '=') - text.cbegin();
        if (equals < end) {
            const QByteArray key = trimBlanks(text.mid(start, equals - start)).toLower();
            if (!take(key, trimBlanks(text.mid(equals + 1, end - equals - 1))))
                return;
        }
        start = end + 1;
    }
}

// "file", "File1", "FILE12": the name followed by nothing but digits.
bool isNumberedKey(const QByteArray &key, const char *name)
{
    const auto length = static_cast<qsizetype>(qstrlen(name));
    if (!key.startsWith(name))
        return false;
    for (qsizetype i = length; i < key.size(); ++i) {
        if (key.at(i) < '0' || key.at(i) > '9')
            return false;
    }
    return true;
}

bool startsWithNoCase(const QByteArray &text, const char *prefix)
{
    return text.left(static_cast<qsizetype>(qstrlen(prefix))).toLower() == prefix;
}

} // namespace

QList<QByteArray> m3uAddresses(const QByteArray &text)
{
    QList<QByteArray> addresses;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype end = lineEnd(text, start);
        const QByteArray line = trimBlanks(text.mid(start, end - start));
        if (startsWithNoCase(line, "http://") || startsWithNoCase(line, "https://"))
            addresses.append(line);
        start = end + 1;
    }
    return addresses;
}

QList<QByteArray> plsAddresses(const QByteArray &text)
{
    QList<QByteArray> addresses;
    forEachPlsEntry(text, [&addresses](const QByteArray &key, const QByteArray &value) {
        if (isNumberedKey(key, "file"))
            addresses.append(value);
        return true;
    });
    return addresses;
}

bool hasPlsEntries(const QByteArray &text)
{
    bool found = false;
    forEachPlsEntry(text, [&found](const QByteArray &key, const QByteArray &) {
        found = isNumberedKey(key, "file");
        return !found;
    });
    return found;
}

std::optional<QByteArray> plsTitle(const QByteArray &text)
{
    std::optional<QByteArray> title;
    forEachPlsEntry(text, [&title](const QByteArray &key, const QByteArray &value) {
        if (isNumberedKey(key, "title"))
            title = value;
        return !title;
    });
    return title;
}

bool isHlsPlaylist(const QByteArray &text)
{
    return hls::isHlsText(text);
}

std::optional<PlaylistEntry> screenEntry(const QByteArray &address)
{
    const QByteArray cut = trimBlanks(address.left(lineEnd(address, 0)));
    if (!isRequestSafe(cut))
        return std::nullopt;
    ParsedUrl uri;
    if (cut.isEmpty() || !uri.setUri(cut) || uri.host().isEmpty())
        return std::nullopt;
    // Only what we can speak: an "ftp://" or "icy://" server would be sent HTTP.
    // Schemes are case-insensitive, so "HTTPS://" keeps its default port.
    const QByteArray scheme = uri.scheme().toLower();
    if (scheme != "http" && scheme != "https")
        return std::nullopt;
    const quint16 port = uri.port() != 0 ? uri.port() : ParsedUrl::defaultPort(scheme);
    return PlaylistEntry{uri.host(), uri.path(), QByteArray::number(port), uri.query(), scheme == "https"};
}

} // namespace sources
