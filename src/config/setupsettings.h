#pragma once

#include <QString>
#include <QtGlobal>

class SettingsStore;

// The options of the recording setup window that persist from one run to the
// next, as values of its controls. The window moves them into its controls after
// LoadSettings and back before SaveSettings. A new instance holds the controls'
// designed defaults.
struct SetupSettings
{
    // The selected capture option: optFile (1), optNormal (2), optDated (3), or
    // none selected (0).
    enum CaptureMode
    {
        CaptureNone = 0,
        CaptureSingleFile = 1,
        CaptureStreamTitles = 2,
        CaptureDatedArchive = 3,
    };

    QString txtMP3Path;
    bool mnuIEWebHeader = false;
    CaptureMode captureMode = CaptureStreamTitles;
    bool chkTimed = false;
    bool chkListenOn = false;
    qint32 spnTimeInMinutes = 60;
    bool chkShutdown = false;
    bool chkStartPaused = false;
    QString txtBaseLineName;
    bool chkCleanup = false;
    qint32 spnRecordingDays = 30;
};

// Application and section of every setup window setting.
inline constexpr const char kSettingsApplication[] = "Kestrane";
inline constexpr const char kSettingsSection[] = "Registration";

// Restores the options when the setup window loads: the save path, the Internet
// Explorer box (stored "FakeIE", default off; the window then sets it from
// IsIEAgent) and the capture option (default stream titles; an unknown text
// selects none) always; the archive header always ("" when absent); the timed
// recording, listening, minutes, exit, start-paused, clean-up and days controls
// only when a value is stored (a stored text that is not a whole number leaves
// its control as it is, too).
void LoadSettings(SetupSettings &settings, const SettingsStore &store);
void LoadSettings(SetupSettings &settings);
// Stores the options when the setup window unloads, in the window's order;
// "Capture" only when an option is selected.
void SaveSettings(const SetupSettings &settings, SettingsStore &store);
void SaveSettings(const SetupSettings &settings);

// The external player ("useExternal"): its path, or "" when it is switched off.
QString LoadExternalPlayer(const SettingsStore &store);
QString LoadExternalPlayer();
void SaveExternalPlayer(const QString &path, SettingsStore &store);
void SaveExternalPlayer(const QString &path);

// The user clicked the Internet Explorer box: the INI value is read afresh and
// its opposite written. Returns the new state for the box.
bool ToggleIEAgent();
