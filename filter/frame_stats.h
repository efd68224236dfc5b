// The state of frame runs: per-frame statistics, lookup tables and the
// maps' cache. Each frame run rebuilds what it uses; only the peak shares
// that the overlay prints may come from an earlier frame.
//
// The video host's edition keeps one state for every instance
// (sharedFrameState, under the frame-state lock), as its host expects: the
// overlay's peak shares carry over from instance to instance. A host that
// gives each instance a state of its own (the frei0r edition) runs frames of
// different instances at once without waiting on each other.
#pragma once

#include <cstdint>

#include "kernels.h"

struct FrameStats {
    std::uint32_t histogram[4][256]; // [channel][value] = pixel count
    // Clip points, unsigned 32-bit words with wrap-around (a highClip of -1
    // reads as 4294967295 in the arithmetic and prints as -1).
    std::uint32_t lowClip[4];
    std::uint32_t highClip[4];
    std::int32_t w_min;    // smallest colour-channel range, 0..256
    std::uint32_t redPeak; // share of the most frequent value, in 1/256 of the pixels
    std::uint32_t greenPeak;
    std::uint32_t bluePeak;
};

struct FrameState {
    FrameStats stats;
    std::uint8_t channelTable[4][256]; // [channel][input value] = output value
    std::uint8_t toneTable[256];
    // Apart from the rest, so that a constant-initialised state keeps the
    // cache's 256 KiB out of the plug-in file.
    MapCache* mapCache;
};

// The video host's edition's state, constant-initialised: nothing runs at
// load time.
extern FrameState sharedFrameState;

// The two's-complement reading of a 32-bit word (a highClip of 4294967295
// reads as -1), without the implementation-defined narrowing conversion.
inline std::int32_t signedWord(std::uint32_t u) {
    return u <= 0x7FFFFFFFu ? static_cast<std::int32_t>(u) : -static_cast<std::int32_t>(~u) - 1;
}
