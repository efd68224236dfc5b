// The deep route's middle: velmor between the decoding ffmpeg and the
// encoding one, correcting 16-bit frames as they pass.
//
// The decoding ffmpeg writes fragmented QuickTime: top-level boxes of a
// 32-bit big-endian size (1: a 64-bit size follows the type) and a
// four-letter type; the picture's sample entry 'b64a' in the 'moov' box
// gives the frame size, and every 'mdat' box holds whole frames of width x
// height pixels, each four big-endian 16-bit samples alpha, red, green,
// blue. Every byte but the samples passes unchanged, so the encoding ffmpeg
// reads the decoder's timestamps, aspect ratio and frame count as written.
//
// A pixel's eight bytes reversed are the core's DeepPixel (blue, green,
// red, alpha, little-endian), so each frame is reversed pixel by pixel,
// corrected at 16 bits with its alpha kept as it is, and reversed back.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>

#include "settings.h"

struct DeepPumpResult {
    bool ok = true;
    std::string error; // what went wrong, when not ok
    long frames = 0;   // frames corrected
};

// Copies the stream from `in` to `out` until `in` ends, correcting every
// frame with `settings`, the clip points smoothed over `smoothingWindow`
// frames (0: each frame alone; the frames come in order). Stops with an error on a stream it cannot read
// as described above, or when `out` refuses the bytes (the encoder ended),
// or when `*stop` becomes non-zero.
DeepPumpResult pumpDeepFrames(int in, int out, const FilterSettings& settings,
                              int smoothingWindow, const volatile std::sig_atomic_t* stop);
