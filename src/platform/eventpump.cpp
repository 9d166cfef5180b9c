#include "platform/eventpump.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace platform
{

namespace
{
int g_activeWaits = 0;
} // namespace

void letPendingEventsRun()
{
    // Deferred deletes are left to the main loop: a wait must never destroy an
    // object that a caller further up the stack still uses.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents(nullptr, 0);
}

WaitGuard::WaitGuard(bool &flag)
    : m_flag(flag)
{
    if (!m_flag) {
        m_flag = true;
        m_entered = true;
        ++g_activeWaits;
    }
}

WaitGuard::~WaitGuard()
{
    if (m_entered) {
        m_flag = false;
        --g_activeWaits;
    }
}

int WaitGuard::activeWaits()
{
    return g_activeWaits;
}

} // namespace platform
