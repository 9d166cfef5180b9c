#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMetaType>
#include <QString>

// What a window shows of a recording, as one value: the recorder hands out a
// fresh copy with every statusChanged.
struct RecordingStatus
{
    enum class State
    {
        Idle,       // no recording
        Connecting, // resolving the playlist or waiting for a server
        Recording,  // connected; audio is written
        Paused,     // connected; audio is not written
    };

    State state = State::Idle;
    bool recording = false; // a recording runs, from its start (connecting included) until it stops
    bool timed = false;     // the remaining time means something
    qint32 hoursPassed = 0;
    qint32 minutesPassed = 0;
    qint32 secondsPassed = 0;
    qint32 hoursLeft = 0;
    qint32 minutesLeft = 0;
    qint32 secondsLeft = 0;
    qint32 bitRate = 0;      // kbit/s from the response header; 0 when unknown
    QString stationTitle;    // the preset's title
    QByteArray song;         // the current song file name, as the station sent it
    QString caption;         // the status caption ("Now Recording: ...")
    QString trayTip;         // the tray tip, at most 64 characters
    qint32 serverNumber = 0; // 1-based; 0 before the first connection
    bool listening = false;
    bool paused = false;
    bool unreachable = false;   // the station was lost and is being reconnected
    QDateTime unreachableSince; // when it was lost; invalid when reachable

    friend bool operator==(const RecordingStatus &a, const RecordingStatus &b)
    {
        return a.state == b.state && a.recording == b.recording && a.timed == b.timed &&
               a.hoursPassed == b.hoursPassed && a.minutesPassed == b.minutesPassed &&
               a.secondsPassed == b.secondsPassed && a.hoursLeft == b.hoursLeft && a.minutesLeft == b.minutesLeft &&
               a.secondsLeft == b.secondsLeft && a.bitRate == b.bitRate && a.stationTitle == b.stationTitle &&
               a.song == b.song && a.caption == b.caption && a.trayTip == b.trayTip &&
               a.serverNumber == b.serverNumber && a.listening == b.listening && a.paused == b.paused &&
               a.unreachable == b.unreachable && a.unreachableSince == b.unreachableSince;
    }
    friend bool operator!=(const RecordingStatus &a, const RecordingStatus &b) { return !(a == b); }
};

Q_DECLARE_METATYPE(RecordingStatus)
