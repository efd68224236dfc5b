// The walk over chunks of 32 pixels that the vector histogram counts share,
// 8-bit and deep alike: one loop over the sample width (internal linkage, as
// in kernels_common.h: each file is compiled for its own instruction set).
//
// Along each row, chunk by chunk:
//   - A chunk that repeats the pending run's pixel throughout lengthens the
//     run by 32 (allEqual): flat backgrounds, title cards and letterbox bars
//     cost almost nothing.
//   - Otherwise inspect gives the chunk's mask of repeats (bit i set when
//     pixel i equals pixel i - 1; bit 0 clear at the start of a row) and
//     tells whether all its alpha equals the frame's first alpha.
//   - Below kRunsFrom repeats (four runs or more) the chunk is cheaper
//     counted pixel by pixel: the runs' additions wait on each other where
//     few colours alternate, as in the text of a title card. The pending run
//     is counted, the chunk's last pixel starts the next one (repeats of it
//     in the next chunk count to it), and the counter counts the chunk.
//   - Else each clear bit of the mask starts a run, and repeats before the
//     first lengthen the pending one: one addition of its length a channel.
// A row's last pixels (fewer than 32) go to the counter one by one.
//
// The Counter gives: Pixel, kBytes (bytes a pixel), load(p), alphaWord,
// row(r), width, height; run(pixel, n) adds a run; nextRun() is called as
// each run within a chunk of runs starts; chunk(p, repeats, alphaSame)
// counts a chunk pixel by pixel; tail(row, x) counts the row from x on.
#pragma once

#include <cstdint>

namespace {

template <typename Counter, typename AllEqual, typename Inspect>
void walkChunks(Counter& c, AllEqual allEqual, Inspect inspect) {
    constexpr int kRunsFrom = 28;
    constexpr int kBytes = Counter::kBytes;
    using Pixel = typename Counter::Pixel;
    // Copies: the counts' stores could otherwise stand for the counter's own.
    const std::int32_t width = c.width, height = c.height;
    const Pixel alphaWord = c.alphaWord;
    for (std::int32_t r = 0; r < height; ++r) {
        const std::uint8_t* row = c.row(r);
        Pixel runPixel = 0;
        std::uint32_t runLength = 0; // pixels before the chunk, not yet counted
        std::int32_t x = 0;
        for (; x + 32 <= width; x += 32) {
            const std::uint8_t* chunk = row + kBytes * x;
            if (runLength != 0 && allEqual(chunk, runPixel)) { // the run goes on
                runLength += 32;
                continue;
            }
            bool alphaSame = false;
            const std::uint32_t repeats = inspect(chunk, x == 0, alphaWord, alphaSame);
            if (__builtin_popcount(repeats) < kRunsFrom) {
                if (runLength != 0) c.run(runPixel, runLength);
                runPixel = Counter::load(chunk + kBytes * 31), runLength = 0;
                c.chunk(chunk, repeats, alphaSame);
                continue;
            }
            std::uint32_t starts = ~repeats;
            if (starts == 0) { // the whole chunk repeats the last pixel before it
                runLength += 32;
                continue;
            }
            runLength += static_cast<std::uint32_t>(__builtin_ctz(starts));
            while (starts != 0) {
                const int s = __builtin_ctz(starts);
                starts &= starts - 1;
                if (runLength != 0) c.run(runPixel, runLength);
                c.nextRun();
                runPixel = Counter::load(chunk + kBytes * s);
                runLength = static_cast<std::uint32_t>((starts ? __builtin_ctz(starts) : 32) - s);
            }
        }
        if (runLength != 0) c.run(runPixel, runLength);
        c.tail(row, x);
    }
}

} // namespace
