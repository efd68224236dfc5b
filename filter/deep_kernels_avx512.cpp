// AVX-512 deep kernels.
//
// count: the AVX2 version (see countDeepAvx512).
// map: frames whose samples fall in few windows of the tables by permutes,
// the others by the AVX2 gathers (see mapDeepAvx512).
#include "deep_kernels_common.h"
#include "kernels_x86.h"

// The AVX2 count: its inspection of 32-byte registers measured faster here
// than that of 64-byte ones (1080p ramp at 10 bits: 3.9 against 4.3 ms; each
// 64-byte load of the left neighbours crosses a cache line).
void countDeepAvx512(const DeepView& frame, std::uint32_t (*histogram)[65536], FourthByte fourth) {
    countDeepAvx2(frame, histogram, fourth);
}

namespace {

// A frame whose looked-up channels hold at most this many windows of 64
// table entries (see DeepChannelValues) is mapped without gathers: each
// window is two registers of the table, and one vpermi2b looks up the two
// bytes of all 32 samples of eight pixels in it (a vpermi2w measured three
// times slower here). A window costs about 0.3 ms a 1080p frame, the three
// eight-lane gathers of every eight pixels 1.5 to 2 ms: the deep
// benchmark's title card (6 windows at 10 and 16 bits) maps in 1.6 ms
// against the gathers' 2.7, its ramp (13 windows) in 4.9 against 3.3.
constexpr int kPermuteWindows = 8;

struct DeepWindows {
    int count;
    std::uint16_t key[kPermuteWindows];            // channel k << 10 | window
    const std::uint16_t* entries[kPermuteWindows]; // its 64 table entries
};

// The windows the looked-up channels hold, or a count above kPermuteWindows.
DeepWindows listWindows(const std::uint16_t (*tables)[65536], const DeepChannelValues& values,
                        const DeepPlan& plan, int bits) {
    DeepWindows w = {};
    for (int k = 0; k < 4; ++k) {
        if (!plan.lookUp[k]) continue;
        for (int word = 0; word < (1 << bits) / 4096 + ((1 << bits) % 4096 != 0); ++word)
            for (std::uint64_t held = values.windows[k][word]; held != 0; held &= held - 1) {
                if (w.count == kPermuteWindows) {
                    ++w.count;
                    return w;
                }
                const int window = 64 * word + __builtin_ctzll(held);
                w.key[w.count] = std::uint16_t(k << 10 | window);
                w.entries[w.count] = tables[k] + 64 * window;
                ++w.count;
            }
    }
    return w;
}

// The map of the eight pixels in v: each looked-up sample s (masked to M)
// takes the entry s % 64 of the window whose key matches its channel and
// s / 64; constants and a kept alpha come from `base` and v.
inline __m512i mapEightByWindows(__m512i v, const DeepWindows& w, __m512i top, __m512i laneKeys,
                                 __m512i base, __mmask32 keep) {
    const __m512i s = _mm512_and_si512(v, top);
    const __m512i key = _mm512_or_si512(_mm512_srli_epi16(s, 6), laneKeys);
    // The offsets of the entry's two bytes in its window's 128.
    const __m512i twice = _mm512_slli_epi16(_mm512_and_si512(s, _mm512_set1_epi16(63)), 1);
    const __m512i bytes = _mm512_or_si512(_mm512_or_si512(twice, _mm512_slli_epi16(twice, 8)),
                                          _mm512_set1_epi16(0x100));
    __m512i out = _mm512_mask_mov_epi16(base, keep, v);
    for (int i = 0; i < w.count; ++i) {
        const __mmask32 here = _mm512_cmpeq_epi16_mask(key, _mm512_set1_epi16(short(w.key[i])));
        const __m512i found = _mm512_permutex2var_epi8(_mm512_loadu_si512(w.entries[i]), bytes,
                                                       _mm512_loadu_si512(w.entries[i] + 32));
        out = _mm512_mask_mov_epi16(out, here, found);
    }
    return out;
}

} // namespace

// Frames of few windows by permutes (above); the others by the AVX2 gather
// map: on this machine eight-lane gathers beat sixteen-lane ones (1080p at
// 10 bits: 3.3 against 4.0 ms) and scalar lookups (4.3 ms).
void mapDeepAvx512(const DeepView& frame, const std::uint16_t (*tables)[65536],
                   const DeepChannelValues& values) {
    const DeepPlan plan = planDeepMap(tables, values);
    const DeepWindows windows = listWindows(tables, values, plan, frame.bits);
    if (windows.count > kPermuteWindows) {
        mapDeepAvx2(frame, tables, values);
        return;
    }
    const __m512i top = _mm512_set1_epi16(short((1u << frame.bits) - 1));
    // Word b of a pixel is channel 3 - b.
    const __m512i laneKeys = _mm512_set1_epi64(
        static_cast<long long>(std::uint64_t(kBlue) << 10 | std::uint64_t(kGreen) << 26 |
                               std::uint64_t(kRed) << 42 | std::uint64_t(kAlpha) << 58));
    const __m512i base = _mm512_set1_epi64(static_cast<long long>(plan.fixed));
    const __mmask32 keep = plan.keepAlpha ? 0x88888888u : 0;
    for (std::int32_t r = 0; r < frame.height; ++r) {
        std::uint8_t* row = deepRowBytes(frame, r);
        std::int32_t x = 0;
        __m512i lastIn = _mm512_setzero_si512(), lastOut = _mm512_setzero_si512();
        for (; x + 8 <= frame.width; x += 8) {
            std::uint8_t* p = row + 8 * x;
            // Sixteen lines ahead: with so little work a line the loads
            // would otherwise wait on memory (a title card's map: 2.8 ms
            // without, 2.6 ms with).
            _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<std::uintptr_t>(p) + 1024),
                         _MM_HINT_T0);
            const __m512i v = _mm512_loadu_si512(p);
            // Eight pixels as the last eight (flat cards, bars) are written as
            // those were mapped (a title card's map: 2.3 ms, 1.7 with).
            if (x != 0 && _mm512_cmpeq_epi64_mask(v, lastIn) == 0xFF) {
                _mm512_storeu_si512(p, lastOut);
                continue;
            }
            lastIn = v;
            lastOut = mapEightByWindows(v, windows, top, laneKeys, base, keep);
            _mm512_storeu_si512(p, lastOut);
        }
        if (x < frame.width) { // masked: nothing beyond the row is touched
            std::uint8_t* p = row + 8 * x;
            const __mmask32 lanes = (1u << (4 * (frame.width - x))) - 1;
            _mm512_mask_storeu_epi16(p, lanes,
                                     mapEightByWindows(_mm512_maskz_loadu_epi16(lanes, p), windows,
                                                       top, laneKeys, base, keep));
        }
    }
}
