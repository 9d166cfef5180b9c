#include "engine/audiocontent.h"

#include <QFile>
#include <QFileInfo>

#include "engine/id3v1tag.h"
#include "engine/streamoverlap.h"

namespace engine
{

namespace
{

// Enough for a few frames at any bit rate, and for a reply header before them.
constexpr qint64 kHeadBytes = 16 * 1024;
constexpr qint64 kTagBytes = 128;

} // namespace

bool looksLikeAudio(const QByteArray &head)
{
    if (head.startsWith("ID3") || head.startsWith("ICY ") || head.startsWith("HTTP/1."))
        return true;
    if (head.contains(QByteArrayLiteral("OggS\0")))
        return true;
    // A recording may start inside a frame: the first header followed by a
    // second where its length says.
    const char *bytes = head.constData();
    const qsizetype size = head.size();
    for (qsizetype i = 0; i < size; ++i) {
        const qsizetype length = audioFrameLength(bytes + i, size - i);
        if (length > 0 && i + length < size && audioFrameLength(bytes + i + length, size - i - length) > 0)
            return true;
    }
    return false;
}

bool isReplaceableRecording(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    if (size == 0)
        return true;
    if (looksLikeAudio(file.read(kHeadBytes)))
        return true;
    return size >= kTagBytes && file.seek(size - kTagBytes) && isOwnId3v1Tag(file.read(kTagBytes));
}

} // namespace engine
