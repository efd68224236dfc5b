// Smoothing over time; the rules are in smoothing.h.
#include "smoothing.h"

#include <cstring>

#include "frame_stats.h"

namespace {

// floor(a / b) for b > 0.
std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

// The sum over v of |C(v) - C'(v)|, C and C' the cumulative counts.
std::uint64_t cumulativeDistance(const std::uint32_t* a, const std::uint32_t* b) {
    std::int64_t ca = 0, cb = 0;
    std::uint64_t sum = 0;
    for (int v = 0; v < 256; ++v) {
        ca += a[v], cb += b[v];
        sum += static_cast<std::uint64_t>(ca > cb ? ca - cb : cb - ca);
    }
    return sum;
}

// The mean of clip point k over the last min(count, window) frames.
std::int32_t runningMean(const std::int32_t (*values)[4], const Smoothing& s, int k) {
    const std::int32_t n = s.count < s.window ? s.count : s.window;
    std::int64_t sum = 0;
    for (std::int32_t i = s.count - n; i < s.count; ++i)
        sum += values[(s.first + i) % kSmoothingMax][k];
    return static_cast<std::int32_t>(floorDiv(2 * sum + n, 2 * std::int64_t{n}));
}

// True when the frame measures as the last one did: its pixel count, colour
// histograms and own clip points.
bool measuresAsLast(const Smoothing& s, const std::uint32_t* const (&rgb)[3], std::uint64_t pixels,
                    const std::uint32_t (&low)[4], const std::uint32_t (&high)[4]) {
    if (s.count == 0 || pixels != s.previousPixels) return false;
    for (int c = 0; c < 3; ++c)
        if (std::memcmp(rgb[c], s.previous[c], sizeof s.previous[c]) != 0) return false;
    const std::int32_t last = (s.first + s.count - 1) % kSmoothingMax;
    for (int k = 0; k < 4; ++k)
        if (s.low[last][k] != signedWord(low[k]) || s.high[last][k] != signedWord(high[k]))
            return false;
    return true;
}

// The cut test, then the frame's own clip points into the window.
void joinWindow(Smoothing& s, const std::uint32_t* const (&rgb)[3], std::uint64_t pixels,
                const std::uint32_t (&low)[4], const std::uint32_t (&high)[4]) {
    if (isCut(s, rgb, pixels)) {
        s.first = 0, s.count = 0;
        ++s.cuts;
    }
    for (int c = 0; c < 3; ++c) std::memcpy(s.previous[c], rgb[c], sizeof s.previous[c]);
    s.previousPixels = pixels;
    if (s.count == kSmoothingMax) { // the oldest leaves
        s.first = (s.first + 1) % kSmoothingMax;
        --s.count;
    }
    const std::int32_t slot = (s.first + s.count) % kSmoothingMax;
    for (int k = 0; k < 4; ++k) {
        s.low[slot][k] = signedWord(low[k]);
        s.high[slot][k] = signedWord(high[k]);
    }
    ++s.count;
}

} // namespace

void restartSmoothing(Smoothing& s) {
    s.first = 0;
    s.count = 0;
    s.previousPixels = 0;
}

void setSmoothingWindow(Smoothing& s, std::int32_t window) {
    if (window < 0) window = 0;
    if (window > kSmoothingMax) window = kSmoothingMax;
    if (window == s.window) return;
    const bool onOrOff = window == 0 || s.window == 0;
    s.window = window;
    if (onOrOff) restartSmoothing(s); // no frames are kept while it is off
}

bool isCut(const Smoothing& s, const std::uint32_t* const (&rgb)[3], std::uint64_t pixels) {
    if (s.previousPixels != pixels) return true; // the first frame, or another size
    for (int c = 0; c < 3; ++c)
        if (cumulativeDistance(rgb[c], s.previous[c]) > kCutShiftLevels * pixels) return true;
    return false;
}

void smoothClipPoints(Smoothing& s, const std::uint32_t* const (&rgb)[3], std::uint64_t pixels,
                      std::uint32_t (&low)[4], std::uint32_t (&high)[4]) {
    const bool mayBeAgain = s.mayBeLastAgain;
    s.mayBeLastAgain = false; // for this frame only
    if (s.window <= 0) return;
    if (!(mayBeAgain && measuresAsLast(s, rgb, pixels, low, high)))
        joinWindow(s, rgb, pixels, low, high);
    for (int k = 0; k < 4; ++k) {
        low[k] = static_cast<std::uint32_t>(runningMean(s.low, s, k));
        high[k] = static_cast<std::uint32_t>(runningMean(s.high, s, k));
    }
}
