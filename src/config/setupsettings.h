#pragma once

#include <QString>
#include <QtGlobal>

class SettingsStore;

// The options of the recording setup window that persist from one run to the
// next, as values of its controls. The window moves them into its controls after
// loadSetupSettings and back before saveSetupSettings. A new instance holds the controls'
// first-run defaults.
struct SetupSettings
{
    // The selected capture option: single file (1), one file per title (2), dated
    // archive (3), or none selected (0).
    enum CaptureMode
    {
        CaptureNone = 0,
        CaptureSingleFile = 1,
        CaptureStreamTitles = 2,
        CaptureDatedArchive = 3,
    };

    QString saveFolder;
    bool browserAgent = false;
    CaptureMode captureMode = CaptureStreamTitles;
    bool timed = false;
    bool listen = false;
    qint32 minutes = 60;
    bool exitWhenDone = false;
    bool startPaused = false;
    QString archivePrefix;
    bool cleanup = false;
    qint32 daysToKeep = 30;
};

// Where the setup window was and what it showed, kept apart from its options.
struct SetupWindowState
{
    qint32 left = 0;
    qint32 top = 0;
    qint32 width = 0; // 0: never stored
    qint32 height = 0;
    qint32 page = 0;
    qint32 selectedStation = -1; // 1-based, -1 for none
};

// Application and section of every setup window setting.
inline constexpr const char kSettingsApplication[] = "Kestrane";
inline constexpr const char kSettingsSection[] = "Registration";

// Restores the options when the setup window loads: the save path, the Internet
// Explorer box (stored "FakeIE", default off; the window then sets it from
// browserAgentEnabled) and the capture option (default stream titles; an unknown text
// selects none) always; the archive header always ("" when absent); the timed
// recording, listening, minutes, exit, start-paused, clean-up and days controls
// only when a value is stored (a stored text that is not a whole number leaves
// its control as it is, too).
void loadSetupSettings(SetupSettings &settings, const SettingsStore &store);
void loadSetupSettings(SetupSettings &settings);
// Stores the options when the setup window unloads, in the window's order;
// "Capture" only when an option is selected.
void saveSetupSettings(const SetupSettings &settings, SettingsStore &store);
void saveSetupSettings(const SetupSettings &settings);

// The external player ("useExternal"): its path, or "" when it is switched off.
QString loadExternalPlayer(const SettingsStore &store);
QString loadExternalPlayer();
void saveExternalPlayer(const QString &path, SettingsStore &store);
void saveExternalPlayer(const QString &path);

// The user clicked the web agent box: the INI value is read afresh and
// its opposite written. Returns the new state for the box.
bool toggleBrowserAgent();

// The window's place, page and station ("[Kestrane\\Window]"); values not
// stored, or not whole numbers, keep their defaults.
SetupWindowState loadSetupWindowState(const SettingsStore &store);
SetupWindowState loadSetupWindowState();
void saveSetupWindowState(const SetupWindowState &state, SettingsStore &store);
void saveSetupWindowState(const SetupWindowState &state);
