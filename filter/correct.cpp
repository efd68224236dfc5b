// Levels, channel tables and mapping.
//
// After measureChannels, for a frame of N pixels with clip points low[k],
// high[k] (unsigned 32-bit words, wrapping):
//   gate        any high[k] < low[k]: copy the rows unchanged, nothing else
//   bypass      g = gainPercent; with bypassTitles the shares of the most
//               frequent red, green and blue values (count * 256 / N) are
//               averaged and g = ((256 - avg) * g) >> 8
//   gain        g < 100: low = low * g / 100, high = 255 - (255 - high) * g / 100
//   w_min       min(256, range R, G, B), range = high - low
//   threshold   w_min < threshold: f = w_min * 100.0 / threshold and every
//               distance to 0 or 255 is scaled by f * 0.01 and truncated
//   tables      table[k][i] = trunc((i - low) / range * 255 + 0.5), clamped;
//               a range of 0 gives all zeros
//   tone step   when gamma is outside 0.999..1.001
//   kept byte   with FourthByte::kept the alpha table becomes the identity,
//               so that every pixel's fourth byte comes out as it went in;
//               with FourthByte::zeroed every entry becomes the entry for 0,
//               so that any fourth byte comes out as a 0 would (and a frame
//               that fails the gate is copied with its fourth bytes 0)
//   mapping     every byte through its channel's table, in place if asked
// Double arithmetic happens in exactly this order, one rounding per
// operation; doubles become integers only after a clamp in double, so values
// only a saved script can store (negative gain, gamma 0) stay defined.
#include <cstring>
#include <initializer_list>

#include "correct.h"
#include "kernels.h"
#include "tone.h"

namespace {

// trunc(x) as an unsigned word, for x >= 0; clamped in double first.
std::uint32_t truncToWord(double x) {
    if (!(x > 0.0)) return 0;
    if (x >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(x);
}

// trunc(x) clamped to 0..255, decided in double.
std::uint8_t truncToByte(double x) {
    if (x >= 255.0) return 255;
    if (x > 0.0) return static_cast<std::uint8_t>(static_cast<int>(x));
    return 0;
}

bool gatePasses(const FrameStats& stats) {
    for (int k = 0; k < 4; ++k)
        if (stats.highClip[k] < stats.lowClip[k]) return false;
    return true;
}

std::uint32_t peakShare(const std::uint32_t (&h)[256], std::uint64_t pixels) {
    const std::uint64_t count = h[peakIndex(h)];
    return static_cast<std::uint32_t>(count * 256 / pixels); // at most 256
}

std::int32_t bypassTitlesGain(FrameStats& stats, std::int32_t gain, std::uint64_t pixels) {
    storePeakShares(stats, pixels);
    const std::uint32_t avg = (stats.redPeak + stats.greenPeak + stats.bluePeak) / 3;
    return signedWord(((256u - avg) * static_cast<std::uint32_t>(gain)) >> 8);
}

void applyGain(FrameStats& stats, std::int32_t gain) {
    const std::uint32_t g = static_cast<std::uint32_t>(gain);
    for (int k = 0; k < 4; ++k) {
        stats.lowClip[k] = stats.lowClip[k] * g / 100u;
        stats.highClip[k] = 255u - (255u - stats.highClip[k]) * g / 100u;
    }
}

std::uint32_t rangeOf(const FrameStats& stats, int k) {
    return stats.highClip[k] - stats.lowClip[k];
}

void applyThreshold(FrameStats& stats, std::int32_t threshold) {
    const double f = (stats.w_min * 100.0) / threshold;
    for (int k = 0; k < 4; ++k) {
        const double low = stats.lowClip[k];
        const double fromTop = 255u - stats.highClip[k];
        stats.lowClip[k] = truncToWord((low * f) * 0.01);
        stats.highClip[k] = 255u - truncToWord((fromTop * f) * 0.01);
    }
}

void buildChannelTable(const FrameStats& stats, std::uint8_t (&table)[256], int k) {
    const std::uint32_t range = rangeOf(stats, k);
    if (range == 0) {
        std::memset(table, 0, sizeof table);
        return;
    }
    const double inv = 1.0 / range;
    const double low = stats.lowClip[k];
    for (int i = 0; i < 256; ++i) table[i] = truncToByte(((i - low) * inv) * 255.0 + 0.5);
}

void copyRows(const FrameView& input, const FrameView& output, FourthByte fourth) {
    const std::size_t rowBytes = static_cast<std::size_t>(input.width) * 4;
    for (std::int32_t r = 0; r < input.height; ++r) {
        const std::uint8_t* in = frameRowBytes(input, r);
        std::uint8_t* out = frameRowBytes(output, r);
        if (in != out) std::memmove(out, in, rowBytes);
        if (fourth == FourthByte::zeroed)
            for (std::size_t i = 3; i < rowBytes; i += 4) out[i] = 0;
    }
}

} // namespace

void storePeakShares(FrameStats& stats, std::uint64_t pixels) {
    stats.bluePeak = peakShare(stats.histogram[kBlue], pixels);
    stats.greenPeak = peakShare(stats.histogram[kGreen], pixels);
    stats.redPeak = peakShare(stats.histogram[kRed], pixels);
}

int peakIndex(const std::uint32_t (&histogram)[256]) {
    int best = 0;
    std::uint32_t bestCount = 0;
    for (int i = 0; i < 256; ++i) {
        if (histogram[i] > bestCount) {
            bestCount = histogram[i];
            best = i;
        }
    }
    return best;
}

void correctFrame(FrameState& state, const FilterSettings& settings, const FrameView& input,
                  const FrameView& output, FourthByte fourth) {
    FrameStats& stats = state.stats;
    stats.w_min = 256;
    if (!gatePasses(stats)) {
        copyRows(input, output, fourth);
        return;
    }
    std::int32_t gain = settings.gainPercent;
    if (settings.bypassTitles != 0) gain = bypassTitlesGain(stats, gain, framePixelCount(input));
    if (gain < 100) applyGain(stats, gain);

    for (int k : {kRed, kGreen, kBlue}) {
        const std::uint32_t range = rangeOf(stats, k);
        if (static_cast<double>(range) < stats.w_min) stats.w_min = signedWord(range);
    }
    if (stats.w_min < settings.threshold) applyThreshold(stats, settings.threshold);

    for (int k = 0; k < 4; ++k) buildChannelTable(stats, state.channelTable[k], k);
    applyToneStep(state, settings);
    std::uint8_t (&alpha)[256] = state.channelTable[kAlpha];
    if (fourth == FourthByte::kept)
        for (int i = 0; i < 256; ++i) alpha[i] = static_cast<std::uint8_t>(i);
    if (fourth == FourthByte::zeroed) std::memset(alpha, alpha[0], sizeof alpha);
    // The histograms just measured tell the map which values the frame
    // holds; a zeroed fourth byte, counted as 0, is the single value 0 of a
    // table that gives every byte the same.
    frameKernels().map(input, output, state.channelTable,
                       channelValuesOf(stats.histogram,
                                       fourth == FourthByte::kept ? fourth : FourthByte::channel),
                       *state.mapCache);
}
