// Channel histograms and clip points.
//
// One pass over the frame counts, for each of the four bytes of a pixel, how
// many pixels hold each value (channel k counts byte 3 - k; a kept fourth
// byte counts as 0 in every pixel). Then eight
// searches, one from each end of each histogram, find the clip points just
// inside the darkest and the brightest half-percent of the pixels:
//
//   clipLimit = N/200 rounded half up (N = width * height)
//   lowClip   = the smallest L in 1..256 such that more than clipLimit pixels
//               lie below L (one above the bin where the running sum first
//               exceeds the limit)
//   highClip  = the largest H in -1..254 such that more than clipLimit pixels
//               lie above H
//
// Exceeding is strict. A channel whose pixels all hold v ends with v+1 / v-1:
// crossed points, which the correction reads as "cannot be stretched".
//
// Pixel count, limit and running sums are 64-bit so that frames of 2^24
// pixels and more (8K video) are measured truly; below 2^31 pixels the limit
// equals trunc(N * 0.005 + 0.5) exactly.
#include "measure.h"

#include "kernels.h"

namespace {

void resetStats(FrameStats& stats) {
    for (auto& h : stats.histogram)
        for (auto& c : h) c = 0;
    for (int k = 0; k < 4; ++k) {
        stats.lowClip[k] = 0;
        stats.highClip[k] = 255;
    }
}

std::uint32_t lowSearch(const std::uint32_t (&h)[256], std::uint64_t limit) {
    std::uint64_t s = 0;
    std::uint32_t i = 0;
    do {
        s += h[i];
        ++i;
    } while (i < 256 && s <= limit);
    return i;
}

// On a frame of at least one pixel the whole histogram exceeds the limit, so
// the search stops at bin 0 at the latest; the bound only matters for an
// empty frame, which then gets -1 instead of a read below the histogram.
std::uint32_t highSearch(const std::uint32_t (&h)[256], std::uint64_t limit) {
    std::uint64_t s = 0;
    std::int32_t j = 255;
    do {
        s += h[j];
        --j;
    } while (j >= 0 && s <= limit);
    return static_cast<std::uint32_t>(j); // -1 wraps to 4294967295 by design
}

} // namespace

void measureChannels(FrameStats& stats, const FrameView& frame, FourthByte fourth) {
    resetStats(stats);
    std::uint64_t pixels = 0;
    if (!frameIsEmpty(frame)) {
        frameKernels().count(frame, stats.histogram, fourth);
        pixels = framePixelCount(frame);
    }
    const std::uint64_t limit = clipLimitFor(pixels);
    for (int k = 0; k < 4; ++k) stats.lowClip[k] = lowSearch(stats.histogram[k], limit);
    for (int k = 0; k < 4; ++k) stats.highClip[k] = highSearch(stats.histogram[k], limit);
}
