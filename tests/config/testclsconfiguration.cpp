#include <QDir>

#include <gtest/gtest.h>

#include "config/clsconfiguration.h"
#include "config/mdlinifile.h"
#include "filesizelimit.h"
#include "platform/folders.h"
#include "recordingfrontend.h"
#include "testenv.h"

namespace
{

const QString kInvalidPlaylist = QStringLiteral("Invalid Shoutcast playlist! (The web site must end in .m3u or .pls)");
const QString kMissingPath = QStringLiteral("The path specified does not exist!");
const QString kBadLength =
    QStringLiteral("A number of minutes (or 0 for continuous) must be specified for the recording length!");
const QString kBadDays = QStringLiteral(
    "A number of minutes must be specified for the days to keep the recording! (Even for title streams)");

class Preset : public ::testing::Test
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

    QString m_folder;
    QString m_recordings;
    RecordingFrontEnd m_ui;
    clsConfiguration m_cr;
};

} // namespace

TEST(Configuration, NewRecordHoldsTheDefaults)
{
    clsConfiguration cr;
    EXPECT_EQ(cr.lTimedRecording, 60);
    EXPECT_TRUE(cr.bEnabledTimedRecording);
    EXPECT_FALSE(cr.bExitTimedRecording);
    EXPECT_EQ(cr.lRecordingMode, 2);
    EXPECT_TRUE(cr.bDeleteArchivesAfterTime);
    EXPECT_EQ(cr.lDaysToKeepRecording, 30);
    EXPECT_TRUE(cr.bStartInListenMode);
    EXPECT_FALSE(cr.bStartPaused);
    EXPECT_FALSE(cr.bConfigOK);

    cr.sRecordingTitle = QStringLiteral("x");
    cr.lRecordingMode = 3;
    cr.bCalledFromGUI = true;
    cr.bConfigOK = true;
    cr.NewConfiguration();
    EXPECT_TRUE(cr.sRecordingTitle.isEmpty());
    EXPECT_EQ(cr.lRecordingMode, 2);
    EXPECT_FALSE(cr.bCalledFromGUI);
    EXPECT_TRUE(cr.bConfigOK) << "NewConfiguration leaves bConfigOK alone";
}

TEST_F(Preset, ValidPresetLoadsEveryField)
{
    const QString path = write(body());
    ASSERT_TRUE(m_cr.LoadConfigurationFile(path));
    EXPECT_TRUE(m_ui.messages.isEmpty());
    EXPECT_TRUE(m_cr.bConfigOK);
    EXPECT_EQ(m_cr.sConfigFileName, path);
    EXPECT_EQ(m_cr.sRecordingTitle, QStringLiteral("Jazz"));
    EXPECT_TRUE(m_cr.bStartInListenMode);
    EXPECT_FALSE(m_cr.bStartPaused);
    EXPECT_EQ(m_cr.sShoutCastFile, QStringLiteral("http://example.org/jazz.pls"));
    EXPECT_EQ(m_cr.lRecordingMode, 2);
    EXPECT_EQ(m_cr.sMP3Path, m_recordings + QDir::separator());
    EXPECT_EQ(m_cr.lTimedRecording, 60);
    EXPECT_TRUE(m_cr.bEnabledTimedRecording);
    EXPECT_FALSE(m_cr.bExitTimedRecording);
    EXPECT_EQ(m_cr.lDaysToKeepRecording, 30);
    EXPECT_TRUE(m_cr.bDeleteArchivesAfterTime);
}

TEST_F(Preset, MissingFileOrFolderIsReported)
{
    m_cr.bConfigOK = true;
    EXPECT_FALSE(m_cr.LoadConfigurationFile(m_folder + QStringLiteral("/none.mvr")));
    EXPECT_FALSE(m_cr.LoadConfigurationFile(m_folder));
    EXPECT_EQ(m_ui.messages, QStringList(2, QStringLiteral("The preset file specified does not exist!")));
    EXPECT_FALSE(m_cr.bConfigOK);
    EXPECT_TRUE(m_cr.sConfigFileName.isEmpty());
}

TEST_F(Preset, CommentBlockIsKeptAndWrittenBackFirst)
{
    const QByteArray comments = "# made by hand\n  indented note \xe9\n#\n";
    const QString path = write(comments + body().replace("\r\n", "\n"));
    ASSERT_TRUE(m_cr.LoadConfigurationFile(path));
    EXPECT_EQ(m_cr.comments(), (QList<QByteArray>{"# made by hand", "  indented note \xe9", "#"}));
    EXPECT_EQ(m_cr.sRecordingTitle, QStringLiteral("Jazz"));

    const QString copy = m_folder + QStringLiteral("/copy.mvr");
    ASSERT_TRUE(m_cr.SaveConfigurationFile(copy));
    EXPECT_EQ(testenv::readFile(copy), QByteArray("# made by hand\r\n  indented note \xe9\r\n#\r\n!L-Jazz\r\n"
                                                  "http://example.org/jazz.pls\r\nSONGNAMEONLY\r\n%DEFDIR%\r\n"
                                                  "S60\r\n 30 \r\n"));
    EXPECT_EQ(m_cr.sConfigFileName, copy);
}

TEST_F(Preset, TitlePrefixesSetListenAndPause)
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
        ASSERT_TRUE(m_cr.LoadConfigurationFile(write(body(1, c.line)))) << c.line.constData();
        EXPECT_EQ(m_cr.sRecordingTitle, QString::fromLatin1(c.title));
        EXPECT_EQ(m_cr.bStartInListenMode, c.listen) << c.line.constData();
        EXPECT_EQ(m_cr.bStartPaused, c.paused) << c.line.constData();
    }
    EXPECT_TRUE(m_ui.messages.isEmpty());
}

TEST_F(Preset, PlaylistAddressMustEndInLowerCaseM3uOrPls)
{
    ASSERT_TRUE(m_cr.LoadConfigurationFile(write(body(2, "http://x/list.m3u"))));
    const QString path = write(body(2, "http://x/list.PLS"));
    EXPECT_FALSE(m_cr.LoadConfigurationFile(path));
    EXPECT_EQ(m_ui.messages, QStringList{path + QLatin1Char('\r') + kInvalidPlaylist});
    // Fields of the lines before keep their new values, later ones their old.
    EXPECT_EQ(m_cr.sShoutCastFile, QStringLiteral("http://x/list.m3u"));
    EXPECT_EQ(m_cr.sRecordingTitle, QStringLiteral("Jazz"));
    EXPECT_FALSE(m_cr.bConfigOK);
}

TEST_F(Preset, CaptureModes)
{
    ASSERT_TRUE(m_cr.LoadConfigurationFile(write(body(3, "FILENAME show.mp3"))));
    EXPECT_EQ(m_cr.lRecordingMode, 1);
    EXPECT_EQ(m_cr.sStreamFileName, QStringLiteral("show.mp3"));

    ASSERT_TRUE(m_cr.LoadConfigurationFile(write(body(3, "MyShowSONGNAMEONLY"))));
    EXPECT_EQ(m_cr.lRecordingMode, 2);

    ASSERT_TRUE(m_cr.LoadConfigurationFile(write(body(3, "Morning Show"))));
    EXPECT_EQ(m_cr.lRecordingMode, 3);
    EXPECT_EQ(m_cr.sStreamFileName, QStringLiteral("Morning Show"));

    // The word alone names no file: a quiet failure.
    EXPECT_FALSE(m_cr.LoadConfigurationFile(write(body(3, "FILENAME"))));
    EXPECT_TRUE(m_ui.messages.isEmpty());
}

TEST_F(Preset, SaveFolderGetsItsSeparatorAndDefaultFolderToken)
{
    ASSERT_TRUE(m_cr.LoadConfigurationFile(write(body(4, QFile::encodeName(m_recordings) + '/'))));
    EXPECT_EQ(m_cr.sMP3Path, m_recordings + QLatin1Char('/'));

    QDir().mkpath(platform::musicFolder());
    SetLastPath(m_recordings);
    ASSERT_TRUE(m_cr.LoadConfigurationFile(write(body(4, "%DEFDIR%"))));
    EXPECT_EQ(m_cr.sMP3Path, GetDefaultFolder(true) + QDir::separator());
    EXPECT_EQ(m_cr.sMP3Path, m_recordings + QDir::separator());

    EXPECT_FALSE(m_cr.LoadConfigurationFile(write(body(4, "/no/such/folder"))));
    EXPECT_EQ(m_ui.messages, QStringList{kMissingPath});
    EXPECT_EQ(m_cr.sMP3Path, QStringLiteral("/no/such/folder/"));
}

TEST_F(Preset, RecordingLengthLine)
{
    ASSERT_TRUE(m_cr.LoadConfigurationFile(write(body(5, "0"))));
    EXPECT_EQ(m_cr.lTimedRecording, 0);
    EXPECT_FALSE(m_cr.bEnabledTimedRecording);
    EXPECT_TRUE(m_cr.bExitTimedRecording);

    ASSERT_TRUE(m_cr.LoadConfigurationFile(write(body(5, "S120"))));
    EXPECT_EQ(m_cr.lTimedRecording, 120);
    EXPECT_TRUE(m_cr.bEnabledTimedRecording);
    EXPECT_FALSE(m_cr.bExitTimedRecording);

    ASSERT_TRUE(m_cr.LoadConfigurationFile(write(body(5, "  45 "))));
    EXPECT_EQ(m_cr.lTimedRecording, 45);
    EXPECT_TRUE(m_cr.bExitTimedRecording);
    EXPECT_TRUE(m_ui.messages.isEmpty());

    // Numeric after its first letter, but that letter is not "S": quiet failure.
    EXPECT_FALSE(m_cr.LoadConfigurationFile(write(body(5, "X60"))));
    EXPECT_EQ(m_cr.lTimedRecording, 45);
    // Too large for a 32-bit number, or negative: quiet failures as well.
    EXPECT_FALSE(m_cr.LoadConfigurationFile(write(body(5, "99999999999"))));
    EXPECT_FALSE(m_cr.LoadConfigurationFile(write(body(5, "-5"))));
    EXPECT_TRUE(m_ui.messages.isEmpty());

    for (const QByteArray &line : {QByteArray("sixty"), QByteArray(""), QByteArray("S"), QByteArray("5 minutes")}) {
        m_ui.messages.clear();
        EXPECT_FALSE(m_cr.LoadConfigurationFile(write(body(5, line)))) << line.constData();
        EXPECT_EQ(m_ui.messages, QStringList{kBadLength}) << line.constData();
    }
}

TEST_F(Preset, DaysToKeepLine)
{
    ASSERT_TRUE(m_cr.LoadConfigurationFile(write(body(6, "0"))));
    EXPECT_EQ(m_cr.lDaysToKeepRecording, 0);
    EXPECT_FALSE(m_cr.bDeleteArchivesAfterTime);
    ASSERT_TRUE(m_cr.LoadConfigurationFile(write(body(6, "7"))));
    EXPECT_TRUE(m_cr.bDeleteArchivesAfterTime);

    EXPECT_FALSE(m_cr.LoadConfigurationFile(write(body(6, "S7"))));
    EXPECT_FALSE(m_cr.LoadConfigurationFile(write(body(6, "-3"))));
    EXPECT_EQ(m_ui.messages, QStringList(2, kBadDays));
    EXPECT_EQ(m_cr.lDaysToKeepRecording, 7);
}

TEST_F(Preset, BodyLineCount)
{
    QByteArray five = body();
    five.chop(QByteArray(" 30 \r\n").size());
    EXPECT_FALSE(m_cr.LoadConfigurationFile(write(five)));
    EXPECT_TRUE(m_ui.messages.isEmpty());
    EXPECT_FALSE(m_cr.bConfigOK);

    EXPECT_FALSE(m_cr.LoadConfigurationFile(write("# only a comment\r\n")));
    EXPECT_FALSE(m_cr.LoadConfigurationFile(write("")));
    EXPECT_TRUE(m_ui.messages.isEmpty());

    // Extra lines are never read; the last line needs no line end.
    ASSERT_TRUE(m_cr.LoadConfigurationFile(write(body() + "garbage\r\nmore\r\n")));
    QByteArray unterminated = body();
    unterminated.chop(2);
    ASSERT_TRUE(m_cr.LoadConfigurationFile(write(unterminated)));
}

TEST_F(Preset, SaveWritesLengthAndDaysForms)
{
    m_cr.sRecordingTitle = QStringLiteral("Example");
    m_cr.sShoutCastFile = QStringLiteral("http://example.org/x.pls");
    const QString path = m_folder + QStringLiteral("/example.mvr");
    ASSERT_TRUE(m_cr.SaveConfigurationFile(path));
    EXPECT_EQ(testenv::readFile(path),
              QByteArray("!L-Example\r\nhttp://example.org/x.pls\r\nSONGNAMEONLY\r\n%DEFDIR%\r\nS60\r\n 30 \r\n"));

    m_cr.bEnabledTimedRecording = false;
    m_cr.bExitTimedRecording = true;
    m_cr.bDeleteArchivesAfterTime = false;
    m_cr.bStartInListenMode = false;
    m_cr.bStartPaused = true;
    m_cr.lRecordingMode = 1;
    m_cr.sStreamFileName = QStringLiteral("show.mp3");
    ASSERT_TRUE(m_cr.SaveConfigurationFile(path));
    EXPECT_EQ(testenv::readFile(path),
              QByteArray("!P-Example\r\nhttp://example.org/x.pls\r\nFILENAME show.mp3\r\n%DEFDIR%\r\n 0 \r\n 0 \r\n"));

    m_cr.bExitTimedRecording = false;
    m_cr.bStartInListenMode = true;
    m_cr.lRecordingMode = 3;
    m_cr.sStreamFileName = QStringLiteral("Archive");
    ASSERT_TRUE(m_cr.SaveConfigurationFile(path));
    EXPECT_EQ(testenv::readFile(path),
              QByteArray("!X-Example\r\nhttp://example.org/x.pls\r\nArchive\r\n%DEFDIR%\r\nS0\r\n 0 \r\n"));

    // And back: the saved preset loads into the same record.
    clsConfiguration loaded;
    ASSERT_TRUE(loaded.LoadConfigurationFile(path));
    EXPECT_EQ(loaded.sRecordingTitle, QStringLiteral("Example"));
    EXPECT_TRUE(loaded.bStartPaused);
    EXPECT_TRUE(loaded.bStartInListenMode);
    EXPECT_EQ(loaded.lRecordingMode, 3);
    EXPECT_EQ(loaded.sStreamFileName, QStringLiteral("Archive"));
    EXPECT_EQ(loaded.lTimedRecording, 0);
    EXPECT_FALSE(loaded.bEnabledTimedRecording);
    EXPECT_FALSE(loaded.bExitTimedRecording);
    EXPECT_FALSE(loaded.bDeleteArchivesAfterTime);
    EXPECT_EQ(loaded.sMP3Path, GetDefaultFolder(true) + QDir::separator());
}

TEST_F(Preset, SaveKeepsEveryFieldOnOneLine)
{
    m_cr.sRecordingTitle = QStringLiteral("Two\nLines");
    m_cr.sShoutCastFile = QStringLiteral("http://example.org/x.pls");
    const QString path = m_folder + QStringLiteral("/oneline.mvr");
    ASSERT_TRUE(m_cr.SaveConfigurationFile(path));
    clsConfiguration loaded;
    ASSERT_TRUE(loaded.LoadConfigurationFile(path));
    EXPECT_EQ(loaded.sRecordingTitle, QStringLiteral("Two"));
    EXPECT_EQ(loaded.sShoutCastFile, m_cr.sShoutCastFile);
}

TEST_F(Preset, FailedSaveKeepsThePreviousFile)
{
    m_cr.sShoutCastFile = QStringLiteral("http://example.org/x.pls");
    EXPECT_FALSE(m_cr.SaveConfigurationFile(m_folder + QStringLiteral("/missing/folder/x.mvr")));
    EXPECT_TRUE(m_cr.sConfigFileName.isEmpty());

    const QByteArray old = body();
    const QString path = write(old);
    m_cr.sRecordingTitle = QString(200, QLatin1Char('t'));
    bool savedWithFullDisk = true;
    {
        FileSizeLimit disk(64);
        ASSERT_TRUE(disk.active());
        savedWithFullDisk = m_cr.SaveConfigurationFile(path);
    }
    EXPECT_FALSE(savedWithFullDisk);
    EXPECT_EQ(testenv::readFile(path), old);
    EXPECT_TRUE(m_cr.sConfigFileName.isEmpty());
    EXPECT_EQ(QDir(m_folder).entryList(QDir::Files), QStringList{QStringLiteral("p.mvr")});
    EXPECT_TRUE(m_ui.messages.isEmpty());
}
