// Portable kernels.
//
// count: four partial histograms taken in turn, so that runs of equal values (flat frames, constant
// alpha) do not make each increment wait for the one before it at the same counter. map:
// whole-pixel loads and stores; on frames of 65536 pixels or more, two lookups per pixel in the
// paired tables of the frame state's MapCache.
#include <cstring>

#include "kernels.h"
#include "kernels_common.h"

void countPortable(const FrameView& frame, std::uint32_t (*histogram)[256], FourthByte fourth) {
    const bool alpha = fourth == FourthByte::channel;
    PartialHistograms parts;
    clearPartialHistograms(parts);
    for (std::int32_t r = 0; r < frame.height; ++r) {
        const std::uint8_t* row = frameRowBytes(frame, r);
        std::int32_t x = 0;
        for (; x + 4 <= frame.width; x += 4)
            for (int j = 0; j < 4; ++j) countBytes(parts.sets[j].counts, row + 4 * (x + j), alpha);
        for (; x < frame.width; ++x) countBytes(parts.sets[0].counts, row + 4 * x, alpha);
    }
    if (!alpha)
        parts.sets[0].counts[kAlpha][0] += static_cast<std::uint32_t>(framePixelCount(frame));
    addPartialHistograms(parts, histogram);
}

namespace {

// Below this many pixels building the pairs costs more than it saves.
constexpr std::uint64_t kPairTablesFrom = 1 << 16;

void buildPairTables(MapCache& pairs, const std::uint8_t (*tables)[256]) {
    if (pairs.built && std::memcmp(pairs.builtFrom, tables, sizeof pairs.builtFrom) == 0) return;
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b) {
            pairs.low[a << 8 | b] = std::uint16_t(tables[kGreen][a] << 8 | tables[kBlue][b]);
            pairs.high[a << 8 | b] = std::uint16_t(tables[kAlpha][a] << 8 | tables[kRed][b]);
        }
    std::memcpy(pairs.builtFrom, tables, sizeof pairs.builtFrom);
    pairs.built = true;
}

} // namespace

// The description of the values is not needed: every lookup costs the same
// (a kept fourth byte goes through its identity table like any other).
void mapPortable(const FrameView& input, const FrameView& output, const std::uint8_t (*tables)[256],
                 const ChannelValues&, MapCache& cache) {
    if (framePixelCount(input) >= kPairTablesFrom) {
        buildPairTables(cache, tables);
        const std::uint16_t* low = cache.low;
        const std::uint16_t* high = cache.high;
        for (std::int32_t r = 0; r < input.height; ++r) {
            const std::uint8_t* in = frameRowBytes(input, r);
            std::uint8_t* out = frameRowBytes(output, r);
            for (std::int32_t x = 0; x < input.width; ++x) {
                const std::uint32_t p = loadPixel(in + 4 * x);
                storePixel(out + 4 * x,
                           std::uint32_t(low[p & 0xFFFF]) | std::uint32_t(high[p >> 16]) << 16);
            }
        }
        return;
    }
    const std::uint8_t* tb = tables[kBlue];
    const std::uint8_t* tg = tables[kGreen];
    const std::uint8_t* tr = tables[kRed];
    const std::uint8_t* ta = tables[kAlpha];
    for (std::int32_t r = 0; r < input.height; ++r) {
        const std::uint8_t* in = frameRowBytes(input, r);
        std::uint8_t* out = frameRowBytes(output, r);
        for (std::int32_t x = 0; x < input.width; ++x) {
            const std::uint32_t p = loadPixel(in + 4 * x);
            storePixel(out + 4 * x, std::uint32_t(tb[p & 0xFF]) |
                                        std::uint32_t(tg[(p >> 8) & 0xFF]) << 8 |
                                        std::uint32_t(tr[(p >> 16) & 0xFF]) << 16 |
                                        std::uint32_t(ta[p >> 24]) << 24);
        }
    }
}

const FrameKernels portableKernels = {"portable", countPortable, mapPortable,
                                      countDeepPortable, mapDeepPortable, countDeepPlanesPortable,
                                      mapDeepPlanesPortable};
