// The AVX2 kernels as they stood before the byte-shuffle map (the selected
// path on AVX2 CPUs until then), frozen here so that the benchmark measures
// the old and the new side by side in one run on one machine: the count in
// blocks of eight pixels over four partial sets exactly 4 KiB apart, and the
// map through paired tables of 2 x 128 KiB, rebuilt when the tables change.
// One difference: the partial sets are this file's own array rather than
// the module's reached through a function, which if anything helps it.
// Compiled for AVX2; the benchmark runs it only where the CPU has AVX2.
#include "before_kernels.h"

#include <immintrin.h>

#include <cstring>

namespace {

std::uint32_t loadPixel(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

void storePixel(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v), p[1] = std::uint8_t(v >> 8), p[2] = std::uint8_t(v >> 16),
    p[3] = std::uint8_t(v >> 24);
}

std::uint32_t partials[4][4][256];

void countBytes(std::uint32_t (&h)[4][256], const std::uint8_t* p, bool alpha) {
    ++h[kBlue][p[0]];
    ++h[kGreen][p[1]];
    ++h[kRed][p[2]];
    if (alpha) ++h[kAlpha][p[3]];
}

bool sameAsFirst(const std::uint8_t* p, std::uint32_t word) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    return _mm256_movemask_epi8(_mm256_cmpeq_epi32(v, _mm256_set1_epi32(int(word)))) == -1;
}

bool sameAlpha(const std::uint8_t* p, std::uint32_t word) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i alphaBytes = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    return _mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_and_si256(v, alphaBytes),
                                                   _mm256_set1_epi32(int(word)))) == -1;
}

void countBefore(const FrameView& frame, std::uint32_t (*histogram)[256]) {
    constexpr int Block = 8;
    std::memset(partials, 0, sizeof partials);
    std::uint32_t(&h)[4][256] = partials[0];
    const std::uint32_t alphaWord = loadPixel(frameRowBytes(frame, 0)) & 0xFF000000u;
    std::uint32_t alphaCount = 0;
    for (std::int32_t r = 0; r < frame.height; ++r) {
        const std::uint8_t* row = frameRowBytes(frame, r);
        std::int32_t x = 0;
        while (x + Block <= frame.width) {
            const std::uint8_t* block = row + 4 * x;
            const std::uint32_t first = loadPixel(block);
            if (sameAsFirst(block, first)) {
                std::int32_t end = x + Block;
                while (end + Block <= frame.width && sameAsFirst(row + 4 * end, first))
                    end += Block;
                const std::uint32_t n = static_cast<std::uint32_t>(end - x);
                h[kBlue][first & 0xFF] += n;
                h[kGreen][(first >> 8) & 0xFF] += n;
                h[kRed][(first >> 16) & 0xFF] += n;
                h[kAlpha][first >> 24] += n;
                x = end;
                continue;
            }
            const bool alphaSame = sameAlpha(block, alphaWord);
            for (int j = 0; j < Block; j += 4)
                for (int s = 0; s < 4; ++s)
                    countBytes(partials[s], block + 4 * (j + s), !alphaSame);
            if (alphaSame) alphaCount += Block;
            x += Block;
        }
        for (; x < frame.width; ++x) countBytes(h, row + 4 * x, true);
    }
    h[kAlpha][alphaWord >> 24] += alphaCount;
    for (int k = 0; k < 4; ++k)
        for (int v = 0; v < 256; ++v)
            histogram[k][v] +=
                partials[0][k][v] + partials[1][k][v] + partials[2][k][v] + partials[3][k][v];
}

struct PairTables {
    std::uint16_t low[65536];
    std::uint16_t high[65536];
    std::uint8_t builtFrom[4][256];
    bool built;
};
PairTables pairs;

void mapBefore(const FrameView& input, const FrameView& output, const std::uint8_t (*tables)[256],
               const ChannelValues&) {
    if (!pairs.built || std::memcmp(pairs.builtFrom, tables, sizeof pairs.builtFrom) != 0) {
        for (int a = 0; a < 256; ++a)
            for (int b = 0; b < 256; ++b) {
                pairs.low[a << 8 | b] = std::uint16_t(tables[kGreen][a] << 8 | tables[kBlue][b]);
                pairs.high[a << 8 | b] = std::uint16_t(tables[kAlpha][a] << 8 | tables[kRed][b]);
            }
        std::memcpy(pairs.builtFrom, tables, sizeof pairs.builtFrom);
        pairs.built = true;
    }
    for (std::int32_t r = 0; r < input.height; ++r) {
        const std::uint8_t* in = frameRowBytes(input, r);
        std::uint8_t* out = frameRowBytes(output, r);
        for (std::int32_t x = 0; x < input.width; ++x) {
            const std::uint32_t p = loadPixel(in + 4 * x);
            storePixel(out + 4 * x, std::uint32_t(pairs.low[p & 0xFFFF]) |
                                        std::uint32_t(pairs.high[p >> 16]) << 16);
        }
    }
}

} // namespace

const FrameKernels beforeKernels = {"before", countBefore, mapBefore};
