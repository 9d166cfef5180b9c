#include "fakeclock.h"

#include <QTimer>

#include <algorithm>

namespace
{
// Fake milliseconds per turn of the event loop while calls wait.
constexpr qint64 kStepMs = 5;
} // namespace

FakeClock::FakeClock(const QDateTime &startTime)
    : m_time(startTime)
    , m_stepper(std::make_unique<QTimer>())
{
    m_stepper->setSingleShot(true);
    m_stepper->setInterval(0);
    QObject::connect(m_stepper.get(), &QTimer::timeout, m_stepper.get(), [this] { step(); });
}

FakeClock::~FakeClock() = default;

platform::Clock::CallId FakeClock::callAfter(int milliseconds, QObject *context, std::function<void()> fn)
{
    const CallId id = ++m_lastId;
    m_calls.push_back({id, m_elapsed + std::max(milliseconds, 0), context, std::move(fn)});
    scheduleStep();
    return id;
}

void FakeClock::cancelCall(CallId id)
{
    m_calls.erase(std::remove_if(m_calls.begin(), m_calls.end(), [id](const Call &call) { return call.id == id; }),
                  m_calls.end());
}

void FakeClock::advance(qint64 milliseconds)
{
    const qint64 target = m_elapsed + milliseconds;
    for (;;) {
        // Calls whose context has gone are dropped without moving time for them.
        m_calls.erase(std::remove_if(m_calls.begin(), m_calls.end(), [](const Call &call) { return !call.context; }),
                      m_calls.end());
        const auto next = std::min_element(m_calls.begin(), m_calls.end(), [](const Call &a, const Call &b) {
            return a.due != b.due ? a.due < b.due : a.id < b.id;
        });
        if (next == m_calls.end() || next->due > target)
            break;
        moveBy(std::max<qint64>(next->due - m_elapsed, 0));
        Call call = std::move(*next);
        m_calls.erase(next);
        call.fn(); // may add or cancel calls
    }
    moveBy(target - m_elapsed);
}

void FakeClock::moveBy(qint64 milliseconds)
{
    if (milliseconds <= 0)
        return;
    m_time = m_time.addMSecs(milliseconds);
    m_elapsed += milliseconds;
}

void FakeClock::step()
{
    m_calls.erase(std::remove_if(m_calls.begin(), m_calls.end(), [](const Call &call) { return !call.context; }),
                  m_calls.end());
    if (m_calls.empty())
        return;
    if (!m_selfStepping) {
        advance(0); // only what is due already
        return;
    }
    qint64 nextDue = m_calls.front().due;
    for (const Call &call : m_calls)
        nextDue = std::min(nextDue, call.due);
    const qint64 stepMs = std::clamp<qint64>(nextDue - m_elapsed, 0, kStepMs);
    m_slept += stepMs;
    advance(stepMs);
    scheduleStep();
}

void FakeClock::scheduleStep()
{
    const bool due =
        std::any_of(m_calls.begin(), m_calls.end(), [this](const Call &call) { return call.due <= m_elapsed; });
    if (!m_calls.empty() && (m_selfStepping || due) && !m_stepper->isActive())
        m_stepper->start();
}
