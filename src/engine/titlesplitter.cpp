#include "engine/titlesplitter.h"

#include <algorithm>
#include <cmath>

#include "engine/mp3levels.h"

namespace engine
{

namespace
{

// The shortest stretch that counts as a pause between songs.
constexpr double kStretchSeconds = 0.2;
// Louder than this (mean square of the samples, about -45 dBFS) is no pause.
constexpr float kQuietLevel = 3.2e-5f;
// Held audio never grows beyond this, whatever the window and bit rate; a
// title change still undecided then is decided with what there is.
constexpr qsizetype kMaxHeldBytes = 4 * 1024 * 1024;
// No MP3 or ADTS frame is longer: a run of frames that begins again after a
// title change begins within this many bytes of it.
constexpr qint64 kMaxFrameBytes = 8192;

QString seconds(double value)
{
    return QString::number(std::abs(value), 'f', 2) + QStringLiteral(" s");
}

} // namespace

QString SplitPoint::describe() const
{
    const QString where = shiftSeconds < 0   ? seconds(shiftSeconds) + QStringLiteral(" before the title change")
                          : shiftSeconds > 0 ? seconds(shiftSeconds) + QStringLiteral(" after the title change")
                                             : QStringLiteral("at the title change");
    switch (reason) {
    case Reason::Bytes:
        return QStringLiteral("split at stream byte %1, at the title change (no audio frames found)").arg(splitAt);
    case Reason::Frame:
        return QStringLiteral("split at stream byte %1, the frame boundary %2 (no pause found)")
            .arg(splitAt)
            .arg(where);
    case Reason::Silence:
        return QStringLiteral("split at stream byte %1, the end of a pause %2").arg(splitAt).arg(where);
    }
    return QString();
}

TitleSplitter::TitleSplitter(Options options)
    : m_options(options)
{
    m_options.windowMs = std::max(0, m_options.windowMs);
}

TitleSplitter::~TitleSplitter() = default;

void TitleSplitter::addAudio(const QByteArray &audio)
{
    if (audio.isEmpty())
        return;
    m_held.append(audio);
    m_scan.append(audio);
    process(false);
}

void TitleSplitter::changeTitle(const QByteArray &title)
{
    Change change;
    change.at = m_heldStart + m_held.size();
    change.title = title;
    change.inRun = m_scanner.locked();
    // Everything before it is decided (nothing came yet, or none of it can
    // start a frame): whatever comes next begins the title's file.
    if (m_scanner.position() == change.at)
        change.boundary = change.at;
    m_changes.push_back(std::move(change));
    process(false);
}

void TitleSplitter::flush()
{
    process(true);
    release(m_heldStart + m_held.size());
    // A later stream starts its frames afresh.
    m_scanner.restart(m_heldStart);
    m_scan.clear();
    m_frames.clear();
    m_awaitingLevel.clear();
    m_levels.reset();
    m_time = 0;
    m_framesFound = false;
    m_headDecided = false;
}

std::vector<TitleSplitter::Piece> TitleSplitter::take()
{
    std::vector<Piece> out;
    out.swap(m_out);
    return out;
}

void TitleSplitter::scanNew(bool final)
{
    std::vector<FrameScanner::Frame> found;
    const qint64 scanStart = m_heldStart + m_held.size() - m_scan.size();
    m_scanner.scan(m_scan, scanStart, final, found);
    m_framesFound = m_framesFound || !found.empty();
    for (const FrameScanner::Frame &frame : found) {
        Frame entry;
        entry.offset = frame.offset;
        entry.length = frame.header.length;
        entry.start = m_time;
        entry.duration = static_cast<double>(frame.header.samples) / frame.header.sampleRate;
        m_time += entry.duration;
        m_secondsPerByte = entry.duration / static_cast<double>(entry.length);
        // Frames are found in order: the first one that reaches past a change
        // gives it its boundary.
        for (Change &change : m_changes) {
            const qint64 end = frame.offset + frame.header.length;
            if (change.boundary || end <= change.at)
                continue;
            change.boundary = frame.offset >= change.at ? frame.offset : end;
            change.boundaryShift =
                static_cast<double>(*change.boundary - change.at) / frame.header.length * entry.duration;
        }
        // The decoder is the one for the stream's first frames; frames of another kind are not decoded.
        const quint32 kind = frame.header.format >> 24;
        if (m_options.findSilence && !m_levels) {
            m_levelsKind = kind;
            m_levels = kind == 1 ? std::unique_ptr<FrameLevels>(std::make_unique<Mp3Levels>()) : makeAdtsLevels();
        }
        if (m_levels && kind == m_levelsKind) {
            if (m_levels->isValid()) {
                entry.decoded = true;
                m_levels->add(m_scan.constData() + (frame.offset - scanStart), entry.length);
                m_awaitingLevel.push_back(m_frameBase + static_cast<qint64>(m_frames.size()));
            }
        }
        m_frames.push_back(entry);
        if (m_levels) {
            for (const float level : m_levels->take()) {
                if (m_awaitingLevel.empty())
                    break;
                const qint64 number = m_awaitingLevel.front() - m_frameBase;
                m_awaitingLevel.pop_front();
                if (number >= 0 && number < static_cast<qint64>(m_frames.size()))
                    m_frames[static_cast<size_t>(number)].level = level;
            }
        }
    }
    m_scan.remove(0, static_cast<qsizetype>(m_scanner.position() - scanStart));
    if (final) {
        // What the decoder still holds back is never played: no pause there.
        for (Frame &frame : m_frames) {
            if (frame.level == -2.f)
                frame.level = -1.f;
        }
    }
}

void TitleSplitter::decideHead(bool final)
{
    if (m_headDecided)
        return;
    const qint64 streamStart = m_heldStart - m_headGiven.size();
    if (!m_frames.empty()) {
        m_headDecided = true;
        const qint64 cut = m_frames.front().offset - streamStart;
        if (cut > 0 && cut <= kMaxFrameBytes) {
            Piece piece;
            piece.leftOut = true;
            piece.takeBack = m_headGiven.size();
            const auto fromHeld = static_cast<qsizetype>(std::max<qint64>(0, cut - m_headGiven.size()));
            piece.audio = m_headGiven.left(static_cast<qsizetype>(cut)) + m_held.left(fromHeld);
            const QByteArray again = m_headGiven.mid(static_cast<qsizetype>(cut));
            m_out.push_back(std::move(piece));
            if (!again.isEmpty())
                m_out.push_back({again, false, {}, {}});
            m_held.remove(0, fromHeld);
            m_heldStart += fromHeld;
        }
    } else if (final || m_scanner.position() > streamStart + kMaxFrameBytes) {
        m_headDecided = true; // no frame begins close enough: the bytes are the stream's own
    }
    if (m_headDecided)
        m_headGiven.clear();
}

void TitleSplitter::process(bool final)
{
    scanNew(final);
    decideHead(final);
    while (!m_changes.empty()) {
        const bool forced = final || m_held.size() >= kMaxHeldBytes;
        if (!(searching() ? decide(m_changes.front(), forced) : decideAtOnce(m_changes.front(), final)))
            break;
        m_changes.pop_front();
    }
    if (m_changes.empty())
        release(searching() ? safeEnd() : m_heldStart + m_held.size());
    if (m_held.size() >= kMaxHeldBytes)
        release(m_heldStart + m_held.size() - kMaxHeldBytes / 2);
}

qint64 TitleSplitter::safeEnd() const
{
    // A title change yet to come falls at or after the stream's end; its file
    // may end as far before that as the search reaches back.
    qint64 end = m_scanner.position();
    if (m_levels && m_levels->isValid() && !m_frames.empty()) {
        const double from = m_time - m_options.windowMs / 2000.0;
        for (auto frame = m_frames.rbegin(); frame != m_frames.rend(); ++frame) {
            if (frame->start < from)
                break;
            end = std::min(end, frame->offset);
        }
    }
    return std::max(end, m_heldStart);
}

bool TitleSplitter::searching() const
{
    if (!m_options.findSilence)
        return false;
    // Until frames are found, the stream waits as if they were coming.
    return !m_levels || m_levels->isValid();
}

bool TitleSplitter::splitBetweenFrames(const Change &change, bool final, SplitPoint &split) const
{
    split.titleAt = change.at;
    if (change.boundary) {
        split.splitAt = *change.boundary;
        split.shiftSeconds = change.boundaryShift;
        split.reason = SplitPoint::Reason::Frame;
        return true;
    }
    // Frames may still begin again after a cut one, and do so close by; in a
    // stream without frames so far the title waits only for the bytes at it
    // to be ruled out as the start of one.
    if (!final && m_scanner.position() <= change.at + (m_framesFound ? kMaxFrameBytes : 0))
        return false;
    const qint64 received = m_heldStart + m_held.size();
    if (final && change.inRun) {
        // The stream ended inside the frame: all of it stays with the file it began in.
        split.splitAt = received;
        split.shiftSeconds = static_cast<double>(received - change.at) * m_secondsPerByte;
        split.reason = SplitPoint::Reason::Frame;
    } else {
        split.splitAt = change.at;
        split.reason = SplitPoint::Reason::Bytes;
    }
    return true;
}

bool TitleSplitter::decideAtOnce(const Change &change, bool final)
{
    // What came before the title belongs to the file it ends; what came after
    // waits until the frame it falls into is known.
    release(change.at);
    SplitPoint split;
    if (!splitBetweenFrames(change, final, split))
        return false;
    split.splitAt = std::max(m_heldStart, split.splitAt);
    startFile(change, split);
    return true;
}

bool TitleSplitter::decide(const Change &change, bool final)
{
    if (!final && m_scanner.position() <= change.at)
        return false;
    SplitPoint split;
    split.titleAt = change.at;
    split.splitAt = change.at;

    // The frame the title change falls into, if it falls into one.
    qsizetype index = -1;
    for (qsizetype i = static_cast<qsizetype>(m_frames.size()) - 1; i >= 0; --i) {
        const Frame &frame = m_frames[static_cast<size_t>(i)];
        if (frame.offset <= change.at) {
            if (change.at < frame.offset + frame.length)
                index = i;
            break;
        }
    }
    if (index >= 0) {
        const Frame &frame = m_frames[static_cast<size_t>(index)];
        const double fraction = static_cast<double>(change.at - frame.offset) / frame.length;
        const double titleTime = frame.start + fraction * frame.duration;
        if (frame.decoded && m_options.findSilence) {
            const double windowEnd = titleTime + m_options.windowMs / 2000.0;
            bool complete = m_time >= windowEnd;
            for (const Frame &later : m_frames) {
                if (later.start >= windowEnd)
                    break;
                if (later.level == -2.f)
                    complete = false;
            }
            if (!complete && !final)
                return false;
        }
        const bool later = fraction >= 0.5;
        split.reason = SplitPoint::Reason::Frame;
        split.splitAt = later ? frame.offset + frame.length : frame.offset;
        split.shiftSeconds = (later ? frame.start + frame.duration : frame.start) - titleTime;
        if (frame.decoded && m_options.findSilence) {
            if (const std::optional<qint64> quiet = quietSplit(index, titleTime, split))
                split.splitAt = *quiet;
        }
    } else if (!splitBetweenFrames(change, final, split)) {
        return false;
    }
    if (split.splitAt < m_heldStart) {
        split.splitAt = m_heldStart; // two title changes closer than the search reaches
        split.shiftSeconds = 0;
    }
    startFile(change, split);
    return true;
}

std::optional<qint64> TitleSplitter::quietSplit(qsizetype frame, double titleTime, SplitPoint &split) const
{
    const double half = m_options.windowMs / 2000.0;
    const double frameSeconds = m_frames[static_cast<size_t>(frame)].duration;
    const qsizetype stretch = std::max<qsizetype>(1, std::lround(kStretchSeconds / frameSeconds));
    qsizetype first = frame;
    while (first > 0 && m_frames[static_cast<size_t>(first - 1)].start >= titleTime - half)
        --first;
    qsizetype last = frame;
    const auto count = static_cast<qsizetype>(m_frames.size());
    while (last + 1 < count && m_frames[static_cast<size_t>(last + 1)].start + frameSeconds <= titleTime + half)
        ++last;
    if (last - first + 1 < stretch)
        return std::nullopt;

    // Mean level of each stretch; an unplayable frame makes its stretches no pause.
    std::vector<float> means;
    float quietest = kQuietLevel;
    for (qsizetype at = first; at + stretch - 1 <= last; ++at) {
        double sum = 0;
        bool playable = true;
        for (qsizetype i = at; i < at + stretch && playable; ++i) {
            const float level = m_frames[static_cast<size_t>(i)].level;
            playable = level >= 0;
            sum += level;
        }
        means.push_back(playable ? static_cast<float>(sum / stretch) : -1.f);
        if (playable)
            quietest = std::min(quietest, means.back());
    }
    // Stretches within 3 dB of the quietest are as good; the nearest wins.
    qsizetype best = -1;
    double bestDistance = 0;
    for (qsizetype i = 0; i < static_cast<qsizetype>(means.size()); ++i) {
        const float mean = means[static_cast<size_t>(i)];
        if (mean < 0 || mean > kQuietLevel || mean > quietest * 2 + 1e-12f)
            continue;
        const Frame &middle = m_frames[static_cast<size_t>(first + i + stretch / 2)];
        const double distance = std::abs(middle.start - titleTime);
        if (best < 0 || distance < bestDistance) {
            best = first + i;
            bestDistance = distance;
        }
    }
    if (best < 0)
        return std::nullopt;
    // The pause goes on while frames stay quiet; the next song begins after it,
    // one frame early so that its first sound is never cut.
    qsizetype end = best + stretch - 1;
    while (end < last) {
        const float level = m_frames[static_cast<size_t>(end + 1)].level;
        if (level < 0 || level > kQuietLevel)
            break;
        ++end;
    }
    const Frame &at = m_frames[static_cast<size_t>(end)];
    const bool leadIn = end > best;
    const qint64 offset = leadIn ? at.offset : at.offset + at.length;
    const double time = leadIn ? at.start : at.start + at.duration;
    split.reason = SplitPoint::Reason::Silence;
    split.shiftSeconds = time - titleTime;
    return offset;
}

void TitleSplitter::startFile(const Change &change, const SplitPoint &split)
{
    release(split.splitAt);
    // A file begun after the stream's first byte: what came before it stays where it is.
    if (!m_headDecided && !m_headGiven.isEmpty()) {
        m_headDecided = true;
        m_headGiven.clear();
    }
    Piece piece;
    piece.newFile = true;
    piece.title = change.title;
    piece.split = split;
    m_out.push_back(std::move(piece));
}

void TitleSplitter::release(qint64 upTo)
{
    const qsizetype count = static_cast<qsizetype>(std::clamp<qint64>(upTo - m_heldStart, 0, m_held.size()));
    if (count == 0)
        return;
    if (!m_out.empty() && !m_out.back().newFile && !m_out.back().leftOut)
        m_out.back().audio.append(m_held.constData(), count);
    else
        m_out.push_back({m_held.left(count), false, {}, {}});
    if (!m_headDecided)
        m_headGiven.append(m_held.constData(), count);
    m_held.remove(0, count);
    m_heldStart += count;
    while (!m_frames.empty() && m_frames.front().offset < m_heldStart) {
        m_frames.pop_front();
        ++m_frameBase;
    }
}

} // namespace engine
