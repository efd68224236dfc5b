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

// Counts one pixel into one of the partial sets, a byte load per channel
// (measured faster than one word load and shifts); `alpha` false leaves the
// alpha channel to the caller.
inline void countBytes(std::uint32_t (&h)[4][256], const std::uint8_t* p, bool alpha) {
    ++h[kBlue][p[0]];
    ++h[kGreen][p[1]];
    ++h[kRed][p[2]];
    if (alpha) ++h[kAlpha][p[3]];
}

// Adds a run of n pixels equal to p.
inline void countRun(std::uint32_t (&h)[4][256], std::uint32_t p, std::uint32_t n) {
    h[kBlue][p & 0xFF] += n;
    h[kGreen][(p >> 8) & 0xFF] += n;
    h[kRed][(p >> 16) & 0xFF] += n;
    h[kAlpha][p >> 24] += n;
}

// The histogram count over blocks of `Block` pixels, for the vector
// versions. sameAsFirst(pixels, word) tells whether a block's pixels all
// equal `word`; sameAlpha(pixels, word) whether their alpha bytes all equal
// the top byte of `word`.
//   - A block equal to its first pixel starts a run, which goes on over
//     every following equal block and is counted as one addition of its
//     length per channel: flat backgrounds, title cards and letterbox bars
//     cost almost nothing.
//   - Otherwise, when the block's alpha equals the frame's first alpha (video
//     carries one alpha throughout), only blue, green and red are counted
//     per pixel and alpha once per block; else all four.
//   - Pixels go to the four partial histograms in turn, so that equal values
//     in a row do not make each increment wait for the last.
template <int Block, typename SameAsFirst, typename SameAlpha>
void countBlocks(const FrameView& frame, std::uint32_t (*histogram)[256], SameAsFirst sameAsFirst,
                 SameAlpha sameAlpha) {
    PartialHistograms& parts = partialHistograms();
    std::memset(parts.counts, 0, sizeof parts.counts);
    std::uint32_t(&h)[4][256] = parts.counts[0];
    const std::uint32_t alphaWord = loadPixel(frameRowBytes(frame, 0)) & 0xFF000000u;
    std::uint32_t alphaCount = 0;
    for (std::int32_t r = 0; r < frame.height; ++r) {
        const std::uint8_t* row = frameRowBytes(frame, r);
        std::int32_t x = 0;
        while (x + Block <= frame.width) {
            const std::uint8_t* block = row + 4 * x;
            const std::uint32_t first = loadPixel(block);
            if (sameAsFirst(block, first)) {
                std::int32_t end = x + Block;
                while (end + Block <= frame.width && sameAsFirst(row + 4 * end, first))
                    end += Block;
                countRun(h, first, static_cast<std::uint32_t>(end - x));
                x = end;
                continue;
            }
            const bool alphaSame = sameAlpha(block, alphaWord);
            for (int j = 0; j < Block; j += 4) {
                countBytes(parts.counts[0], block + 4 * j, !alphaSame);
                countBytes(parts.counts[1], block + 4 * j + 4, !alphaSame);
                countBytes(parts.counts[2], block + 4 * j + 8, !alphaSame);
                countBytes(parts.counts[3], block + 4 * j + 12, !alphaSame);
            }
            if (alphaSame) alphaCount += Block;
            x += Block;
        }
        for (; x < frame.width; ++x) countBytes(h, row + 4 * x, true);
    }
    h[kAlpha][alphaWord >> 24] += alphaCount;
    addPartialHistograms(parts, histogram);
}
} // namespace

// The portable kernels, which the others fall back on.
void countPortable(const FrameView& frame, std::uint32_t (*histogram)[256]);
void mapPortable(const FrameView& input, const FrameView& output,
                 const std::uint8_t (*tables)[256]);
