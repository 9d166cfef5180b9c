// Listening while recording from the bundled test station: the engine hands the
// stream to the relay, the relay to the embedded player in memory, which decodes
// it (to the null output every test process plays through).
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <memory>

#include "app/programcontext.h"
#include "config/setupsettings.h"
#include "engine/recorder.h"
#include "eventwait.h"
#include "fakeclock.h"
#include "platform/audiooutput.h"
#include "recorderfixture.h"
#include "recordertestpeer.h"
#include "sources/mp3player.h"
#include "sources/previewrelay.h"
#include "testenv.h"
#include "teststation/station.h"

namespace
{

// The station's generated frames at 128 kb/s and 44.1 kHz.
constexpr double kAverageFrameBytes = 144.0 * 128000 / 44100;

class ListeningRecording : public RecorderFixture
{
protected:
    void SetUp() override
    {
        RecorderFixture::SetUp();
        stream.pace = teststation::Stream::Pace::Fast;
        // Enough audio for the player to start, well below what the relay keeps;
        // then the station holds the connection open without sending.
        stream.stallAfter = 200000;
        config.streams.insert("/stream", stream);
        config.pages.insert("/listen.pls", teststation::Page::pls({"http://{station}/stream"}, {"Test"}));
        startStation();
    }

    // Records the station with a preset whose title line is given (its prefix
    // sets listening and a paused start) into one file.
    Recorder *startPreset(const QByteArray &titleLine)
    {
        return openPreset(presetLines(titleLine, "/listen.pls", "FILENAME show.mp3"));
    }

    // Waits until the station has sent all it will and the player has decoded it.
    void waitForPlayer(Recorder *engine)
    {
        ASSERT_TRUE(waitUntil(
            [&] {
                return station->connectionCount() > 1 && station->connection(1).stalled &&
                       inside(engine).relay().player()->framesDecoded() >= audioFrames() - 1;
            },
            10000))
            << "frames decoded " << inside(engine).relay().player()->framesDecoded();
        settle(300); // nothing more arrives
    }
    qint64 audioFrames() const
    {
        return static_cast<qint64>(static_cast<double>(stream.stallAfter) / kAverageFrameBytes);
    }

    teststation::Stream stream;
};

} // namespace

TEST_F(ListeningRecording, PlayerGetsTheRecordedStreamWhileTheFileIsWritten)
{
    startPreset("!L-Test FM");
    waitForPlayer(engine);
    ASSERT_TRUE(engine->isRecording());
    EXPECT_TRUE(inside(engine).isListening());
    EXPECT_TRUE(inside(engine).relay().listening);

    const teststation::ConnectionRecord &sent = station->connection(1);
    const Mp3Player *player = inside(engine).relay().player();
    EXPECT_EQ(player->state(), Mp3Player::State::Playing);
    // Every audio byte, and no socket in between.
    EXPECT_EQ(player->bytesReceived(), sent.audio.size());
    EXPECT_TRUE(inside(engine).relay().address().isEmpty());
    EXPECT_GE(player->framesDecoded(), audioFrames() - 1);
    EXPECT_LE(player->framesDecoded(), audioFrames() + 1);
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(u'|').toStdString();

    engine->stopRecording();
    EXPECT_EQ(testenv::readFile(folder + QStringLiteral("show.mp3")).size(), sent.audio.size() + 128);
    EXPECT_FALSE(inside(engine).relay().listening);
    EXPECT_EQ(player->state(), Mp3Player::State::Stopped);
}

TEST_F(ListeningRecording, PausedStartStillFeedsThePlayer)
{
    startPreset("!X-Test FM");
    waitForPlayer(engine);
    ASSERT_TRUE(engine->isRecording());
    EXPECT_TRUE(inside(engine).isPaused());

    // Nothing is written while paused, yet the player decodes the stream.
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());
    const teststation::ConnectionRecord &sent = station->connection(1);
    EXPECT_EQ(inside(engine).relay().player()->bytesReceived(), sent.audio.size());
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(u'|').toStdString();
}

// A sound output that gives out while playing (a USB headset pulled out), or
// none at all: listening goes off everywhere it shows and stays off after Stop.
TEST_F(ListeningRecording, ListeningIsOffOnceTheSoundOutputFailed)
{
    class LostOutput final : public platform::AudioOutput
    {
    public:
        bool open() override { return true; }
        bool setFormat(int, int) override { return true; }
        qint64 framesWritable() override { return -1; }
        qint64 write(const qint16 *, qint64) override { return -1; }
        void close() override {}
        QString errorString() const override { return QStringLiteral("device unplugged"); }
    };
    for (const bool opens : {true, false}) {
        SCOPED_TRACE(opens);
        ui.messages.clear();
        devices.makeOutput = [opens]() -> std::unique_ptr<platform::AudioOutput> {
            if (opens)
                return std::make_unique<LostOutput>();
            return nullptr;
        };
        startPreset("!L-Test FM");
        ASSERT_TRUE(waitUntil([&] { return !ui.messages.isEmpty(); }, 10000));
        devices.makeOutput = nullptr;
        EXPECT_TRUE(ui.messages.first().startsWith(QStringLiteral("No sound output is available")))
            << ui.messages.first().toStdString();
        EXPECT_TRUE(engine->isRecording());
        EXPECT_FALSE(inside(engine).isListening());
        EXPECT_FALSE(engine->status().listening);
        EXPECT_FALSE(inside(engine).trayState().listen.on);
        engine->stopRecording();
        EXPECT_FALSE(inside(engine).isListening());
        EXPECT_FALSE(inside(engine).trayState().listen.on);
    }
}

// The request names the external player, or the settings do for a preset
// opened as a file: the relay serves the stream on a loopback port and starts
// that program with the address; nothing plays here.
TEST_F(ListeningRecording, ExternalPlayerOfTheRequestGetsTheRelayAddress)
{
    const QString argsFile = folder + QStringLiteral("../player-args");
    const QString player = testenv::writeFile(argsFile + QStringLiteral(".sh"),
                                              "#!/bin/sh\necho \"$1\" > '" + QFile::encodeName(argsFile) + "'\n");
    QFile::setPermissions(player, QFile::ReadOwner | QFile::ExeOwner);
    Preset preset;
    preset.playlistAddress = QString::fromLatin1(station->url("/listen.pls"));
    preset.stationTitle = QStringLiteral("Test FM");
    preset.saveFolder = folder;
    preset.captureMode = 1;
    preset.recordingFileName = QStringLiteral("show.mp3");
    preset.timeLimited = false;
    preset.valid = true;
    engine = program().loadRecorder();
    ASSERT_TRUE(engine->start({preset, {}, false, false, player}));

    ASSERT_TRUE(waitUntil([&] { return !testenv::readFile(argsFile).isEmpty(); }, 10000));
    const QByteArray address = testenv::readFile(argsFile).trimmed();
    EXPECT_EQ(address, inside(engine).relay().address().toLatin1());
    EXPECT_TRUE(address.startsWith("http://127.0.0.1:")) << address.constData();
    EXPECT_EQ(inside(engine).relay().player()->state(), Mp3Player::State::Stopped);
    EXPECT_TRUE(inside(engine).isListening());
    engine->stopRecording();
    EXPECT_TRUE(inside(engine).relay().address().isEmpty());

    // A preset opened from the command line, the tray or a schedule listens
    // through the player the setup window stored.
    QFile::remove(argsFile);
    saveExternalPlayer(player);
    startPreset("!L-Test FM");
    ASSERT_TRUE(waitUntil([&] { return !testenv::readFile(argsFile).isEmpty(); }, 10000));
    EXPECT_EQ(testenv::readFile(argsFile).trimmed(), inside(engine).relay().address().toLatin1());
    EXPECT_EQ(inside(engine).relay().player()->state(), Mp3Player::State::Stopped);
    saveExternalPlayer(QString());
}
