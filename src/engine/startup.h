#pragma once

// Process exit statuses.
inline constexpr int kExitNormal = 0;
inline constexpr int kExitStartFailed = 1;     // a command-line start failed
inline constexpr int kExitWriteFailed = 1;     // a recording could not write its file
inline constexpr int kExitRecordingFailed = 1; // nothing could be recorded, or the recording ended on a failure

// The "Advanced" value of Kestrane.ini is kept as a whole number (empty or not a
// number gives 0) and written back, so that the key exists after every start.
void keepAdvancedValue();
