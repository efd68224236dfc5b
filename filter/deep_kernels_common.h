// Pieces the deep kernel versions share (internal linkage, as in
// kernels_common.h: each file is compiled for its own instruction set).
#pragma once

#include <cstdint>
#include <cstring>

#include "chunk_walk.h"
#include "frame.h"
#include "kernels.h"

namespace {

constexpr std::ptrdiff_t kDeepChannelBins = 65536;

// A deep pixel as one little-endian word: blue in bits 0-15, green 16-31,
// red 32-47, alpha 48-63.
inline std::uint64_t loadDeepPixel(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Adds n pixels equal to p to the histograms at h (&histogram[0][0]); alpha
// only when `alpha`.
inline void countDeepRun(std::uint32_t* h, std::uint64_t p, std::uint32_t n, std::uint32_t top,
                         bool alpha) {
    h[kBlue * kDeepChannelBins + (std::uint32_t(p) & top)] += n;
    h[kGreen * kDeepChannelBins + (std::uint32_t(p >> 16) & top)] += n;
    h[kRed * kDeepChannelBins + (std::uint32_t(p >> 32) & top)] += n;
    if (alpha) h[kAlpha * kDeepChannelBins + (std::uint32_t(p >> 48) & top)] += n;
}

// Into histograms of Bins bins a channel.
template <bool Alpha, std::ptrdiff_t Bins = kDeepChannelBins, typename Count = std::uint32_t>
inline void countDeepPixel(Count* h, std::uint64_t p, std::uint32_t top) {
    // Indices of the machine's width: the channel's offset then goes into the
    // address, not into an addition.
    const std::uint64_t t = top;
    ++(h + kBlue * Bins)[p & t];
    ++(h + kGreen * Bins)[(p >> 16) & t];
    ++(h + kRed * Bins)[(p >> 32) & t];
    if (Alpha) ++(h + kAlpha * Bins)[(p >> 48) & t];
}

// Up to this depth (1024 bins) the odd pixels of the chunks counted pixel
// by pixel go to a second set of histograms: neighbours of slowly varying
// content often share a bin, and with two sets their increments do not wait
// on each other. Its counts are of 16 bits, 8 KiB that stay in the
// first-level cache beside the frame's bins (32-bit ones slowed noise down),
// and go into the histograms before any can wrap.
constexpr int kOddSetBits = 10;

struct DeepOddSet {
    static constexpr std::ptrdiff_t kBins = std::ptrdiff_t{1} << kOddSetBits;
    // Each chunk adds at most 16 to a count.
    static constexpr std::uint32_t kChunks = 0xFFFF / 16;
    std::uint16_t counts[4][kBins];
    std::uint32_t chunksLeft;

    void spill(std::uint32_t (*histogram)[65536], std::uint32_t bins) {
        for (int k = 0; k < 4; ++k)
            for (std::uint32_t i = 0; i < bins; ++i)
                histogram[k][i] += counts[k][i], counts[k][i] = 0;
        chunksLeft = kChunks;
    }
};

// Counts the 32 pixels of a chunk, eight at a time: a group whose pixels all
// repeat its first as one addition of 8, any other pixel by pixel (the odd
// ones into `odd` where there is one). `repeats` is the inspection's mask.
template <bool Alpha, bool Odd>
inline void countDeepChunkPixels(std::uint32_t* h, DeepOddSet* odd, const std::uint8_t* p,
                                 std::uint32_t repeats, std::uint32_t top) {
    for (int i = 0; i < 32; i += 8, repeats >>= 8) {
        if ((repeats | 1) == (repeats | 0xFF)) {
            countDeepRun(h, loadDeepPixel(p + 8 * i), 8, top, Alpha);
            continue;
        }
        if (Odd) {
            for (int j = i; j < i + 8; j += 2) {
                countDeepPixel<Alpha>(h, loadDeepPixel(p + 8 * j), top);
                countDeepPixel<Alpha, DeepOddSet::kBins>(&odd->counts[0][0],
                                                         loadDeepPixel(p + 8 * j + 8), top);
            }
        } else {
            for (int j = i; j < i + 8; ++j) countDeepPixel<Alpha>(h, loadDeepPixel(p + 8 * j), top);
        }
    }
}

// The deep histogram count over chunks of 32 pixels, for the vector
// versions: the 8-bit count's walk (chunk_walk.h) with 64-bit pixels.
//   - A chunk with fewer repeats is counted pixel by pixel (groups of eight
//     repeats at once); when its alpha equals the frame's first alpha
//     (video carries one alpha throughout), alpha is counted once for the
//     chunk.
//   - With FourthByte::kept no alpha is read: every pixel adds to alpha 0
//     in one addition at the end.
//   - With Odd, up to kOddSetBits, the odd pixels of the chunks counted
//     pixel by pixel go to a DeepOddSet.
template <bool Odd>
struct DeepChunkCounter {
    using Pixel = std::uint64_t;
    static constexpr int kBytes = 8;
    static Pixel load(const std::uint8_t* p) { return loadDeepPixel(p); }

    const DeepView& frame;
    const std::int32_t width, height;
    const bool kept;
    const std::uint32_t top;
    const std::uint64_t alphaWord;
    std::uint32_t* const h;
    std::uint32_t (*const histogram)[65536];
    std::uint64_t alphaCount = 0; // pixels of alpha alphaWord left out so far
    DeepOddSet& odd;              // apart from the counter, as the 8-bit partial sets

    DeepChunkCounter(const DeepView& f, std::uint32_t (*hist)[65536], FourthByte fourth,
                     DeepOddSet& o)
        : frame(f), width(f.width), height(f.height), kept(fourth == FourthByte::kept),
          top((1u << f.bits) - 1),
          alphaWord(loadDeepPixel(deepRowBytes(f, 0)) & 0xFFFF000000000000ull), h(&hist[0][0]),
          histogram(hist), odd(o) {}
    const std::uint8_t* row(std::int32_t r) const { return deepRowBytes(frame, r); }
    void run(Pixel p, std::uint32_t n) { countDeepRun(h, p, n, top, !kept); }
    void nextRun() {}
    void chunk(const std::uint8_t* p, std::uint32_t repeats, bool alphaSame) {
        if (alphaSame || kept) {
            countDeepChunkPixels<false, Odd>(h, &odd, p, repeats, top);
            alphaCount += 32; // unread when kept
        } else {
            countDeepChunkPixels<true, Odd>(h, &odd, p, repeats, top);
        }
        if (Odd && --odd.chunksLeft == 0) odd.spill(histogram, top + 1);
    }
    void tail(const std::uint8_t* r, std::int32_t x) {
        for (; x < width; ++x) {
            if (kept)
                countDeepPixel<false>(h, loadDeepPixel(r + 8 * x), top);
            else
                countDeepPixel<true>(h, loadDeepPixel(r + 8 * x), top);
        }
    }
};

template <bool Odd, typename AllEqual, typename Inspect>
void countDeepChunksWith(const DeepView& frame, std::uint32_t (*histogram)[65536],
                         FourthByte fourth, AllEqual allEqual, Inspect inspect) {
    DeepOddSet odd;
    if (Odd) std::memset(&odd, 0, sizeof odd), odd.chunksLeft = DeepOddSet::kChunks;
    DeepChunkCounter<Odd> c(frame, histogram, fourth, odd);
    walkChunks(c, allEqual, inspect);
    if (Odd) odd.spill(histogram, c.top + 1);
    if (c.kept)
        histogram[kAlpha][0] +=
            static_cast<std::uint32_t>(std::uint64_t(frame.width) * std::uint64_t(frame.height));
    else
        histogram[kAlpha][std::uint32_t(c.alphaWord >> 48) & c.top] +=
            static_cast<std::uint32_t>(c.alphaCount);
}

template <typename AllEqual, typename Inspect>
void countDeepChunks(const DeepView& frame, std::uint32_t (*histogram)[65536], FourthByte fourth,
                     AllEqual allEqual, Inspect inspect) {
    if (frame.bits <= kOddSetBits)
        countDeepChunksWith<true>(frame, histogram, fourth, allEqual, inspect);
    else
        countDeepChunksWith<false>(frame, histogram, fourth, allEqual, inspect);
}

// How a map writes each channel of a deep frame: looked up in its table, or
// as a constant (a channel all of whose pixels hold one value), or as read
// (a kept alpha).
struct DeepPlan {
    bool lookUp[4];
    bool keepAlpha;
    std::uint64_t fixed; // the constants in their places, 0 elsewhere
};

inline DeepPlan planDeepMap(const std::uint16_t (*tables)[65536], const DeepChannelValues& values) {
    DeepPlan plan = {};
    plan.keepAlpha = values.fourthKept;
    for (int k = 0; k < 4; ++k) {
        if (k == kAlpha && plan.keepAlpha) continue;
        plan.lookUp[k] = values.single[k] < 0;
        if (!plan.lookUp[k])
            plan.fixed |= std::uint64_t(tables[k][values.single[k]]) << (16 * (3 - k));
    }
    return plan;
}

} // namespace
