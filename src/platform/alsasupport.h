#pragma once

namespace platform
{

// Keeps the ALSA library from printing its own diagnostics to stderr: a missing
// sound card is an ordinary condition here (servers, CI), reported by return values.
void silenceAlsaDiagnostics();

} // namespace platform
