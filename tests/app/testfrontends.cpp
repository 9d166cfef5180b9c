#include <gtest/gtest.h>

#include <cstdio>

#include "app/commandline.h"
#include "app/displayprobe.h"
#include "app/headlessfrontend.h"

namespace
{

QByteArray contents(std::FILE *file)
{
    std::fflush(file);
    std::rewind(file);
    QByteArray bytes;
    char buffer[256];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, static_cast<qsizetype>(got));
    return bytes;
}

struct Streams
{
    Streams()
        : out(std::tmpfile())
        , err(std::tmpfile())
    {}
    ~Streams()
    {
        std::fclose(out);
        std::fclose(err);
    }
    std::FILE *out;
    std::FILE *err;
};

platform::TrayState tipped(const char *tip)
{
    platform::TrayState state;
    state.tip = QString::fromLatin1(tip);
    return state;
}

} // namespace

TEST(CommandLine, OwnOptionsAreTakenOutAndTheRestJoinedBySingleBlanks)
{
    AppOptions options =
        parseArguments({QStringLiteral("--headless"), QStringLiteral("/my presets/a.mvr"), QStringLiteral("-noop")});
    EXPECT_TRUE(options.headless);
    EXPECT_FALSE(options.help);
    EXPECT_EQ(options.commandLine, QStringLiteral("/my presets/a.mvr -noop"));

    options = parseArguments({QStringLiteral("\"/a b.mvr\""), QStringLiteral("--version"), QStringLiteral("--help")});
    EXPECT_TRUE(options.version);
    EXPECT_TRUE(options.help);
    EXPECT_FALSE(options.headless);
    EXPECT_EQ(options.commandLine, QStringLiteral("\"/a b.mvr\""));

    // Only our exact options are ours; everything else is left to the start-up rules.
    options = parseArguments({QStringLiteral("--Headless"), QStringLiteral("-installassc")});
    EXPECT_FALSE(options.headless);
    EXPECT_EQ(options.commandLine, QStringLiteral("--Headless -installassc"));

    EXPECT_TRUE(parseArguments({}).commandLine.isEmpty());
    EXPECT_EQ(parseArguments({QStringLiteral("-installassc")}).commandLine, QStringLiteral("-installassc"));
}

TEST(HeadlessFrontEnd, MessagesGoToStandardErrorOneLineBreakEach)
{
    Streams streams;
    HeadlessFrontEnd ui(streams.out, streams.err, false);
    ui.showMessage(QStringLiteral("/p/a.mvr\rInvalid Shoutcast playlist!"));
    ui.showMessage(QStringLiteral("two\r\nlines"));
    EXPECT_EQ(contents(streams.err), QByteArray("/p/a.mvr\nInvalid Shoutcast playlist!\ntwo\nlines\n"));
    EXPECT_TRUE(contents(streams.out).isEmpty());
}

TEST(HeadlessFrontEnd, StatusChangesAreOneLineEachWithoutATerminal)
{
    Streams streams;
    HeadlessFrontEnd ui(streams.out, streams.err, false);
    ui.trayChanged(tipped("Kestrane"));
    ui.captionChanged(QStringLiteral("Initializing..."));
    ui.captionChanged(QStringLiteral("Initializing..."));
    ui.trayChanged(tipped("Kestrane")); // a menu change only
    ui.trayChanged(tipped("Vorlane"));
    EXPECT_EQ(contents(streams.out), QByteArray("Tray: Kestrane\nStatus: Initializing...\nTray: Vorlane\n"));
}

TEST(HeadlessFrontEnd, TerminalStatusLineIsRewrittenInPlace)
{
    Streams streams;
    HeadlessFrontEnd ui(streams.out, streams.err, true, 30);
    ui.captionChanged(QStringLiteral("Now Recording: a.mp3"));
    ui.trayChanged(tipped("RECORDING Jazz... (0:01)"));
    ui.showMessage(QStringLiteral("oops"));
    ui.captionChanged(QStringLiteral("B"));
    EXPECT_EQ(contents(streams.out), QByteArray("\r\x1b[KNow Recording: a.mp3"
                                                "\r\x1b[KNow Recording: a.mp3  |  RECO" // cut to 29 columns
                                                "\n"                                    // ended before the message
                                                "\r\x1b[KB  |  RECORDING Jazz... (0:01"));
    EXPECT_EQ(contents(streams.err), QByteArray("oops\n"));
}

TEST(DisplayProbe, XDisplayNames)
{
    QString host;
    int number = -1;
    ASSERT_TRUE(parseXDisplay(QStringLiteral(":0"), &host, &number));
    EXPECT_TRUE(host.isEmpty());
    EXPECT_EQ(number, 0);
    ASSERT_TRUE(parseXDisplay(QStringLiteral("unix:1.0"), &host, &number));
    EXPECT_TRUE(host.isEmpty());
    EXPECT_EQ(number, 1);
    ASSERT_TRUE(parseXDisplay(QStringLiteral("localhost:10.0"), &host, &number));
    EXPECT_EQ(host, QStringLiteral("localhost"));
    EXPECT_EQ(number, 10);
    EXPECT_FALSE(parseXDisplay(QString(), &host, &number));
    EXPECT_FALSE(parseXDisplay(QStringLiteral("wayland-0"), &host, &number));
    EXPECT_FALSE(parseXDisplay(QStringLiteral(":x"), &host, &number));
}
