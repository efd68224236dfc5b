// AVX2 planar deep kernels.
//
// count: each plane's rows by the run-length chunk walk of the packed
// counts (chunk_walk.h) over 32 samples of one channel: flat stretches add
// once a run, the rest sample by sample, groups of eight repeats at once.
// map: sixteen samples at a time, each eight looked up by one 32-bit
// gather from the channel's table read as words of two entries (index
// s >> 1, the entry shifted down by 16 where s is odd, so no read reaches
// past the table), packed back to sixteen 16-bit samples; sixteen equal
// samples are looked up once. A row's last
// samples go through a buffer, so nothing beyond the row is read or written.
#include "chunk_walk.h"
#include "deep_planes_common.h"
#include "kernels_common.h"
#include "kernels_x86.h"

namespace {

inline __m256i loadSamples(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

inline bool allEqualPlane(const std::uint8_t* chunk, std::uint16_t sample) {
    const __m256i s = _mm256_set1_epi16(static_cast<short>(sample));
    const __m256i same = _mm256_and_si256(_mm256_cmpeq_epi16(loadSamples(chunk), s),
                                          _mm256_cmpeq_epi16(loadSamples(chunk + 32), s));
    return _mm256_movemask_epi8(same) == -1;
}

// Bit i set when sample i equals sample i - 1 (bit 0 clear at a row's
// start, where nothing left of the row is read).
inline std::uint32_t inspectPlaneChunk(const std::uint8_t* chunk, bool rowStart, std::uint16_t,
                                       bool& alphaSame) {
    alphaSame = true;
    const __m256i a = loadSamples(chunk), b = loadSamples(chunk + 32);
    const __m256i leftA =
        rowStart ? _mm256_alignr_epi8(a, _mm256_permute2x128_si256(a, a, 0x08), 14)
                 : loadSamples(chunk - 2);
    const __m256i eqA = _mm256_cmpeq_epi16(a, leftA);
    const __m256i eqB = _mm256_cmpeq_epi16(b, loadSamples(chunk + 30));
    // packs interleaves the lanes: a0 b0 a1 b1 as 64-bit quarters; put back.
    const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packs_epi16(eqA, eqB),
                                                   _MM_SHUFFLE(3, 1, 2, 0));
    const std::uint32_t repeats = static_cast<std::uint32_t>(_mm256_movemask_epi8(bytes));
    return rowStart ? repeats & ~1u : repeats;
}

// One row of one plane through walkChunks.
struct PlaneRowCounter {
    using Pixel = std::uint16_t;
    static constexpr int kBytes = 2;
    static Pixel load(const std::uint8_t* p) {
        std::uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    const std::uint8_t* bytes;
    std::int32_t width, height;
    std::uint32_t* h;
    std::uint32_t top;
    Pixel alphaWord = 0; // one channel: no alpha to compare

    const std::uint8_t* row(std::int32_t) const { return bytes; }
    void run(Pixel p, std::uint32_t n) { h[p & top] += n; }
    void nextRun() {}
    void chunk(const std::uint8_t* p, std::uint32_t repeats, bool) {
        for (int i = 0; i < 32; i += 8, repeats >>= 8) {
            if ((repeats | 1) == (repeats | 0xFF)) {
                h[load(p + 2 * i) & top] += 8;
                continue;
            }
            for (int j = i; j < i + 8; ++j) ++h[load(p + 2 * j) & top];
        }
    }
    void tail(const std::uint8_t* r, std::int32_t x) {
        for (; x < width; ++x) ++h[load(r + 2 * x) & top];
    }
};

inline __m256i lookUpEight(const std::uint16_t* table, __m256i index) {
    const __m256i pairs =
        _mm256_i32gather_epi32(reinterpret_cast<const int*>(table), _mm256_srli_epi32(index, 1), 4);
    const __m256i shift = _mm256_slli_epi32(_mm256_and_si256(index, _mm256_set1_epi32(1)), 4);
    return _mm256_and_si256(_mm256_srlv_epi32(pairs, shift), _mm256_set1_epi32(0xFFFF));
}

// The map of the sixteen samples at p. Sixteen equal samples (cards, bars,
// flat backgrounds) are one lookup.
inline void mapSixteen(std::uint16_t* p, const std::uint16_t* table, __m256i top) {
    const __m256i v = _mm256_and_si256(loadSamples(reinterpret_cast<const std::uint8_t*>(p)), top);
    const __m256i first = _mm256_broadcastw_epi16(_mm256_castsi256_si128(v));
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi16(v, first)) == -1) {
        const std::uint16_t entry = table[_mm256_extract_epi16(v, 0)];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p),
                            _mm256_set1_epi16(static_cast<short>(entry)));
        return;
    }
    const __m256i low = _mm256_cvtepu16_epi32(_mm256_castsi256_si128(v));
    const __m256i high = _mm256_cvtepu16_epi32(_mm256_extracti128_si256(v, 1));
    // packus works within lanes: low's and high's halves interleave; put back.
    const __m256i out = _mm256_permute4x64_epi64(
        _mm256_packus_epi32(lookUpEight(table, low), lookUpEight(table, high)),
        _MM_SHUFFLE(3, 1, 2, 0));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), out);
}

} // namespace

void countDeepPlanesAvx2(const DeepPlanes& frame, std::uint32_t (*histogram)[65536],
                         FourthByte fourth) {
    countPlanesWith(frame, histogram, fourth,
                    [](const std::uint16_t* row, std::int32_t width, std::uint32_t* h,
                       std::uint32_t top) {
                        PlaneRowCounter c{reinterpret_cast<const std::uint8_t*>(row), width, 1, h,
                                          top};
                        walkChunks(c, allEqualPlane, inspectPlaneChunk);
                    });
}

void mapDeepPlanesAvx2(const DeepPlanes& frame, const std::uint16_t (*tables)[65536],
                       const DeepChannelValues& values) {
    const __m256i top = _mm256_set1_epi16(static_cast<short>((1u << frame.bits) - 1));
    mapPlanesWith(frame, tables, values,
                  [top](std::uint16_t* row, std::int32_t width, const std::uint16_t* table,
                        std::uint32_t) {
                      std::int32_t x = 0;
                      for (; x + 16 <= width; x += 16) mapSixteen(row + x, table, top);
                      if (x < width) {
                          std::uint16_t tail[16] = {};
                          const std::size_t bytes = static_cast<std::size_t>(width - x) * 2;
                          std::memcpy(tail, row + x, bytes);
                          mapSixteen(tail, table, top);
                          std::memcpy(row + x, tail, bytes);
                      }
                  });
}
