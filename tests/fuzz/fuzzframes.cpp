// Audio frames and title splits: any bytes, cut anywhere, with title changes
// anywhere, come out as the same bytes (a fragment in front of the first frame
// may be left out of the files, once); frames found lie inside the input and
// follow each other.
#include "engine/framescanner.h"
#include "engine/titlesplitter.h"
#include "fuzzcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // The first byte picks where the input is cut and whether pauses are sought,
    // the second how far apart title changes come.
    const QByteArray stream = fuzz::bytes(data + 2, size - 2);
    const qsizetype cut = stream.isEmpty() ? 0 : data[0] % (stream.size() + 1);
    const qsizetype every = 64 + data[1] * 16;

    engine::FrameScanner scanner;
    std::vector<engine::FrameScanner::Frame> frames;
    scanner.scan(stream.left(cut), 0, false, frames);
    scanner.scan(stream, 0, true, frames);
    FUZZ_CHECK(scanner.position() == stream.size());
    qint64 end = 0;
    for (const auto &frame : frames) {
        FUZZ_CHECK(frame.offset >= end && frame.header.length > 0);
        end = frame.offset + frame.header.length;
    }
    FUZZ_CHECK(end <= stream.size());

    engine::TitleSplitter splitter({(data[0] & 1) != 0, 2000});
    QByteArray out;
    QByteArray leftOut;
    bool tookBack = false;
    qint64 lastSplit = 0;
    const auto collect = [&] {
        for (const auto &piece : splitter.take()) {
            if (piece.leftOut) {
                FUZZ_CHECK(!tookBack && piece.takeBack == out.size());
                tookBack = true;
                out.chop(piece.takeBack);
                leftOut = piece.audio;
                continue;
            }
            FUZZ_CHECK(!piece.newFile ||
                       (piece.split.splitAt == leftOut.size() + out.size() && piece.split.splitAt >= lastSplit));
            if (piece.newFile)
                lastSplit = piece.split.splitAt;
            out += piece.audio;
        }
    };
    for (qsizetype at = 0; at < stream.size(); at += every) {
        splitter.addAudio(stream.mid(at, every));
        splitter.changeTitle("t");
        collect();
    }
    splitter.flush();
    collect();
    FUZZ_CHECK(leftOut + out == stream);
    return 0;
}
