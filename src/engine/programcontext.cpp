#include "engine/programcontext.h"

#include <QCoreApplication>
#include <QEvent>

#include "config/preset.h"
#include "engine/recorder.h"

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
    if (!m_recorder) {
        // Held before the load handler runs: a failed command-line start inside it
        // unloads the main window again through the exit routine.
        m_recorder = std::make_unique<Recorder>();
        m_recorder->load();
    }
    return m_recorder.get();
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
