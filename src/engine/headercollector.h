#pragma once

#include <QByteArray>

// Gathers a stream server's response header when it arrives in several
// packets, so that it can be acted on as if it had come whole: everything up to
// and including the blank line that ends it, plus whatever audio came with the
// last piece. A reply that reaches kLimit bytes without a blank line is no
// stream header at all: ended() then tells the caller to refuse it.
class HeaderCollector final
{
public:
    static constexpr qsizetype kLimit = 16 * 1024;

    // Adds a packet. True when the collected bytes are ready to be acted on.
    bool add(const QByteArray &packet);

    // The blank line that ends a header has arrived.
    bool ended() const { return m_ended; }

    // The bytes gathered so far (the text that screening looks at).
    const QByteArray &collected() const { return m_collected; }

    // Hands over the collected bytes and starts empty again.
    QByteArray take();

    void clear()
    {
        m_collected.clear();
        m_ended = false;
    }

private:
    QByteArray m_collected;
    bool m_ended = false;
};
