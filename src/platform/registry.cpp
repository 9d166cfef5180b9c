#include "platform/registry.h"

#include "platform/freedesktopregistry.h"

namespace platform
{

namespace
{

Registry *g_installed = nullptr;

} // namespace

Registry &registry()
{
    if (g_installed)
        return *g_installed;
    // Built on first use so that it picks up the XDG folders of this run.
    static FreedesktopRegistry own;
    return own;
}

void setRegistry(Registry *registry)
{
    g_installed = registry;
}

} // namespace platform
