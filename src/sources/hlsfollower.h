#pragma once

#include <QList>
#include <QString>

#include <optional>

#include "sources/hlsplaylist.h"

namespace platform
{
class Clock;
}

namespace sources::hls
{

// Follows a live media playlist across reloads, apart from any HTTP: which
// segments are new (each handed out once, in sequence order), when to reload
// (RFC 8216 6.3.4), and which segments left the window before they were
// fetched. Segments stay pending until fetched() so that a failed fetch can be
// retried while the playlist still lists the segment.
class LiveFollower
{
public:
    struct Update
    {
        // Newly listed, in order; the first after lost segments or a server's
        // restart is marked as a discontinuity.
        QList<Segment> fresh;
        bool changed = false;
        int lostSegments = 0; // left the window unfetched, or skipped by the sequence
        double lostSeconds = 0;
        bool ended = false;
        // Set when the playlist cannot be recorded (encrypted segments); then
        // nothing is pending and no reload is due.
        QString refusal;
    };

    explicit LiveFollower(platform::Clock &clock);

    // Call when a reload request is sent: the next wait counts from here.
    void reloadStarted();
    Update accept(const MediaPlaylist &playlist);

    // The oldest segment still to fetch, if any.
    std::optional<Segment> nextSegment() const;
    void fetched(qint64 sequence);

    // Milliseconds until the next reload may start; nothing after the end or a refusal.
    std::optional<qint64> msUntilReload() const;

    int lostSegments() const { return m_lostSegments; }
    double lostSeconds() const { return m_lostSeconds; }

private:
    platform::Clock &m_clock;
    QList<Segment> m_pending;
    std::optional<qint64> m_lastSequence; // highest sequence seen
    qint64 m_lastFirst = 0;               // first sequence of the last window
    qint64 m_lastAcceptMs = 0;
    qint64 m_reloadStartMs = 0;
    qint64 m_waitMs = 0;
    bool m_done = false;
    int m_lostSegments = 0;
    double m_lostSeconds = 0;
    QByteArray m_lastShape; // what "unchanged" compares
    QString m_refusal;
};

} // namespace sources::hls
