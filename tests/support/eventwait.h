#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <functional>

// Runs the event loop until done() holds or timeoutMs of real time have passed.
inline bool waitUntil(const std::function<bool()> &done, int timeoutMs = 10000)
{
    QTimer wake;
    wake.start(5);
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Runs the event loop for a while (to show that something does not happen).
inline void settle(int ms)
{
    waitUntil([] { return false; }, ms);
}
