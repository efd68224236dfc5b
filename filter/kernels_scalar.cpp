// Portable kernels.
//
// count: whole-pixel 32-bit loads, and four partial histograms taken in
// turn, so that runs of equal values (flat frames, constant alpha) do not
// make each increment wait for the one before it at the same counter.
// map: whole-pixel loads and stores, four table lookups per pixel.
#include <cstring>

#include "kernels.h"
#include "kernels_common.h"

void countPortable(const FrameView& frame, std::uint32_t (*histogram)[256]) {
    PartialHistograms& parts = partialHistograms();
    std::memset(parts.counts, 0, sizeof parts.counts);
    for (std::int32_t r = 0; r < frame.height; ++r) {
        const std::uint8_t* row = frameRowBytes(frame, r);
        std::int32_t x = 0;
        for (; x + 4 <= frame.width; x += 4) {
            for (int j = 0; j < 4; ++j) {
                const std::uint32_t p = loadPixel(row + 4 * (x + j));
                std::uint32_t(&h)[4][256] = parts.counts[j];
                ++h[kBlue][p & 0xFF];
                ++h[kGreen][(p >> 8) & 0xFF];
                ++h[kRed][(p >> 16) & 0xFF];
                ++h[kAlpha][p >> 24];
            }
        }
        for (; x < frame.width; ++x) {
            const std::uint32_t p = loadPixel(row + 4 * x);
            ++parts.counts[0][kBlue][p & 0xFF];
            ++parts.counts[0][kGreen][(p >> 8) & 0xFF];
            ++parts.counts[0][kRed][(p >> 16) & 0xFF];
            ++parts.counts[0][kAlpha][p >> 24];
        }
    }
    addPartialHistograms(parts, histogram);
}

void mapPortable(const FrameView& input, const FrameView& output,
                 const std::uint8_t (*tables)[256]) {
    const std::uint8_t* tb = tables[kBlue];
    const std::uint8_t* tg = tables[kGreen];
    const std::uint8_t* tr = tables[kRed];
    const std::uint8_t* ta = tables[kAlpha];
    for (std::int32_t r = 0; r < input.height; ++r) {
        const std::uint8_t* in = frameRowBytes(input, r);
        std::uint8_t* out = frameRowBytes(output, r);
        for (std::int32_t x = 0; x < input.width; ++x) {
            const std::uint32_t p = loadPixel(in + 4 * x);
            storePixel(out + 4 * x, std::uint32_t(tb[p & 0xFF]) |
                                        std::uint32_t(tg[(p >> 8) & 0xFF]) << 8 |
                                        std::uint32_t(tr[(p >> 16) & 0xFF]) << 16 |
                                        std::uint32_t(ta[p >> 24]) << 24);
        }
    }
}

const FrameKernels scalarKernels = {"scalar", countPortable, mapPortable};
