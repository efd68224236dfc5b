// Portable kernels.
//
// count: four partial histograms taken in turn, so that runs of equal values (flat frames, constant
// alpha) do not make each increment wait for the one before it at the same counter. map:
// whole-pixel loads and stores; on frames of 65536 pixels or more, two lookups per pixel in paired
// tables.
#include <cstring>

#include "kernels.h"
#include "kernels_common.h"

void countPortable(const FrameView& frame, std::uint32_t (*histogram)[256]) {
    PartialHistograms& parts = partialHistograms;
    clearPartialHistograms(parts);
    for (std::int32_t r = 0; r < frame.height; ++r) {
        const std::uint8_t* row = frameRowBytes(frame, r);
        std::int32_t x = 0;
        for (; x + 4 <= frame.width; x += 4)
            for (int j = 0; j < 4; ++j) countBytes(parts.sets[j].counts, row + 4 * (x + j), true);
        for (; x < frame.width; ++x) countBytes(parts.sets[0].counts, row + 4 * x, true);
    }
    addPartialHistograms(parts, histogram);
}

namespace {

// Paired tables: blue and green of a pixel's low half-word looked up at once,
// red and alpha of its high half-word, so two lookups do a pixel's four.
// 2 x 128 KiB, module-wide; rebuilt only when the channel tables change.
struct PairTables {
    std::uint16_t low[65536];  // [green << 8 | blue]  = out green << 8 | out blue
    std::uint16_t high[65536]; // [alpha << 8 | red]   = out alpha << 8 | out red
    std::uint8_t builtFrom[4][256];
    bool built;
};
PairTables pairs;

// Below this many pixels building the pairs costs more than it saves.
constexpr std::uint64_t kPairTablesFrom = 1 << 16;

void buildPairTables(const std::uint8_t (*tables)[256]) {
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

// The description of the values is not needed: every lookup costs the same.
void mapPortable(const FrameView& input, const FrameView& output, const std::uint8_t (*tables)[256],
                 const ChannelValues&) {
    if (framePixelCount(input) >= kPairTablesFrom) {
        buildPairTables(tables);
        for (std::int32_t r = 0; r < input.height; ++r) {
            const std::uint8_t* in = frameRowBytes(input, r);
            std::uint8_t* out = frameRowBytes(output, r);
            for (std::int32_t x = 0; x < input.width; ++x) {
                const std::uint32_t p = loadPixel(in + 4 * x);
                storePixel(out + 4 * x, std::uint32_t(pairs.low[p & 0xFFFF]) |
                                            std::uint32_t(pairs.high[p >> 16]) << 16);
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

const FrameKernels portableKernels = {"portable", countPortable, mapPortable};
