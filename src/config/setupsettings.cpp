#include "config/setupsettings.h"

#include <optional>

#include "config/mdlinifile.h"
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

void LoadSettings(SetupSettings &settings, const SettingsStore &store)
{
    settings.txtMP3Path = read(store, "MP3Path");
    bool fakeIE = false;
    applyCheck(store, "FakeIE", fakeIE);
    settings.mnuIEWebHeader = fakeIE;

    const QString capture = read(store, "Capture", QStringLiteral("2"));
    if (capture == QLatin1String("1"))
        settings.captureMode = SetupSettings::CaptureSingleFile;
    else if (capture == QLatin1String("2"))
        settings.captureMode = SetupSettings::CaptureStreamTitles;
    else if (capture == QLatin1String("3"))
        settings.captureMode = SetupSettings::CaptureDatedArchive;
    else
        settings.captureMode = SetupSettings::CaptureNone;

    applyCheck(store, "TimeRec", settings.chkTimed);
    applyCheck(store, "ListenStream", settings.chkListenOn);
    applyNumber(store, "RecTime", settings.spnTimeInMinutes);
    applyCheck(store, "Shutdown", settings.chkShutdown);
    applyCheck(store, "StartPause", settings.chkStartPaused);
    settings.txtBaseLineName = read(store, "ArchiveHeader");
    applyCheck(store, "DeleteArchive", settings.chkCleanup);
    applyNumber(store, "DaysKeeping", settings.spnRecordingDays);
}

void LoadSettings(SetupSettings &settings)
{
    LoadSettings(settings, settingsStore());
}

void SaveSettings(const SetupSettings &settings, SettingsStore &store)
{
    write(store, "MP3Path", settings.txtMP3Path);
    write(store, "FakeIE", settings.mnuIEWebHeader);
    if (settings.captureMode != SetupSettings::CaptureNone)
        write(store, "Capture", static_cast<qint32>(settings.captureMode));
    write(store, "TimeRec", settings.chkTimed);
    write(store, "ListenStream", settings.chkListenOn);
    write(store, "RecTime", settings.spnTimeInMinutes);
    write(store, "Shutdown", settings.chkShutdown);
    write(store, "StartPause", settings.chkStartPaused);
    write(store, "ArchiveHeader", settings.txtBaseLineName);
    write(store, "DeleteArchive", settings.chkCleanup);
    write(store, "DaysKeeping", settings.spnRecordingDays);
}

void SaveSettings(const SetupSettings &settings)
{
    SaveSettings(settings, settingsStore());
}

QString LoadExternalPlayer(const SettingsStore &store)
{
    return read(store, "useExternal");
}

QString LoadExternalPlayer()
{
    return LoadExternalPlayer(settingsStore());
}

void SaveExternalPlayer(const QString &path, SettingsStore &store)
{
    write(store, "useExternal", path);
}

void SaveExternalPlayer(const QString &path)
{
    SaveExternalPlayer(path, settingsStore());
}

bool ToggleIEAgent()
{
    const bool on = !IsIEAgent();
    SetIEAgent(on);
    return on;
}
