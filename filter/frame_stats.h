// Module-wide per-frame statistics and lookup tables, shared by every
// instance of the filter. Each frame run rebuilds what it uses; only the
// peak shares that the overlay prints may come from an earlier frame.
#pragma once

#include <cstdint>

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

extern FrameStats frameStats;

// The two's-complement reading of a 32-bit word (a highClip of 4294967295
// reads as -1), without the implementation-defined narrowing conversion.
inline std::int32_t signedWord(std::uint32_t u) {
    return u <= 0x7FFFFFFFu ? static_cast<std::int32_t>(u) : -static_cast<std::int32_t>(~u) - 1;
}
extern std::uint8_t channelTable[4][256]; // [channel][input value] = output value
extern std::uint8_t toneTable[256];
