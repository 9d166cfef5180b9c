// Addresses from users, playlists and redirects: splitting never fails
// unsafely, and what screening lets through builds a request of exactly the
// lines it should have.
#include "engine/streamrequest.h"
#include "fuzzcheck.h"
#include "sources/parsedurl.h"
#include "sources/playlistentries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);

    ParsedUrl uri(QByteArrayLiteral("http://before.example:8000/old"));
    if (uri.setUri(input)) {
        FUZZ_CHECK(input.isEmpty() || uri.text() == input);
        FUZZ_CHECK(!uri.host().contains('/'));
        FUZZ_CHECK(!uri.failed());
    } else {
        // A failed assignment keeps the previous address whole.
        FUZZ_CHECK(uri.host() == "before.example" && uri.port() == 8000 && uri.path() == "/old");
        FUZZ_CHECK(uri.failed() && !uri.errorText().isEmpty());
    }

    if (const std::optional<sources::PlaylistEntry> entry = sources::screenEntry(input)) {
        FUZZ_CHECK(!entry->host.isEmpty());
        FUZZ_CHECK(fuzz::requestSafe(entry->host) && fuzz::requestSafe(entry->path) &&
                   fuzz::requestSafe(entry->query) && fuzz::requestSafe(entry->port));
        const QByteArray request = buildStreamRequest(entry->host, entry->port, entry->path, entry->query, true, false);
        FUZZ_CHECK(request.count('\n') == 7 && request.count('\r') == 7 && !request.contains('\0'));
    }
    // Whatever the values, the request keeps its own lines only.
    const qsizetype third = input.size() / 3;
    const QByteArray raw =
        buildStreamRequest(input.left(third), input.mid(third, third), input.mid(2 * third), input, false, true);
    FUZZ_CHECK(raw.count('\n') == 7 && raw.count('\r') == 7 && !raw.contains('\0'));
    return 0;
}
