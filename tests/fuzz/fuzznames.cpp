// Names made from station titles: whatever the title, the file stays in the
// recording folder and fits a Linux file name.
#include "engine/recordingnames.h"
#include "engine/streamtitle.h"
#include "fuzzcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int copy = 1 + data[0] % 4;
    const QByteArray title = fuzz::bytes(data + 1, size - 1);

    const QByteArray cleaned = cleanFileName(title);
    FUZZ_CHECK(!cleaned.contains('/') && !cleaned.contains('\0') && !cleaned.contains('\\'));

    const QString name = engine::recordingFileName(title + ".mp3", copy);
    FUZZ_CHECK(!name.contains(QLatin1Char('/')) && !name.contains(QChar(0)));
    FUZZ_CHECK(name.toUtf8().size() <= engine::kMaxFileNameBytes);
    FUZZ_CHECK(!name.startsWith(QLatin1Char('.')) && !name.startsWith(QLatin1Char(' ')));
    engine::archiveDate(title);
    return 0;
}
