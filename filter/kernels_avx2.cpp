// AVX2 kernels.
//
// count: eight pixels at a time. A block equal to its first pixel extends a
// run (counted as one addition per channel at its end); otherwise, when the
// eight alpha bytes equal the frame's running alpha, only blue, green and
// red are counted per pixel and alpha once per block; else all four.
// Video frames carry one alpha value throughout, so this saves a quarter of
// the increments of every busy frame.
// map: the portable version (a gather of eight bytes costs as much as eight
// loads).
#include <immintrin.h>

#include <cstring>

#include "kernels.h"
#include "kernels_common.h"

namespace {

void countAvx2(const FrameView& frame, std::uint32_t (*histogram)[256]) {
    PartialHistograms& parts = partialHistograms();
    std::memset(parts.counts, 0, sizeof parts.counts);
    std::uint32_t(&h)[4][256] = parts.counts[0];
    const std::uint32_t alpha = loadPixel(frameRowBytes(frame, 0)) >> 24;
    const __m256i alphaMask = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const __m256i alphaRef = _mm256_set1_epi32(static_cast<int>(alpha << 24));
    std::uint32_t alphaCount = 0;
    for (std::int32_t r = 0; r < frame.height; ++r) {
        const std::uint8_t* row = frameRowBytes(frame, r);
        std::int32_t x = 0;
        while (x + 8 <= frame.width) {
            const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + 4 * x));
            const std::uint32_t first = loadPixel(row + 4 * x);
            const __m256i same = _mm256_set1_epi32(static_cast<int>(first));
            if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(block, same)) == -1) {
                std::int32_t end = x + 8;
                while (end + 8 <= frame.width &&
                       _mm256_movemask_epi8(_mm256_cmpeq_epi32(
                           _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + 4 * end)),
                           same)) == -1)
                    end += 8;
                countRun(h, first, static_cast<std::uint32_t>(end - x));
                x = end;
                continue;
            }
            const bool alphaSame = _mm256_movemask_epi8(_mm256_cmpeq_epi32(
                                       _mm256_and_si256(block, alphaMask), alphaRef)) == -1;
            for (int j = 0; j < 8; ++j)
                countPixel(parts.counts[j & 3], loadPixel(row + 4 * (x + j)), !alphaSame);
            alphaCount += alphaSame ? 8 : 0;
            x += 8;
        }
        for (; x < frame.width; ++x) countPixel(h, loadPixel(row + 4 * x));
    }
    h[kAlpha][alpha] += alphaCount;
    addPartialHistograms(parts, histogram);
}

const FrameKernels kernels = {"avx2", countAvx2, mapPortable};

} // namespace

const FrameKernels* avx2Kernels() {
    return &kernels;
}
