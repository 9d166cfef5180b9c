#include "app/programcontext.h"

#include <QCoreApplication>
#include <QEvent>

#include "engine/recorder.h"

namespace
{

std::size_t slotOf(ProgramWindow window)
{
    return static_cast<std::size_t>(window);
}

} // namespace

ProgramContext::ProgramContext(platform::FrontEnd &frontEnd, platform::Clock &clock, QNetworkAccessManager &network,
                               const platform::AudioDevices &audio, RunMode mode)
    : m_frontEnd(frontEnd)
    , m_clock(clock)
    , m_network(network)
    , m_audio(audio)
    , m_mode(mode)
{}

ProgramContext::~ProgramContext()
{
    unloadAll();
}

Recorder *ProgramContext::loadRecorder(const QString &commandLine)
{
    if (m_recorder)
        return m_recorder.get();
    Recorder &recorder = createRecorder();
    recorder.load(m_draft, commandLine);
    return &recorder;
}

Recorder &ProgramContext::createRecorder()
{
    if (m_recorder)
        return *m_recorder;
    Recorder::Options options;
    options.showsWindows = m_frontEnd.showsWindows();
    options.exitOnWriteFailure = m_mode == RunMode::Headless;
    m_recorder = std::make_unique<Recorder>(m_network, m_clock, m_audio, options);
    Recorder *recorder = m_recorder.get();
    // The front end shows what the recorder reports; the recorder never waits for it.
    QObject::connect(recorder, &Recorder::messageRequested, recorder,
                     [this](const QString &text) { m_frontEnd.showMessage(text); });
    QObject::connect(recorder, &Recorder::stationNamed, recorder, [this](const QString &title) {
        m_draft.stationTitle = title;
        m_draft.valid = true;
    });
    QObject::connect(recorder, &Recorder::captionChanged, recorder,
                     [this](const QString &caption) { m_frontEnd.captionChanged(caption); });
    QObject::connect(recorder, &Recorder::trayChanged, recorder,
                     [this](const platform::TrayState &tray) { m_frontEnd.trayChanged(tray); });
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

void ProgramContext::unloadAll()
{
    for (int window = 0; window < kProgramWindowCount; ++window) {
        if (static_cast<ProgramWindow>(window) != ProgramWindow::Recorder)
            unloadWindow(static_cast<ProgramWindow>(window));
    }
    // The windows go while the recorder they refer to is still there. Nothing
    // of the recorder's runs now, and what it was given (clock, network) may
    // go right after it.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (m_recorder) {
        m_recorder->unload();
        m_recorder.reset();
    }
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
    m_frontEnd.exitProcess(status);
    // Only a front end of a test returns.
    m_exiting = false;
}
