#include "engine/streamtype.h"

#include <QStringBuilder>

namespace engine
{

StreamType streamType(const std::optional<QByteArray> &contentType)
{
    if (!contentType)
        return StreamType::Mp3;
    QByteArray type = contentType->toLower();
    const qsizetype parameters = type.indexOf(';');
    if (parameters >= 0)
        type.truncate(parameters);
    type = type.trimmed();
    if (type == "audio/mpeg" || type == "audio/mp3" || type == "audio/mpeg3")
        return StreamType::Mp3;
    if (type == "audio/aac" || type == "audio/aacp" || type == "audio/x-aac")
        return StreamType::Aac;
    if (type == "application/ogg" || type == "audio/ogg")
        return StreamType::Ogg;
    return StreamType::Other;
}

QByteArray withStreamExtension(const QByteArray &fileName, StreamType type)
{
    if (type == StreamType::Mp3 || type == StreamType::Other)
        return fileName;
    const QByteArray extension = type == StreamType::Aac ? QByteArrayLiteral(".aac") : QByteArrayLiteral(".ogg");
    if (fileName.toLower().endsWith(".mp3"))
        return fileName.left(fileName.size() - 4) + extension;
    if (fileName.toLower().endsWith(extension))
        return fileName;
    return fileName + extension;
}

bool hasAudioExtension(const QByteArray &fileName)
{
    const QByteArray lower = fileName.right(4).toLower();
    return lower == ".mp3" || lower == ".aac" || lower == ".ogg";
}

QByteArray singleFileName(const QByteArray &fileName, std::optional<StreamType> type)
{
    if (!type && hasAudioExtension(fileName))
        return fileName;
    const QByteArray stem = hasAudioExtension(fileName) ? fileName.chopped(4) : fileName;
    switch (type.value_or(StreamType::Mp3)) {
    case StreamType::Aac:
        return stem + QByteArrayLiteral(".aac");
    case StreamType::Ogg:
        return stem + QByteArrayLiteral(".ogg");
    case StreamType::Mp3:
    case StreamType::Other:
        break;
    }
    return stem + QByteArrayLiteral(".mp3");
}

} // namespace engine
