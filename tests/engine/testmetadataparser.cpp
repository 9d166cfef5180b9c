// Separation of audio and metadata blocks, however a stream is cut into packets.
#include <QList>
#include <QRandomGenerator>
#include <QStringBuilder>

#include <gtest/gtest.h>

#include <vector>

#include "engine/metadataparser.h"

namespace
{

// One stretch of a stream: the audio before a non-empty block, and that block's text.
struct Segment
{
    QByteArray audio;
    QByteArray block;
    bool operator==(const Segment &o) const { return audio == o.audio && block == o.block; }
};

// What a stream carries, independent of how it is cut: the segments, then the
// audio after the last block.
struct Separated
{
    std::vector<Segment> segments;
    QByteArray tail;
};

QByteArray blockFor(const QByteArray &text)
{
    const qsizetype L = (text.size() + 15) / 16;
    QByteArray block(1, static_cast<char>(L));
    block.append(text);
    block.append(QByteArray(16 * L - text.size(), '\0'));
    return block;
}

// Builds a stream of intervals of M audio bytes, each followed by a block whose
// text is given (an empty text gives L = 0). Returns the wire bytes and what a
// correct separation yields.
QByteArray buildStream(qint32 M, const QList<QByteArray> &texts, qsizetype tailAudio, QRandomGenerator &rng,
                       Separated &expected)
{
    QByteArray wire;
    QByteArray run;
    auto audio = [&](qsizetype n) {
        QByteArray bytes(n, '\0');
        for (auto &b : bytes)
            b = static_cast<char>(rng.bounded(256));
        wire.append(bytes);
        run.append(bytes);
    };
    for (const QByteArray &text : texts) {
        audio(M);
        wire.append(blockFor(text));
        if (!text.isEmpty()) {
            QByteArray padded = text;
            padded.append(QByteArray(16 * ((text.size() + 15) / 16) - text.size(), '\0'));
            expected.segments.push_back({run, padded});
            run.clear();
        }
    }
    audio(tailAudio);
    expected.tail = run;
    return wire;
}

class Collector final : public MetadataParser::Sink
{
public:
    void streamAudio(const QByteArray &packet, qsizetype from, qsizetype length) override
    {
        ASSERT_GE(from, 0);
        ASSERT_GE(length, 0);
        ASSERT_LE(from + length, packet.size());
        result.tail.append(packet.constData() + from, length);
        ++audioCalls;
    }
    void metadataBlock(const QByteArray &text) override
    {
        result.segments.push_back({result.tail, text});
        result.tail.clear();
    }
    Separated result;
    int audioCalls = 0;
};

struct Parser
{
    MetadataParser parser;
    Collector out;

    explicit Parser(qint32 interval)
        : parser(interval)
    {}
    void feed(const QByteArray &packet) { parser.separate(packet, out); }
};

void expectSame(const Separated &expected, const Separated &actual)
{
    ASSERT_EQ(expected.segments.size(), actual.segments.size());
    for (size_t i = 0; i < expected.segments.size(); ++i) {
        EXPECT_EQ(expected.segments[i].audio, actual.segments[i].audio) << "segment " << i;
        EXPECT_EQ(expected.segments[i].block, actual.segments[i].block) << "segment " << i;
    }
    EXPECT_EQ(expected.tail, actual.tail);
}

const QByteArray kTitleA = "StreamTitle='Artist A - Song A';StreamUrl='';";
const QByteArray kTitleB = "StreamTitle='B';";

} // namespace

TEST(MetadataParser, EveryCutIntoTwoAndThreePacketsSeparatesTheSame)
{
    QRandomGenerator rng(7);
    Separated expected;
    const qint32 M = 16;
    const QByteArray wire = buildStream(M, {kTitleB, QByteArray(), kTitleA, kTitleB}, 5, rng, expected);
    const qsizetype n = wire.size();
    for (qsizetype i = 1; i < n; ++i) {
        for (qsizetype j = i; j < n; ++j) {
            Parser p(M);
            p.feed(wire.left(i));
            if (j > i)
                p.feed(wire.mid(i, j - i));
            p.feed(wire.mid(j));
            expectSame(expected, p.out.result);
            if (testing::Test::HasFailure())
                FAIL() << "cut at " << i << " and " << j;
        }
    }
}

TEST(MetadataParser, RandomPacketSizesMatchTheWholeStream)
{
    for (quint32 seed = 1; seed <= 40; ++seed) {
        QRandomGenerator rng(seed);
        const qint32 M = static_cast<qint32>(rng.bounded(1, 3000));
        QList<QByteArray> texts;
        for (int k = 0; k < 30; ++k) {
            const int kind = rng.bounded(4);
            texts.append(kind == 0 ? QByteArray()
                                   : QByteArray(QByteArrayLiteral("StreamTitle='Title ") + QByteArray::number(k) +
                                                "';" + QByteArray(rng.bounded(0, 300), 'x')));
        }
        Separated expected;
        const qint32 tailAudio = static_cast<qint32>(rng.bounded(0, M + 1));
        const QByteArray wire = buildStream(M, texts, tailAudio, rng, expected);
        Parser p(M);
        qsizetype pos = 0;
        while (pos < wire.size()) {
            // Packets from one byte up to several intervals, so that some hold many blocks.
            const qsizetype size = rng.bounded(0, 4) == 0 ? rng.bounded(1, 8) : rng.bounded(1, 4 * M + 600);
            p.feed(wire.mid(pos, size));
            pos += size;
        }
        expectSame(expected, p.out.result);
        EXPECT_EQ(p.parser.leftover(), 0);
        EXPECT_EQ(p.parser.counter(), tailAudio) << "seed " << seed;
    }
}

TEST(MetadataParser, BlockSplitOverThreePacketsIsGatheredAndMiddlePacketWritesNothing)
{
    QRandomGenerator rng(3);
    Separated expected;
    const QByteArray wire = buildStream(100, {kTitleA}, 40, rng, expected);
    // First packet: 60 audio bytes; second: the rest of the audio, the length byte
    // and 10 text bytes; third: 20 text bytes; fourth: the rest of the block and audio.
    Parser p(100);
    p.feed(wire.left(60));
    p.feed(wire.mid(60, 51));
    EXPECT_EQ(p.parser.leftover(), 48 - 10) << "three rows of 16 bytes, 10 arrived";
    EXPECT_EQ(p.parser.counter(), -p.parser.leftover());
    const int callsBefore = p.out.audioCalls;
    p.feed(wire.mid(111, 20));
    EXPECT_EQ(p.out.audioCalls, callsBefore) << "a packet inside a block holds no audio";
    EXPECT_TRUE(p.out.result.segments.empty());
    EXPECT_EQ(p.parser.leftover(), 18);
    p.feed(wire.mid(131));
    expectSame(expected, p.out.result);
    EXPECT_EQ(p.parser.leftover(), 0);
    EXPECT_EQ(p.parser.counter(), 40);
}

TEST(MetadataParser, PacketEndingExactlyAfterABlockCompletesIt)
{
    QRandomGenerator rng(4);
    Separated expected;
    const QByteArray wire = buildStream(50, {kTitleB, kTitleB}, 0, rng, expected);
    Parser p(50);
    p.feed(wire.left(50 + 17));
    ASSERT_EQ(p.out.result.segments.size(), 1u);
    EXPECT_EQ(p.parser.leftover(), 0);
    EXPECT_EQ(p.parser.counter(), 0);
    EXPECT_TRUE(p.parser.partialBlock().isEmpty());
    p.feed(wire.mid(67));
    expectSame(expected, p.out.result);
}

TEST(MetadataParser, EmptyBlockOnlyLosesItsLengthByte)
{
    QByteArray wire(8, 'a');
    wire.append('\0');
    wire.append(QByteArray(8, 'b'));
    wire.append('\0');
    wire.append(QByteArray(3, 'c'));
    Parser p(8);
    p.feed(wire);
    EXPECT_TRUE(p.out.result.segments.empty());
    EXPECT_EQ(p.out.result.tail, QByteArray("aaaaaaaabbbbbbbbccc"));
    EXPECT_EQ(p.parser.counter(), 3);
}

TEST(MetadataParser, SeveralBlocksInOnePacketAreEachHandled)
{
    QRandomGenerator rng(5);
    Separated expected;
    const QByteArray wire = buildStream(10, {kTitleA, kTitleB, QByteArray(), kTitleA, kTitleB}, 7, rng, expected);
    Parser p(10);
    p.feed(wire);
    expectSame(expected, p.out.result);
    ASSERT_EQ(p.out.result.segments.size(), 4u);
    EXPECT_EQ(p.out.result.segments[2].audio.size(), 20) << "audio on both sides of the empty block";
}

TEST(MetadataParser, WholeAudioPacketIsHandedOnInOnePiece)
{
    Parser p(1000);
    p.feed(QByteArray(400, 'x'));
    p.feed(QByteArray(600, 'y'));
    EXPECT_EQ(p.out.audioCalls, 2);
    EXPECT_EQ(p.parser.counter(), 1000);
    p.feed(QByteArray(1, '\0') + QByteArray(5, 'z'));
    EXPECT_EQ(p.parser.counter(), 5);
    EXPECT_EQ(p.out.result.tail.size(), 1005);
}

TEST(MetadataParser, WithoutIntervalEverythingIsAudio)
{
    Parser p(0);
    const QByteArray packet = QByteArray("\x02StreamTitle='x';") + QByteArray(40, 'q');
    p.feed(packet);
    EXPECT_TRUE(p.out.result.segments.empty());
    EXPECT_EQ(p.out.result.tail, packet);
}
