// Whether a file on disk is a recording that a new one may replace.
#include <gtest/gtest.h>

#include "engine/audiocontent.h"
#include "engine/id3v1tag.h"
#include "testenv.h"

namespace
{

// MPEG-1 layer III, 128 kb/s, 44.1 kHz, no padding: 417 bytes a frame.
QByteArray mp3Frames(int count)
{
    QByteArray frame("\xFF\xFB\x90\x00", 4);
    frame += QByteArray(417 - 4, '\x11');
    return frame.repeated(count);
}

// ADTS (AAC) frames of 300 bytes each.
QByteArray adtsFrames(int count)
{
    const int length = 300;
    QByteArray frame("\xFF\xF1\x50\x80", 4);
    frame += static_cast<char>((length >> 3) & 0xFF);
    frame += static_cast<char>(((length & 0x07) << 5) | 0x1F);
    frame += '\xFC';
    frame += QByteArray(length - 7, '\x22');
    return frame.repeated(count);
}

} // namespace

TEST(looksLikeAudio, RecognisesStreamsAlsoWhenTheyStartInsideAFrame)
{
    EXPECT_TRUE(engine::looksLikeAudio(mp3Frames(3)));
    EXPECT_TRUE(engine::looksLikeAudio(mp3Frames(3).mid(150)));
    EXPECT_TRUE(engine::looksLikeAudio(adtsFrames(3).mid(5)));
    EXPECT_TRUE(engine::looksLikeAudio(QByteArray("xxOggS\0\x02", 8) + QByteArray(100, 'o')));
    EXPECT_TRUE(engine::looksLikeAudio("ID3\x04"));
    EXPECT_TRUE(engine::looksLikeAudio("ICY 200 OK\r\nicy-name:x\r\n\r\n"));
    EXPECT_TRUE(engine::looksLikeAudio("HTTP/1.0 200 OK\r\n\r\n"));
}

TEST(looksLikeAudio, TextAndLoneSyncBytesAreNotAudio)
{
    EXPECT_FALSE(engine::looksLikeAudio(QByteArray()));
    EXPECT_FALSE(engine::looksLikeAudio("Dear diary, today I recorded the radio.\n"));
    // One frame header whose successor is not where its length says.
    QByteArray lone = mp3Frames(1) + QByteArray(500, '\x11');
    EXPECT_FALSE(engine::looksLikeAudio(lone));
    // Sync bytes with reserved fields (version 01, free bit rate, rate index 3).
    for (const char *header : {"\xFF\xEB\x90\x00", "\xFF\xFB\x00\x00", "\xFF\xFB\x9C\x00"})
        EXPECT_FALSE(engine::looksLikeAudio(QByteArray(header, 4).repeated(300))) << header;
    EXPECT_FALSE(engine::looksLikeAudio(QByteArray(8000, '\xFF')));
    EXPECT_FALSE(engine::looksLikeAudio("OggS")); // no version byte after it
}

TEST(isReplaceableRecording, OnlyEmptyFilesAudioAndOurTaggedFiles)
{
    const QString base = testenv::home() + QStringLiteral("/replaceable/");
    const auto path = [&](const char *name, const QByteArray &content) {
        return testenv::writeFile(base + QLatin1String(name), content);
    };
    EXPECT_TRUE(engine::isReplaceableRecording(path("empty.mp3", QByteArray())));
    EXPECT_TRUE(engine::isReplaceableRecording(path("frames.mp3", mp3Frames(4))));
    const QByteArray tag = buildId3v1Tag({"Artist", "Title", {}}, QDate(2026, 3, 7));
    EXPECT_TRUE(engine::isReplaceableRecording(path("tagged.mp3", QByteArray(20000, '\x33') + tag)));
    EXPECT_FALSE(engine::isReplaceableRecording(path("letter.mp3", "Dear diary\n")));
    EXPECT_FALSE(engine::isReplaceableRecording(path("short.mp3", tag.left(100))));
    EXPECT_FALSE(engine::isReplaceableRecording(base + QStringLiteral("missing.mp3")));
    EXPECT_FALSE(engine::isReplaceableRecording(base)); // a folder
}
