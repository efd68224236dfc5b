// AVX-512 kernels (with the byte permutes of VBMI).
//
// count: the AVX2 version (chunks of 32 pixels, see countChunks).
// map: sixteen pixels at a time through byte permutes. A 256-entry table is
// four registers; one permute looks up the 128 entries of two of them, so a
// channel takes two permutes (entries below and from 128, chosen by each
// index byte's top bit), and the four channels are merged by byte position
// (blue at byte 0 of every pixel, and so on). The last pixels of a row are
// loaded and stored under a mask, so nothing beyond the row is touched.
#include "kernels.h"
#include "kernels_x86.h"

namespace {

void countAvx512(const FrameView& frame, std::uint32_t (*histogram)[256]) {
    countChunks(frame, histogram, allEqualAvx2, inspectChunkAvx2);
}

struct ChannelTable {
    __m512i low0, low1, high0, high1; // entries 0-63, 64-127, 128-191, 192-255
};

inline __m512i lookUp(const ChannelTable& t, __m512i index, __mmask64 high) {
    const __m512i low = _mm512_permutex2var_epi8(t.low0, index, t.low1);
    const __m512i highValues = _mm512_permutex2var_epi8(t.high0, index, t.high1);
    return _mm512_mask_blend_epi8(high, low, highValues);
}

// Every entry costs the same here, so the description of the values is not
// needed.
void mapAvx512(const FrameView& input, const FrameView& output, const std::uint8_t (*tables)[256],
               const ChannelValues&) {
    ChannelTable t[4];
    for (int k = 0; k < 4; ++k)
        t[k] = {_mm512_loadu_si512(tables[k]), _mm512_loadu_si512(tables[k] + 64),
                _mm512_loadu_si512(tables[k] + 128), _mm512_loadu_si512(tables[k] + 192)};
    const __mmask64 blue = 0x1111111111111111ull;
    const __mmask64 green = blue << 1, red = blue << 2, alpha = blue << 3;
    for (std::int32_t r = 0; r < input.height; ++r) {
        const std::uint8_t* in = frameRowBytes(input, r);
        std::uint8_t* out = frameRowBytes(output, r);
        const std::size_t bytes = static_cast<std::size_t>(input.width) * 4;
        for (std::size_t i = 0; i < bytes; i += 64) {
            const std::size_t left = bytes - i;
            const __mmask64 take = left >= 64 ? ~0ull : (1ull << left) - 1;
            const __m512i index = _mm512_maskz_loadu_epi8(take, in + i);
            const __mmask64 high = _mm512_movepi8_mask(index);
            __m512i v = lookUp(t[kBlue], index, high);
            v = _mm512_mask_mov_epi8(v, green, lookUp(t[kGreen], index, high));
            v = _mm512_mask_mov_epi8(v, red, lookUp(t[kRed], index, high));
            v = _mm512_mask_mov_epi8(v, alpha, lookUp(t[kAlpha], index, high));
            _mm512_mask_storeu_epi8(out + i, take, v);
        }
    }
}

const FrameKernels kernels = {"avx512", countAvx512, mapAvx512};

} // namespace

const FrameKernels* avx512Kernels() {
    return &kernels;
}
