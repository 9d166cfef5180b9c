#pragma once

#include "engine/recorder.h"

// What tests and benchmarks look at or set inside a recorder, beyond its
// commands, status and signals.
class RecorderTestPeer
{
public:
    explicit RecorderTestPeer(Recorder &recorder)
        : m_recorder(recorder)
    {}

    // Every packet is handled as it arrives, so that a test that sends a few
    // bytes sees them taken in at once.
    void readEveryPacket() { m_recorder.m_options.readInBatches = false; }
    void readInBatches() { m_recorder.m_options.readInBatches = true; }
    int readThreshold() const { return m_recorder.m_stream->readThreshold(); }

private:
    Recorder &m_recorder;
};
