#include "config/settingsstore.h"

#include "config/inisettingsstore.h"

namespace
{

SettingsStore *g_installed = nullptr;

} // namespace

SettingsStore &settingsStore()
{
    if (g_installed)
        return *g_installed;
    static IniSettingsStore own;
    return own;
}

void setSettingsStore(SettingsStore *store)
{
    g_installed = store;
}
