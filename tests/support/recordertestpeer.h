#pragma once

#include "engine/recorder.h"

// What tests and benchmarks drive or look at inside a recorder, beyond its
// commands, status and signals: inside(engine).serverNumber().
class RecorderTestPeer
{
public:
    explicit RecorderTestPeer(Recorder &recorder)
        : r(recorder)
    {}

    // Every packet is handled as it arrives, so that a test that sends a few
    // bytes sees them taken in at once.
    void readEveryPacket() { r.m_options.readInBatches = false; }
    void readInBatches() { r.m_options.readInBatches = true; }
    int readThreshold() const { return r.m_stream->readThreshold(); }

    // Steps.
    void reload(Preset &draft) { r.reload(draft); }
    bool openFile(QString &fileToLoad, Preset &draft) { return r.openFile(fileToLoad, draft); }
    bool openFile(QString &&fileToLoad, Preset &draft) { return r.openFile(fileToLoad, draft); }
    void addServer(const QByteArray &host, const QByteArray &path, const QByteArray &port, const QByteArray &query,
                   bool secure = false)
    {
        r.addServer(host, path, port, query, secure);
    }
    void replaceServer(qint32 number, const StreamServer &server) { r.replaceServer(number, server); }
    void clearServers() { r.clearServers(); }
    void beginRecording(const Preset &preset) { r.beginRecording(preset); }
    void superviseTick() { r.superviseTick(); }
    void applyExitRule(bool failed = false) { r.applyExitRule(failed); }
    void setAutomaticSupervision(bool on) { r.setAutomaticSupervision(on); }
    void setStartedFromSetupWindow(bool on) { r.setStartedFromSetupWindow(on); }
    void setExitOnWriteFailure(bool exit) { r.setExitOnWriteFailure(exit); }
    void setShowsWindows(bool shows) { r.setShowsWindows(shows); }

    // State.
    const platform::TrayState &trayState() const { return r.trayState(); }
    bool hasTrayIcon() const { return r.hasTrayIcon(); }
    const QString &caption() const { return r.caption(); }
    bool isPaused() const { return r.isPaused(); }
    bool isListening() const { return r.isListening(); }
    bool isTitleMode() const { return r.isTitleMode(); }
    bool isConnecting() const { return r.isConnecting(); }
    const QByteArray &songName() const { return r.songName(); }
    const QByteArray &pendingFileName() const { return r.pendingFileName(); }
    const QByteArray &responseHeader() const { return r.responseHeader(); }
    qint32 bitRate() const { return r.bitRate(); }
    qint32 serverNumber() const { return r.serverNumber(); }
    const QList<StreamServer> &servers() const { return r.servers(); }
    qint32 byteCount() const { return r.byteCount(); }
    // The supervisor's view: time-outs in a row, and when the elapsed clock
    // started and the last data came, in monotonic milliseconds.
    qint32 retryCount() const { return r.m_supervisor->retryCount(); }
    qint64 recordStartTick() const { return r.m_supervisor->recordStart(); }
    qint64 lastDataTick() const { return r.m_supervisor->lastDataTick(); }
    bool isServerChangePending() const { return r.isServerChangePending(); }
    bool isFileOpen() const { return r.isFileOpen(); }
    QString recordingFilePath() const { return r.recordingFilePath(); }
    bool isAwaitingHeader() const { return r.isAwaitingHeader(); }
    bool isInOutage() const { return r.m_supervisor->inOutage(); }
    qint64 repeatedBytesSkipped() const { return r.repeatedBytesSkipped(); }
    qint32 reconnectCount() const { return r.reconnectCount(); }
    engine::StreamType streamType() const { return r.streamType(); }
    const MetadataParser &metadataParser() const { return r.metadataParser(); }
    const PreviewRelay &relay() const { return r.relay(); }
    Live365Reader &live365Reader() const { return r.live365Reader(); }
    bool startedFromSetupWindow() const { return r.startedFromSetupWindow(); }
    bool isPausedStart() const { return r.isPausedStart(); }
    const engine::RecordingClock &recordingClock() const { return r.recordingClock(); }

private:
    Recorder &r;
};

inline RecorderTestPeer inside(Recorder &recorder)
{
    return RecorderTestPeer(recorder);
}

inline RecorderTestPeer inside(Recorder *recorder)
{
    return RecorderTestPeer(*recorder);
}
