#include "sources/playlistentries.h"

#include "sources/parsedurl.h"

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

// The value of a "key=value" entry whose key starts at keyPos; *next is where
// the search for the next key goes on. Nothing without an "=".
std::optional<QByteArray> entryValue(const QByteArray &text, qsizetype keyPos, qsizetype *next)
{
    const qsizetype equals = text.indexOf('=', keyPos);
    if (equals < 0)
        return std::nullopt;
    if (next)
        *next = equals;
    return text.mid(equals + 1, lineEnd(text, equals + 1) - equals - 1);
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
    qsizetype from = 0;
    qsizetype entry;
    while ((entry = text.indexOf("File", from)) >= 0) {
        const std::optional<QByteArray> value = entryValue(text, entry, &from);
        if (!value)
            break; // no "=" after this one, nor after any later "File"
        addresses.append(*value);
    }
    return addresses;
}

std::optional<QByteArray> plsTitle(const QByteArray &text)
{
    const qsizetype title = text.indexOf("Title");
    if (title < 0)
        return std::nullopt;
    return entryValue(text, title, nullptr);
}

std::optional<PlaylistEntry> screenEntry(const QByteArray &address)
{
    const QByteArray cut = trimBlanks(address.left(lineEnd(address, 0)));
    for (const char c : cut) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return std::nullopt;
    }
    ParsedUrl uri;
    if (cut.isEmpty() || !uri.setUri(cut) || uri.host().isEmpty() || uri.port() == 0)
        return std::nullopt;
    return PlaylistEntry{uri.host(), uri.path(), QByteArray::number(uri.port()), uri.query(),
                         uri.scheme().toLower() == "https"};
}

} // namespace sources
