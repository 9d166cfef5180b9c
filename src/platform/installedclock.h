#pragma once

#include "platform/clock.h"

namespace platform
{

// A clock that hands every call to the clock installed at that moment (see
// setClock). For owners that do not get a clock passed in yet: what they make
// keeps working when a test swaps the clock during their lifetime.
Clock &installedClock();

} // namespace platform
