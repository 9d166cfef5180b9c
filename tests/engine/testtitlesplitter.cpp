// Where title files end: frames found in the stream, frame-aligned and
// pause-aware splits, and the ID3v2 tag at the start of a file.
#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <set>

#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/urllinkframe.h>

#include "audiofiles.h"
#include "engine/framescanner.h"
#include "engine/id3v2tag.h"
#include "engine/titlesplitter.h"
#include "teststation/framegenerator.h"

namespace
{

using engine::SplitPoint;
using engine::TitleSplitter;

constexpr int kKbps = 128;
constexpr double kFrameSeconds = 1152.0 / 44100;

// ADTS frames of varying length whose payload is full of sync-like bytes.
QByteArray adtsFrames(int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        const int length = 200 + (i * 37) % 150;
        QByteArray frame("\xFF\xF1\x50\x80", 4);
        frame += static_cast<char>((length >> 3) & 0xFF);
        frame += static_cast<char>(((length & 0x07) << 5) | 0x1F);
        frame += '\xFC';
        frame += QByteArray("\xFF\xFB\x90\x00\xFF\xF1", 6).repeated(length).left(length - 7);
        out += frame;
    }
    return out;
}

std::vector<qint64> frameStarts(const QByteArray &stream, bool byteByByte)
{
    engine::FrameScanner scanner;
    std::vector<engine::FrameScanner::Frame> frames;
    if (byteByByte) {
        for (qsizetype n = 1; n <= stream.size(); ++n)
            scanner.scan(stream.left(n), 0, false, frames);
    }
    scanner.scan(stream, 0, true, frames);
    std::vector<qint64> starts;
    for (const auto &frame : frames)
        starts.push_back(frame.offset);
    return starts;
}

struct Split
{
    QByteArray title;
    SplitPoint point;
};

// Feeds the stream in random pieces of up to maxPiece bytes, the titles at
// their byte offsets, and checks that the pieces add up to the stream again.
// Bytes left out of the files may only be the stream's first; without leftOut
// there must be none.
std::vector<Split> runSplitter(const QByteArray &stream, const std::map<qint64, QByteArray> &titles,
                               TitleSplitter::Options options, qint64 *leftOut = nullptr, int maxPiece = 3000)
{
    QByteArray dropped;
    TitleSplitter splitter(options);
    QRandomGenerator random(7);
    QByteArray out;
    std::vector<Split> splits;
    const auto collect = [&] {
        for (TitleSplitter::Piece &piece : splitter.take()) {
            if (piece.newFile) {
                EXPECT_EQ(piece.split.splitAt, dropped.size() + out.size());
                splits.push_back({piece.title, piece.split});
            }
            if (piece.leftOut) {
                // Once, and the file gives back all it holds.
                EXPECT_TRUE(dropped.isEmpty());
                EXPECT_EQ(piece.takeBack, out.size());
                out.chop(piece.takeBack);
                dropped = piece.audio;
                continue;
            }
            out += piece.audio;
        }
    };
    qint64 at = 0;
    auto next = titles.begin();
    while (at < stream.size()) {
        qint64 end = std::min<qint64>(stream.size(), at + 1 + random.bounded(maxPiece));
        if (next != titles.end() && next->first <= end)
            end = next->first;
        splitter.addAudio(stream.mid(at, end - at));
        at = end;
        if (next != titles.end() && next->first == at)
            splitter.changeTitle((next++)->second);
        collect();
        // The delay stays within half the window and what one undecided change needs.
        EXPECT_LE(splitter.heldBytes(), 600000);
    }
    splitter.flush();
    collect();
    EXPECT_EQ(dropped + out, stream);
    if (leftOut)
        *leftOut = dropped.size();
    else
        EXPECT_TRUE(dropped.isEmpty());
    return splits;
}

QByteArray songs(int songFrames, int gapFrames, int count)
{
    teststation::FrameGenerator generator(kKbps, true, 3);
    generator.setSongs(songFrames, gapFrames);
    return generator.read(teststation::FrameGenerator::bytesBefore(kKbps, qint64(songFrames + gapFrames) * count));
}

} // namespace

TEST(FrameScanner, FindsOnlyRunsOfAgreeingHeadersAlsoWhenFedByteByByte)
{
    teststation::FrameGenerator generator(kKbps, true, 1);
    const QByteArray mp3 = generator.read(20000);
    // A cut frame in front, a chance header that its successor contradicts, a
    // run that changes sample rate (another stream) after two frames.
    QByteArray chance("\xFF\xFB\x90\x00", 4);
    chance += QByteArray(413, '\x11') + QByteArray("\xFF\xFB\x94\x00", 4); // 48 kHz where 44.1 was
    const QByteArray stream = mp3.mid(300) + chance + QByteArray(50, '\x11') + adtsFrames(30);
    const std::vector<qint64> whole = frameStarts(stream, false);
    EXPECT_EQ(whole, frameStarts(stream, true));

    const std::vector<qint64> mp3Starts = frameStarts(mp3, false);
    ASSERT_GT(mp3Starts.size(), 40u);
    std::set<qint64> expected;
    for (const qint64 start : mp3Starts) {
        if (start >= 300)
            expected.insert(start - 300);
    }
    const qint64 adtsAt = mp3.size() - 300 + chance.size() + 50;
    std::set<qint64> found(whole.begin(), whole.end());
    for (const qint64 start : found) {
        const bool inMp3 = expected.count(start) > 0;
        EXPECT_TRUE(inMp3 || start >= adtsAt) << start;
    }
    // Every whole MP3 frame but the one cut by the chance bytes, and every ADTS frame.
    const qint64 mp3Found = std::count_if(whole.begin(), whole.end(), [&](qint64 s) { return s < adtsAt; });
    EXPECT_GE(mp3Found, static_cast<qint64>(expected.size()) - 1);
    EXPECT_EQ(static_cast<qint64>(whole.size()) - mp3Found, 30);
    EXPECT_TRUE(frameStarts(QByteArray(5000, '\xFF'), false).empty());
}

TEST(TitleSplitter, SplitsAtFrameBoundariesOrAtTheByteWithoutFrames)
{
    const QByteArray stream = songs(300, 0, 1).left(60000);
    const std::vector<qint64> starts = frameStarts(stream, false);
    const std::set<qint64> boundaries(starts.begin(), starts.end());
    // "Header" comes inside a frame's header, before the header is whole.
    const std::map<qint64, QByteArray> titles{
        {0, "At Zero"}, {1000, "Cut"}, {starts.at(48), "On"}, {starts.at(66) + 3, "Header"}, {40333, "Late"}};
    for (const bool silence : {false, true}) {
        const std::vector<Split> splits = runSplitter(stream, titles, {silence, 6000});
        ASSERT_EQ(splits.size(), titles.size());
        auto title = titles.begin();
        for (const Split &split : splits) {
            EXPECT_EQ(split.title, title->second);
            EXPECT_EQ(split.point.titleAt, title->first);
            EXPECT_TRUE(boundaries.count(split.point.splitAt)) << split.point.splitAt;
            const qint64 shift = split.point.splitAt - title->first;
            if (silence) {
                // A steady tone has no pause: the boundary next to the title change.
                EXPECT_EQ(split.point.reason, SplitPoint::Reason::Frame);
                EXPECT_LE(std::abs(shift), 209);
            } else {
                // The frame being received when the title came ends the file.
                EXPECT_TRUE(shift >= 0 && shift < 418) << shift;
                EXPECT_TRUE(split.point.reason == SplitPoint::Reason::Frame || shift == 0);
            }
            ++title;
        }
    }
    // A connection dropped inside a frame and the next stream begins: the cut
    // frame stays with the file it began in, the next file begins with a frame.
    const qint64 cut = starts.at(20) + 200;
    const QByteArray reconnected = stream.left(cut) + teststation::FrameGenerator(kKbps, true, 9).read(20000);
    for (const bool silence : {false, true}) {
        const std::vector<Split> splits = runSplitter(reconnected, {{cut - 100, "Cut Off"}}, {silence, 6000});
        ASSERT_EQ(splits.size(), 1u);
        EXPECT_EQ(splits[0].point.splitAt, cut);
    }
    // Joined inside an ADTS frame (of 200 bytes): the rest of it is in no
    // file (also when it was given out before the frames after it came), the
    // first file begins with the frame after it.
    const QByteArray joined = adtsFrames(60).mid(150);
    for (const int maxPiece : {3000, 40}) {
        for (const bool silence : {false, true}) {
            qint64 leftOut = -1;
            const std::vector<Split> splits =
                runSplitter(joined, {{0, "At Zero"}, {5000, "Later"}}, {silence, 6000}, &leftOut, maxPiece);
            EXPECT_EQ(leftOut, 50);
            EXPECT_EQ(splits.size(), 2u);
        }
    }
    // No frames at all: at the byte, as the title came.
    const QByteArray noise = QByteArray("\x12\x34\x56\x78\x9A", 5).repeated(8000);
    const std::vector<Split> raw = runSplitter(noise, {{1234, "A"}, {30001, "B"}}, {true, 6000});
    ASSERT_EQ(raw.size(), 2u);
    EXPECT_EQ(raw[0].point.splitAt, 1234);
    EXPECT_EQ(raw[1].point.splitAt, 30001);
    EXPECT_EQ(raw[1].point.reason, SplitPoint::Reason::Bytes);
}

TEST(TitleSplitter, EndsFilesAtThePauseBeforeTheSongEarlyOrLate)
{
    const int songFrames = 400; // 10.4 s
    const int gapFrames = 31;   // 0.8 s
    const QByteArray stream = songs(songFrames, gapFrames, 4);
    const qint64 cycleBytes = teststation::FrameGenerator::bytesBefore(kKbps, songFrames + gapFrames);
    for (const int shiftMs : {-2000, 0, 2000}) {
        std::map<qint64, QByteArray> titles;
        for (int song = 1; song < 4; ++song)
            titles[song * cycleBytes + shiftMs * kKbps / 8] = "Song " + QByteArray::number(song);
        const std::vector<Split> splits = runSplitter(stream, titles, {true, 6000});
        ASSERT_EQ(splits.size(), 3u);
        for (int song = 1; song < 4; ++song) {
            const SplitPoint &point = splits[song - 1].point;
            EXPECT_EQ(point.reason, SplitPoint::Reason::Silence) << shiftMs;
            // Within two frames before the first sound of the song.
            const double offset = double(point.splitAt - song * cycleBytes) * 8 / (kKbps * 1000);
            EXPECT_LE(offset, 0.001) << shiftMs << " song " << song;
            EXPECT_GE(offset, -2 * kFrameSeconds) << shiftMs << " song " << song;
            EXPECT_NEAR(point.shiftSeconds, -shiftMs / 1000.0, 0.1);
        }
        // Off, or a window too narrow to reach the pause: at the title change.
        const std::vector<Split> off = runSplitter(stream, titles, {false, 6000});
        const std::vector<Split> narrow = runSplitter(stream, titles, {true, 1000});
        for (const auto *list : {&off, &narrow}) {
            ASSERT_EQ(list->size(), 3u);
            for (const Split &split : *list)
                EXPECT_LE(std::abs(split.point.splitAt - split.point.titleAt), 418);
        }
        if (shiftMs != 0) {
            EXPECT_EQ(narrow[0].point.reason, SplitPoint::Reason::Frame);
        }
    }

    // ADTS from a real encoder (whose output lags by one frame of 1024 samples), decoded by libavcodec.
    const double period = 8.8;
    const QByteArray adts = audiofiles::encodeAdtsSongs(8, 0.8, 4);
    ASSERT_FALSE(adts.isEmpty());
    const std::vector<qint64> starts = frameStarts(adts, false);
    for (const int shiftMs : {-2000, 2000}) {
        std::map<qint64, QByteArray> titles;
        for (int song = 1; song < 4; ++song)
            titles[starts.at(static_cast<size_t>((song * period + shiftMs / 1000.0) * 44100 / 1024))] = "Song";
        const std::vector<Split> splits = runSplitter(adts, titles, {true, 6000});
        ASSERT_EQ(splits.size(), 3u);
        for (int song = 1; song < 4; ++song) {
            const SplitPoint &point = splits[song - 1].point;
            EXPECT_EQ(point.reason, SplitPoint::Reason::Silence) << shiftMs;
            const double frame = std::find(starts.begin(), starts.end(), point.splitAt) - starts.begin();
            const double songFrame = song * period * 44100 / 1024 + 1;
            EXPECT_LE(frame, songFrame + 0.5) << shiftMs << " song " << song;
            EXPECT_GE(frame, songFrame - 3) << shiftMs << " song " << song;
        }
    }
}

TEST(Id3v2Tag, UnicodeFieldsReadBackFromAFile)
{
    Id3v2Fields fields = titleTagFields(stationText("Sigur R\xC3\xB3s - \xE6\x9D\xB1\xE4\xBA\xAC - Live"));
    EXPECT_EQ(fields.artist, QStringLiteral("Sigur R\u00f3s"));
    fields.stationName = stationText("Radio \xE9t\xE9"); // not UTF-8: Latin-1
    fields.stationAddress = "http://radio.example/listen.pls";
    fields.recorded = QDate(2024, 2, 29);
    fields.comment = QStringLiteral("Rec: Ombrex 2024-02-29");
    const QByteArray tag = buildId3v2Tag(fields);
    ASSERT_EQ(id3v2TagLength(tag), tag.size());
    EXPECT_EQ(id3v2TagLength(tag.left(9)), 0);
    EXPECT_TRUE(buildId3v2Tag(Id3v2Fields()).isEmpty());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("song.mp3"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(tag + songs(100, 0, 1));
    file.close();
    TagLib::MPEG::File mp3(path.toLocal8Bit().constData());
    TagLib::ID3v2::Tag *read = mp3.ID3v2Tag();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->header()->majorVersion(), 4u);
    const auto text = [read](const char *id) {
        const TagLib::ID3v2::FrameList frames = read->frameListMap()[id];
        return frames.isEmpty() ? QString() : QString::fromStdString(frames.front()->toString().to8Bit(true));
    };
    EXPECT_EQ(text("TIT2"), QStringLiteral("\u6771\u4eac - Live"));
    EXPECT_EQ(text("TPE1"), QStringLiteral("Sigur R\u00f3s"));
    EXPECT_EQ(text("TRSN"), QStringLiteral("Radio \u00e9t\u00e9"));
    EXPECT_EQ(text("WORS"), QStringLiteral("http://radio.example/listen.pls"));
    EXPECT_EQ(text("TDRC"), QStringLiteral("2024-02-29"));
    EXPECT_EQ(text("COMM"), QStringLiteral("Rec: Ombrex 2024-02-29"));
    EXPECT_GT(mp3.audioProperties()->lengthInMilliseconds(), 2000);
}
