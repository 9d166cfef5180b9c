// Title files recorded from the test station as a player and a music library
// see them: whole frames, split at the pause before each song, tagged, and
// decodable; together, without their tags, exactly the audio sent.
#include <gtest/gtest.h>

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include "audiofiles.h"
#include "engine/framescanner.h"
#include "engine/recordingnames.h"
#include "engine/streamtitle.h"
#include "eventwait.h"
#include "recorderfixture.h"
#include "recordertestpeer.h"
#include "teststation/framegenerator.h"

namespace
{

constexpr int kKbps = 128;
constexpr int kSongFrames = 150; // 3.9 s
constexpr int kGapFrames = 31;   // 0.8 s

class SplitRecording : public RecorderFixture
{
protected:
    // Records songs announced shiftMs after they begin, in the given mode.
    const teststation::ConnectionRecord &record(int shiftMs, const QByteArray &modeLine, int songs = 5)
    {
        setFileSplitSettings({});
        stream.pace = teststation::Stream::Pace::Fast;
        stream.metaInt = 800;
        stream.toneFrames = kSongFrames;
        stream.silentFrames = kGapFrames;
        stream.titleEvery = cycleBytes();
        stream.titleShift = shiftMs * kKbps / 8;
        stream.titles = {"Ann Arbor - First Song", "Zo\xC3\xAB - \xE6\x9D\xB1\xE4\xBA\xAC", "Only Title"};
        // The stream ends after a whole frame, as a file should.
        stream.dropAfter =
            teststation::FrameGenerator::bytesBefore(kKbps, qint64(kSongFrames + kGapFrames) * songs + 12);
        config.streams.insert("/stream", stream);
        config.pages.insert("/listen.pls", teststation::Page::pls({"http://{station}/stream"}, {"Test"}));
        startStation();
        openPreset(presetLines("Split FM", "/listen.pls", modeLine));
        EXPECT_TRUE(waitUntil([&] {
            return station->connectionCount() > 1 && !station->connection(1).open &&
                   inside(engine).byteCount() >= station->connection(1).wireBytes;
        }));
        engine->stopRecording();
        return station->connection(1);
    }
    static qint64 cycleBytes() { return teststation::FrameGenerator::bytesBefore(kKbps, kSongFrames + kGapFrames); }

    // The file names in the order they were written: the first, then one per title sent.
    QStringList titleFiles(const teststation::ConnectionRecord &sent) const
    {
        QStringList names{QString::fromLocal8Bit(engine::datedFileName("Vorlane Test Station", QDate(2026, 3, 7)))};
        for (const teststation::TitleMark &title : sent.titles) {
            const QByteArray name = extractStreamTitle("StreamTitle='" + title.title + "';");
            QString fileName;
            for (int copy = 1; fileName.isEmpty() || names.contains(fileName); ++copy)
                fileName = engine::recordingFileName(name, copy);
            names.append(fileName);
        }
        return names;
    }

    teststation::Stream stream;
};

QString tagText(TagLib::ID3v2::Tag *tag, const char *id)
{
    const TagLib::ID3v2::FrameList frames = tag->frameListMap()[id];
    return frames.isEmpty() ? QString() : QString::fromStdString(frames.front()->toString().to8Bit(true));
}

} // namespace

TEST_F(SplitRecording, TitleFilesBeginAtThePauseBeforeTheirSongEarlyOrLate)
{
    for (const int shiftMs : {-2000, 0, 2000}) {
        if (station)
            restartProgram();
        station.reset();
        folder = testenv::home() + QStringLiteral("/split%1/").arg(shiftMs + 5000);
        QDir().mkpath(folder);
        const teststation::ConnectionRecord &sent = record(shiftMs, "SONGNAMEONLY");
        const QStringList names = titleFiles(sent);
        ASSERT_EQ(files().size(), names.size()) << shiftMs;

        QByteArray joined;
        for (int i = 0; i < names.size(); ++i) {
            SCOPED_TRACE(qPrintable(names.at(i)));
            const QByteArray bytes = file(QFile::encodeName(names.at(i)));
            const QByteArray audio = audiofiles::withoutTags(bytes);
            if (i > 0) {
                // Whole frames from the first byte to the last.
                engine::FrameScanner scanner;
                std::vector<engine::FrameScanner::Frame> frames;
                scanner.scan(audio, 0, true, frames);
                ASSERT_FALSE(frames.empty());
                EXPECT_EQ(frames.front().offset, 0);
                EXPECT_EQ(frames.back().offset + frames.back().header.length, audio.size());
                // The song's first sound is at most two frames into the file (the
                // first title comes with the stream's first block, its song began before).
                const qint64 start = joined.size();
                const qint64 song = (start + cycleBytes() / 2) / cycleBytes() * cycleBytes();
                if (i > 1) {
                    EXPECT_LE(start, song) << shiftMs;
                    EXPECT_GE(start, song - 2 * 418) << shiftMs;
                }
            }
            const QString errors = audiofiles::decodeErrors(folder + names.at(i));
            EXPECT_TRUE(errors.isEmpty()) << qPrintable(errors);
            joined += audio;
        }
        EXPECT_EQ(joined, sent.audio) << shiftMs;
    }
}

TEST_F(SplitRecording, TitleFilesAndSingleFilesCarryUnicodeTags)
{
    const teststation::ConnectionRecord &sent = record(0, "SONGNAMEONLY", 3);
    ASSERT_GE(sent.titles.size(), 3);
    const QStringList names = titleFiles(sent);
    const auto tagOf = [this](const QString &name, const char *id) {
        TagLib::MPEG::File mp3(QFile::encodeName(folder + name).constData());
        TagLib::ID3v2::Tag *tag = mp3.ID3v2Tag();
        return tag && tag->header()->majorVersion() == 4 ? tagText(tag, id) : QStringLiteral("(no ID3v2.4 tag)");
    };
    EXPECT_EQ(tagOf(names.at(1), "TPE1"), QStringLiteral("Ann Arbor"));
    EXPECT_EQ(tagOf(names.at(1), "TIT2"), QStringLiteral("First Song"));
    EXPECT_EQ(tagOf(names.at(2), "TPE1"), QStringLiteral("Zo\u00eb"));
    EXPECT_EQ(tagOf(names.at(2), "TIT2"), QStringLiteral("\u6771\u4eac"));
    EXPECT_EQ(tagOf(names.at(3), "TIT2"), QStringLiteral("Only Title"));
    for (const QString &name : names) {
        EXPECT_EQ(tagOf(name, "TRSN"), QStringLiteral("Split FM")) << qPrintable(name);
        EXPECT_EQ(tagOf(name, "WORS"), QString::fromLatin1(station->url("/listen.pls")));
        EXPECT_EQ(tagOf(name, "TDRC"), QStringLiteral("2026-03-07"));
        EXPECT_EQ(tagOf(name, "COMM"), QStringLiteral("Rec: Ombrex 2026-03-07"));
    }
    // The ID3v1 tag at the end is as it always was.
    EXPECT_EQ(file(QFile::encodeName(names.at(1))).right(128), tagFor("Ann Arbor", "First Song"));

    // A single file: the station's tag at the start, and the stream after it.
    restartProgram();
    station.reset();
    folder = testenv::home() + QStringLiteral("/splitsingle/");
    QDir().mkpath(folder);
    const teststation::ConnectionRecord &whole = record(0, "FILENAME show.mp3", 2);
    EXPECT_EQ(tagOf(QStringLiteral("show.mp3"), "TIT2"), QStringLiteral("Split FM"));
    EXPECT_EQ(tagOf(QStringLiteral("show.mp3"), "TRSN"), QStringLiteral("Split FM"));
    EXPECT_EQ(audiofiles::withoutTags(file("show.mp3")), whole.audio);
    const QString errors = audiofiles::decodeErrors(folder + QStringLiteral("show.mp3"));
    EXPECT_TRUE(errors.isEmpty()) << qPrintable(errors);
}
