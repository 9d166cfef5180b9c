#include <QDir>

#include <gtest/gtest.h>

#include "config/inivalues.h"
#include "config/preset.h"
#include "filesizelimit.h"
#include "platform/folders.h"
#include "testenv.h"

namespace
{

const QString kInvalidAddress = QStringLiteral(
    "Line 2 of the preset must be a playlist (.pls or .m3u) or a stream address (http:// or https://): ");
const QString kMissingPath = QStringLiteral("The path specified does not exist!");
const QString kBadLength =
    QStringLiteral("A number of minutes (or 0 for continuous) must be specified for the recording length!");
const QString kBadDays = QStringLiteral(
    "A number of minutes must be specified for the days to keep the recording! (Even for title streams)");

class PresetFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = testenv::home() + QStringLiteral("/presets");
        QDir(m_folder).removeRecursively();
        QDir().mkpath(m_folder);
        m_recordings = testenv::home() + QStringLiteral("/recordings");
        QDir().mkpath(m_recordings);
    }

    QString write(const QByteArray &bytes, const char *name = "p.mvr")
    {
        return testenv::writeFile(m_folder + QLatin1Char('/') + QString::fromLatin1(name), bytes);
    }

    // Six body lines with one of them replaced.
    QByteArray body(int replace = 0, const QByteArray &with = {}) const
    {
        QList<QByteArray> lines = {
            "!L-Jazz", "http://example.org/jazz.pls", "SONGNAMEONLY", QFile::encodeName(m_recordings), "S60", " 30 "};
        if (replace > 0)
            lines[replace - 1] = with;
        return lines.join("\r\n") + "\r\n";
    }

    // Loads like a caller that shows what the preset says is wrong.
    bool load(const QString &path)
    {
        const bool ok = m_preset.load(path);
        if (!m_preset.failureText().isEmpty())
            m_messages.append(m_preset.failureText());
        return ok;
    }

    QString m_folder;
    QString m_recordings;
    QStringList m_messages;
    Preset m_preset;
};

} // namespace

TEST(Configuration, NewRecordHoldsTheDefaults)
{
    Preset config;
    EXPECT_EQ(config.timeLimitMinutes, 60);
    EXPECT_TRUE(config.timeLimited);
    EXPECT_FALSE(config.exitAfterRecording);
    EXPECT_EQ(config.captureMode, 2);
    EXPECT_TRUE(config.deleteOldArchives);
    EXPECT_EQ(config.daysToKeep, 30);
    EXPECT_TRUE(config.listenAtStart);
    EXPECT_FALSE(config.startPaused);
    EXPECT_FALSE(config.valid);

    config.stationTitle = QStringLiteral("x");
    config.captureMode = 3;
    config.valid = true;
    config.reset();
    EXPECT_TRUE(config.stationTitle.isEmpty());
    EXPECT_EQ(config.captureMode, 2);
    EXPECT_TRUE(config.valid) << "reset() leaves the valid flag alone";
}

TEST_F(PresetFile, ValidPresetLoadsEveryField)
{
    const QString path = write(body());
    ASSERT_TRUE(load(path));
    EXPECT_TRUE(m_messages.isEmpty());
    EXPECT_TRUE(m_preset.valid);
    EXPECT_EQ(m_preset.presetFilePath, path);
    EXPECT_EQ(m_preset.stationTitle, QStringLiteral("Jazz"));
    EXPECT_TRUE(m_preset.listenAtStart);
    EXPECT_FALSE(m_preset.startPaused);
    EXPECT_EQ(m_preset.playlistAddress, QStringLiteral("http://example.org/jazz.pls"));
    EXPECT_EQ(m_preset.captureMode, 2);
    EXPECT_EQ(m_preset.saveFolder, m_recordings + QDir::separator());
    EXPECT_EQ(m_preset.timeLimitMinutes, 60);
    EXPECT_TRUE(m_preset.timeLimited);
    EXPECT_FALSE(m_preset.exitAfterRecording);
    EXPECT_EQ(m_preset.daysToKeep, 30);
    EXPECT_TRUE(m_preset.deleteOldArchives);
}

TEST_F(PresetFile, MissingFileOrFolderIsReported)
{
    m_preset.valid = true;
    EXPECT_FALSE(load(m_folder + QStringLiteral("/none.mvr")));
    EXPECT_FALSE(load(m_folder));
    EXPECT_EQ(m_messages, QStringList(2, QStringLiteral("The preset file specified does not exist!")));
    EXPECT_FALSE(m_preset.valid);
    EXPECT_TRUE(m_preset.presetFilePath.isEmpty());
}

TEST_F(PresetFile, CommentBlockIsKeptAndWrittenBackFirst)
{
    const QByteArray comments = "# made by hand\n  indented note \xe9\n#\n";
    const QString path = write(comments + body().replace("\r\n", "\n"));
    ASSERT_TRUE(load(path));
    EXPECT_EQ(m_preset.comments(), (QList<QByteArray>{"# made by hand", "  indented note \xe9", "#"}));
    EXPECT_EQ(m_preset.stationTitle, QStringLiteral("Jazz"));

    const QString copy = m_folder + QStringLiteral("/copy.mvr");
    ASSERT_TRUE(m_preset.save(copy));
    EXPECT_EQ(testenv::readFile(copy), QByteArray("# made by hand\r\n  indented note \xe9\r\n#\r\n!L-Jazz\r\n"
                                                  "http://example.org/jazz.pls\r\nSONGNAMEONLY\r\n%DEFDIR%\r\n"
                                                  "S60\r\n 30 \r\n"));
    EXPECT_EQ(m_preset.presetFilePath, copy);
}

TEST_F(PresetFile, TitlePrefixesSetListenAndPause)
{
    const struct
    {
        QByteArray line;
        const char *title;
        bool listen;
        bool paused;
    } cases[] = {
        {"!L-Jazz", "Jazz", true, false},     {"!P-Jazz", "Jazz", false, true}, {"!X-Jazz", "Jazz", true, true},
        {"Jazz", "Jazz", false, false},       {"!L-", "!L-", false, false},     {"", "", false, false},
        {"!Q-Jazz", "!Q-Jazz", false, false},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(load(write(body(1, c.line)))) << c.line.constData();
        EXPECT_EQ(m_preset.stationTitle, QString::fromLatin1(c.title));
        EXPECT_EQ(m_preset.listenAtStart, c.listen) << c.line.constData();
        EXPECT_EQ(m_preset.startPaused, c.paused) << c.line.constData();
    }
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(PresetFile, AddressTakesWhatTheStationListTakes)
{
    for (const QByteArray address : {"http://x/list.PLS", "http://x/listen.pls?sid=1", "https://x/stream",
                                     "HTTP://x:8000/;", "/home/me/Local.M3U"}) {
        EXPECT_TRUE(load(write(body(2, address)))) << address.constData();
        EXPECT_EQ(m_preset.playlistAddress, QString::fromLatin1(address));
    }
    ASSERT_TRUE(load(write(body(2, "http://x/list.m3u"))));
    EXPECT_TRUE(m_messages.isEmpty());

    // A web page is no station in the station list either.
    EXPECT_FALSE(load(write(body(2, "http://x/stations.html"))));
    m_messages.clear();
    const QString path = write(body(2, "notes.txt"));
    EXPECT_FALSE(load(path));
    EXPECT_EQ(m_messages, QStringList{path + QLatin1Char('\r') + kInvalidAddress + QStringLiteral("notes.txt")});
    EXPECT_FALSE(m_preset.failureText().isEmpty());
    // Fields of the lines before keep their new values, later ones their old.
    EXPECT_EQ(m_preset.playlistAddress, QStringLiteral("http://x/list.m3u"));
    EXPECT_EQ(m_preset.stationTitle, QStringLiteral("Jazz"));
    EXPECT_FALSE(m_preset.valid);
}

TEST_F(PresetFile, CaptureModes)
{
    ASSERT_TRUE(load(write(body(3, "FILENAME show.mp3"))));
    EXPECT_EQ(m_preset.captureMode, 1);
    EXPECT_EQ(m_preset.recordingFileName, QStringLiteral("show.mp3"));

    ASSERT_TRUE(load(write(body(3, "MyShowSONGNAMEONLY"))));
    EXPECT_EQ(m_preset.captureMode, 2);

    ASSERT_TRUE(load(write(body(3, "Morning Show"))));
    EXPECT_EQ(m_preset.captureMode, 3);
    EXPECT_EQ(m_preset.recordingFileName, QStringLiteral("Morning Show"));

    // The word alone names no file: a quiet failure.
    EXPECT_FALSE(load(write(body(3, "FILENAME"))));
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(PresetFile, SaveFolderGetsItsSeparatorAndDefaultFolderToken)
{
    ASSERT_TRUE(load(write(body(4, QFile::encodeName(m_recordings) + '/'))));
    EXPECT_EQ(m_preset.saveFolder, m_recordings + QLatin1Char('/'));

    QDir().mkpath(platform::musicFolder());
    setLastPath(m_recordings);
    ASSERT_TRUE(load(write(body(4, "%DEFDIR%"))));
    EXPECT_EQ(m_preset.saveFolder, defaultRecordingFolder(true) + QDir::separator());
    EXPECT_EQ(m_preset.saveFolder, m_recordings + QDir::separator());

    EXPECT_FALSE(load(write(body(4, "/no/such/folder"))));
    EXPECT_EQ(m_messages, QStringList{kMissingPath});
    EXPECT_EQ(m_preset.saveFolder, m_recordings + QDir::separator()) << "a failed load changes nothing";
}

TEST_F(PresetFile, RecordingLengthLine)
{
    ASSERT_TRUE(load(write(body(5, "0"))));
    EXPECT_EQ(m_preset.timeLimitMinutes, 0);
    EXPECT_FALSE(m_preset.timeLimited);
    EXPECT_TRUE(m_preset.exitAfterRecording);

    ASSERT_TRUE(load(write(body(5, "S120"))));
    EXPECT_EQ(m_preset.timeLimitMinutes, 120);
    EXPECT_TRUE(m_preset.timeLimited);
    EXPECT_FALSE(m_preset.exitAfterRecording);

    ASSERT_TRUE(load(write(body(5, "  45 "))));
    EXPECT_EQ(m_preset.timeLimitMinutes, 45);
    EXPECT_TRUE(m_preset.exitAfterRecording);
    EXPECT_TRUE(m_messages.isEmpty());

    // Numeric after its first letter, but that letter is not "S": quiet failure.
    EXPECT_FALSE(load(write(body(5, "X60"))));
    EXPECT_EQ(m_preset.timeLimitMinutes, 45);
    // Too large for a 32-bit number, or negative: quiet failures as well.
    EXPECT_FALSE(load(write(body(5, "99999999999"))));
    EXPECT_FALSE(load(write(body(5, "-5"))));
    EXPECT_TRUE(m_messages.isEmpty());

    for (const QByteArray &line : {QByteArray("sixty"), QByteArray(""), QByteArray("S"), QByteArray("5 minutes")}) {
        m_messages.clear();
        EXPECT_FALSE(load(write(body(5, line)))) << line.constData();
        EXPECT_EQ(m_messages, QStringList{kBadLength}) << line.constData();
    }
}

TEST_F(PresetFile, DaysToKeepLine)
{
    ASSERT_TRUE(load(write(body(6, "0"))));
    EXPECT_EQ(m_preset.daysToKeep, 0);
    EXPECT_FALSE(m_preset.deleteOldArchives);
    ASSERT_TRUE(load(write(body(6, "7"))));
    EXPECT_TRUE(m_preset.deleteOldArchives);

    EXPECT_FALSE(load(write(body(6, "S7"))));
    EXPECT_FALSE(load(write(body(6, "-3"))));
    EXPECT_EQ(m_messages, QStringList(2, kBadDays));
    EXPECT_EQ(m_preset.daysToKeep, 7);
}

TEST_F(PresetFile, BodyLineCount)
{
    QByteArray five = body();
    five.chop(QByteArray(" 30 \r\n").size());
    EXPECT_FALSE(load(write(five)));
    EXPECT_TRUE(m_messages.isEmpty());
    EXPECT_FALSE(m_preset.valid);

    EXPECT_FALSE(load(write("# only a comment\r\n")));
    EXPECT_FALSE(load(write("")));
    EXPECT_TRUE(m_messages.isEmpty());

    // Extra lines are never read; the last line needs no line end.
    ASSERT_TRUE(load(write(body() + "garbage\r\nmore\r\n")));
    QByteArray unterminated = body();
    unterminated.chop(2);
    ASSERT_TRUE(load(write(unterminated)));
}

TEST_F(PresetFile, SaveWritesLengthAndDaysForms)
{
    m_preset.stationTitle = QStringLiteral("Example");
    m_preset.playlistAddress = QStringLiteral("http://example.org/x.pls");
    const QString path = m_folder + QStringLiteral("/example.mvr");
    ASSERT_TRUE(m_preset.save(path));
    EXPECT_EQ(testenv::readFile(path),
              QByteArray("!L-Example\r\nhttp://example.org/x.pls\r\nSONGNAMEONLY\r\n%DEFDIR%\r\nS60\r\n 30 \r\n"));

    m_preset.timeLimited = false;
    m_preset.exitAfterRecording = true;
    m_preset.deleteOldArchives = false;
    m_preset.listenAtStart = false;
    m_preset.startPaused = true;
    m_preset.captureMode = 1;
    m_preset.recordingFileName = QStringLiteral("show.mp3");
    ASSERT_TRUE(m_preset.save(path));
    EXPECT_EQ(testenv::readFile(path),
              QByteArray("!P-Example\r\nhttp://example.org/x.pls\r\nFILENAME show.mp3\r\n%DEFDIR%\r\n 0 \r\n 0 \r\n"));

    m_preset.exitAfterRecording = false;
    m_preset.listenAtStart = true;
    m_preset.captureMode = 3;
    m_preset.recordingFileName = QStringLiteral("Archive");
    ASSERT_TRUE(m_preset.save(path));
    EXPECT_EQ(testenv::readFile(path),
              QByteArray("!X-Example\r\nhttp://example.org/x.pls\r\nArchive\r\n%DEFDIR%\r\nS0\r\n 0 \r\n"));

    // And back: the saved preset loads into the same record.
    Preset loaded;
    ASSERT_TRUE(loaded.load(path));
    EXPECT_EQ(loaded.stationTitle, QStringLiteral("Example"));
    EXPECT_TRUE(loaded.startPaused);
    EXPECT_TRUE(loaded.listenAtStart);
    EXPECT_EQ(loaded.captureMode, 3);
    EXPECT_EQ(loaded.recordingFileName, QStringLiteral("Archive"));
    EXPECT_EQ(loaded.timeLimitMinutes, 0);
    EXPECT_FALSE(loaded.timeLimited);
    EXPECT_FALSE(loaded.exitAfterRecording);
    EXPECT_FALSE(loaded.deleteOldArchives);
    EXPECT_EQ(loaded.saveFolder, defaultRecordingFolder(true) + QDir::separator());
}

TEST_F(PresetFile, SaveKeepsEveryFieldOnOneLine)
{
    m_preset.stationTitle = QStringLiteral("Two\nLines");
    m_preset.playlistAddress = QStringLiteral("http://example.org/x.pls");
    const QString path = m_folder + QStringLiteral("/oneline.mvr");
    ASSERT_TRUE(m_preset.save(path));
    Preset loaded;
    ASSERT_TRUE(loaded.load(path));
    EXPECT_EQ(loaded.stationTitle, QStringLiteral("Two"));
    EXPECT_EQ(loaded.playlistAddress, m_preset.playlistAddress);
}

TEST_F(PresetFile, FailedSaveKeepsThePreviousFile)
{
    m_preset.playlistAddress = QStringLiteral("http://example.org/x.pls");
    EXPECT_FALSE(m_preset.save(m_folder + QStringLiteral("/missing/folder/x.mvr")));
    EXPECT_TRUE(m_preset.presetFilePath.isEmpty());

    const QByteArray old = body();
    const QString path = write(old);
    m_preset.stationTitle = QString(200, QLatin1Char('t'));
    bool savedWithFullDisk = true;
    {
        FileSizeLimit disk(64);
        ASSERT_TRUE(disk.active());
        savedWithFullDisk = m_preset.save(path);
    }
    EXPECT_FALSE(savedWithFullDisk);
    EXPECT_EQ(testenv::readFile(path), old);
    EXPECT_TRUE(m_preset.presetFilePath.isEmpty());
    EXPECT_EQ(QDir(m_folder).entryList(QDir::Files), QStringList{QStringLiteral("p.mvr")});
    EXPECT_TRUE(m_messages.isEmpty());
}
