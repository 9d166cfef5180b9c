#include "engine/streamtitle.h"

#include <QStringBuilder>

namespace
{
const QByteArray kTitleKey = QByteArrayLiteral("StreamTitle='");
} // namespace

QByteArray extractStreamTitle(const QByteArray &text)
{
    const qsizetype key = text.toLower().indexOf(kTitleKey.toLower());
    if (key < 0)
        return QByteArrayLiteral(".mp3");
    const qsizetype start = key + kTitleKey.size();
    // The last character is the end of the scan and is never part of the title.
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
