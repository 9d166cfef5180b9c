#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

// Reading the server addresses out of a playlist's text. Playlist entries are
// data from the network: an address never reaches a request line with a line
// break or another control character in it, and one bad entry costs only that
// entry.
namespace sources
{

// One stream server as a playlist names it, split for connecting.
struct PlaylistEntry
{
    QByteArray host;
    QByteArray path;
    QByteArray port; // decimal digits
    QByteArray query;
    bool secure = false; // https: connect with TLS
};

// The address of every "http://" or "https://" line of an M3U playlist, in
// order. Lines end at CR LF, LF or the end of the text; "#" lines (#EXTM3U,
// #EXTINF, comments) and anything else are skipped.
QList<QByteArray> m3uAddresses(const QByteArray &text);

// The value of every "File" entry of a PLS playlist, in order. Entries are
// "key=value" lines (ending at CR, LF or the end of the text); keys are "File"
// with an optional number in any letter case ("File1", "file2"); blanks around
// the "=" and at the ends are dropped.
QList<QByteArray> plsAddresses(const QByteArray &text);

// The text holds at least one "File" entry by the rule above.
bool hasPlsEntries(const QByteArray &text);

// The value of the first "Title" entry of a PLS playlist, by the same rule.
std::optional<QByteArray> plsTitle(const QByteArray &text);

// An M3U playlist of HTTP Live Streaming (segments, not a stream): it carries
// lines that open with "#EXT-X-" tags.
bool isHlsPlaylist(const QByteArray &text);

// An address made usable: cut at the first CR or LF, blanks and tabs removed at
// both ends, then split. Nothing when it still holds a control character, does
// not parse (a port above 65535), names no host or no port, or has a scheme
// other than http and https (any case; no scheme means http).
std::optional<PlaylistEntry> screenEntry(const QByteArray &address);

} // namespace sources
