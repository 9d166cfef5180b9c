#include "engine/oggsplitter.h"

#include <QtEndian>

#include <array>
#include <cstring>

namespace engine
{

namespace
{

constexpr qsizetype kPageHeader = 27;
// A comment header beyond this (pictures) is not read further for its title.
constexpr qsizetype kMaxCommentBytes = 64 * 1024;
// The comment header is a stream's second packet.
constexpr int kMaxPacketsAwaited = 2;
// A new stream's pages held back for its title (a comment header with
// pictures can be large): beyond this its title is read from what came.
constexpr qsizetype kMaxWaitingBytes = 2 * kMaxCommentBytes;

const std::array<quint32, 256> &crcTable()
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 r = i << 24;
            for (int bit = 0; bit < 8; ++bit)
                r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
            t[i] = r;
        }
        return t;
    }();
    return table;
}

quint32 pageCrc(const unsigned char *page, qsizetype length)
{
    const std::array<quint32, 256> &table = crcTable();
    quint32 crc = 0;
    for (qsizetype i = 0; i < length; ++i) {
        const unsigned char byte = (i >= 22 && i < 26) ? 0 : page[i]; // the checksum field counts as zero
        crc = (crc << 8) ^ table[((crc >> 24) & 0xFF) ^ byte];
    }
    return crc;
}

QByteArray commentValue(const QByteArray &comment, const char *key)
{
    const qsizetype equals = comment.indexOf('=');
    if (equals <= 0 || comment.left(equals).compare(key, Qt::CaseInsensitive) != 0)
        return QByteArray();
    return comment.mid(equals + 1).trimmed();
}

} // namespace

qsizetype oggPageLength(const char *data, qsizetype available)
{
    if (available < kPageHeader)
        return std::memcmp(data, "OggS", static_cast<size_t>(std::min<qsizetype>(available, 4))) == 0 ? -1 : 0;
    const auto *page = reinterpret_cast<const unsigned char *>(data);
    if (std::memcmp(page, "OggS", 4) != 0 || page[4] != 0)
        return 0;
    const int segments = page[26];
    if (available < kPageHeader + segments)
        return -1;
    qsizetype length = kPageHeader + segments;
    for (int i = 0; i < segments; ++i)
        length += page[kPageHeader + i];
    if (available < length)
        return -1;
    return pageCrc(page, length) == qFromLittleEndian<quint32>(page + 22) ? length : 0;
}

QByteArray oggCommentTitle(const QByteArray &packet)
{
    qsizetype at = 0;
    if (packet.startsWith("\x03vorbis"))
        at = 7;
    else if (packet.startsWith("OpusTags"))
        at = 8;
    else
        return QByteArray();
    const auto readLength = [&packet, &at](quint32 &value) {
        if (at + 4 > packet.size())
            return false;
        value = qFromLittleEndian<quint32>(packet.constData() + at);
        at += 4;
        return true;
    };
    quint32 length = 0;
    if (!readLength(length) || length > packet.size() - at)
        return QByteArray();
    at += length; // vendor
    quint32 count = 0;
    if (!readLength(count))
        return QByteArray();
    QByteArray artist;
    QByteArray title;
    // Every comment takes at least its 4 length bytes: the count cannot make this loop long.
    for (quint32 i = 0; i < count && readLength(length) && length <= packet.size() - at; ++i) {
        const QByteArray comment = packet.mid(at, length);
        at += length;
        if (artist.isEmpty())
            artist = commentValue(comment, "ARTIST");
        if (title.isEmpty())
            title = commentValue(comment, "TITLE");
    }
    if (!artist.isEmpty() && !title.isEmpty())
        return artist + " - " + title;
    return title.isEmpty() ? artist : title;
}

void OggSplitter::addAudio(const QByteArray &audio)
{
    m_buffer.append(audio);
    parse(false);
}

void OggSplitter::flush()
{
    parse(true);
    if (m_awaitingTitle)
        startFile();
    emitAudio(m_buffer.constData(), m_buffer.size());
    m_buffer.clear();
}

std::vector<OggSplitter::Piece> OggSplitter::take()
{
    std::vector<Piece> out;
    out.swap(m_out);
    return out;
}

void OggSplitter::parse(bool final)
{
    qsizetype at = 0;
    qsizetype plain = 0; // start of bytes that are no page
    const qsizetype size = m_buffer.size();
    const char *data = m_buffer.constData();
    while (at < size) {
        const char *next = static_cast<const char *>(std::memchr(data + at, 'O', static_cast<size_t>(size - at)));
        if (!next) {
            at = size;
            break;
        }
        at = next - data;
        const qsizetype length = oggPageLength(data + at, size - at);
        if (length < 0 && !final)
            break; // a page that may still be completing
        if (length <= 0) {
            ++at;
            continue;
        }
        emitAudio(data + plain, at - plain);
        takePage(data + at, length);
        at += length;
        plain = at;
    }
    emitAudio(data + plain, at - plain);
    m_buffer.remove(0, at);
}

void OggSplitter::takePage(const char *page, qsizetype length)
{
    const auto *header = reinterpret_cast<const unsigned char *>(page);
    const bool first = header[5] & 0x02;
    if (first && m_seenData) {
        // A new stream of the chain: its file waits for the title in its comments.
        if (m_awaitingTitle)
            startFile();
        m_awaitingTitle = true;
        m_packetsSeen = 0;
        m_packet.clear();
    }
    if (!first)
        m_seenData = true;
    if (!m_awaitingTitle) {
        emitAudio(page, length);
        return;
    }
    m_waiting.append(page, length);
    // Gathers the packets of the page; the second of the stream is its comment header.
    const int segments = header[26];
    qsizetype body = kPageHeader + segments;
    if (!(header[5] & 0x01))
        m_packet.clear(); // no continued packet on this page
    for (int i = 0; i < segments && m_awaitingTitle; ++i) {
        const int lace = header[kPageHeader + i];
        if (m_packet.size() < kMaxCommentBytes)
            m_packet.append(page + body, std::min<qsizetype>(lace, kMaxCommentBytes - m_packet.size()));
        body += lace;
        if (lace < 255) {
            ++m_packetsSeen;
            if (m_packetsSeen >= kMaxPacketsAwaited)
                startFile();
            m_packet.clear();
        }
    }
    if (m_awaitingTitle && m_waiting.size() > kMaxWaitingBytes)
        startFile();
}

void OggSplitter::startFile()
{
    Piece piece;
    piece.newFile = true;
    piece.title = oggCommentTitle(m_packet);
    m_out.push_back(std::move(piece));
    m_awaitingTitle = false;
    m_packet.clear();
    const QByteArray waiting = std::move(m_waiting);
    m_waiting = QByteArray();
    emitAudio(waiting.constData(), waiting.size());
}

void OggSplitter::emitAudio(const char *data, qsizetype length)
{
    if (length <= 0)
        return;
    if (m_awaitingTitle) {
        m_waiting.append(data, length);
        return;
    }
    if (!m_out.empty() && !m_out.back().newFile)
        m_out.back().audio.append(data, length);
    else
        m_out.push_back({QByteArray(data, length), false, {}});
}

} // namespace engine
