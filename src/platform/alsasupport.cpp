#include "platform/alsasupport.h"

#include <QtGlobal>

#include <alsa/asoundlib.h>

namespace platform
{

namespace
{
void ignoreAlsaMessage(const char *, int, const char *, int, const char *, ...) {}
} // namespace

void silenceAlsaDiagnostics()
{
    static const bool done = [] {
        snd_lib_error_set_handler(ignoreAlsaMessage);
        return true;
    }();
    Q_UNUSED(done);
}

} // namespace platform
