// Reading what an input holds: its streams and the picture's facts, read
// with libavformat in velmor's own process and written as ffprobe's flat
// report gives them, into MediaInfo (through parseProbe).
#pragma once

#include <string>

#include "probe.h"

// Probes `inputName` (as ffmpeg opens it: "file:..."; `sequence` when it
// names numbered pictures). 0 when it was read, with `m` filled (the picture
// may still be missing: videoIndex < 0); otherwise the exit status of the
// failed probe (1), with `lastError` what ffprobe would have said last
// ("file:x.jpg: Invalid data found when processing input"). Prints nothing.
int probeMedia(const std::string& inputName, bool sequence, MediaInfo& m, std::string& lastError);
