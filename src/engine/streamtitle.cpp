#include "engine/streamtitle.h"

#include <QStringDecoder>

namespace
{
const QByteArray kTitleKey = QByteArrayLiteral("StreamTitle='");

// Windows-1252 where it differs from Latin-1 (0x80 to 0x9F); the five bytes
// it leaves undefined keep their Latin-1 code points.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};
} // namespace

QByteArray extractStreamTitle(const QByteArray &text)
{
    const qsizetype key = text.toLower().indexOf(kTitleKey.toLower());
    if (key < 0)
        return QByteArrayLiteral(".mp3");
    const qsizetype start = key + kTitleKey.size();
    const qsizetype close = text.indexOf("';", start);
    if (close >= 0)
        return text.mid(start, close - start) + QByteArrayLiteral(".mp3");

    // A block cut short: the last character is the end of the scan and is never
    // part of the title.
    qsizetype stop = start;
    const qsizetype last = text.size() - 1;
    while (stop < last && text.at(stop) != '\'' && text.at(stop) != ';')
        ++stop;
    if (stop < start)
        stop = start;
    return text.mid(start, stop - start) + QByteArrayLiteral(".mp3");
}

QByteArray cleanFileName(const QByteArray &name)
{
    static const char kForbidden[] = {'|', '>', '<', '"', '?', '*', ':', '/', '\\', '\0'};
    QByteArray cleaned;
    cleaned.reserve(name.size());
    for (const char c : name) {
        bool forbidden = false;
        for (const char f : kForbidden) {
            if (c == f) {
                forbidden = true;
                break;
            }
        }
        if (!forbidden)
            cleaned.append(c);
    }
    return cleaned;
}

QString decodeTitle(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    text.clear();
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text.append(QChar(byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : char16_t(byte)));
    }
    return text;
}
