// Chained Ogg streams cut into one file per stream, named from their comments.
#include <gtest/gtest.h>

#include <QRandomGenerator>

#include "audiofiles.h"
#include "engine/oggsplitter.h"

namespace
{

struct Cut
{
    std::vector<QByteArray> files; // files[0]: before the first new stream
    std::vector<QByteArray> titles;
};

Cut cut(const QByteArray &stream, int maxPiece)
{
    engine::OggSplitter splitter;
    QRandomGenerator random(11);
    Cut result;
    result.files.emplace_back();
    const auto collect = [&] {
        for (engine::OggSplitter::Piece &piece : splitter.take()) {
            if (piece.newFile) {
                result.files.emplace_back();
                result.titles.push_back(piece.title);
            }
            result.files.back() += piece.audio;
        }
    };
    for (qsizetype at = 0; at < stream.size();) {
        const qsizetype n = 1 + random.bounded(maxPiece);
        splitter.addAudio(stream.mid(at, n));
        at += n;
        collect();
        EXPECT_LE(splitter.heldBytes(), 140000);
    }
    splitter.flush();
    collect();
    return result;
}

} // namespace

TEST(OggSplitter, EachStreamOfAChainIsAFileNamedFromItsComments)
{
    for (const QString &codec : {QStringLiteral("libvorbis"), QStringLiteral("libopus")}) {
        const QByteArray first = audiofiles::encodeOgg(codec, QStringLiteral("Intro"), QString());
        const QByteArray second = audiofiles::encodeOgg(codec, QStringLiteral("\u00c7a va"), QStringLiteral("Zaz"));
        const QByteArray third = audiofiles::encodeOgg(codec, QString(), QString());
        ASSERT_FALSE(first.isEmpty() || second.isEmpty() || third.isEmpty())
            << "ffmpeg cannot encode " << qPrintable(codec);
        // The recording may join inside a page; text in between is no page.
        const QByteArray junk("OggS\0\x02 not a page", 18);
        const QByteArray stream = first.mid(100) + junk + second + third;
        for (const int piece : {1, 700, 70000}) {
            const Cut result = cut(stream, piece);
            ASSERT_EQ(result.files.size(), 3u) << qPrintable(codec) << ' ' << piece;
            EXPECT_EQ(result.files[0], first.mid(100) + junk);
            EXPECT_EQ(result.files[1], second);
            EXPECT_EQ(result.files[2], third);
            EXPECT_EQ(result.titles[0], QByteArray("Zaz - \xC3\x87"
                                                   "a va"));
            EXPECT_TRUE(result.titles[1].isEmpty());
        }
    }
}

TEST(OggSplitter, CommentTitlesAreReadWithinTheirBounds)
{
    QByteArray packet("\x03vorbis", 7);
    const auto put = [&packet](const QByteArray &text) {
        const quint32 n = static_cast<quint32>(text.size());
        packet += QByteArray(reinterpret_cast<const char *>(&n), 4) + text;
    };
    put("vendor");
    packet += QByteArray("\x03\0\0\0", 4);
    put("title=Only Title");
    put("ARTIST=Band");
    EXPECT_EQ(engine::oggCommentTitle(packet), "Band - Only Title");
    // A count or length beyond the packet ends the reading, keeping what was whole.
    packet += QByteArray("\xFF\xFF\xFF\x7F", 4);
    EXPECT_EQ(engine::oggCommentTitle(packet), "Band - Only Title");
    EXPECT_EQ(engine::oggCommentTitle(packet.left(30)), QByteArray());
    EXPECT_EQ(engine::oggCommentTitle("OpusHead"), QByteArray());
}
