#include "sources/id3tag.h"

#include <QStringDecoder>

namespace sources::id3
{
namespace
{

constexpr int HeaderSize = 10;

quint32 bigEndian(const QByteArray &d, qsizetype at)
{
    return (quint32(quint8(d[at])) << 24) | (quint32(quint8(d[at + 1])) << 16) | (quint32(quint8(d[at + 2])) << 8) |
           quint32(quint8(d[at + 3]));
}

std::optional<quint32> syncSafe(const QByteArray &d, qsizetype at)
{
    quint32 value = 0;
    for (int i = 0; i < 4; ++i) {
        const quint8 b = quint8(d[at + i]);
        if (b & 0x80)
            return std::nullopt;
        value = (value << 7) | b;
    }
    return value;
}

bool isHeader(const QByteArray &d)
{
    return d.size() >= HeaderSize && d.startsWith("ID3") && quint8(d[3]) != 0xFF && quint8(d[4]) != 0xFF &&
           syncSafe(d, 6).has_value();
}

// Text up to its terminator in the frame's encoding.
QString text(int encoding, const QByteArray &bytes)
{
    if (encoding == 0) {
        const qsizetype nul = bytes.indexOf('\0');
        return QString::fromLatin1(nul < 0 ? bytes : bytes.left(nul));
    }
    if (encoding == 3) {
        const qsizetype nul = bytes.indexOf('\0');
        return QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul));
    }
    QByteArray data = bytes;
    auto decoding = QStringConverter::Utf16BE;
    if (encoding == 1 && data.size() >= 2) {
        if (quint8(data[0]) == 0xFF && quint8(data[1]) == 0xFE)
            decoding = QStringConverter::Utf16LE;
        if ((quint8(data[0]) == 0xFF && quint8(data[1]) == 0xFE) ||
            (quint8(data[0]) == 0xFE && quint8(data[1]) == 0xFF))
            data.remove(0, 2);
    }
    for (qsizetype i = 0; i + 1 < data.size(); i += 2) {
        if (data[i] == '\0' && data[i + 1] == '\0') {
            data.truncate(i);
            break;
        }
    }
    QStringDecoder decoder(decoding);
    return decoder.decode(data);
}

// Length of a text's terminator-ended first part, terminator included.
qsizetype firstStringEnd(int encoding, const QByteArray &bytes)
{
    if (encoding == 0 || encoding == 3) {
        const qsizetype nul = bytes.indexOf('\0');
        return nul < 0 ? bytes.size() : nul + 1;
    }
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        if (bytes[i] == '\0' && bytes[i + 1] == '\0')
            return i + 2;
    return bytes.size();
}

// "StreamTitle='Artist - Song';" as stations also put it into text frames.
QString streamTitle(const QString &value)
{
    const QString key = QStringLiteral("StreamTitle='");
    const qsizetype at = value.indexOf(key);
    if (at < 0)
        return value;
    const qsizetype start = at + key.size();
    const qsizetype end = value.indexOf(QStringLiteral("';"), start);
    return value.mid(start, end < 0 ? -1 : end - start);
}

} // namespace

qsizetype leadingTagSize(const QByteArray &data)
{
    if (!isHeader(data))
        return 0;
    const bool footer = quint8(data[5]) & 0x10;
    const qint64 size = qint64(*syncSafe(data, 6)) + HeaderSize + (footer ? HeaderSize : 0);
    return static_cast<qsizetype>(qMin<qint64>(size, data.size()));
}

std::optional<Tag> readTag(const QByteArray &tag)
{
    if (!isHeader(tag))
        return std::nullopt;
    const int version = quint8(tag[3]);
    if (version != 3 && version != 4)
        return std::nullopt;
    const quint8 flags = quint8(tag[5]);
    const qsizetype end = qMin<qsizetype>(tag.size(), HeaderSize + qsizetype(*syncSafe(tag, 6)));
    qsizetype at = HeaderSize;
    if ((flags & 0x40) && at + 4 <= end) {
        // Extended header: v2.4 counts its own size, v2.3 does not.
        const std::optional<quint32> ext = version == 4 ? syncSafe(tag, at) : std::optional(bigEndian(tag, at));
        if (!ext)
            return std::nullopt;
        at += qsizetype(*ext) + (version == 3 ? 4 : 0);
    }
    Tag result;
    while (at + HeaderSize <= end && tag[at] != '\0') {
        const QByteArray id = tag.mid(at, 4);
        const std::optional<quint32> size =
            version == 4 ? syncSafe(tag, at + 4) : std::optional(bigEndian(tag, at + 4));
        if (!size || qint64(*size) > end - at - HeaderSize)
            break;
        const QByteArray body = tag.mid(at + HeaderSize, qsizetype(*size));
        at += HeaderSize + qsizetype(*size);
        if (body.isEmpty())
            continue;
        const int encoding = quint8(body[0]);
        if (id.startsWith('T') && encoding > 3)
            continue;
        if (id == "TIT2") {
            result.title = streamTitle(text(encoding, body.mid(1)));
        } else if (id == "TPE1") {
            result.artist = text(encoding, body.mid(1));
        } else if (id == "TXXX") {
            const QByteArray rest = body.mid(1);
            const qsizetype split = firstStringEnd(encoding, rest);
            const QString description = text(encoding, rest.left(split)).toLower();
            const QString value = text(encoding, rest.mid(split));
            if (result.title.isEmpty() &&
                (description == QLatin1String("streamtitle") || description == QLatin1String("title") ||
                 value.contains(QLatin1String("StreamTitle='"))))
                result.title = streamTitle(value);
        } else if (id == "PRIV") {
            const QByteArray owner = "com.apple.streaming.transportStreamTimestamp";
            if (body.size() == owner.size() + 1 + 8 && body.startsWith(owner) && body[owner.size()] == '\0') {
                const qsizetype t = owner.size() + 1;
                result.timestamp90k = ((qint64(bigEndian(body, t)) << 32) | bigEndian(body, t + 4)) & 0x1FFFFFFFFLL;
            }
        }
    }
    return result;
}

} // namespace sources::id3
