#include "engine/id3v1tag.h"

#include <QFile>
#include <QStringBuilder>

#include <algorithm>
#include <cstring>

namespace
{

constexpr qsizetype kTagSize = 128;
constexpr qsizetype kFieldSize = 30;

void putField(QByteArray &tag, qsizetype offset, const QByteArray &text, qsizetype size = kFieldSize)
{
    const qsizetype length = std::min(text.size(), size);
    std::memcpy(tag.data() + offset, text.constData(), static_cast<size_t>(length));
}

} // namespace

QByteArray buildId3v1Tag(const Id3v1Fields &fields, const QDate &day)
{
    QByteArray tag(kTagSize, '\0');
    putField(tag, 0, QByteArrayLiteral("TAG"), 3);
    putField(tag, 3, fields.title);
    putField(tag, 33, fields.artist);
    putField(tag, 63, fields.album);
    putField(tag, 93, QByteArray::number(day.year()).rightJustified(4, '0', true), 4);
    putField(tag, 97, recordingComment(day));
    tag[127] = static_cast<char>(0xFF);
    return tag;
}

QByteArray recordingComment(const QDate &day)
{
    return QByteArrayLiteral("Rec: Ombrex ") + QByteArray::number(day.year()).rightJustified(4, '0') + '-' +
           QByteArray::number(day.month()).rightJustified(2, '0') + '-' +
           QByteArray::number(day.day()).rightJustified(2, '0');
}

bool isOwnId3v1Tag(const QByteArray &bytes)
{
    return bytes.size() == kTagSize && bytes.startsWith("TAG") && bytes.mid(97, 12) == "Rec: Ombrex ";
}

bool writeId3v1Tag(const QString &path, const Id3v1Fields &fields, const QDate &day)
{
    if (fields.artist.isEmpty() && fields.title.isEmpty() && fields.album.isEmpty())
        return false;

    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return false;
    const qint64 length = file.size();
    qint64 at = length;
    if (length >= kTagSize) {
        if (!file.seek(length - kTagSize))
            return false;
        if (file.read(3) == "TAG")
            at = length - kTagSize;
    }
    const QByteArray tag = buildId3v1Tag(fields, day);
    if (!file.seek(at) || file.write(tag) != tag.size()) {
        // A tag cut short by a full disk would pass for audio: it goes again.
        file.resize(at);
        return false;
    }
    file.close();
    return file.error() == QFileDevice::NoError;
}
