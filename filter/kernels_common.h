// Pieces the kernel versions share.
#pragma once

#include <cstdint>
#include <cstring>

#include "chunk_walk.h"
#include "frame.h"
#include "kernels.h"

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
// the end. The sets stand 4 KiB + 64 bytes apart: at exactly 4 KiB, the
// increments of an equal value in two neighbouring sets share their low
// twelve address bits, and the CPU holds each load back behind the other
// set's store as if they were one address. A count keeps them on its own
// stack (17 KiB), so counts on several threads never share them, and the
// 32-bit build addresses them from the stack pointer without a register
// of their own.
struct PartialHistograms {
    struct Set {
        std::uint32_t counts[4][256];
        std::uint8_t gap[64];
    };
    Set sets[4];
};

namespace {
inline void clearPartialHistograms(PartialHistograms& parts) {
    for (auto& set : parts.sets) std::memset(set.counts, 0, sizeof set.counts);
}

inline void addPartialHistograms(const PartialHistograms& parts, std::uint32_t (*histogram)[256]) {
    for (int k = 0; k < 4; ++k)
        for (int v = 0; v < 256; ++v)
            histogram[k][v] += parts.sets[0].counts[k][v] + parts.sets[1].counts[k][v] +
                               parts.sets[2].counts[k][v] + parts.sets[3].counts[k][v];
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

// Adds a run of n pixels equal to p, whose alpha is (p & alphaMask) >> 24.
inline void countRun(std::uint32_t (&h)[4][256], std::uint32_t p, std::uint32_t n,
                     std::uint32_t alphaMask) {
    h[kBlue][p & 0xFF] += n;
    h[kGreen][(p >> 8) & 0xFF] += n;
    h[kRed][(p >> 16) & 0xFF] += n;
    h[kAlpha][(p & alphaMask) >> 24] += n;
}

// Counts the 32 pixels of a chunk, eight at a time: a group whose pixels all
// repeat its first as one run (the gaps between the letters of a title), any
// other pixel by pixel, pixel i into set i % 4, a byte load per channel.
// (Two sets, or two pixels per 64-bit load taken apart by shifts, measured
// no faster in either build.) `repeats` is inspect's mask.
template <bool Alpha>
inline void countChunkPixels(PartialHistograms& parts, const std::uint8_t* p,
                             std::uint32_t repeats) {
    for (int i = 0; i < 32; i += 8, repeats >>= 8) {
        if ((repeats | 1) == (repeats | 0xFF)) {
            std::uint32_t(&h)[4][256] = parts.sets[i >> 3].counts;
            h[kBlue][p[4 * i]] += 8;
            h[kGreen][p[4 * i + 1]] += 8;
            h[kRed][p[4 * i + 2]] += 8;
            if (Alpha) h[kAlpha][p[4 * i + 3]] += 8;
            continue;
        }
        for (int j = i; j < i + 8; j += 4) {
            countBytes(parts.sets[0].counts, p + 4 * j, Alpha);
            countBytes(parts.sets[1].counts, p + 4 * j + 4, Alpha);
            countBytes(parts.sets[2].counts, p + 4 * j + 8, Alpha);
            countBytes(parts.sets[3].counts, p + 4 * j + 12, Alpha);
        }
    }
}

// The histogram count over chunks of 32 pixels, for the vector versions
// (the walk: chunk_walk.h).
//   - A chunk with fewer repeats (noise, grain, text) is counted eight
//     pixels at a time (see countChunkPixels), over the four partial sets in
//     turn, so that equal values in a row do not make each increment wait
//     for the last; when its alpha equals the frame's first alpha (video
//     carries one alpha throughout), alpha is counted once for the chunk.
//     Runs, too, go to the partial sets in turn.
//   - With FourthByte::kept every alpha counts as 0: runs add to alpha 0,
//     and the chunks and the row ends leave alpha to one addition at the
//     end. (Runs still end where the fourth byte changes: real alpha varies
//     along with the picture.)
struct ByteChunkCounter {
    using Pixel = std::uint32_t;
    static constexpr int kBytes = 4;
    static Pixel load(const std::uint8_t* p) { return loadPixel(p); }

    const FrameView& frame;
    const std::int32_t width, height;
    const bool kept;
    const std::uint32_t alphaMask, alphaWord;
    std::uint32_t alphaCount = 0; // pixels of alpha alphaWord >> 24 left out so far
    int set = 0;                  // the partial set of the next run
    PartialHistograms& parts;     // apart from the counter, whose fields its stores would reload

    ByteChunkCounter(const FrameView& f, FourthByte fourth, PartialHistograms& p)
        : frame(f), width(f.width), height(f.height), kept(fourth == FourthByte::kept),
          alphaMask(kept ? 0 : 0xFF000000u),
          alphaWord(loadPixel(frameRowBytes(f, 0)) & alphaMask), parts(p) {}
    const std::uint8_t* row(std::int32_t r) const { return frameRowBytes(frame, r); }
    void run(Pixel p, std::uint32_t n) { countRun(parts.sets[set].counts, p, n, alphaMask); }
    void nextRun() { set = (set + 1) & 3; }
    void chunk(const std::uint8_t* p, std::uint32_t repeats, bool alphaSame) {
        if (alphaSame || kept) {
            countChunkPixels<false>(parts, p, repeats);
            alphaCount += 32;
        } else {
            countChunkPixels<true>(parts, p, repeats);
        }
    }
    void tail(const std::uint8_t* r, std::int32_t x) {
        if (kept) alphaCount += static_cast<std::uint32_t>(width - x);
        for (; x < width; ++x) countBytes(parts.sets[x & 3].counts, r + 4 * x, !kept);
    }
};

template <typename AllEqual, typename Inspect>
void countChunks(const FrameView& frame, std::uint32_t (*histogram)[256], FourthByte fourth,
                 AllEqual allEqual, Inspect inspect) {
    PartialHistograms parts;
    clearPartialHistograms(parts);
    ByteChunkCounter c(frame, fourth, parts);
    walkChunks(c, allEqual, inspect);
    parts.sets[0].counts[kAlpha][c.alphaWord >> 24] += c.alphaCount;
    addPartialHistograms(parts, histogram);
}
} // namespace

// The portable kernels, which the others fall back on.
void countPortable(const FrameView& frame, std::uint32_t (*histogram)[256], FourthByte fourth);
void mapPortable(const FrameView& input, const FrameView& output, const std::uint8_t (*tables)[256],
                 const ChannelValues& values, MapCache& cache);

// The portable deep kernels, which the others fall back on.
void countDeepPortable(const DeepView& frame, std::uint32_t (*histogram)[65536],
                       FourthByte fourth);
void mapDeepPortable(const DeepView& frame, const std::uint16_t (*tables)[65536],
                     const DeepChannelValues& values);

void countDeepPlanesPortable(const DeepPlanes& frame, std::uint32_t (*histogram)[65536],
                             FourthByte fourth);
void mapDeepPlanesPortable(const DeepPlanes& frame, const std::uint16_t (*tables)[65536],
                           const DeepChannelValues& values);

// The x86 deep kernels, each in a file of its own instruction set.
void countDeepAvx2(const DeepView& frame, std::uint32_t (*histogram)[65536], FourthByte fourth);
void mapDeepAvx2(const DeepView& frame, const std::uint16_t (*tables)[65536],
                 const DeepChannelValues& values);
void countDeepAvx512(const DeepView& frame, std::uint32_t (*histogram)[65536], FourthByte fourth);
void mapDeepAvx512(const DeepView& frame, const std::uint16_t (*tables)[65536],
                   const DeepChannelValues& values);
void countDeepPlanesAvx2(const DeepPlanes& frame, std::uint32_t (*histogram)[65536],
                         FourthByte fourth);
void mapDeepPlanesAvx2(const DeepPlanes& frame, const std::uint16_t (*tables)[65536],
                       const DeepChannelValues& values);
