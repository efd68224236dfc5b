// SSE2 kernels: the floor of the 32-bit plug-in.
//
// count: four pixels at a time are compared with the pixel before them;
// a run of equal pixels (flat backgrounds, title cards, letterbox bars)
// is counted as one addition of its length per channel, anything else
// goes through the portable partial histograms.
// map: as the portable version (SSE2 has no byte-table lookup).
#include <emmintrin.h>

#include <cstring>

#include "kernels.h"
#include "kernels_common.h"

namespace {

void countSse2(const FrameView& frame, std::uint32_t (*histogram)[256]) {
    PartialHistograms& parts = partialHistograms();
    std::memset(parts.counts, 0, sizeof parts.counts);
    std::uint32_t(&h)[4][256] = parts.counts[0];
    for (std::int32_t r = 0; r < frame.height; ++r) {
        const std::uint8_t* row = frameRowBytes(frame, r);
        std::int32_t x = 0;
        while (x + 4 <= frame.width) {
            const std::uint32_t first = loadPixel(row + 4 * x);
            const __m128i same = _mm_set1_epi32(static_cast<int>(first));
            std::int32_t end = x;
            while (end + 4 <= frame.width &&
                   _mm_movemask_epi8(_mm_cmpeq_epi32(
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4 * end)), same)) ==
                       0xFFFF)
                end += 4;
            if (end > x) { // a run of end - x equal pixels
                const std::uint32_t n = static_cast<std::uint32_t>(end - x);
                h[kBlue][first & 0xFF] += n;
                h[kGreen][(first >> 8) & 0xFF] += n;
                h[kRed][(first >> 16) & 0xFF] += n;
                h[kAlpha][first >> 24] += n;
                x = end;
                continue;
            }
            for (int j = 0; j < 4; ++j) {
                const std::uint32_t p = loadPixel(row + 4 * (x + j));
                std::uint32_t(&part)[4][256] = parts.counts[j];
                ++part[kBlue][p & 0xFF];
                ++part[kGreen][(p >> 8) & 0xFF];
                ++part[kRed][(p >> 16) & 0xFF];
                ++part[kAlpha][p >> 24];
            }
            x += 4;
        }
        for (; x < frame.width; ++x) {
            const std::uint32_t p = loadPixel(row + 4 * x);
            ++h[kBlue][p & 0xFF];
            ++h[kGreen][(p >> 8) & 0xFF];
            ++h[kRed][(p >> 16) & 0xFF];
            ++h[kAlpha][p >> 24];
        }
    }
    addPartialHistograms(parts, histogram);
}

const FrameKernels kernels = {"sse2", countSse2, mapPortable};

} // namespace

const FrameKernels* sse2Kernels() {
    return &kernels;
}
