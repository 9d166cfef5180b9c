// Runs the built vorlane program the way a user does, without a display.
#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include "testenv.h"

namespace
{

const QByteArray kUnsupported = "This is not a supported filetype to load! (Ombrex currently only supports preset "
                                "files (.mvr) and Shoutcase playlists (.pls)!)\n";

struct Outcome
{
    int status = -1;
    bool normalExit = false;
    QByteArray out;
    QByteArray err;
};

class Vorlane : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = testenv::home() + QStringLiteral("/e2e");
        QDir(m_folder).removeRecursively();
        QDir().mkpath(m_folder + QStringLiteral("/recordings"));
    }

    QProcessEnvironment environment(bool withDisplay = false) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!withDisplay) {
            env.remove(QStringLiteral("DISPLAY"));
            env.remove(QStringLiteral("WAYLAND_DISPLAY"));
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        }
        return env;
    }

    // Runs to its end (which must come within a few seconds).
    Outcome run(const QStringList &arguments, const QProcessEnvironment &env)
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(VORLANE_BINARY), arguments);
        Outcome result;
        if (!process.waitForFinished(20000)) {
            process.kill();
            process.waitForFinished();
            ADD_FAILURE() << "vorlane did not end";
        }
        result.normalExit = process.exitStatus() == QProcess::NormalExit;
        result.status = process.exitCode();
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }
    Outcome runHeadless(const QStringList &arguments)
    {
        return run(QStringList{QStringLiteral("--headless")} + arguments, environment());
    }

    QString preset(const char *name, int bodyLines = 6)
    {
        const QList<QByteArray> lines = {"!L-Jazz",      "http://127.0.0.1:1/jazz.pls",
                                         "SONGNAMEONLY", QFile::encodeName(m_folder) + "/recordings",
                                         "S1",           " 30 "};
        return testenv::writeFile(m_folder + QLatin1Char('/') + QString::fromUtf8(name),
                                  lines.mid(0, bodyLines).join("\r\n") + "\r\n");
    }

    QString m_folder;
};

} // namespace

TEST_F(Vorlane, FailedStartsReportOnStandardErrorAndEndWithStatusOne)
{
    const struct
    {
        QStringList arguments;
        QByteArray err;
    } cases[] = {
        {{m_folder + QStringLiteral("/missing.mvr")}, "The preset file specified does not exist!\n"},
        {{preset("five.mvr", 5)}, "The preset file is invalid! (Check that there are six lines exactly)\n"},
        {{preset("upper.MVR")}, kUnsupported},
        {{QStringLiteral("-installasscX")}, kUnsupported},
    };
    for (const auto &c : cases) {
        const Outcome result = runHeadless(c.arguments);
        EXPECT_TRUE(result.normalExit);
        EXPECT_EQ(result.status, 1) << qPrintable(c.arguments.join(QLatin1Char(' ')));
        EXPECT_EQ(result.err, c.err) << qPrintable(c.arguments.join(QLatin1Char(' ')));
    }
}

TEST_F(Vorlane, AssociationCommandsRegisterTheProgramForPresetsAndRemoveIt)
{
    // The XDG folders are this test's own, passed on to the program.
    const QString entry = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications/Ombrex.Preset.desktop");
    Outcome result = runHeadless({QStringLiteral("-installassc")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, QByteArray());
    const QByteArray desktopEntry = testenv::readFile(entry);
    const QByteArray exec = "\nExec=" + QFile::encodeName(QStringLiteral(VORLANE_BINARY)) + " %f -noop\n";
    EXPECT_TRUE(desktopEntry.contains(exec)) << desktopEntry.toStdString();

    result = runHeadless({QStringLiteral("-uninstallassc")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, QByteArray());
    EXPECT_FALSE(QFile::exists(entry));
}

TEST_F(Vorlane, ValidPresetWhosePlaylistCannotBeReadEndsWithStatus1)
{
    // A quoted path (quotes are part of the argument) loads as well.
    const QStringList arguments = {preset("valid.mvr"), QLatin1Char('"') + preset("quoted.mvr") + QLatin1Char('"')};
    for (const QString &argument : arguments) {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(QStringLiteral(VORLANE_BINARY), {QStringLiteral("--headless"), argument});
        ASSERT_TRUE(process.waitForStarted());
        // The preset is accepted and the recorder asks for its playlist, where
        // nothing listens: without windows nobody can pick another station.
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 1);
        EXPECT_EQ(process.readAllStandardError(), QByteArray("Winsock error on loading playlist file!\n"));
        EXPECT_EQ(process.readAllStandardOutput(),
                  QByteArray("Tray: Kestrane\nStatus: Initializing...\nStatus: Connecting to Jazz...\n"));
    }
}

TEST_F(Vorlane, StartWritesTheAdvancedValue)
{
    const QString home = m_folder + QStringLiteral("/home");
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("VORLANE_HOME"), home);
    const Outcome result = run({QStringLiteral("--headless"), QStringLiteral("x.txt")}, env);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(testenv::readFile(home + QStringLiteral("/Kestrane.ini")), QByteArray("[Advanced]\r\nADVANCED=0\r\n"));
}

TEST_F(Vorlane, WithoutADisplayItRunsHeadless)
{
    QProcessEnvironment env = environment();
    // A display that is named but does not answer.
    int number = 4711;
    while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
        ++number;
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(number));
    const Outcome result = run({preset("upper.MVR")}, env);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, kUnsupported);

    const Outcome bare = run({}, environment());
    EXPECT_EQ(bare.status, 1);
    EXPECT_TRUE(bare.err.contains("vorlane --help"));
}

TEST_F(Vorlane, HelpAndVersion)
{
    const Outcome help = runHeadless({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: vorlane"));
    const Outcome version = run({QStringLiteral("--version")}, environment());
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, QByteArray("Vorlane " VORLANE_VERSION "\n"));
}
