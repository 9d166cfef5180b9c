#include "app/application.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>

#include <cstdio>
#include <memory>

#include "app/commandline.h"
#include "app/displayprobe.h"
#include "app/headlessfrontend.h"
#include "app/programcontext.h"
#include "app/programwindows.h"
#include "app/signalwatcher.h"
#include "config/associations.h"
#include "config/preset.h"
#include "engine/recorder.h"
#include "engine/startup.h"
#include "platform/alsaaudiooutput.h"
#include "platform/alsamixer.h"

#ifdef VORLANE_HAVE_DESKTOP
#include <QApplication>
#include <QDBusConnection>

#include "app/desktopfrontend.h"
#include "dbus/mprisservice.h"
#include "dbus/songnotifier.h"
#include "platform/recordingscheduler.h"
#include "ui/recordingdisplay.h"
#endif

Application::Application(ProgramContext &context, platform::FrontEnd &frontEnd, ProgramWindows &windows,
                         QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_frontEnd(frontEnd)
    , m_windows(windows)
{}

void Application::start(const QString &commandLine)
{
    m_context.setupOpenedFromTray = false;

    // The association commands match the whole text, case-sensitively.
    const bool install = commandLine == QStringLiteral("-installassc");
    if (install || commandLine == QStringLiteral("-uninstallassc")) {
        const QString failure = install ? installAssociations() : removeAssociations();
        if (!failure.isEmpty())
            m_frontEnd.showMessage(failure);
        m_context.exit(failure.isEmpty() ? kExitNormal : kExitStartFailed);
        return;
    }

    keepAdvancedValue();

    // Created first, so that the windows have it, and told where its window
    // requests go before its start-up can make any.
    Recorder &recorder = m_context.createRecorder();
    connect(&recorder, &Recorder::setupWindowRequested, this, [this](bool fill) { m_windows.showSetupWindow(fill); });
    connect(&recorder, &Recorder::displayRequested, this, [this] { m_windows.showRecordingDisplay(); });

    if (commandLine.isEmpty())
        m_windows.showSetupWindow(false);
    recorder.load(m_context.configuration(), commandLine);
}

void Application::runTrayCommand(platform::TrayCommand command)
{
    Recorder *recorder = m_context.recorder();
    switch (command) {
    case platform::TrayCommand::Setup:
        m_context.setupOpenedFromTray = true;
        m_windows.showSetupWindow(!m_context.configuration().presetFilePath.isEmpty());
        return;
    case platform::TrayCommand::ToggleDisplay:
        m_windows.toggleRecordingDisplay();
        return;
    case platform::TrayCommand::DoubleClick:
        runTrayCommand(recorder && recorder->isRecording() ? platform::TrayCommand::ToggleDisplay
                                                           : platform::TrayCommand::Setup);
        return;
    case platform::TrayCommand::Exit:
        m_context.exit(kExitNormal);
        return;
    default:
        break;
    }
    if (!recorder)
        return;
    switch (command) {
    case platform::TrayCommand::Listen:
        recorder->toggleListening();
        break;
    case platform::TrayCommand::StartRecording:
        // Nothing to start again yet: the entry says why and offers the setup.
        if (!recorder->isRecording() && !recorder->hasStoredPreset()) {
            m_frontEnd.showMessage(
                tr("No preset is stored yet. Choose a station in the setup window and press Record."));
            runTrayCommand(platform::TrayCommand::Setup);
            break;
        }
        recorder->startStoredPreset(m_context.configuration());
        break;
    case platform::TrayCommand::StopRecording:
        recorder->stopRecording();
        break;
    case platform::TrayCommand::PauseRecording:
        recorder->togglePause();
        break;
    default:
        break;
    }
}

namespace
{

void writeTo(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

#ifdef VORLANE_HAVE_DESKTOP
// The session bus services: media keys and widgets through MPRIS, and the
// optional notification for each new song. Without a session bus there are none.
void startDesktopServices(DesktopFrontEnd &desktop, Recorder *recorder, QObject *owner)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!recorder || !bus.isConnected())
        return;
    auto *mpris = new MprisService(recorder, bus, owner);
    mpris->setRaiseHandler([&desktop] { desktop.recordingDisplay().showAndRaise(); });
    auto *notifier = new SongNotifier(recorder, bus, owner);
    desktop.addOption(QCoreApplication::translate("Application", "Notify on each new song"), notifier->isEnabled(),
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

    // Declared in the order they are needed, so that each goes after what refers to it.
    platform::SystemClock clock;
    platform::AlsaMixer mixer;
    const platform::AudioDevices audio{mixer, [] { return std::make_unique<platform::AlsaAudioOutput>(); }};
    std::unique_ptr<QCoreApplication> qtApplication;
    std::unique_ptr<QNetworkAccessManager> network;
    std::unique_ptr<HeadlessFrontEnd> headlessFrontEnd;
    std::unique_ptr<ProgramContext> headlessContext;
#ifdef VORLANE_HAVE_DESKTOP
    platform::SystemctlManager serviceManager;
    std::unique_ptr<DesktopFrontEnd> desktop;
#endif
    platform::FrontEnd *frontEnd = nullptr;
    ProgramWindows *windows = nullptr;
    ProgramContext *context = nullptr;
    if (headless) {
        qtApplication = std::make_unique<QCoreApplication>(argc, argv);
        if (options.commandLine.isEmpty()) {
            // Without a display there is no setup window to pick a station in.
            writeTo(stderr, QCoreApplication::translate("Application",
                                                        "Vorlane needs a preset (.mvr) or playlist (.pls) to run "
                                                        "without a display. See vorlane --help.\n"));
            return kExitStartFailed;
        }
        network = std::make_unique<QNetworkAccessManager>();
        headlessFrontEnd = std::make_unique<HeadlessFrontEnd>();
        headlessContext =
            std::make_unique<ProgramContext>(*headlessFrontEnd, clock, *network, audio, RunMode::Headless);
        frontEnd = headlessFrontEnd.get();
        windows = headlessFrontEnd.get();
        context = headlessContext.get();
    }
#ifdef VORLANE_HAVE_DESKTOP
    else {
        auto *desktopApplication = new QApplication(argc, argv);
        desktopApplication->setQuitOnLastWindowClosed(false);
        qtApplication.reset(desktopApplication);
        network = std::make_unique<QNetworkAccessManager>();
        desktop = std::make_unique<DesktopFrontEnd>(clock, *network, audio, serviceManager);
        frontEnd = desktop.get();
        windows = desktop.get();
        context = &desktop->context();
    }
#endif
    QCoreApplication::setApplicationName(QStringLiteral("Vorlane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VORLANE_VERSION));

    Application application(*context, *frontEnd, *windows);
#ifdef VORLANE_HAVE_DESKTOP
    if (desktop)
        desktop->setCommandHandler(
            [&application](platform::TrayCommand command) { application.runTrayCommand(command); });
#endif
    SignalWatcher watcher;
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &application,
                     [&application] { application.runTrayCommand(platform::TrayCommand::Exit); });

    application.start(options.commandLine);
#ifdef VORLANE_HAVE_DESKTOP
    if (desktop)
        startDesktopServices(*desktop, context->recorder(), qtApplication.get());
#endif
    return qtApplication->exec();
}
