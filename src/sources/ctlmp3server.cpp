#include "sources/ctlmp3server.h"

// Buffering half of the relay; the listening socket, the player connection and
// the send timer are added with the player.

ctlMP3Server::ctlMP3Server(QObject *parent)
    : QObject(parent)
{
}

ctlMP3Server::~ctlMP3Server() = default;

void ctlMP3Server::PushData(const QByteArray &lInData)
{
    m_pending.append(lInData);
}

void ctlMP3Server::StartPreviewing()
{
    blnEnablePreviewStream = true;
}

void ctlMP3Server::StopPreviewing()
{
    blnEnablePreviewStream = false;
    m_pending.clear();
}

void ctlMP3Server::SetVolume(qint32 lngVolume)
{
    lSetVolume = lngVolume;
}
