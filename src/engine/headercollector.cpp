#include "engine/headercollector.h"

#include <algorithm>

bool HeaderCollector::add(const QByteArray &packet)
{
    // The blank line may itself be split between packets, so search a few bytes
    // back into what was already there.
    const qsizetype from = std::max<qsizetype>(m_collected.size() - 3, 0);
    m_collected.append(packet);
    m_ended = m_ended || m_collected.indexOf("\r\n\r\n", from) >= 0;
    return m_ended || m_collected.size() >= kLimit;
}

QByteArray HeaderCollector::take()
{
    QByteArray whole;
    whole.swap(m_collected);
    m_ended = false;
    return whole;
}
