// Pieces the kernel versions share.
#pragma once

#include <cstdint>
#include <cstring>

#include "frame.h"

// The helpers have internal linkage: each kernel file is compiled for its
// own instruction set, and a shared inline copy could come from any of them.
namespace {

// A pixel as a little-endian word 0xAARRGGBB, from any alignment.
inline std::uint32_t loadPixel(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
inline void storePixel(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v), p[1] = std::uint8_t(v >> 8), p[2] = std::uint8_t(v >> 16),
    p[3] = std::uint8_t(v >> 24);
}

} // namespace

// Four sets of the four channel histograms, counted in turn and added up at
// the end. Module-wide, like the rest of the frame state: nothing is
// allocated per frame and the frame run is not reentrant.
struct PartialHistograms {
    std::uint32_t counts[4][4][256];
};
PartialHistograms& partialHistograms();

namespace {
inline void addPartialHistograms(const PartialHistograms& parts, std::uint32_t (*histogram)[256]) {
    for (int k = 0; k < 4; ++k)
        for (int v = 0; v < 256; ++v)
            histogram[k][v] += parts.counts[0][k][v] + parts.counts[1][k][v] +
                               parts.counts[2][k][v] + parts.counts[3][k][v];
}

// Counts one pixel into one of the partial sets; `alpha` false leaves the
// alpha channel to the caller.
inline void countPixel(std::uint32_t (&h)[4][256], std::uint32_t p, bool alpha = true) {
    ++h[kBlue][p & 0xFF];
    ++h[kGreen][(p >> 8) & 0xFF];
    ++h[kRed][(p >> 16) & 0xFF];
    if (alpha) ++h[kAlpha][p >> 24];
}

// Adds a run of n pixels equal to p.
inline void countRun(std::uint32_t (&h)[4][256], std::uint32_t p, std::uint32_t n) {
    h[kBlue][p & 0xFF] += n;
    h[kGreen][(p >> 8) & 0xFF] += n;
    h[kRed][(p >> 16) & 0xFF] += n;
    h[kAlpha][p >> 24] += n;
}
} // namespace

// The portable kernels, which the others fall back on.
void countPortable(const FrameView& frame, std::uint32_t (*histogram)[256]);
void mapPortable(const FrameView& input, const FrameView& output,
                 const std::uint8_t (*tables)[256]);
