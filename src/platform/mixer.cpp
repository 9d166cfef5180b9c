#include "platform/mixer.h"

#include <utility>

#include "platform/alsamixer.h"

namespace platform
{

namespace
{
Mixer *g_installed = nullptr;
} // namespace

Mixer &mixer()
{
    if (g_installed)
        return *g_installed;
    static AlsaMixer systemMixer;
    return systemMixer;
}

Mixer *setMixer(Mixer *mixer)
{
    return std::exchange(g_installed, mixer);
}

} // namespace platform
