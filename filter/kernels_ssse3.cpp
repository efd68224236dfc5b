// SSSE3 kernels, for CPUs with the byte shuffle but without AVX2.
//
// count: the SSE2 version (chunks of 32 pixels, see countChunks).
// map: sixteen pixels at a time, gathered into one register per channel. A
// 256-entry table is sixteen windows of sixteen entries; the byte shuffle
// looks a window up by each value's low nibble and gives 0 where the index's
// top bit is set, so each window is looked up with an index made to have
// that bit set wherever the value lies outside the window:
//     index = saturating (value xor 16w) + 0x70
// (value xor 16w is below 16 exactly inside window w), and the windows'
// results are or-ed together. Only the windows the frame's histogram shows
// are looked up; a channel all of whose pixels hold one value is written as
// a constant, and a kept fourth byte as it was read. A frame whose values
// spread over many windows (noise, wide ramps) costs more lookups than the
// paired tables of the portable map, which then does it.
#include "kernels.h"
#include "kernels_x86.h"

namespace {

void countSsse3(const FrameView& frame, std::uint32_t (*histogram)[256], FourthByte fourth) {
    countChunks(frame, histogram, fourth, allEqualSse2, inspectChunkSse2);
}

inline __m128i lookUp(const ChannelPlan& plan, const std::uint8_t* table, __m128i values) {
    if (plan.copy) return values;
    if (plan.constant) return _mm_set1_epi8(static_cast<char>(plan.value));
    const __m128i outside = _mm_set1_epi8(0x70);
    __m128i result = _mm_setzero_si128();
    for (int i = 0; i < plan.windowCount; ++i) {
        const int w = plan.list[i];
        const __m128i start =
            _mm_load_si128(reinterpret_cast<const __m128i*>(kWindowStarts.rows[w]));
        const __m128i index = _mm_adds_epu8(_mm_xor_si128(values, start), outside);
        const __m128i window = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 16 * w));
        result = _mm_or_si128(result, _mm_shuffle_epi8(window, index));
    }
    return result;
}

// Above this many windows looked up per pixel, the paired tables are faster.
constexpr int kMostWindows = 12;

void mapSsse3(const FrameView& input, const FrameView& output, const std::uint8_t (*tables)[256],
              const ChannelValues& values, MapCache& cache) {
    ChannelPlan plans[4];
    int lookups = 0;
    for (int k = 0; k < 4; ++k) {
        plans[k] = planChannel(tables[k], values, k);
        if (!plans[k].constant && !plans[k].copy) lookups += plans[k].windowCount;
    }
    if (lookups > kMostWindows) {
        mapPortable(input, output, tables, values, cache);
        return;
    }
    mapRows<16>(input, output, [&](const std::uint8_t* in, std::uint8_t* out) {
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
        __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32));
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 48));
        gatherChannels(b, g, r, a);
        b = lookUp(plans[kBlue], tables[kBlue], b);
        g = lookUp(plans[kGreen], tables[kGreen], g);
        r = lookUp(plans[kRed], tables[kRed], r);
        a = lookUp(plans[kAlpha], tables[kAlpha], a);
        scatterChannels(b, g, r, a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), g);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), r);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 48), a);
    });
}

const FrameKernels kernels = {"ssse3", countSsse3, mapSsse3, countDeepPortable,
                                  mapDeepPortable, countDeepPlanesPortable, mapDeepPlanesPortable};

} // namespace

const FrameKernels* ssse3Kernels() {
    return &kernels;
}
