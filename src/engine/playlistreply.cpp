#include "engine/playlistreply.h"

#include <QByteArrayView>

#include <algorithm>
#include <utility>

#include "engine/responseheader.h"
#include "engine/streamtype.h"
#include "sources/hlsplaylist.h"
#include "sources/httpreply.h"

namespace
{

// The opening of a body is judged from this many bytes at most: a BOM, a few
// blanks and "#EXTM3U" fit well within.
constexpr qsizetype kOpeningBytes = 64;
// A chunk's size line is a few hex digits and perhaps an extension.
constexpr qsizetype kMaxSizeLine = 256;

const QByteArrayView kM3uTag("#EXTM3U");
const QByteArrayView kBom("\xEF\xBB\xBF");

enum class Opening
{
    Unknown,
    M3u,
    Other,
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

Opening openingOf(QByteArrayView body)
{
    QByteArrayView head = body.first(std::min(body.size(), kOpeningBytes));
    const bool fewSoFar = body.size() < kOpeningBytes; // more may come to decide
    if (head.startsWith(kBom))
        head = head.sliced(kBom.size());
    else if (fewSoFar && !head.isEmpty() && kBom.startsWith(head))
        return Opening::Unknown;
    while (!head.isEmpty() && isBlank(head.front()))
        head = head.sliced(1);
    if (head.size() >= kM3uTag.size())
        return head.startsWith(kM3uTag) ? Opening::M3u : Opening::Other;
    return fewSoFar && kM3uTag.startsWith(head) ? Opening::Unknown : Opening::Other;
}

// A chunk size: hex digits, perhaps followed by ";extension" and blanks.
std::optional<qsizetype> chunkSize(QByteArrayView line)
{
    const qsizetype extension = line.indexOf(';');
    if (extension >= 0)
        line = line.first(extension);
    line = line.trimmed();
    if (line.isEmpty() || line.size() > 8)
        return std::nullopt;
    qsizetype size = 0;
    for (const char c : line) {
        int digit = 0;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        size = size * 16 + digit;
    }
    return size;
}

} // namespace

bool PlaylistReply::mayBePlaylist(const QByteArray &header)
{
    // ICY servers only ever stream; an HTTP reply of audio is a stream too.
    const std::optional<sources::HttpStatus> status = sources::httpStatus(header);
    if (!status || status->code < 200 || status->code > 299)
        return false;
    const std::optional<QByteArray> type = sources::headerValue(header, QByteArrayLiteral("Content-Type"));
    return !type || engine::streamType(type) == engine::StreamType::Other;
}

PlaylistReply::Verdict PlaylistReply::begin(QByteArray reply)
{
    clear();
    m_reply = std::move(reply);
    const qsizetype end = engine::findHeaderEnd(m_reply);
    m_bodyStart = end >= 1 ? end - 1 + 4 : m_reply.size();
    m_chunkPos = m_bodyStart;
    const QByteArray header = m_reply.left(m_bodyStart);
    if (const std::optional<QByteArray> encoding = sources::headerValue(header, QByteArrayLiteral("Transfer-Encoding")))
        m_chunked = encoding->toLower().contains("chunked");
    if (const std::optional<QByteArray> length = sources::headerValue(header, QByteArrayLiteral("Content-Length"));
        length && !m_chunked) {
        bool ok = false;
        const qint64 value = length->toLongLong(&ok);
        if (ok && value >= 0)
            m_length = value;
    }
    return judge(false);
}

PlaylistReply::Verdict PlaylistReply::add(const QByteArray &bytes)
{
    m_reply.append(bytes);
    return judge(false);
}

PlaylistReply::Verdict PlaylistReply::finish()
{
    return judge(true);
}

QByteArray PlaylistReply::takePlaylist()
{
    QByteArray text = std::exchange(m_playlist, QByteArray());
    clear();
    return text;
}

QByteArray PlaylistReply::takeReply()
{
    QByteArray reply = std::exchange(m_reply, QByteArray());
    clear();
    return reply;
}

void PlaylistReply::clear()
{
    m_reply.clear();
    m_bodyStart = 0;
    m_length.reset();
    m_chunked = false;
    m_lastChunk = false;
    m_badChunks = false;
    m_chunkPos = 0;
    m_body.clear();
    m_playlist.clear();
}

void PlaylistReply::decodeChunks()
{
    while (!m_lastChunk && !m_badChunks) {
        const qsizetype lineEnd = m_reply.indexOf('\n', m_chunkPos);
        if (lineEnd < 0) {
            m_badChunks = m_reply.size() - m_chunkPos > kMaxSizeLine;
            return;
        }
        const std::optional<qsizetype> size =
            chunkSize(QByteArrayView(m_reply).sliced(m_chunkPos, lineEnd - m_chunkPos));
        if (!size || *size > kLimit) {
            m_badChunks = true;
            return;
        }
        if (*size == 0) {
            m_lastChunk = true; // trailers, if any, say nothing we need
            return;
        }
        const qsizetype dataStart = lineEnd + 1;
        if (m_reply.size() < dataStart + *size + 2)
            return;
        if (m_reply.at(dataStart + *size) != '\r' || m_reply.at(dataStart + *size + 1) != '\n') {
            m_badChunks = true;
            return;
        }
        m_body.append(m_reply.constData() + dataStart, *size);
        m_chunkPos = dataStart + *size + 2;
    }
}

PlaylistReply::Verdict PlaylistReply::judge(bool closed)
{
    if (m_chunked)
        decodeChunks();
    const qsizetype rawSize = m_reply.size() - m_bodyStart;
    if (m_badChunks || rawSize > kLimit)
        return Verdict::Stream;
    QByteArrayView body = m_chunked ? QByteArrayView(m_body) : QByteArrayView(m_reply).sliced(m_bodyStart);
    if (m_length && rawSize >= *m_length)
        body = body.first(static_cast<qsizetype>(*m_length));
    const Opening opening = openingOf(body);
    if (opening == Opening::Other)
        return Verdict::Stream;
    const bool complete = m_chunked ? m_lastChunk : m_length ? rawSize >= *m_length : closed;
    if (!complete)
        // A body cut short by the server's close is no playlist to trust.
        return closed ? Verdict::Stream : Verdict::Reading;
    if (opening != Opening::M3u)
        return Verdict::Stream;
    QByteArray text = body.toByteArray();
    if (!sources::hls::isHlsText(text))
        return Verdict::Stream;
    m_playlist = std::move(text);
    return Verdict::Playlist;
}
