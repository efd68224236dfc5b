// The deep frame run; the rules and their scaling are in deep_correct.h.
// The two passes over the pixels, the count and the map, are the kernels'
// of the selected path (kernels.h).
// Each step mirrors its 8-bit counterpart (measure.cpp, correct.cpp,
// tone.cpp) with 255 and 256 replaced by M and M + 1, and the bins of the
// top 8 bits where the 8-bit rule reads whole histograms.
#include "deep_correct.h"

#include <initializer_list>

#include "exact_pow.h"
#include "frame.h"
#include "frame_stats.h"
#include "kernels.h"
#include "measure.h"
#include "smoothing.h"
#include "tone.h"

namespace {

struct Depth {
    std::uint32_t top;  // M = 2^d - 1
    std::uint32_t bins; // 2^d
    int bits;
};

// The 8-bit searches over 2^d bins, each clip point one 8-bit step
// (2^(d-8) codes) inside the bin where the running count first exceeds the
// limit.
void searchClipPoints(const Depth& d, std::uint64_t limit, DeepState& s) {
    const std::uint32_t step = 1u << (d.bits - 8);
    for (int k = 0; k < 4; ++k) {
        std::uint64_t sum = 0;
        std::uint32_t i = 0;
        do sum += s.histogram[k][i++];
        while (i < d.bins && sum <= limit);
        s.lowClip[k] = (i - 1) + step;
        sum = 0;
        std::int64_t j = d.top;
        do sum += s.histogram[k][j--];
        while (j >= 0 && sum <= limit);
        s.highClip[k] = static_cast<std::uint32_t>(j + 1) - step; // wraps below 0 as in 8 bits
    }
}

// The share of the most frequent top-8-bit value, in 1/256 of the pixels.
std::uint32_t peakShare(const std::uint32_t* h, const Depth& d, std::uint64_t pixels) {
    const std::uint32_t group = 1u << (d.bits - 8);
    std::uint32_t best = 0;
    for (std::uint32_t v = 0; v < 256; ++v) {
        std::uint32_t c = 0;
        for (std::uint32_t i = 0; i < group; ++i) c += h[v * group + i];
        if (c > best) best = c;
    }
    return static_cast<std::uint32_t>(best * std::uint64_t{256} / pixels);
}

std::uint32_t truncToWord(double x) {
    if (!(x > 0.0)) return 0;
    if (x >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(x);
}

std::uint16_t truncClamped(double x, std::uint32_t top) {
    if (x >= top) return static_cast<std::uint16_t>(top);
    if (x > 0.0) return static_cast<std::uint16_t>(static_cast<std::uint32_t>(x));
    return 0;
}

// Gate, bypass titles, gain, w_min and threshold: the levels of the frame.
// False when the gate fails.
bool decideLevels(const FilterSettings& settings, const Depth& d, std::uint64_t pixels,
                  DeepState& s) {
    s.w_min = signedWord(d.bins);
    for (int k = 0; k < 4; ++k)
        if (s.highClip[k] < s.lowClip[k]) return false;
    std::int32_t gain = settings.gainPercent;
    if (settings.bypassTitles != 0) {
        s.bluePeak = peakShare(s.histogram[kBlue], d, pixels);
        s.greenPeak = peakShare(s.histogram[kGreen], d, pixels);
        s.redPeak = peakShare(s.histogram[kRed], d, pixels);
        const std::uint32_t avg = (s.redPeak + s.greenPeak + s.bluePeak) / 3;
        gain = signedWord(((256u - avg) * static_cast<std::uint32_t>(gain)) >> 8);
    }
    if (gain < 100) {
        const std::uint32_t g = static_cast<std::uint32_t>(gain);
        for (int k = 0; k < 4; ++k) {
            s.lowClip[k] = s.lowClip[k] * g / 100u;
            s.highClip[k] = d.top - (d.top - s.highClip[k]) * g / 100u;
        }
    }
    for (int k : {kRed, kGreen, kBlue}) {
        const std::uint32_t range = s.highClip[k] - s.lowClip[k];
        if (static_cast<double>(range) < s.w_min) s.w_min = signedWord(range);
    }
    if (std::int64_t{s.w_min} * 255 < std::int64_t{settings.threshold} * d.top) {
        const double f = (((s.w_min * 255.0) / d.top) * 100.0) / settings.threshold;
        for (int k = 0; k < 4; ++k) {
            const double low = s.lowClip[k];
            const double fromTop = d.top - s.highClip[k];
            s.lowClip[k] = truncToWord((low * f) * 0.01);
            s.highClip[k] = d.top - truncToWord((fromTop * f) * 0.01);
        }
    }
    return true;
}

// The entries the map can read: the windows of 64 the frame's samples
// hold (a 16-bit table is 65,536 entries, most of them for values a
// low-contrast frame never has), the tone curve applied there too.
void buildTables(const Depth& d, const DeepChannelValues& held, bool tone, DeepState& s) {
    for (int k = 0; k < 4; ++k) {
        std::uint16_t* table = s.table[k];
        const std::uint32_t range = s.highClip[k] - s.lowClip[k];
        const double inv = range == 0 ? 0.0 : 1.0 / range;
        const double low = s.lowClip[k];
        for (std::uint32_t w = 0; w < d.bins / 64; ++w) {
            if (!(held.windows[k][w / 64] >> (w % 64) & 1)) continue;
            for (std::uint32_t i = 64 * w; i < 64 * w + 64; ++i) {
                table[i] = range == 0 ? 0 : truncClamped(((i - low) * inv) * d.top + 0.5, d.top);
                if (tone) table[i] = s.tone[table[i]];
            }
        }
    }
}

void buildDeepTone(double gamma, std::int32_t sCurve, const Depth& d, DeepState& s) {
    const bool same = s.toneBuilt && s.toneBits == d.bits && s.toneSCurve == sCurve &&
                      s.toneGamma == gamma;
    if (same) return;
    s.toneBuilt = true, s.toneGamma = gamma, s.toneSCurve = sCurve, s.toneBits = d.bits;
    const double e = 1.0 / gamma;
    if (sCurve == 0) {
        const double step = 1.0 / d.bins; // 2^-d, exact
        for (std::uint32_t i = 0; i < d.bins; ++i)
            s.tone[i] = truncClamped(exactPow(i * step, e) * d.bins, d.top);
        return;
    }
    const std::uint32_t half = d.bins / 2;
    const double step = 1.0 / half;
    for (std::uint32_t i = 0; i < half; ++i) {
        const std::uint16_t v = truncClamped(exactPow(i * step, e) * half, half - 1);
        s.tone[i] = v;
        s.tone[d.top - i] = static_cast<std::uint16_t>(d.top - v);
    }
}

} // namespace

namespace {

// The running clip points in place of the frame's own: the cut test reads
// the colour histograms in 8-bit bins, each the sum of its 2^(d-8) codes.
void smoothDeepClipPoints(const Depth& d, std::uint64_t pixels, Smoothing& smoothing,
                          DeepState& s) {
    if (smoothing.window <= 0) return;
    std::uint32_t bins[3][256];
    const std::uint32_t group = 1u << (d.bits - 8);
    const int channels[3] = {kRed, kGreen, kBlue};
    for (int c = 0; c < 3; ++c)
        for (std::uint32_t v = 0; v < 256; ++v) {
            std::uint32_t n = 0;
            for (std::uint32_t i = 0; i < group; ++i) n += s.histogram[channels[c]][v * group + i];
            bins[c][v] = n;
        }
    const std::uint32_t* const rgb[3] = {bins[0], bins[1], bins[2]};
    smoothClipPoints(smoothing, rgb, pixels, s.lowClip, s.highClip);
}

void clearAlpha(const DeepView& f) {
    for (std::int32_t r = 0; r < f.height; ++r) {
        DeepPixel* p = reinterpret_cast<DeepPixel*>(deepRowBytes(f, r));
        for (std::int32_t x = 0; x < f.width; ++x) p[x].alpha = 0;
    }
}

void clearAlpha(const DeepPlanes& f) {
    if (f.plane[kAlpha] == nullptr) return;
    for (std::int32_t r = 0; r < f.height; ++r) {
        std::uint16_t* p = deepPlaneRow(f, kAlpha, r);
        for (std::int32_t x = 0; x < f.width; ++x) p[x] = 0;
    }
}

// Both layouts' run: the count, the clip points (running ones with
// `smoothing`), the levels and tables, the map, through the selected kernels
// of the frame's layout.
template <typename Frame, typename Count, typename Map>
void runDeep(const FilterSettings& settings, const Frame& frame, FourthByte fourth,
             DeepState& state, Smoothing* smoothing, Count count, Map map) {
    if (frame.width <= 0 || frame.height <= 0 || frame.bits < 8 || frame.bits > 16) return;
    const Depth d{(1u << frame.bits) - 1, 1u << frame.bits, frame.bits};
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(frame.width) * static_cast<std::uint64_t>(frame.height);
    for (auto& h : state.histogram)
        for (std::uint32_t v = 0; v < d.bins; ++v) h[v] = 0;
    // A zeroed alpha counts as a kept one does: as 0.
    count(frame, state.histogram, fourth == FourthByte::zeroed ? FourthByte::kept : fourth);
    searchClipPoints(d, clipLimitFor(pixels), state);
    if (smoothing != nullptr) smoothDeepClipPoints(d, pixels, *smoothing, state);
    if (!decideLevels(settings, d, pixels, state)) { // the gate: unchanged
        if (fourth == FourthByte::zeroed) clearAlpha(frame);
        return;
    }
    const DeepChannelValues held = deepChannelValuesOf(
        state.histogram, d.bits, pixels, fourth == FourthByte::kept ? fourth : FourthByte::channel);
    const bool tone = gammaNeedsToneStep(settings.gamma);
    if (tone) buildDeepTone(settings.gamma, settings.sCurve, d, state);
    buildTables(d, held, tone, state);
    // A zeroed alpha maps every sample as 0 maps; its histogram, all at 0,
    // describes it as that one value, and a map may look any sample up.
    if (fourth == FourthByte::zeroed)
        for (std::uint32_t i = 1; i < d.bins; ++i) state.table[kAlpha][i] = state.table[kAlpha][0];
    map(frame, state.table, held);
}

} // namespace

void runDeepFrame(const FilterSettings& settings, const DeepView& frame, FourthByte fourth,
                  DeepState& state, Smoothing* smoothing) {
    const FrameKernels& kernels = frameKernels();
    runDeep(settings, frame, fourth, state, smoothing, kernels.deepCount, kernels.deepMap);
}

void runDeepPlanes(const FilterSettings& settings, const DeepPlanes& frame, FourthByte fourth,
                   DeepState& state, Smoothing* smoothing) {
    const FrameKernels& kernels = frameKernels();
    // Without an alpha plane every pixel's alpha is 0, kept as it is.
    if (frame.plane[kAlpha] == nullptr) fourth = FourthByte::kept;
    runDeep(settings, frame, fourth, state, smoothing, kernels.deepPlaneCount,
            kernels.deepPlaneMap);
}
