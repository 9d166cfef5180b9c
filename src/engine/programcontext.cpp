#include "engine/programcontext.h"

#include <QCoreApplication>
#include <QEvent>

#include "config/preset.h"
#include "engine/recorder.h"
#include "engine/startup.h"
#include "platform/frontend.h"

namespace
{

std::unique_ptr<ProgramContext> &contextSlot()
{
    static std::unique_ptr<ProgramContext> context;
    return context;
}

std::size_t slotOf(ProgramWindow window)
{
    return static_cast<std::size_t>(window);
}

} // namespace

ProgramContext::ProgramContext() = default;

ProgramContext::~ProgramContext() = default;

Preset &ProgramContext::configuration()
{
    return currentPreset();
}

Recorder *ProgramContext::loadRecorder()
{
    if (m_recorder)
        return m_recorder.get();
    Recorder::Options options;
    options.showsWindows = platform::frontEnd().showsWindows();
    options.exitOnWriteFailure = headless;
    m_recorder = std::make_unique<Recorder>(configuration(), platform::clock(), options);
    Recorder *recorder = m_recorder.get();
    // The front end shows what the recorder reports; the recorder never waits for it.
    QObject::connect(recorder, &Recorder::messageRequested, recorder,
                     [](const QString &text) { platform::frontEnd().showMessage(text); });
    QObject::connect(recorder, &Recorder::captionChanged, recorder,
                     [](const QString &caption) { platform::frontEnd().captionChanged(caption); });
    QObject::connect(recorder, &Recorder::trayChanged, recorder,
                     [](const platform::TrayState &tray) { platform::frontEnd().trayChanged(tray); });
    QObject::connect(recorder, &Recorder::setupWindowRequested, recorder,
                     [](bool fill) { platform::frontEnd().showSetupWindow(fill); });
    QObject::connect(recorder, &Recorder::displayRequested, recorder,
                     [] { platform::frontEnd().showRecordingDisplay(); });
    // The exit comes once the recorder's handler has returned, never inside it.
    QObject::connect(
        recorder, &Recorder::exitRequested, recorder, [](int status) { exitProgram(status); }, Qt::QueuedConnection);
    const QString commandLine = this->commandLine;
    // The command line is used once.
    this->commandLine.clear();
    recorder->load(commandLine);
    return recorder;
}

void ProgramContext::runTrayCommand(platform::TrayCommand command)
{
    Recorder *recorder = m_recorder.get();
    switch (command) {
    case platform::TrayCommand::Setup:
        setupShowMode = 1;
        platform::frontEnd().showSetupWindow(!configuration().presetFilePath.isEmpty());
        return;
    case platform::TrayCommand::ToggleDisplay:
        platform::frontEnd().toggleRecordingDisplay();
        return;
    case platform::TrayCommand::DoubleClick:
        runTrayCommand(recorder && recorder->isRecording() ? platform::TrayCommand::ToggleDisplay
                                                           : platform::TrayCommand::Setup);
        return;
    case platform::TrayCommand::Exit:
        if (recorder)
            recorder->exitFromMenu();
        else
            exitProgram(kExitNormal);
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
            platform::frontEnd().showMessage(
                QStringLiteral("No preset is stored yet. Choose a station in the setup window and press Record."));
            runTrayCommand(platform::TrayCommand::Setup);
            break;
        }
        recorder->startStoredPreset();
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

void ProgramContext::setWindowUnloader(ProgramWindow window, std::function<void()> unload)
{
    m_unloaders[slotOf(window)] = std::move(unload);
}

bool ProgramContext::isWindowLoaded(ProgramWindow window) const
{
    if (window == ProgramWindow::Recorder)
        return m_recorder != nullptr;
    return static_cast<bool>(m_unloaders[slotOf(window)]);
}

void ProgramContext::unloadWindow(ProgramWindow window)
{
    if (window == ProgramWindow::Recorder) {
        if (!m_recorder)
            return;
        // The exit routine may run from inside one of the window's own handlers:
        // the object goes when control is back in the event loop.
        Recorder *recorder = m_recorder.release();
        recorder->unload();
        recorder->disconnect();
        recorder->deleteLater();
        return;
    }
    std::function<void()> unload = std::move(m_unloaders[slotOf(window)]);
    m_unloaders[slotOf(window)] = nullptr;
    if (unload)
        unload();
}

ProgramContext &program()
{
    std::unique_ptr<ProgramContext> &context = contextSlot();
    if (!context)
        context = std::make_unique<ProgramContext>();
    return *context;
}

void resetProgram()
{
    std::unique_ptr<ProgramContext> &context = contextSlot();
    if (context) {
        for (int window = 0; window < kProgramWindowCount; ++window)
            context->unloadWindow(static_cast<ProgramWindow>(window));
        context.reset();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    resetCurrentPreset();
}
