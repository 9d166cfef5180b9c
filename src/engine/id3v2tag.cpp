#include "engine/id3v2tag.h"

#include <QStringDecoder>

#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>
#include <taglib/urllinkframe.h>

namespace
{

TagLib::String toTagText(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    return TagLib::String(std::string(utf8.constData(), static_cast<size_t>(utf8.size())), TagLib::String::UTF8);
}

void addText(TagLib::ID3v2::Tag &tag, const char *id, const QString &text)
{
    if (text.isEmpty())
        return;
    auto *frame = new TagLib::ID3v2::TextIdentificationFrame(TagLib::ByteVector(id, 4), TagLib::String::UTF8);
    frame->setText(toTagText(text));
    tag.addFrame(frame); // the tag owns it
}

} // namespace

Id3v2Fields titleTagFields(const QString &songTitle)
{
    Id3v2Fields fields;
    const qsizetype dash = songTitle.indexOf(QLatin1String(" - "));
    if (dash >= 0) {
        fields.artist = songTitle.left(dash).trimmed();
        fields.title = songTitle.mid(dash + 3).trimmed();
    } else {
        fields.title = songTitle.trimmed();
    }
    return fields;
}

QString stationText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

QByteArray buildId3v2Tag(const Id3v2Fields &fields)
{
    TagLib::ID3v2::Tag tag;
    addText(tag, "TIT2", fields.title);
    addText(tag, "TPE1", fields.artist);
    addText(tag, "TRSN", fields.stationName);
    if (fields.recorded.isValid())
        addText(tag, "TDRC", fields.recorded.toString(Qt::ISODate));
    if (!fields.stationAddress.isEmpty()) {
        auto *frame = new TagLib::ID3v2::UrlLinkFrame(TagLib::ByteVector("WORS", 4));
        frame->setUrl(TagLib::String(fields.stationAddress.constData(), TagLib::String::Latin1));
        tag.addFrame(frame);
    }
    if (!fields.comment.isEmpty()) {
        auto *frame = new TagLib::ID3v2::CommentsFrame(TagLib::String::UTF8);
        frame->setLanguage(TagLib::ByteVector("eng", 3));
        frame->setText(toTagText(fields.comment));
        tag.addFrame(frame);
    }
    if (tag.frameList().isEmpty())
        return QByteArray();
    const TagLib::ByteVector bytes = tag.render(TagLib::ID3v2::v4);
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

qsizetype id3v2TagLength(const QByteArray &data)
{
    if (data.size() < 10 || !data.startsWith("ID3"))
        return 0;
    qsizetype size = 0;
    for (int i = 6; i < 10; ++i) {
        const auto byte = static_cast<unsigned char>(data.at(i));
        if (byte & 0x80)
            return 0; // sizes are synchsafe
        size = (size << 7) | byte;
    }
    const bool footer = (static_cast<unsigned char>(data.at(5)) & 0x10) != 0;
    return 10 + size + (footer ? 10 : 0);
}
