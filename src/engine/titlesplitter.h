#pragma once

#include <QByteArray>
#include <QString>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "engine/framescanner.h"

namespace engine
{

class FrameLevels;

// Where a title file ended, and why, for the log.
struct SplitPoint
{
    enum class Reason
    {
        Bytes,   // no frames around the title change: at the byte it came
        Frame,   // at the frame boundary nearest to the title change
        Silence, // at the end of the quietest stretch near the title change
    };
    qint64 titleAt = 0;      // stream byte at which the title change came
    qint64 splitAt = 0;      // stream byte at which the new file begins
    double shiftSeconds = 0; // split minus title change, in seconds of audio
    Reason reason = Reason::Bytes;

    QString describe() const;
};

// Decides where each title file of an MP3 or ADTS AAC stream ends. Audio and
// title changes go in as they arrive; what comes out is the same audio, in
// the same order, cut into files at frame boundaries: the frame a title
// change falls into goes whole into one file. Without the pause search the
// frame being received when a title comes ends its file, and only the audio
// after the title change waits until that frame is known to be whole (about
// one frame; a stream without frames is cut as soon as the bytes at the title
// change are known to start none). A frame cut short (the station dropped the connection in the
// middle of it) goes with the file it began in, which ends where frames begin
// again. With the pause search (MPEG audio decoded by libmpg123, ADTS by
// libavcodec, only to measure levels) the last part of the stream
// (half the search window) is held back so that a file can end at the quiet
// stretch between two songs, before or after the title change. A stream
// without frame structure is cut at the byte the title came, as it is. A
// stream joined inside a frame begins with the rest of it, which no player can
// decode: those bytes (up to the first frame, when it comes within a frame's
// length) go to no file. Until the first frame is known they go out as audio
// like any other (a stream without frames is written as it comes), and are
// taken back out of the file when it is.
class TitleSplitter final
{
public:
    struct Options
    {
        bool findSilence = true;
        int windowMs = 6000; // the whole search window, centred on the title change
    };
    // One step of the output: audio for the file being written, or the end of
    // that file and the start of the next, named title.
    struct Piece
    {
        QByteArray audio;
        bool newFile = false;
        QByteArray title;
        SplitPoint split;
        // audio is the rest of the frame the stream began inside: it belongs in
        // no file. The current file gives back its last takeBack bytes (all it
        // holds of the stream, the cut frame first); what followed that frame
        // comes again in the next pieces.
        bool leftOut = false;
        qint64 takeBack = 0;
    };

    explicit TitleSplitter(Options options);
    ~TitleSplitter();
    TitleSplitter(const TitleSplitter &) = delete;
    TitleSplitter &operator=(const TitleSplitter &) = delete;

    void addAudio(const QByteArray &audio);
    // A new title begins with the next byte of audio.
    void changeTitle(const QByteArray &title);
    // The stream ends (or breaks off): everything held is decided and given out.
    void flush();
    // What has been decided since the last call, in order.
    std::vector<Piece> take();

    qint64 heldBytes() const { return m_held.size(); }
    bool hasPendingTitle() const { return !m_changes.empty(); }

private:
    struct Frame
    {
        qint64 offset = 0;
        qsizetype length = 0;
        double start = 0; // seconds of audio before it
        double duration = 0;
        float level = -2.f;   // mean square; -2 not yet known, -1 unplayable
        bool decoded = false; // its level comes from the decoder
    };
    struct Change
    {
        qint64 at = 0;
        QByteArray title;
        bool inRun = false; // it came while frames were being found
        // The first frame boundary at or after it (the end of the frame it
        // falls into, or where frames begin again), once the frames are known.
        std::optional<qint64> boundary;
        double boundaryShift = 0; // seconds of audio from the change to it
    };

    void process(bool final);
    void scanNew(bool final);
    // False while the front change still needs more of the stream.
    bool decide(const Change &change, bool final);
    // Without the pause search: the frame being received ends the file.
    bool decideAtOnce(const Change &change, bool final);
    // A change that falls into no whole frame: false while frames may still
    // begin close after it; else where its file ends.
    bool splitBetweenFrames(const Change &change, bool final, SplitPoint &split) const;
    // The pause search is on and there is a decoder for the stream's frames.
    bool searching() const;
    std::optional<qint64> quietSplit(qsizetype frame, double titleTime, SplitPoint &split) const;
    // Everything before the split goes to the current file; the next piece opens the title's file.
    void startFile(const Change &change, const SplitPoint &split);
    void release(qint64 upTo);
    // Once the stream's first frame is found: whether the bytes before it are a cut frame.
    void decideHead(bool final);
    qint64 safeEnd() const;

    Options m_options;
    QByteArray m_held;
    qint64 m_heldStart = 0; // stream offset of m_held's first byte
    FrameScanner m_scanner;
    QByteArray m_scan;           // the stream from the scanner's position on
    std::deque<Frame> m_frames;  // frames from m_heldStart on
    double m_time = 0;           // seconds of audio in the frames scanned
    double m_secondsPerByte = 0; // of the last frame scanned
    bool m_framesFound = false;  // since the stream began
    bool m_headDecided = false;  // whether the stream began inside a frame is known
    QByteArray m_headGiven;      // until then, the audio given out (a few frames at most)
    std::unique_ptr<FrameLevels> m_levels;
    quint32 m_levelsKind = 0;           // of the frames m_levels decodes: 1 MPEG audio, 2 ADTS
    std::deque<qint64> m_awaitingLevel; // numbers of frames given to the decoder, oldest first
    qint64 m_frameBase = 0;             // number of m_frames.front(): frames dropped before it
    std::deque<Change> m_changes;
    std::vector<Piece> m_out;
};

} // namespace engine
