#include "platform/mixer.h"

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

void setMixer(Mixer *mixer)
{
    g_installed = mixer;
}

} // namespace platform
