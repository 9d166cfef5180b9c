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

} // namespace engine
