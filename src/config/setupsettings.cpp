#include "config/setupsettings.h"

#include <optional>
#include <utility>

#include "config/inisettingsstore.h"
#include "config/inivalues.h"
#include "config/settingsstore.h"

namespace
{

QString read(const SettingsStore &store, const char *key, const QString &defaultValue = QString())
{
    return store.value(QLatin1String(kSettingsApplication), QLatin1String(kSettingsSection), QLatin1String(key),
                       defaultValue);
}

void write(SettingsStore &store, const char *key, const QString &text)
{
    store.setValue(QLatin1String(kSettingsApplication), QLatin1String(kSettingsSection), QLatin1String(key), text);
}

void write(SettingsStore &store, const char *key, bool on)
{
    write(store, key, on ? QStringLiteral("1") : QStringLiteral("0"));
}

void write(SettingsStore &store, const char *key, qint32 number)
{
    write(store, key, QString::number(number));
}

// A stored whole number, or nothing for an absent, empty or hand-spoilt value.
std::optional<qint32> storedNumber(const SettingsStore &store, const char *key)
{
    bool ok = false;
    const qint32 number = read(store, key).trimmed().toInt(&ok);
    if (!ok)
        return std::nullopt;
    return number;
}

// A check box "when stored": "0" clears it, any other number sets it.
void applyCheck(const SettingsStore &store, const char *key, bool &box)
{
    if (const std::optional<qint32> number = storedNumber(store, key))
        box = *number != 0;
}

void applyNumber(const SettingsStore &store, const char *key, qint32 &spinner)
{
    if (const std::optional<qint32> number = storedNumber(store, key))
        spinner = *number;
}

} // namespace

void loadSetupSettings(SetupSettings &settings, const SettingsStore &store)
{
    settings.saveFolder = read(store, "MP3Path");
    bool fakeIE = false;
    applyCheck(store, "FakeIE", fakeIE);
    settings.browserAgent = fakeIE;

    const QString capture = read(store, "Capture", QStringLiteral("2"));
    if (capture == QLatin1String("1"))
        settings.captureMode = SetupSettings::CaptureSingleFile;
    else if (capture == QLatin1String("2"))
        settings.captureMode = SetupSettings::CaptureStreamTitles;
    else if (capture == QLatin1String("3"))
        settings.captureMode = SetupSettings::CaptureDatedArchive;
    else
        settings.captureMode = SetupSettings::CaptureNone;

    applyCheck(store, "TimeRec", settings.timed);
    applyCheck(store, "ListenStream", settings.listen);
    applyNumber(store, "RecTime", settings.minutes);
    applyCheck(store, "Shutdown", settings.exitWhenDone);
    applyCheck(store, "StartPause", settings.startPaused);
    settings.archivePrefix = read(store, "ArchiveHeader");
    applyCheck(store, "DeleteArchive", settings.cleanup);
    applyNumber(store, "DaysKeeping", settings.daysToKeep);
}

void loadSetupSettings(SetupSettings &settings)
{
    IniSettingsStore store;
    loadSetupSettings(settings, store);
}

void saveSetupSettings(const SetupSettings &settings, SettingsStore &store)
{
    write(store, "MP3Path", settings.saveFolder);
    write(store, "FakeIE", settings.browserAgent);
    if (settings.captureMode != SetupSettings::CaptureNone)
        write(store, "Capture", static_cast<qint32>(settings.captureMode));
    write(store, "TimeRec", settings.timed);
    write(store, "ListenStream", settings.listen);
    write(store, "RecTime", settings.minutes);
    write(store, "Shutdown", settings.exitWhenDone);
    write(store, "StartPause", settings.startPaused);
    write(store, "ArchiveHeader", settings.archivePrefix);
    write(store, "DeleteArchive", settings.cleanup);
    write(store, "DaysKeeping", settings.daysToKeep);
}

void saveSetupSettings(const SetupSettings &settings)
{
    IniSettingsStore store;
    saveSetupSettings(settings, store);
}

QString loadExternalPlayer(const SettingsStore &store)
{
    return read(store, "useExternal");
}

QString loadExternalPlayer()
{
    IniSettingsStore store;
    return loadExternalPlayer(store);
}

void saveExternalPlayer(const QString &path, SettingsStore &store)
{
    write(store, "useExternal", path);
}

void saveExternalPlayer(const QString &path)
{
    IniSettingsStore store;
    saveExternalPlayer(path, store);
}

bool toggleBrowserAgent()
{
    const bool on = !browserAgentEnabled();
    setBrowserAgentEnabled(on);
    return on;
}

namespace
{

constexpr char kWindowSection[] = "Window";
constexpr std::pair<const char *, qint32 SetupWindowState::*> kWindowKeys[] = {
    {"Left", &SetupWindowState::left},   {"Top", &SetupWindowState::top},
    {"Width", &SetupWindowState::width}, {"Height", &SetupWindowState::height},
    {"Page", &SetupWindowState::page},   {"SelectedStation", &SetupWindowState::selectedStation},
};

} // namespace

SetupWindowState loadSetupWindowState(const SettingsStore &store)
{
    SetupWindowState state;
    for (const auto &[key, member] : kWindowKeys) {
        bool ok = false;
        const qint32 number = store
                                  .value(QLatin1String(kSettingsApplication), QLatin1String(kWindowSection),
                                         QLatin1String(key), QString())
                                  .trimmed()
                                  .toInt(&ok);
        if (ok)
            state.*member = number;
    }
    return state;
}

SetupWindowState loadSetupWindowState()
{
    IniSettingsStore store;
    return loadSetupWindowState(store);
}

void saveSetupWindowState(const SetupWindowState &state, SettingsStore &store)
{
    for (const auto &[key, member] : kWindowKeys)
        store.setValue(QLatin1String(kSettingsApplication), QLatin1String(kWindowSection), QLatin1String(key),
                       QString::number(state.*member));
}

void saveSetupWindowState(const SetupWindowState &state)
{
    IniSettingsStore store;
    saveSetupWindowState(state, store);
}
