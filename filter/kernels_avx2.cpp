// AVX2 kernels.
//
// count: chunks of 32 pixels, eight per register (see countChunks).
// map: 32 pixels at a time, gathered into one register per channel. A
// 256-entry table is sixteen windows of sixteen entries; the byte shuffle
// looks a window up by each value's low nibble (the same window in both
// halves of the register). A channel is looked up one of four ways:
//   - all its pixels hold one value: written as a constant;
//   - a kept fourth byte: written back as read;
//   - its values lie in a few windows (as the frame's histogram shows): each
//     such window is looked up and blended in where the value's high nibble
//     names it;
//   - in many windows: all sixteen are looked up, windows w and w + 8 merged
//     by an or (the shuffle gives 0 where the index's top bit is set, and
//     the second of the pair gets the value with that bit flipped), the
//     eight pairs by a tree of blends on the value's bits 4, 5 and 6; from
//     about ten windows on that costs fewer operations than blending the
//     windows in one by one.
// No table is rebuilt per frame.
#include "kernels.h"
#include "kernels_x86.h"

namespace {

void countAvx2(const FrameView& frame, std::uint32_t (*histogram)[256], FourthByte fourth) {
    countChunks(frame, histogram, fourth, allEqualAvx2, inspectChunkAvx2);
}

// From this many windows on, a channel is looked up in all sixteen.
constexpr int kAllWindowsFrom = 10;

inline __m256i window(const std::uint8_t* table, int w) {
    return _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 16 * w)));
}

// Windows w and w + 8, which differ in the value's top bit only: the shuffle
// gives 0 where its index's top bit is set, so the second window is looked
// up with that bit flipped and the two merge by an or.
inline __m256i lookUpPair(const std::uint8_t* table, int w, __m256i values, __m256i flipped) {
    return _mm256_or_si256(_mm256_shuffle_epi8(window(table, w), values),
                           _mm256_shuffle_epi8(window(table, w + 8), flipped));
}

// a where the value's bit 7 - shift is clear, else b: the blend takes each
// byte's top bit, and the shift brings that bit there (the bits shifted in
// from the byte below land lower).
inline __m256i blendOnBit(__m256i a, __m256i b, __m256i values, int shift) {
    return _mm256_blendv_epi8(a, b, _mm256_sll_epi16(values, _mm_cvtsi32_si128(shift)));
}

// Depth first, so that the 32-bit build's eight registers hold it.
inline __m256i lookUpAll(const std::uint8_t* table, __m256i values) {
    const __m256i flipped = _mm256_xor_si256(values, _mm256_set1_epi8(char(0x80)));
    auto quarter = [&](int w) { // windows w .. w + 1 and w + 8 .. w + 9, by bit 4
        return blendOnBit(lookUpPair(table, w, values, flipped),
                          lookUpPair(table, w + 1, values, flipped), values, 3);
    };
    const __m256i low = blendOnBit(quarter(0), quarter(2), values, 2);
    const __m256i high = blendOnBit(quarter(4), quarter(6), values, 2);
    return blendOnBit(low, high, values, 1);
}

inline __m256i lookUp(const ChannelPlan& plan, const std::uint8_t* table, __m256i values) {
    if (plan.copy) return values;
    if (plan.constant) return _mm256_set1_epi8(static_cast<char>(plan.value));
    if (plan.windowCount >= kAllWindowsFrom) return lookUpAll(table, values);
    const __m256i low = _mm256_and_si256(values, _mm256_set1_epi8(0x0F));
    const __m256i high = _mm256_andnot_si256(_mm256_set1_epi8(0x0F), values);
    __m256i result = _mm256_setzero_si256();
    for (int i = 0; i < plan.windowCount; ++i) {
        const int w = plan.list[i];
        const __m256i start =
            _mm256_load_si256(reinterpret_cast<const __m256i*>(kWindowStarts.rows[w]));
        result = _mm256_blendv_epi8(result, _mm256_shuffle_epi8(window(table, w), low),
                                    _mm256_cmpeq_epi8(high, start));
    }
    return result;
}

void mapAvx2(const FrameView& input, const FrameView& output, const std::uint8_t (*tables)[256],
             const ChannelValues& values, MapCache&) {
    ChannelPlan plans[4];
    for (int k = 0; k < 4; ++k) plans[k] = planChannel(tables[k], values, k);
    mapRows<32>(input, output, [&](const std::uint8_t* in, std::uint8_t* out) {
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
        __m256i g = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 32));
        __m256i r = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 64));
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 96));
        gatherChannels(b, g, r, a);
        b = lookUp(plans[kBlue], tables[kBlue], b);
        g = lookUp(plans[kGreen], tables[kGreen], g);
        r = lookUp(plans[kRed], tables[kRed], r);
        a = lookUp(plans[kAlpha], tables[kAlpha], a);
        scatterChannels(b, g, r, a);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), b);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), g);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64), r);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 96), a);
    });
}

const FrameKernels kernels = {"avx2",        countAvx2,          mapAvx2,          countDeepAvx2,
                              mapDeepAvx2,   countDeepPlanesAvx2, mapDeepPlanesAvx2};

} // namespace

const FrameKernels* avx2Kernels() {
    return &kernels;
}
