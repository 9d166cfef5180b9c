#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

#include "platform/audiooutput.h"
#include "teststation/framegenerator.h"
#include "teststation/mp3frame.h"

// Helpers for the tests of listening: MP3 frames and sound outputs.

// Whole MP3 frames from the test station's generator (128 kb/s, 44.1 kHz
// stereo, a steady tone at an eighth of full scale), cut at frame boundaries so
// that a test knows exactly how many frames it sent.
class Mp3Stream final
{
public:
    static constexpr qint64 kSamplesPerFrame = 1152;
    static constexpr int kSampleRate = 44100;
    // Average frame length at 128 kb/s and 44.1 kHz.
    static constexpr double kAverageFrameBytes = 144.0 * 128000 / 44100;

    QByteArray frames(int count)
    {
        QByteArray bytes;
        for (int i = 0; i < count; ++i) {
            QByteArray frame = m_generator.read(4);
            frame += m_generator.read(teststation::parseMp3FrameHeader(frame.constData())->frameLength - 4);
            bytes += frame;
        }
        return bytes;
    }

private:
    teststation::FrameGenerator m_generator;
};

// An output that cannot be opened, as on a machine without a sound card.
class NoSoundDevice final : public platform::AudioOutput
{
public:
    bool open() override { return false; }
    bool setFormat(int, int) override { return false; }
    qint64 framesWritable() override { return -1; }
    qint64 write(const qint16 *, qint64) override { return -1; }
    void close() override {}
    QString errorString() const override { return QStringLiteral("no sound card"); }
};
