#pragma once

#include <QString>

// The machine-wide values kept in the two INI files of the program folder, and
// the rule that finds the default recording folder.
//
// Values are 8-bit text in the files; they are decoded with the local 8-bit
// encoding here (they are paths and small numbers). Keys are upper-cased when
// written and lower-cased when read, which names the same entry because keys are
// matched without regard to case.

// File names inside the program folder.
inline constexpr const char kKestraneIniName[] = "Kestrane.ini";
inline constexpr const char kOmbrexIniName[] = "ombrex.ini";

// Full paths of the two INI files.
QString kestraneIniPath();
QString ombrexIniPath();

// The value of key in section of the INI file at path file; "" when the file,
// section or key is missing. At most 749 characters.
QString readIniValue(const QString &section, const QString &key, const QString &file);
// Stores the value, creating file, section and key as needed; failures are ignored.
void writeIniValue(const QString &section, const QString &key, const QString &value, const QString &file);

// The last folder chosen for recordings ([LastPath] LastPath of Kestrane.ini).
void setLastPath(const QString &path);

// Whether the program presents itself to web servers as Internet Explorer
// ([Advanced] IEAgent of ombrex.ini): on when the value is a number other than 0.
bool browserAgentEnabled();
void setBrowserAgentEnabled(bool on);

// Whether HLS stations are recorded from their variant of the lowest
// bandwidth, for metered links, rather than the highest ([Advanced]
// HlsLowestBandwidth of ombrex.ini): on when the value is a number other than 0.
bool hlsLowestBandwidth();
void setHlsLowestBandwidth(bool on);

// How long a recording keeps reconnecting to a station it lost after it had
// delivered audio ([Advanced] ReconnectMinutes of ombrex.ini), 0-1440 minutes;
// 0 ends the recording as soon as the usual retries fail. 10 when the value is
// absent or not a whole number.
inline constexpr qint32 kDefaultReconnectMinutes = 10;
inline constexpr qint32 kMaxReconnectMinutes = 1440;
qint32 reconnectPeriodMinutes();
void setReconnectPeriodMinutes(qint32 minutes);

// How title files are cut and tagged ([Advanced] of ombrex.ini):
// SplitAtPauses (0 or 1, default 1) ends a file at the pause between songs
// found within PauseSearchSeconds (1-30, default 6) around the title change;
// ID3v2Tags (0 or 1, default 1) puts an ID3v2 tag at the start of MP3 and AAC
// files. A value that is absent or not a whole number is the default.
struct FileSplitSettings
{
    bool splitAtPauses = true;
    qint32 pauseSearchSeconds = 6;
    bool id3v2Tags = true;
};
inline constexpr qint32 kMaxPauseSearchSeconds = 30;
FileSplitSettings fileSplitSettings();
void setFileSplitSettings(const FileSplitSettings &settings);

// The Live365 web server the station reader asks ([Live365] Server of
// ombrex.ini): "http://host[:port]", optionally with a leading path, without a
// final "/". The historical server when the value is empty.
inline constexpr const char kDefaultLive365Server[] = "http://www.live365.com";
QString live365Server();
void setLive365Server(const QString &address);

// The default recording folder, first match wins: the last folder chosen, if it
// still exists; the music folder; the documents folder; the program folder when
// allowProgramFolder is true, else "".
QString defaultRecordingFolder(bool allowProgramFolder);
