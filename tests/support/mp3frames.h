#pragma once

#include <QByteArray>

// Real MPEG-1 Layer III frames for tests: 128 kb/s, 44.1 kHz, 417 bytes each,
// 1152 samples per channel once decoded. A silent frame codes nothing; a tone
// frame codes one low spectral line per granule and channel, which decodes to
// a steady low-frequency signal of about a third of full scale.
namespace mp3frames
{

constexpr int kFrameBytes = 417;
constexpr int kSamplesPerFrame = 1152;
constexpr int kSampleRate = 44100;

QByteArray frame(int channels = 1, bool tone = true);
// count frames one after the other.
QByteArray frames(int count, int channels = 1, bool tone = true);

} // namespace mp3frames
