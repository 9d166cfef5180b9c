#pragma once

namespace platform
{

// Runs the events that are pending on the one user-interface thread (socket
// notifications, timer ticks, menu commands) and returns. Waits that poll a
// socket call this between polls.
void letPendingEventsRun();

// Marks a connection wait in progress on one owner's flag. Callbacks that run
// inside the wait (timer ticks above all) test the flag and must not start a
// second wait: construct a guard, and if entered() is false, return at once.
class WaitGuard final
{
public:
    explicit WaitGuard(bool &flag);
    ~WaitGuard();
    WaitGuard(const WaitGuard &) = delete;
    WaitGuard &operator=(const WaitGuard &) = delete;

    bool entered() const { return m_entered; }

    // Number of waits in progress in the whole program (for diagnostics and tests).
    static int activeWaits();

private:
    bool &m_flag;
    bool m_entered = false;
};

} // namespace platform
