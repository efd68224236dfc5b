// Pieces the x86 kernel files share, each compiled with the instruction set
// of the file that includes it (internal linkage, as in kernels_common.h).
#pragma once

#include <immintrin.h>

#include "kernels_common.h"

namespace {

#if defined(__SSE2__)
// Whether all 32 pixels of a chunk equal word.
inline bool allEqualSse2(const std::uint8_t* chunk, std::uint32_t word) {
    const __m128i w = _mm_set1_epi32(int(word));
    __m128i same = _mm_set1_epi32(-1);
    for (int j = 0; j < 8; ++j)
        same = _mm_and_si128(
            same,
            _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(chunk + 16 * j)), w));
    return _mm_movemask_epi8(same) == 0xFFFF;
}

// The chunk inspection of countChunks, four pixels per register: the mask of
// pixels equal to their left neighbour, and whether every alpha byte equals
// alphaWord's. At a row's start the first pixel is compared with itself
// (nothing left of the row may be read) and its bit cleared.
inline std::uint32_t inspectChunkSse2(const std::uint8_t* chunk, bool rowStart,
                                      std::uint32_t alphaWord, bool& alphaSame) {
    const __m128i alpha = _mm_set1_epi32(int(alphaWord));
    __m128i alphaDiff = _mm_setzero_si128();
    std::uint32_t repeats = 0;
    for (int j = 0; j < 8; ++j) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chunk + 16 * j));
        const __m128i left =
            j == 0 && rowStart
                ? _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 1, 0, 0))
                : _mm_loadu_si128(reinterpret_cast<const __m128i*>(chunk + 16 * j - 4));
        repeats |= std::uint32_t(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(v, left))))
                   << (4 * j);
        alphaDiff = _mm_or_si128(alphaDiff, _mm_xor_si128(v, alpha));
    }
    const __m128i alphaBytes = _mm_set1_epi32(int(0xFF000000u));
    alphaSame = _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(alphaDiff, alphaBytes),
                                                  _mm_setzero_si128())) == 0xFFFF;
    return rowStart ? repeats & ~1u : repeats;
}

#endif

// Row w holds 16w, the first value of window w, in every byte: what a value
// with its low nibble cleared is compared with to tell its window.
struct WindowStarts {
    alignas(32) std::uint8_t rows[16][32];
};
constexpr WindowStarts makeWindowStarts() {
    WindowStarts s = {};
    for (int w = 0; w < 16; ++w)
        for (int i = 0; i < 32; ++i) s.rows[w][i] = static_cast<std::uint8_t>(16 * w);
    return s;
}
constexpr WindowStarts kWindowStarts = makeWindowStarts();

// How the shuffle maps look a channel up in a frame: as a constant when all
// its pixels hold one value, not at all when it is a kept fourth byte
// (written back as read), else through the listed windows (or all).
struct ChannelPlan {
    bool constant;
    bool copy;
    std::uint8_t value;    // the constant's mapped value
    int windowCount;       // windows listed
    std::uint8_t list[16]; // the windows that hold values, lowest first
};

inline ChannelPlan planChannel(const std::uint8_t (&table)[256], const ChannelValues& values,
                               int k) {
    ChannelPlan p = {};
    p.copy = k == kAlpha && values.fourthKept;
    if (p.copy) return p;
    p.constant = values.single[k] >= 0;
    p.value = p.constant ? table[values.single[k]] : 0;
    for (int w = 0; w < 16; ++w)
        if (values.windows[k] >> w & 1) p.list[p.windowCount++] = std::uint8_t(w);
    return p;
}

// The row a map takes i-th. The rows go last to first: the count has just
// passed over the last ones, which are still in the level-2 cache (measured
// about a quarter faster on a 1080p frame in place, and a fifth into a
// frame of its own). Only an output in the input's memory at another pitch
// goes first to last, as the portable map goes: the video host's frame run
// writes into the input's memory at the destination's pitch, and in that
// order each row is read before anything is written over it.
inline std::int32_t mapRow(const FrameView& input, const FrameView& output, std::int32_t i) {
    const bool overlaps = input.data == output.data && input.pitch != output.pitch;
    return overlaps ? i : input.height - 1 - i;
}

// Runs mapChunk(in, out) over every whole chunk of Pixels pixels in each row
// (in mapRow's order), and over the row's last pixels through a buffer, so
// nothing outside the row's width * 4 bytes is read or written. mapChunk
// reads its whole chunk before it writes.
template <int Pixels, typename MapChunk>
void mapRows(const FrameView& input, const FrameView& output, MapChunk mapChunk) {
    for (std::int32_t i = 0; i < input.height; ++i) {
        const std::int32_t r = mapRow(input, output, i);
        const std::uint8_t* in = frameRowBytes(input, r);
        std::uint8_t* out = frameRowBytes(output, r);
        std::int32_t x = 0;
        for (; x + Pixels <= input.width; x += Pixels) mapChunk(in + 4 * x, out + 4 * x);
        if (x < input.width) {
            std::uint8_t tail[4 * Pixels] = {};
            const std::size_t bytes = static_cast<std::size_t>(input.width - x) * 4;
            std::memcpy(tail, in + 4 * x, bytes);
            mapChunk(tail, tail);
            std::memcpy(out + 4 * x, tail, bytes);
        }
    }
}

#if defined(__SSSE3__)
// Gathers sixteen pixels from four registers into one register per channel:
// afterwards a, b, c, d hold the sixteen bytes of blue, green, red, alpha, in
// an order that scatterChannels undoes (the map works byte by byte, so the
// order within a channel does not matter). In-lane operations only, so the
// 256-bit version below is the same on each half.
const std::uint8_t kGroupBytes[16] = {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15};

inline void gatherChannels(__m128i& a, __m128i& b, __m128i& c, __m128i& d) {
    const __m128i group = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kGroupBytes));
    a = _mm_shuffle_epi8(a, group), b = _mm_shuffle_epi8(b, group);
    c = _mm_shuffle_epi8(c, group), d = _mm_shuffle_epi8(d, group);
    const __m128i t0 = _mm_unpacklo_epi32(a, b), t1 = _mm_unpackhi_epi32(a, b);
    const __m128i t2 = _mm_unpacklo_epi32(c, d), t3 = _mm_unpackhi_epi32(c, d);
    a = _mm_unpacklo_epi64(t0, t2), b = _mm_unpackhi_epi64(t0, t2);
    c = _mm_unpacklo_epi64(t1, t3), d = _mm_unpackhi_epi64(t1, t3);
}

// The inverse of gatherChannels (the byte grouping is its own inverse).
inline void scatterChannels(__m128i& a, __m128i& b, __m128i& c, __m128i& d) {
    const __m128i u0 = _mm_unpacklo_epi32(a, b), u1 = _mm_unpackhi_epi32(a, b);
    const __m128i u2 = _mm_unpacklo_epi32(c, d), u3 = _mm_unpackhi_epi32(c, d);
    const __m128i group = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kGroupBytes));
    a = _mm_shuffle_epi8(_mm_unpacklo_epi64(u0, u2), group);
    b = _mm_shuffle_epi8(_mm_unpackhi_epi64(u0, u2), group);
    c = _mm_shuffle_epi8(_mm_unpacklo_epi64(u1, u3), group);
    d = _mm_shuffle_epi8(_mm_unpackhi_epi64(u1, u3), group);
}
#endif

#if defined(__AVX2__)
inline bool allEqualAvx2(const std::uint8_t* chunk, std::uint32_t word) {
    const __m256i w = _mm256_set1_epi32(int(word));
    __m256i same = _mm256_set1_epi32(-1);
    for (int j = 0; j < 4; ++j)
        same = _mm256_and_si256(
            same, _mm256_cmpeq_epi32(
                      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(chunk + 32 * j)), w));
    return _mm256_movemask_epi8(same) == -1;
}

inline void gatherChannels(__m256i& a, __m256i& b, __m256i& c, __m256i& d) {
    const __m256i group =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(kGroupBytes)));
    a = _mm256_shuffle_epi8(a, group), b = _mm256_shuffle_epi8(b, group);
    c = _mm256_shuffle_epi8(c, group), d = _mm256_shuffle_epi8(d, group);
    const __m256i t0 = _mm256_unpacklo_epi32(a, b), t1 = _mm256_unpackhi_epi32(a, b);
    const __m256i t2 = _mm256_unpacklo_epi32(c, d), t3 = _mm256_unpackhi_epi32(c, d);
    a = _mm256_unpacklo_epi64(t0, t2), b = _mm256_unpackhi_epi64(t0, t2);
    c = _mm256_unpacklo_epi64(t1, t3), d = _mm256_unpackhi_epi64(t1, t3);
}

inline void scatterChannels(__m256i& a, __m256i& b, __m256i& c, __m256i& d) {
    const __m256i u0 = _mm256_unpacklo_epi32(a, b), u1 = _mm256_unpackhi_epi32(a, b);
    const __m256i u2 = _mm256_unpacklo_epi32(c, d), u3 = _mm256_unpackhi_epi32(c, d);
    const __m256i group =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(kGroupBytes)));
    a = _mm256_shuffle_epi8(_mm256_unpacklo_epi64(u0, u2), group);
    b = _mm256_shuffle_epi8(_mm256_unpackhi_epi64(u0, u2), group);
    c = _mm256_shuffle_epi8(_mm256_unpacklo_epi64(u1, u3), group);
    d = _mm256_shuffle_epi8(_mm256_unpackhi_epi64(u1, u3), group);
}

// inspectChunkSse2 with eight pixels per register.
inline std::uint32_t inspectChunkAvx2(const std::uint8_t* chunk, bool rowStart,
                                      std::uint32_t alphaWord, bool& alphaSame) {
    const __m256i alpha = _mm256_set1_epi32(int(alphaWord));
    __m256i alphaDiff = _mm256_setzero_si256();
    std::uint32_t repeats = 0;
    for (int j = 0; j < 4; ++j) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(chunk + 32 * j));
        const __m256i left =
            j == 0 && rowStart
                ? _mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(0, 0, 1, 2, 3, 4, 5, 6))
                : _mm256_loadu_si256(reinterpret_cast<const __m256i*>(chunk + 32 * j - 4));
        repeats |=
            std::uint32_t(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(v, left))))
            << (8 * j);
        alphaDiff = _mm256_or_si256(alphaDiff, _mm256_xor_si256(v, alpha));
    }
    alphaSame = _mm256_testz_si256(alphaDiff, _mm256_set1_epi32(int(0xFF000000u))) != 0;
    return rowStart ? repeats & ~1u : repeats;
}
#endif

} // namespace
