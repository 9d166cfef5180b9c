#pragma once

#include <QByteArray>
#include <QtGlobal>

// Bytes that stand in for audio: the same seed gives the same bytes, and they
// are unlikely to hold a header or a title by chance.
inline QByteArray noise(qsizetype n, quint32 seed)
{
    QByteArray bytes(n, '\0');
    quint32 x = seed * 2654435761u + 1;
    for (auto &b : bytes) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<char>(x >> 24);
    }
    return bytes;
}

// One metadata block of an ICY stream: its length in 16-byte rows, the text and
// the padding (an empty text is the single zero byte).
inline QByteArray metadataBlock(const QByteArray &text)
{
    const qsizetype rows = (text.size() + 15) / 16;
    return QByteArray(1, static_cast<char>(rows)) + text + QByteArray(rows * 16 - text.size(), '\0');
}

// The block that announces a title (an empty title announces nothing).
inline QByteArray titleBlock(const QByteArray &title)
{
    return metadataBlock(title.isEmpty() ? QByteArray() : "StreamTitle='" + title + "';");
}
