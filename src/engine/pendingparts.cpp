// Operations of parts this build does not have yet. Start-up calls them at the
// right places; each tells the user plainly that it is missing and reports
// failure. The builds that add the parts replace these definitions.
#include "engine/frmmp3.h"
#include "platform/frontend.h"

namespace
{

bool notAvailable(const QString &what)
{
    platform::frontEnd().showMessage(what + QStringLiteral(" is not available in this build."));
    return false;
}

} // namespace

bool frmMP3::startPlaylistFileRead(const QString &)
{
    return notAvailable(QStringLiteral("Reading playlist files"));
}
