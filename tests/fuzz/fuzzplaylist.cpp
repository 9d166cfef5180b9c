// Playlists from stations: any text gives entries that are http or https,
// safe for a request line, and never more entries than the text has lines.
#include "fuzzcheck.h"
#include "sources/playlistentries.h"

namespace
{

void checkEntries(const QList<QByteArray> &addresses, const QByteArray &text)
{
    FUZZ_CHECK(addresses.size() <= text.count('\n') + text.count('\r') + 1);
    for (const QByteArray &address : addresses) {
        FUZZ_CHECK(!address.contains('\r') && !address.contains('\n'));
        const std::optional<sources::PlaylistEntry> entry = sources::screenEntry(address);
        if (!entry)
            continue;
        FUZZ_CHECK(fuzz::requestSafe(entry->host) && fuzz::requestSafe(entry->path) && fuzz::requestSafe(entry->query));
        QByteArray lower = address.trimmed().toLower();
        lower.replace('\\', '/');
        // An address that opens with a scheme opens with http or https.
        const qsizetype scheme = lower.indexOf("://");
        if (scheme >= 0 && scheme == lower.indexOf(':') && scheme == lower.indexOf('/') - 1)
            FUZZ_CHECK(lower.startsWith("http://") || lower.startsWith("https://"));
        if (entry->secure)
            FUZZ_CHECK(lower.startsWith("https:"));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text = fuzz::bytes(data, size);
    checkEntries(sources::m3uAddresses(text), text);
    checkEntries(sources::plsAddresses(text), text);
    FUZZ_CHECK(sources::hasPlsEntries(text) == !sources::plsAddresses(text).isEmpty());
    if (const std::optional<QByteArray> title = sources::plsTitle(text))
        FUZZ_CHECK(!title->contains('\n') && !title->contains('\r'));
    sources::isHlsPlaylist(text);
    return 0;
}
