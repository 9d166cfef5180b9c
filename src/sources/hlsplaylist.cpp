#include "sources/hlsplaylist.h"

#include <algorithm>

namespace sources::hls
{
namespace
{

// Splits at CR LF, LF or CR; each line trimmed of blanks.
QList<QByteArray> lines(const QByteArray &text)
{
    QList<QByteArray> out;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i <= n; ++i) {
        if (i == n || text[i] == '\n' || text[i] == '\r') {
            out.append(text.mid(start, i - start).trimmed());
            if (i + 1 < n && text[i] == '\r' && text[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    return out;
}

QByteArray withoutBom(const QByteArray &text)
{
    return text.startsWith("\xEF\xBB\xBF") ? text.mid(3) : text;
}

// RFC 8216 4.2 attribute list: NAME=value pairs separated by commas; a
// quoted value holds no quote and may hold commas. Returns the value of name,
// unquoted.
std::optional<QByteArray> attribute(const QByteArray &list, const QByteArray &name)
{
    qsizetype i = 0;
    const qsizetype n = list.size();
    while (i < n) {
        while (i < n && (list[i] == ' ' || list[i] == '\t' || list[i] == ','))
            ++i;
        const qsizetype keyStart = i;
        while (i < n && list[i] != '=' && list[i] != ',')
            ++i;
        const QByteArray key = list.mid(keyStart, i - keyStart).trimmed();
        if (i >= n || list[i] != '=')
            continue;
        ++i;
        QByteArray value;
        if (i < n && list[i] == '"') {
            const qsizetype close = list.indexOf('"', i + 1);
            const qsizetype end = close < 0 ? n : close;
            value = list.mid(i + 1, end - i - 1);
            i = end + 1;
        } else {
            const qsizetype valueStart = i;
            while (i < n && list[i] != ',')
                ++i;
            value = list.mid(valueStart, i - valueStart).trimmed();
        }
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

QUrl resolve(const QUrl &base, const QByteArray &reference)
{
    const QUrl ref = QUrl::fromEncoded(reference, QUrl::TolerantMode);
    return base.isValid() ? base.resolved(ref) : ref;
}

bool isAudioCodec(QByteArray codec)
{
    codec = codec.trimmed().toLower();
    return codec.startsWith("mp4a") || codec == "mp3" || codec == "ac-3" || codec == "ec-3" || codec == "opus" ||
           codec == "flac" || codec == "alac";
}

// EXTINF:<duration>[ attributes],[title]; a title="…" attribute wins over the
// plain title text.
void readExtinf(const QByteArray &value, Segment &segment)
{
    qsizetype end = 0;
    while (end < value.size() && value[end] != ',' && value[end] != ' ' && value[end] != '\t')
        ++end;
    bool ok = false;
    const double duration = value.left(end).toDouble(&ok);
    segment.duration = ok && duration > 0 && duration < 1e6 ? duration : 0;
    const QByteArray rest = value.mid(end);
    const std::optional<QByteArray> title = attribute(rest, "title");
    const std::optional<QByteArray> artist = attribute(rest, "artist");
    if (title || artist) {
        segment.title = QString::fromUtf8(title.value_or(QByteArray()));
        segment.artist = QString::fromUtf8(artist.value_or(QByteArray()));
        return;
    }
    // A plain title follows the comma that ends the duration and any attributes
    // written outside quotes.
    const qsizetype comma = rest.lastIndexOf(',');
    if (comma >= 0 && rest.indexOf('"', comma) < 0)
        segment.title = QString::fromUtf8(rest.mid(comma + 1).trimmed());
}

qint64 number(const QByteArray &value)
{
    bool ok = false;
    const qint64 n = value.trimmed().toLongLong(&ok);
    return ok && n >= 0 ? n : 0;
}

} // namespace

bool isHlsText(const QByteArray &text)
{
    if (text.size() > MaxPlaylistBytes)
        return false;
    const QList<QByteArray> all = lines(withoutBom(text));
    return std::any_of(all.begin(), all.end(), [](const QByteArray &line) { return line.startsWith("#EXT-X-"); });
}

std::optional<Playlist> parsePlaylist(const QByteArray &text, const QUrl &base)
{
    if (text.size() > MaxPlaylistBytes)
        return std::nullopt;
    const QList<QByteArray> all = lines(withoutBom(text));
    if (all.isEmpty() || !all.first().startsWith("#EXTM3U"))
        return std::nullopt;

    Playlist playlist;
    MediaPlaylist &media = playlist.media;
    bool sawTarget = false;
    std::optional<Variant> pendingVariant;
    Segment next; // tags collected for the next URI line
    bool nextHasInf = false;
    QByteArray keyMethod = "NONE";
    QUrl initSection;
    bool discontinuityPending = false;

    for (qsizetype i = 1; i < all.size(); ++i) {
        const QByteArray &line = all[i];
        if (line.isEmpty())
            continue;
        if (line.startsWith('#')) {
            const qsizetype colon = line.indexOf(':');
            const QByteArray tag = colon < 0 ? line : line.left(colon);
            const QByteArray value = colon < 0 ? QByteArray() : line.mid(colon + 1);
            if (tag == "#EXT-X-STREAM-INF") {
                Variant v;
                v.bandwidth = number(attribute(value, "BANDWIDTH").value_or("0"));
                v.codecs = attribute(value, "CODECS").value_or(QByteArray());
                const QList<QByteArray> codecs = v.codecs.split(',');
                v.audioOnly = !v.codecs.isEmpty() && std::all_of(codecs.begin(), codecs.end(), isAudioCodec);
                if (v.codecs.isEmpty())
                    v.audioOnly = !attribute(value, "RESOLUTION").has_value();
                pendingVariant = v;
                playlist.isMaster = true;
            } else if (tag == "#EXT-X-TARGETDURATION") {
                media.targetDuration = static_cast<double>(number(value));
                sawTarget = media.targetDuration > 0;
            } else if (tag == "#EXT-X-MEDIA-SEQUENCE") {
                // Only before the first segment: a later one would renumber
                // segments already numbered.
                if (media.segments.isEmpty())
                    media.mediaSequence = number(value);
            } else if (tag == "#EXT-X-DISCONTINUITY-SEQUENCE") {
                media.discontinuitySequence = number(value);
            } else if (tag == "#EXT-X-DISCONTINUITY") {
                discontinuityPending = true;
            } else if (tag == "#EXT-X-ENDLIST") {
                media.endList = true;
            } else if (tag == "#EXT-X-KEY") {
                keyMethod = attribute(value, "METHOD").value_or("NONE").toUpper();
            } else if (tag == "#EXT-X-MAP") {
                const std::optional<QByteArray> uri = attribute(value, "URI");
                initSection = uri ? resolve(base, *uri) : QUrl();
            } else if (tag == "#EXTINF") {
                readExtinf(value, next);
                nextHasInf = true;
            }
            continue;
        }
        // A URI line.
        if (pendingVariant) {
            pendingVariant->uri = resolve(base, line);
            playlist.variants.append(*pendingVariant);
            pendingVariant.reset();
            continue;
        }
        if (!nextHasInf)
            continue; // EXTINF is required before every segment
        next.sequence = media.mediaSequence + media.segments.size();
        next.uri = resolve(base, line);
        next.discontinuity = discontinuityPending;
        next.keyMethod = keyMethod;
        next.initSection = initSection;
        media.segments.append(next);
        next = Segment();
        nextHasInf = false;
        discontinuityPending = false;
    }
    if (playlist.isMaster)
        return playlist;
    if (!sawTarget)
        return std::nullopt;
    return playlist;
}

QList<Variant> variantsToTry(const QList<Variant> &variants, Preference preference)
{
    QList<Variant> order = variants;
    const bool anyAudioOnly = std::any_of(order.begin(), order.end(), [](const Variant &v) { return v.audioOnly; });
    std::stable_sort(order.begin(), order.end(), [&](const Variant &a, const Variant &b) {
        if (anyAudioOnly && a.audioOnly != b.audioOnly)
            return a.audioOnly;
        return preference == Preference::HighestBandwidth ? a.bandwidth > b.bandwidth : a.bandwidth < b.bandwidth;
    });
    return order;
}

} // namespace sources::hls
