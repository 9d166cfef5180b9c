#include "app/application.h"

#include <QCoreApplication>

#include <cstdio>
#include <memory>

#include "app/commandline.h"
#include "app/displayprobe.h"
#include "app/headlessfrontend.h"
#include "app/signalwatcher.h"
#include "engine/programcontext.h"
#include "engine/recorder.h"
#include "engine/startup.h"

#ifdef VORLANE_HAVE_DESKTOP
#include <QApplication>
#include <QDBusConnection>

#include "app/desktopfrontend.h"
#include "dbus/mprisservice.h"
#include "dbus/songnotifier.h"
#include "ui/recordingdisplay.h"
#endif

namespace
{

void writeTo(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

// The tray menu's exit entry, also taken on SIGINT and SIGTERM: closes a
// running recording, then exits.
void exitFromMenu()
{
    program().runTrayCommand(platform::TrayCommand::Exit);
}

#ifdef VORLANE_HAVE_DESKTOP
// The session bus services: media keys and widgets through MPRIS, and the
// optional notification for each new song. Without a session bus there are none.
void startDesktopServices(DesktopFrontEnd &desktop, QObject *owner)
{
    Recorder *recorder = program().recorder();
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!recorder || !bus.isConnected())
        return;
    auto *mpris = new MprisService(recorder, bus, owner);
    mpris->setRaiseHandler([&desktop] { desktop.recordingDisplay().showAndRaise(); });
    auto *notifier = new SongNotifier(recorder, bus, owner);
    desktop.addOption(QStringLiteral("Notify on each new song"), notifier->isEnabled(),
                      [notifier](bool on) { notifier->setEnabled(on); });
}
#endif

} // namespace

int runVorlane(int &argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const AppOptions options = parseArguments(arguments);

    if (options.help) {
        writeTo(stdout, usageText());
        return kExitNormal;
    }
    if (options.version) {
        writeTo(stdout, QStringLiteral("Vorlane " VORLANE_VERSION "\n"));
        return kExitNormal;
    }

#ifdef VORLANE_HAVE_DESKTOP
    const bool headless = options.headless || !displayReachable();
#else
    const bool headless = true;
#endif

    std::unique_ptr<QCoreApplication> application;
    std::unique_ptr<platform::FrontEnd> frontEnd;
#ifdef VORLANE_HAVE_DESKTOP
    DesktopFrontEnd *desktopFrontEnd = nullptr;
    if (!headless) {
        auto *desktopApplication = new QApplication(argc, argv);
        desktopApplication->setQuitOnLastWindowClosed(false);
        application.reset(desktopApplication);
        auto desktop = std::make_unique<DesktopFrontEnd>();
        desktop->setCommandHandler([](platform::TrayCommand command) { program().runTrayCommand(command); });
        desktopFrontEnd = desktop.get();
        frontEnd = std::move(desktop);
    }
#endif
    if (headless) {
        application = std::make_unique<QCoreApplication>(argc, argv);
        frontEnd = std::make_unique<HeadlessFrontEnd>();
        if (options.commandLine.isEmpty()) {
            // Without a display there is no setup window to pick a station in.
            writeTo(stderr, QStringLiteral("Vorlane needs a preset (.mvr) or playlist (.pls) to run without a "
                                           "display. See vorlane --help.\n"));
            return kExitStartFailed;
        }
    }
    QCoreApplication::setApplicationName(QStringLiteral("Vorlane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VORLANE_VERSION));
    platform::setFrontEnd(frontEnd.get());

    SignalWatcher watcher;
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &watcher, [] { exitFromMenu(); });

    program().headless = headless;
    startProgram(options.commandLine);
#ifdef VORLANE_HAVE_DESKTOP
    if (desktopFrontEnd)
        startDesktopServices(*desktopFrontEnd, application.get());
#endif
    const int status = application->exec();
    platform::setFrontEnd(nullptr);
    return status;
}
