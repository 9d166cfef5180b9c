#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include "platform/frontend.h"

class ctlLive365TitleReader;
class ctlMP3Server;

// The hidden main window that hosts the recording engine. It is loaded once at
// start (ProgramContext::loadMainWindow), never shown, and kept for the whole run.
//
// Layout, for those who extend it:
//  - public fields are the engine state other windows read and write by polling;
//    stream data (song names, header text, server lists) are bytes;
//  - the invisible components it hosts are children created in the constructor;
//  - handlers and operations keep their established names (Form_Load, ...);
//  - operations of parts this build does not have yet live in pendingparts.cpp:
//    each says so through the front end and reports failure.
class frmMP3 final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmMP3)

public:
    explicit frmMP3(QObject *parent = nullptr);
    ~frmMP3() override;

    // Start-up and exit.
    // The load handler: start values, volume, tray icon, then the command line.
    void Form_Load();
    // Unloading the main window removes the tray icon.
    void Form_Unload();
    // Runs the load handler again.
    void Initialize();
    // Opens a preset (.mvr) or playlist (.pls) named on the command line or stored
    // for the tray's Start Recording. Removes quotes and "-noop" from the text.
    // True when the file was accepted.
    bool LoadConfigurationFile(QString &strFileToLoad);
    // The tray menu's exit entry; also how an interrupt or terminate signal ends
    // the program. Closes a running recording first, then exits.
    void mPopExit_Click();

    // Recording (parts not in this build yet: see pendingparts.cpp).
    bool InitializeMP3Recorder();
    void CloseRecording();

    // Sets the status caption and tells the front end.
    void setSongCaption(const QString &caption);
    // Sets the tray tip and tells the front end.
    void setTrayTip(const QString &tip);
    const platform::TrayState &trayState() const { return m_tray; }
    bool hasTrayIcon() const { return m_trayIconAdded; }

    // Components hosted by the main window.
    ::ctlMP3Server *ctlMP3Server = nullptr;      // the preview relay
    ctlLive365TitleReader *ctlLive365 = nullptr; // the Live365 station reader

    // Engine state.
    bool bIcy = true; // the response header is still expected
    qint16 FF = -1;   // file number of the open recording; -1 when none
    bool blnRecording = false;
    bool blnIcyReal = false; // title metadata requested and in use
    bool blnLive365 = false;
    bool blnPaused = false;
    bool blnPreviewToggle = false; // listening through the relay is on
    qint32 lServerNumber = 0;
    qint32 lngMetaDataLength = 0;
    qint32 lngMetaDataCounter = 0;
    qint32 lngBitRate = 0;
    QByteArray strSongName;  // current song file name (title + ".mp3")
    QByteArray strICYHeader; // the stream response header collected so far
    QString sSongCaption;    // status caption shown by the recording display
    // The server list: parallel lists with an unused empty entry 0.
    QList<QByteArray> sServerHosts{QByteArray()};
    QList<QByteArray> sServerPorts{QByteArray()};
    QList<QByteArray> sServerPaths{QByteArray()};
    QList<QByteArray> sServerQueries{QByteArray()};
    // Wanted listening volume 0-100; -1 when the mixer cannot be read.
    qint32 lngVolume = -1;

private:
    void setStartValues();
    void addTrayIcon(const QString &tip);
    void removeTrayIcon();
    bool loadFile(QString &strFileToLoad);
    // Playlist file read through ctlURIPLSRead (not in this build yet).
    bool startPlaylistFileRead(const QString &path);

    platform::TrayState m_tray;
    bool m_trayIconAdded = false;
};

// The system speaker volume in percent, or -1 when it cannot be read.
qint32 readMasterVolume();
