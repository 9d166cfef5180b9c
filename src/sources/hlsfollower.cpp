#include "sources/hlsfollower.h"

#include <QCoreApplication>

#include "platform/clock.h"

namespace sources::hls
{

LiveFollower::LiveFollower(platform::Clock &clock)
    : m_clock(clock)
    , m_reloadStartMs(clock.monotonicMs())
{}

void LiveFollower::reloadStarted()
{
    m_reloadStartMs = m_clock.monotonicMs();
}

LiveFollower::Update LiveFollower::accept(const MediaPlaylist &playlist)
{
    Update update;
    if (m_done) {
        update.ended = m_refusal.isEmpty();
        update.refusal = m_refusal;
        return update;
    }
    const qint64 first = playlist.mediaSequence;
    const qint64 end = first + playlist.segments.size();
    QByteArray shape = QByteArray::number(first) + ' ' + QByteArray::number(playlist.segments.size()) +
                       (playlist.endList ? " end" : "");
    if (!playlist.segments.isEmpty())
        shape += ' ' + playlist.segments.last().uri.toEncoded();
    update.changed = shape != m_lastShape;
    m_lastShape = shape;

    // A server that restarts numbers its segments anew: a window wholly below
    // the last one, or a jump further ahead than real time allows, is a fresh
    // start, not segments lost (every pending one is, as it is no longer listed).
    const double elapsedSeconds = static_cast<double>(m_clock.monotonicMs() - m_lastAcceptMs) / 1000.0;
    const bool restarted =
        m_lastSequence && end > first &&
        (end - 1 < m_lastFirst || static_cast<double>(first - *m_lastSequence - 1) * playlist.targetDuration >
                                      elapsedSeconds + playlist.targetDuration);
    bool afterBreak = false;
    if (restarted) {
        for (const Segment &segment : std::as_const(m_pending)) {
            ++update.lostSegments;
            update.lostSeconds += segment.duration;
        }
        m_pending.clear();
        m_lastSequence.reset();
        afterBreak = true;
    }
    // Pending segments the window no longer lists can never be fetched.
    while (!m_pending.isEmpty() && m_pending.first().sequence < first) {
        ++update.lostSegments;
        update.lostSeconds += m_pending.first().duration;
        m_pending.removeFirst();
    }
    // Sequences that came and went between two reloads were never seen; their
    // length is estimated by the target duration.
    if (m_lastSequence && first > *m_lastSequence + 1) {
        const qint64 skipped = first - *m_lastSequence - 1;
        update.lostSegments += static_cast<int>(qMin<qint64>(skipped, INT_MAX));
        update.lostSeconds += static_cast<double>(skipped) * playlist.targetDuration;
        afterBreak = true;
    }
    for (const Segment &segment : playlist.segments) {
        if (m_lastSequence && segment.sequence <= *m_lastSequence)
            continue;
        if (segment.keyMethod != "NONE") {
            update.refusal = QCoreApplication::translate(
                                 "LiveFollower", "This station encrypts its segments (%1), which cannot be recorded.")
                                 .arg(QString::fromLatin1(segment.keyMethod));
            m_refusal = update.refusal;
            m_pending.clear();
            m_done = true;
            return update;
        }
        update.fresh.append(segment);
        // The audio does not go on seamlessly from what came before.
        if (afterBreak && update.fresh.size() == 1)
            update.fresh.last().discontinuity = true;
        m_pending.append(update.fresh.last());
    }
    if (end > first) {
        m_lastSequence = qMax(m_lastSequence.value_or(end - 1), end - 1);
        m_lastFirst = first;
    }
    m_lastAcceptMs = m_clock.monotonicMs();
    m_lostSegments += update.lostSegments;
    m_lostSeconds += update.lostSeconds;

    update.ended = playlist.endList;
    m_done = playlist.endList;
    // Bounded before the conversion: a playlist may claim any duration.
    const double targetSeconds = qBound(0.0, playlist.targetDuration, 3600.0);
    const qint64 target = qMax<qint64>(1, static_cast<qint64>(targetSeconds * 1000));
    m_waitMs = update.changed ? target : target / 2;
    return update;
}

std::optional<Segment> LiveFollower::nextSegment() const
{
    if (m_pending.isEmpty())
        return std::nullopt;
    return m_pending.first();
}

void LiveFollower::fetched(qint64 sequence)
{
    m_pending.removeIf([sequence](const Segment &s) { return s.sequence == sequence; });
}

std::optional<qint64> LiveFollower::msUntilReload() const
{
    if (m_done)
        return std::nullopt;
    return qMax<qint64>(0, m_reloadStartMs + m_waitMs - m_clock.monotonicMs());
}

} // namespace sources::hls
