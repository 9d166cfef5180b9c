#pragma once

#include <QByteArray>

// Gathers a stream server's response header when it arrives in several
// packets, so that it can be acted on as if it had come whole: everything up to
// and including the blank line that ends it, plus whatever audio came with the
// last piece. A server that sends no blank line at all (a bare stream) is given
// up on after kLimit bytes, and what was gathered is then taken as it is.
class HeaderCollector final
{
public:
    static constexpr qsizetype kLimit = 16 * 1024;

    // Adds a packet. True when the collected bytes are ready to be acted on.
    bool add(const QByteArray &packet);

    // The bytes gathered so far (the text that screening looks at).
    const QByteArray &collected() const { return m_collected; }

    // Hands over the collected bytes and starts empty again.
    QByteArray take();

    void clear() { m_collected.clear(); }

private:
    QByteArray m_collected;
};
