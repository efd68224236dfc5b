// The deep route's middle: velmor between the decoding ffmpeg and the
// encoding one, correcting 16-bit frames as they pass.
//
// The decoding ffmpeg writes NUT (nut_reader.h) of planar 16-bit frames,
// straight from its one conversion; each frame's planes are corrected in
// place at 16 bits (an alpha plane, where the picture has one, kept as it
// is) and every other byte passes unchanged, so the encoding ffmpeg reads
// the decoder's timestamps, start offset, aspect ratio and frame count as
// written, and converts once.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>

#include "settings.h"

struct DeepPumpResult {
    bool ok = true;
    std::string error; // what went wrong, when not ok
    long frames = 0;   // frames corrected
    // The decoder's stream was refused for what it holds (not cut short,
    // not left unread by the encoder, not stopped): velmor's reason, which
    // the decoder's complaint of a closed pipe only follows from.
    bool refused = false;
};

// Copies the stream from `in` to `out` until `in` ends, correcting every
// frame with `settings`, the clip points smoothed over `smoothingWindow`
// frames (0: each frame alone; the frames come in order). Stops with an
// error on a stream it cannot read as described above, or when `out`
// refuses the bytes (the encoder ended), or when `*stop` becomes non-zero.
DeepPumpResult pumpDeepFrames(int in, int out, const FilterSettings& settings,
                              int smoothingWindow, const volatile std::sig_atomic_t* stop);
