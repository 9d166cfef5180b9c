#pragma once

#include <functional>

// Lets events run (real sockets, timers) until condition holds or timeoutMs of
// real time pass; returns the condition's last value. For network tests, whose
// sockets cannot run on the fake clock.
bool waitFor(const std::function<bool()> &condition, int timeoutMs = 5000);

// Lets events run for the given real time.
void runEventsFor(int milliseconds);
