#include "app/programcontext.h"

#include <QCoreApplication>
#include <QEvent>
#include <QNetworkAccessManager>

#include "config/preset.h"
#include "engine/recorder.h"

namespace
{

ProgramContext *g_installed = nullptr;

std::unique_ptr<ProgramContext> &createdSlot()
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

platform::FrontEnd &ProgramContext::userInterface() const
{
    return m_frontEnd ? *m_frontEnd : platform::frontEnd();
}

Preset &ProgramContext::configuration()
{
    return currentPreset();
}

QNetworkAccessManager &ProgramContext::network()
{
    if (!m_network)
        m_network = std::make_unique<QNetworkAccessManager>();
    return *m_network;
}

Recorder *ProgramContext::loadRecorder(const QString &commandLine)
{
    if (m_recorder)
        return m_recorder.get();
    Recorder &recorder = createRecorder();
    recorder.load(commandLine);
    return &recorder;
}

Recorder &ProgramContext::createRecorder()
{
    if (m_recorder)
        return *m_recorder;
    Recorder::Options options;
    options.showsWindows = userInterface().showsWindows();
    options.exitOnWriteFailure = headless;
    m_recorder = std::make_unique<Recorder>(configuration(), network(), platform::clock(), options);
    Recorder *recorder = m_recorder.get();
    // The front end shows what the recorder reports; the recorder never waits for it.
    QObject::connect(recorder, &Recorder::messageRequested, recorder,
                     [this](const QString &text) { userInterface().showMessage(text); });
    QObject::connect(recorder, &Recorder::captionChanged, recorder,
                     [this](const QString &caption) { userInterface().captionChanged(caption); });
    QObject::connect(recorder, &Recorder::trayChanged, recorder,
                     [this](const platform::TrayState &tray) { userInterface().trayChanged(tray); });
    // The exit comes once the recorder's handler has returned, never inside it.
    QObject::connect(
        recorder, &Recorder::exitRequested, recorder, [this](int status) { exit(status); }, Qt::QueuedConnection);
    return *recorder;
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
        // The exit may run from inside one of the recorder's own handlers:
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

void ProgramContext::exit(int status)
{
    if (m_exiting)
        return;
    m_exiting = true;
    // Whichever way the user or a rule ends the program, what was recorded is
    // complete and tagged before anything goes.
    if (m_recorder)
        m_recorder->closeForExit();
    for (int window = 0; window < kProgramWindowCount; ++window)
        unloadWindow(static_cast<ProgramWindow>(window));
    // Unloading the windows removed the tray icon.
    userInterface().exitProcess(status);
    // Only a front end of a test returns.
    m_exiting = false;
}

ProgramContext &program()
{
    if (g_installed)
        return *g_installed;
    std::unique_ptr<ProgramContext> &context = createdSlot();
    if (!context)
        context = std::make_unique<ProgramContext>();
    return *context;
}

void installProgram(ProgramContext *context)
{
    g_installed = context;
}

void resetProgram()
{
    std::unique_ptr<ProgramContext> &context = createdSlot();
    if (context) {
        for (int window = 0; window < kProgramWindowCount; ++window)
            context->unloadWindow(static_cast<ProgramWindow>(window));
        context.reset();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    resetCurrentPreset();
}
