#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// HTTP Live Streaming playlists (RFC 8216) read from a station's reply. The
// text is network data: its size is bounded, reading it is linear, and a bad
// line costs that line only.
namespace sources::hls
{

// Larger replies are refused: a live window of short segments is a few kB.
constexpr qsizetype MaxPlaylistBytes = 1024 * 1024;

// One rendition of a master playlist.
struct Variant
{
    QUrl uri;
    qint64 bandwidth = 0; // bits per second, 0 when not given
    QByteArray codecs;    // as listed, e.g. "mp4a.40.2"
    bool audioOnly = false;
};

struct Segment
{
    qint64 sequence = 0;
    QUrl uri;
    double duration = 0; // seconds, from EXTINF
    QString title;       // EXTINF title="…" or the text after the comma
    QString artist;      // EXTINF artist="…"
    bool discontinuity = false;
    QByteArray keyMethod = "NONE"; // of the EXT-X-KEY in force
    QUrl initSection;              // EXT-X-MAP in force, empty for none
};

struct MediaPlaylist
{
    double targetDuration = 0; // seconds
    qint64 mediaSequence = 0;  // of the first segment
    qint64 discontinuitySequence = 0;
    bool endList = false;
    QList<Segment> segments;
};

struct Playlist
{
    bool isMaster = false;
    QList<Variant> variants; // master playlist
    MediaPlaylist media;     // media playlist
};

// An M3U text whose lines carry "#EXT-X-" tags.
bool isHlsText(const QByteArray &text);

// Nothing when the text is too large, does not open with #EXTM3U, or is a media
// playlist without EXT-X-TARGETDURATION. URIs are resolved against base.
std::optional<Playlist> parsePlaylist(const QByteArray &text, const QUrl &base);

enum class Preference
{
    HighestBandwidth,
    LowestBandwidth
};

// The variants to try in order: audio-only ones first (all of them when none
// is), by bandwidth as preferred; the rest are fallbacks.
QList<Variant> variantsToTry(const QList<Variant> &variants, Preference preference);

} // namespace sources::hls
