#pragma once

#include "platform/audiooutput.h"
#include "platform/mixer.h"

namespace platform
{

// The sound hardware a run works with: the mixer the master volume is read
// from and how sound outputs are made. Whoever puts the run together creates
// them (the ALSA ones for the program, stand-ins in tests and benchmarks); the
// mixer outlives everything it is handed to.
struct AudioDevices
{
    Mixer &mixer;
    AudioOutputFactory makeOutput;
};

} // namespace platform
