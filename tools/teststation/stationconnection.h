#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

#include <functional>
#include <memory>

#include "teststation/stationconfig.h"

class QTcpSocket;
class QTimer;

namespace teststation
{

class AudioSource;
class Station;
struct ConnectionRecord;

// One client of the station: reads its request, then answers with a page or a
// stream; a page that keeps the connection open is followed by the next
// request. Internal to Station.
class StationConnection final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StationConnection)

public:
    StationConnection(Station &station, QTcpSocket *socket, int index);
    ~StationConnection() override;

    int index() const { return m_index; }
    // Closes the connection from the station's side.
    void drop();
    void abort();

Q_SIGNALS:
    void requestRead(int index);
    void finished(int index);

private:
    ConnectionRecord &record();
    void onReadyRead();
    void onDisconnected();
    void takeRequest();
    void answer(const QByteArray &request, const QByteArray &body);
    void servePage(Page page);
    void serveStream(const Stream &stream);
    void sendPieces(QList<QByteArray> pieces, int delayMs, std::function<void()> then);
    void write(const QByteArray &bytes);
    void pump();
    QByteArray nextChunk(qint64 maxAudio);
    QByteArray metadataBlock();
    QByteArray substituted(const QByteArray &text) const;

    Station &m_station;
    QTcpSocket *m_socket;
    int m_index;
    QByteArray m_request;
    bool m_busy = false;        // a request is being answered
    bool m_ignoreInput = false; // a stream or a closing page: no further requests
    bool m_closed = false;

    // Streaming state.
    Stream m_stream;
    std::unique_ptr<AudioSource> m_source;
    QTimer *m_paceTimer = nullptr;
    bool m_streaming = false;
    bool m_finished = false;
    bool m_metadata = false;
    qint64 m_sinceMeta = 0;
    qint64 m_audioSent = 0;
    qint64 m_bytesPerSecond = 16000;
    qint64 m_startMs = 0;
    bool m_announcedTitle = false;
    QByteArray m_lastTitle;
};

} // namespace teststation
