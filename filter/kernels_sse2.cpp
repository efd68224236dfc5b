// SSE2 kernels: the floor of the 32-bit plug-in.
//
// count: blocks of four pixels (see countBlocks).
// map: the portable version (SSE2 has no byte-table lookup).
#include <emmintrin.h>

#include <cstring>

#include "kernels.h"
#include "kernels_common.h"

namespace {

void countSse2(const FrameView& frame, std::uint32_t (*histogram)[256]) {
    const __m128i alphaBytes = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    countBlocks<4>(
        frame, histogram,
        [](const std::uint8_t* p, std::uint32_t word) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            return _mm_movemask_epi8(_mm_cmpeq_epi32(v, _mm_set1_epi32(int(word)))) == 0xFFFF;
        },
        [&](const std::uint8_t* p, std::uint32_t word) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            return _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(v, alphaBytes),
                                                     _mm_set1_epi32(int(word)))) == 0xFFFF;
        });
}

const FrameKernels kernels = {"sse2", countSse2, mapPortable};

} // namespace

const FrameKernels* sse2Kernels() {
    return &kernels;
}
