// Reading what an input holds: its streams and the picture's facts, as
// ffprobe's flat report gives them, into MediaInfo.
#pragma once

#include <string>

#include "probe.h"

// Probes `inputName` (as ffmpeg opens it: "file:..."; `sequence` when it
// names numbered pictures). 0 when it was read, with `m` filled (the picture
// may still be missing: videoIndex < 0); otherwise the exit status of the
// failed probe, with `lastError` the last thing the prober said.
int probeMedia(const std::string& inputName, bool sequence, MediaInfo& m, std::string& lastError);
