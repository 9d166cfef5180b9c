// Directory replies: any JSON (or none) gives at most one page of stations,
// each with an address.
#include "fuzzcheck.h"
#include "sources/stationdirectory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    bool ok = false;
    const QList<DirectoryStation> stations = StationDirectory::parseStations(fuzz::bytes(data, size), &ok);
    FUZZ_CHECK(ok || stations.isEmpty());
    FUZZ_CHECK(stations.size() <= StationDirectory::kPageSize);
    for (const DirectoryStation &station : stations)
        FUZZ_CHECK(!station.url.isEmpty());
    return 0;
}
