// The built program on a real X server with a window manager and a tray, driven
// by keys as a new user would: add the test station through the dialog, Record,
// the display appears docked and wholly on the screen, closing the window asks
// and a No keeps recording, a Yes ends with the last file tagged.
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#include "eventwait.h"
#include "teststation/station.h"

namespace
{

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 600;

class DesktopSession : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            GTEST_SKIP() << "Xvfb is not installed";
        for (const char *tool : {"openbox", "trayer", "xdotool"})
            ASSERT_FALSE(QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                << tool << " is missing (scripts/setup.sh installs it)";
        ASSERT_TRUE(m_root.isValid());
        startServer();
        if (HasFatalFailure())
            return;
        // The socket appears before the server answers; clients started too soon give up.
        ASSERT_TRUE(waitUntil([&] { return !run(QStringLiteral("xprop"), {QStringLiteral("-root")}).isEmpty(); }));
        // Openbox now and then gives up at once on a server just started: start it again.
        bool managed = false;
        for (int attempt = 0; attempt < 5 && !managed; ++attempt) {
            start(m_windowManager, QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
            waitUntil(
                [&] {
                    managed = run(QStringLiteral("xprop"),
                                  {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                                  .contains("window id");
                    return managed || m_windowManager.state() == QProcess::NotRunning;
                },
                10000);
        }
        ASSERT_TRUE(managed) << "openbox did not start: " << m_windowManager.readAll().toStdString();
        // A panel with a tray along the bottom: its strut shrinks the usable area.
        start(m_tray, QStringLiteral("trayer"),
              {QStringLiteral("--edge"), QStringLiteral("bottom"), QStringLiteral("--height"), QStringLiteral("24"),
               QStringLiteral("--widthtype"), QStringLiteral("pixel"), QStringLiteral("--width"), QStringLiteral("120"),
               QStringLiteral("--SetDockType"), QStringLiteral("true"), QStringLiteral("--SetPartialStrut"),
               QStringLiteral("true")});
        ASSERT_TRUE(waitUntil([&] { return !xdotool({"search", "--classname", "trayer"}).isEmpty(); }, 10000));
    }

    void TearDown() override
    {
        for (QProcess *process : {&m_vorlane, &m_tray, &m_windowManager, &m_server}) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(3000);
            }
        }
    }

    // Each run on its own display number, so parallel runs never meet.
    void startServer()
    {
        for (int attempt = 0; attempt < 20; ++attempt) {
            const int number = 200 + (getpid() + attempt * 7) % 700;
            if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) ||
                QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
                continue;
            m_display = QStringLiteral(":%1").arg(number);
            m_server.start(QStringLiteral("Xvfb"), {m_display, QStringLiteral("-screen"), QStringLiteral("0"),
                                                    QStringLiteral("%1x%2x24").arg(kScreenWidth).arg(kScreenHeight),
                                                    QStringLiteral("-nolisten"), QStringLiteral("tcp")});
            const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
            if (waitUntil([&] { return QFile::exists(socket) || m_server.state() == QProcess::NotRunning; }, 10000) &&
                m_server.state() == QProcess::Running)
                return;
            m_server.kill();
            m_server.waitForFinished(2000);
        }
        FAIL() << "no X server could be started";
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.remove(QStringLiteral("QT_SCALE_FACTOR"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        const QString home = m_root.path() + QStringLiteral("/home");
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_root.path() + QStringLiteral("/run"));
        env.insert(QStringLiteral("VORLANE_HOME"), home + QStringLiteral("/vorlane"));
        return env;
    }

    void start(QProcess &process, const QString &program, const QStringList &arguments)
    {
        process.setProcessEnvironment(environment());
        process.start(program, arguments);
        ASSERT_TRUE(process.waitForStarted(5000)) << program.toStdString();
    }

    // Runs a tool to its end while the station keeps serving.
    QByteArray run(const QString &program, const QStringList &arguments)
    {
        QProcess tool;
        tool.setProcessEnvironment(environment());
        tool.start(program, arguments);
        if (!waitUntil([&] { return tool.state() == QProcess::NotRunning; }, 10000))
            tool.kill();
        return tool.readAllStandardOutput().trimmed();
    }
    QByteArray xdotool(std::initializer_list<const char *> arguments)
    {
        QStringList list;
        for (const char *argument : arguments)
            list.append(QString::fromUtf8(argument));
        return xdotool(list);
    }
    QByteArray xdotool(const QStringList &arguments) { return run(QStringLiteral("xdotool"), arguments); }

    QStringList visibleWindows(const char *namePattern)
    {
        const QByteArray out = xdotool({"search", "--onlyvisible", "--name", namePattern});
        return out.isEmpty() ? QStringList() : QString::fromLatin1(out).split(u'\n');
    }
    QString waitForWindow(const char *namePattern, const QStringList &besides = {})
    {
        QString found;
        waitUntil(
            [&] {
                for (const QString &id : visibleWindows(namePattern)) {
                    if (!besides.contains(id))
                        found = id;
                }
                return !found.isEmpty() || (settle(100), false);
            },
            15000);
        return found;
    }
    // The client area on the screen (xwininfo's absolute corner; xdotool's
    // counts a reparented window's frame twice).
    QRect geometry(const QString &window)
    {
        QRect rect;
        for (const QByteArray &line : run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window}).split('\n')) {
            const QByteArray text = line.trimmed();
            const int value = text.mid(text.indexOf(':') + 1).trimmed().toInt();
            if (text.startsWith("Absolute upper-left X:"))
                rect.moveLeft(value);
            else if (text.startsWith("Absolute upper-left Y:"))
                rect.moveTop(value);
            else if (text.startsWith("Width:"))
                rect.setWidth(value);
            else if (text.startsWith("Height:"))
                rect.setHeight(value);
        }
        return rect;
    }
    void press(const QString &window, const char *keys)
    {
        xdotool({"windowactivate", "--sync", window.toLatin1().constData()});
        xdotool({"key", "--clearmodifiers", keys});
    }
    void type(const char *text) { xdotool({"type", "--delay", "10", text}); }

    QFileInfoList recordings() const
    {
        return QDir(m_root.path() + QStringLiteral("/home/Music"))
            .entryInfoList({QStringLiteral("*.mp3")}, QDir::Files, QDir::Time);
    }
    QFileInfo newestRecording() const
    {
        const QFileInfoList files = recordings();
        return files.isEmpty() ? QFileInfo() : files.constFirst();
    }
    qint64 recordedBytes() const
    {
        qint64 total = 0;
        for (const QFileInfo &file : recordings())
            total += file.size();
        return total;
    }

    QTemporaryDir m_root;
    QString m_display;
    QProcess m_server;
    QProcess m_windowManager;
    QProcess m_tray;
    QProcess m_vorlane;
};

} // namespace

TEST_F(DesktopSession, NewUserRecordsAndClosingAsksBeforeEndingTheRecording)
{
    teststation::Stream stream;
    stream.titles = {"One - Alpha", "Two - Beta", "Three - Gamma"};
    stream.titleEvery = 24000; // a new title (and file) every 1.5 s of audio
    teststation::Config config;
    config.streams.insert("/stream", stream);
    config.pages.insert("/listen.pls", teststation::Page::pls({"http://{station}/stream"}, {"Desktop FM"}));
    teststation::Station station(config);
    ASSERT_TRUE(station.start());
    const auto streamRequests = [&] {
        int count = 0;
        for (int i = 0; i < station.connectionCount(); ++i)
            count += station.connection(i).isStream ? 1 : 0;
        return count;
    };
    ASSERT_TRUE(QDir().mkpath(m_root.path() + QStringLiteral("/home/Music")));
    ASSERT_TRUE(QDir().mkpath(m_root.path() + QStringLiteral("/run")));

    QElapsedTimer clock;
    clock.start();
    start(m_vorlane, QStringLiteral(VORLANE_BINARY), {});
    const QString setup = waitForWindow("^Vorlane$");
    ASSERT_FALSE(setup.isEmpty()) << m_vorlane.readAllStandardError().toStdString();

    // Add Station, the address, Enter: the station is listed, loaded and checked.
    press(setup, "alt+a");
    const QString dialog = waitForWindow("^Add Station$");
    ASSERT_FALSE(dialog.isEmpty());
    xdotool({"windowactivate", "--sync", dialog.toLatin1().constData()});
    type("Desktop FM");
    xdotool({"key", "Tab"});
    type(station.url("/listen.pls").constData());
    xdotool({"key", "Return"});
    ASSERT_TRUE(waitUntil([&] { return visibleWindows("^Add Station$").isEmpty(); }));

    // Record, once the check has let it.
    ASSERT_TRUE(waitUntil(
        [&] {
            press(setup, "alt+c");
            return waitUntil([&] { return streamRequests() > 0; }, 1000);
        },
        15000));
    const QString display = waitForWindow("^Vorlane$", {setup});
    ASSERT_FALSE(display.isEmpty()) << "Record shows the recording display";
    ASSERT_TRUE(waitUntil([&] { return newestRecording().exists() && newestRecording().size() > 0; }, 15000));
    std::printf("launch to first recorded bytes: %lld ms\n", static_cast<long long>(clock.elapsed()));

    // Docked under the window, both wholly on the screen (the window manager
    // may still be moving them for a moment).
    const QRect screen(0, 0, kScreenWidth, kScreenHeight);
    QRect window;
    QRect shown;
    EXPECT_TRUE(waitUntil(
        [&] {
            window = geometry(setup);
            shown = geometry(display);
            return screen.contains(window) && screen.contains(shown) && shown.top() > window.bottom() &&
                   std::abs(shown.left() - window.left()) <= 16;
        },
        10000))
        << "window " << window.x() << "," << window.y() << " " << window.width() << "x" << window.height()
        << " display " << shown.x() << "," << shown.y() << " " << shown.width() << "x" << shown.height();

    // The title bar's close (the window manager's Alt+F4): asked, No goes on recording.
    press(setup, "alt+F4");
    QString question = waitForWindow("^Are You Sure You Want To Quit\\?$");
    ASSERT_FALSE(question.isEmpty()) << "closing while recording asks";
    press(question, "n");
    ASSERT_TRUE(waitUntil([&] { return visibleWindows("^Are You Sure You Want To Quit\\?$").isEmpty(); }));
    const qint64 before = recordedBytes();
    EXPECT_TRUE(waitUntil([&] { return recordedBytes() > before + 16000; })) << "the recording goes on after No";
    EXPECT_EQ(m_vorlane.state(), QProcess::Running);

    // File > Exit by its shortcut: asked again, Yes closes and tags the file and ends the program.
    press(setup, "ctrl+q");
    question = waitForWindow("^Are You Sure You Want To Quit\\?$");
    ASSERT_FALSE(question.isEmpty());
    press(question, "y");
    ASSERT_TRUE(waitUntil([&] { return m_vorlane.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(m_vorlane.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_vorlane.exitCode(), 0);
    QFile last(newestRecording().absoluteFilePath());
    ASSERT_TRUE(last.open(QIODevice::ReadOnly)) << last.fileName().toStdString();
    ASSERT_GT(last.size(), 128);
    last.seek(last.size() - 128);
    EXPECT_TRUE(last.read(3) == "TAG") << last.fileName().toStdString();
}
