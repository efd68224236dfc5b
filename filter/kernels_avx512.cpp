// AVX-512 kernels (with the byte permutes of VBMI).
//
// count: the AVX2 version (chunks of 32 pixels, see countChunks).
// map: sixteen pixels at a time through byte permutes. A 256-entry table is
// four registers; one permute looks up the 128 entries of two of them, so a
// channel takes two permutes (entries below and from 128, chosen by each
// index byte's top bit), merged into the pixels by byte position (blue at
// byte 0 of every pixel, and so on). Only channels that need it are looked
// up: a channel all of whose pixels hold one value (the video host's alpha
// 0) comes from a constant, and a kept fourth byte from the input itself.
// The rows go in mapRow's order, and the last pixels of a row are loaded
// and stored under a mask, so nothing beyond the row is touched.
//
// The permutes cost the same whatever values a channel holds, while the
// AVX2 map's shuffles cost per 16-value window a channel's values fall in:
// the benchmark times both on frames of 1 to 16 windows a channel, and
// each frame whose channels sit in single windows goes to the AVX2 map
// (shufflesAreFaster). 32-bit builds map with the AVX2 map throughout (see
// below).
#include "kernels.h"
#include "kernels_x86.h"

namespace {

void countAvx512(const FrameView& frame, std::uint32_t (*histogram)[256], FourthByte fourth) {
    countChunks(frame, histogram, fourth, allEqualAvx2, inspectChunkAvx2);
}

#if defined(__x86_64__)
struct ChannelTable {
    __m512i low0, low1, high0, high1; // entries 0-63, 64-127, 128-191, 192-255
    __mmask64 bytes;                  // the channel's byte of every pixel
};

inline __m512i lookUp(const ChannelTable& t, __m512i index, __mmask64 high) {
    const __m512i low = _mm512_permutex2var_epi8(t.low0, index, t.low1);
    const __m512i highValues = _mm512_permutex2var_epi8(t.high0, index, t.high1);
    return _mm512_mask_blend_epi8(high, low, highValues);
}

// The map with `Looked` channels looked up in t[0..Looked-1]; the other
// bytes come from `fixed` (constants) or, under `kept`, from the input.
template <int Looked>
void mapLooking(const FrameView& input, const FrameView& output, const ChannelTable* t,
                __m512i fixed, __mmask64 kept) {
    for (std::int32_t i = 0; i < input.height; ++i) {
        const std::int32_t r = mapRow(input, output, i);
        const std::uint8_t* in = frameRowBytes(input, r);
        std::uint8_t* out = frameRowBytes(output, r);
        const std::size_t bytes = static_cast<std::size_t>(input.width) * 4;
        for (std::size_t i = 0; i < bytes; i += 64) {
            const std::size_t left = bytes - i;
            const __mmask64 take = left >= 64 ? ~0ull : (1ull << left) - 1;
            const __m512i index = _mm512_maskz_loadu_epi8(take, in + i);
            const __mmask64 high = _mm512_movepi8_mask(index);
            __m512i v = _mm512_mask_mov_epi8(fixed, kept, index);
            for (int k = 0; k < Looked; ++k)
                v = _mm512_mask_mov_epi8(v, t[k].bytes, lookUp(t[k], index, high));
            _mm512_mask_storeu_epi8(out + i, take, v);
        }
    }
}

// Whether the AVX2 map is the faster for a frame with these values. Its
// shuffles cost per 16-value window looked up, the permutes per channel:
// with three or four channels looked up and each of them in a single
// window (dark or nearly flat frames), the shuffles win (1080p here: 0.36
// against 0.42 ms); with two windows a channel, or fewer channels, the
// permutes do.
bool shufflesAreFaster(const ChannelValues& values) {
    int looked = 0;
    for (int k = 0; k < 4; ++k) {
        if ((k == kAlpha && values.fourthKept) || values.single[k] >= 0) continue;
        if (__builtin_popcount(values.windows[k]) > 1) return false;
        ++looked;
    }
    return looked >= 3;
}

void mapAvx512(const FrameView& input, const FrameView& output, const std::uint8_t (*tables)[256],
               const ChannelValues& values, MapCache& cache) {
    if (shufflesAreFaster(values)) {
        avx2Kernels()->map(input, output, tables, values, cache);
        return;
    }
    ChannelTable t[4];
    int looked = 0;
    alignas(64) std::uint8_t fixedBytes[64] = {};
    __mmask64 kept = 0;
    for (int k = 0; k < 4; ++k) {
        const int b = 3 - k; // the channel's byte in the pixel
        const __mmask64 bytes = 0x1111111111111111ull << b;
        if (k == kAlpha && values.fourthKept) {
            kept = bytes;
        } else if (values.single[k] >= 0) {
            for (int i = b; i < 64; i += 4) fixedBytes[i] = tables[k][values.single[k]];
        } else {
            t[looked++] = {_mm512_loadu_si512(tables[k]), _mm512_loadu_si512(tables[k] + 64),
                           _mm512_loadu_si512(tables[k] + 128), _mm512_loadu_si512(tables[k] + 192),
                           bytes};
        }
    }
    const __m512i fixed = _mm512_load_si512(fixedBytes);
    switch (looked) {
    case 0:
        return mapLooking<0>(input, output, t, fixed, kept);
    case 1:
        return mapLooking<1>(input, output, t, fixed, kept);
    case 2:
        return mapLooking<2>(input, output, t, fixed, kept);
    case 3:
        return mapLooking<3>(input, output, t, fixed, kept);
    default:
        return mapLooking<4>(input, output, t, fixed, kept);
    }
}

const FrameKernels kernels = {"avx512", countAvx512, mapAvx512, countDeepAvx512,
                                mapDeepAvx512, countDeepPlanesAvx2, mapDeepPlanesAvx2};
#else
// 32-bit code has eight vector registers, too few for the permutes' tables,
// and spilling them made this map twice as slow as the AVX2 map on every
// content: the 32-bit build maps with the AVX2 map.
void mapShuffled(const FrameView& input, const FrameView& output, const std::uint8_t (*tables)[256],
                 const ChannelValues& values, MapCache& cache) {
    avx2Kernels()->map(input, output, tables, values, cache);
}
const FrameKernels kernels = {"avx512", countAvx512, mapShuffled, countDeepAvx512,
                                mapDeepAvx512, countDeepPlanesAvx2, mapDeepPlanesAvx2};
#endif

} // namespace

const FrameKernels* avx512Kernels() {
    return &kernels;
}
