// The correction at d bits per sample (8..16): the frame run's rules with
// the 8-bit constants scaled so that d = 8 is exactly the 8-bit filter.
// With M = 2^d - 1:
//   histograms  2^d bins per channel, counted at full precision
//   clip points the 8-bit searches over 2^d bins with the same N/200 limit;
//               where the 8-bit rule steps one value inside the bin at which
//               the running count first exceeds the limit, the deep rule
//               steps one 8-bit step, 2^(d-8) codes, so that 8-bit content
//               promoted to d bits gets the 8-bit clip points promoted
//   gate        any high < low (unsigned): the frame passes unchanged
//   bypass      the peak shares of the top 8 bits of each sample (bins
//               grouped by 2^(d-8)), so a deep frame behaves as its 8-bit
//               version: share = count * 256 / N, g = ((256 - avg) * g) >> 8
//   gain        low = low * g / 100, high = M - (M - high) * g / 100
//   w_min       min(M + 1, ranges R, G, B), in d-bit steps
//   threshold   in 8-bit steps as the user sets it; the step runs when
//               w_min * 255 < threshold * M (exact integers), with
//               f = ((w_min * 255.0) / M * 100.0) / threshold and the
//               distances to 0 and M scaled by f * 0.01, truncated
//   tables      table[i] = trunc((i - low) / range * M + 0.5), clamped to 0..M
//   tone        power:  tone[i] = trunc((i / 2^d)^e * 2^d), clamped to 0..M
//               S-type: v = trunc((i / 2^(d-1))^e * 2^(d-1)) clamped to
//               0..2^(d-1)-1 for i < 2^(d-1); tone[i] = v, tone[M - i] = M - v
//               (e = 1 / gamma, the filter's correctly rounded power)
// Double arithmetic in exactly this order, one rounding per operation; at
// d = 8 every step is the 8-bit step, operation for operation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame.h"
#include "settings.h"

struct Smoothing;

// Everything one deep frame run measures and builds (about 2.6 MiB): give
// each thread or instance its own, value-initialised.
struct DeepState {
    std::uint32_t histogram[4][65536]; // [channel A, R, G, B][value]
    std::uint32_t lowClip[4];
    std::uint32_t highClip[4];
    std::int32_t w_min;
    std::uint32_t redPeak, greenPeak, bluePeak;
    std::uint16_t table[4][65536];
    std::uint16_t tone[65536];
    // What `tone` was built for: at 16 bits a build is 65,536 powers, so a
    // clip's frames share one while gamma, curve and depth stay.
    bool toneBuilt;
    double toneGamma;
    std::int32_t toneSCurve;
    int toneBits;
};

// Measures and corrects `frame` in place. `bits` must lie in 8..16 and every
// colour sample below 2^bits; an empty frame is left alone. `fourth` says
// what the alpha sample is: with FourthByte::channel it is counted,
// stretched and mapped like the colours (and must lie below 2^bits too);
// with FourthByte::kept every pixel counts as alpha 0 and keeps its own
// alpha sample, whatever its value; with FourthByte::zeroed the run is the
// channel run of the frame with every alpha sample 0, whatever they hold.
// With `smoothing` (smoothing.h) the running clip points are used.
void runDeepFrame(const FilterSettings& settings, const DeepView& frame, FourthByte fourth,
                  DeepState& state, Smoothing* smoothing = nullptr);

// The same run on a frame of planes, with the same results as runDeepFrame
// on the same samples packed. Without an alpha plane every pixel counts as
// alpha 0, whatever `fourth` says, and nothing is written for it.
void runDeepPlanes(const FilterSettings& settings, const DeepPlanes& frame, FourthByte fourth,
                   DeepState& state, Smoothing* smoothing = nullptr);
