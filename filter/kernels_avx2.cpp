// AVX2 kernels.
//
// count: blocks of eight pixels (see countBlocks).
// map: the portable version (a gather of eight bytes costs as much as eight
// loads).
#include <immintrin.h>

#include <cstring>

#include "kernels.h"
#include "kernels_common.h"

namespace {

void countAvx2(const FrameView& frame, std::uint32_t (*histogram)[256]) {
    const __m256i alphaBytes = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    countBlocks<8>(
        frame, histogram,
        [](const std::uint8_t* p, std::uint32_t word) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            return _mm256_movemask_epi8(_mm256_cmpeq_epi32(v, _mm256_set1_epi32(int(word)))) == -1;
        },
        [&](const std::uint8_t* p, std::uint32_t word) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            return _mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_and_si256(v, alphaBytes),
                                                           _mm256_set1_epi32(int(word)))) == -1;
        });
}

const FrameKernels kernels = {"avx2", countAvx2, mapPortable};

} // namespace

const FrameKernels* avx2Kernels() {
    return &kernels;
}
