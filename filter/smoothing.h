// Smoothing over time: the clip points follow a running value over the
// last N frames, and start again at every cut.
//
// Each frame is measured as always (its histograms and its own clip
// points); then, with a window of N frames (N >= 1):
//   cut test    the distance between this frame's red, green and blue
//               histograms (8-bit bins; deeper samples grouped by their top
//               8 bits) and the previous frame's: for each channel the sum
//               over v of |C(v) - C'(v)|, C the cumulative counts, which is
//               the mean shift of the channel's values in 8-bit levels times
//               the pixel count. A channel whose values moved by more than
//               kCutShiftLevels on average (sum > kCutShiftLevels * pixels,
//               exact integers) is a cut; so is a frame of another pixel
//               count. A cut empties the window.
//   window      the frame's own clip points (read as signed: a high clip of
//               -1 is -1, not 4294967295) join the window, which keeps the
//               last kSmoothingMax frames, the oldest leaving
//   running     each clip point becomes the mean of its last N frames (all
//               of them while it holds fewer), rounded half up:
//               floor((2 * sum + n) / (2 * n)) in 64-bit integers, exact and
//               in no particular order
// Since the window keeps more frames than it averages, a change of N (a host
// animating the parameter) takes effect at once, on the frames already
// there: frame t is smoothed as a run at t's own N smooths it. Only turning
// smoothing off or on starts anew (frames are not kept while it is off).
// A caller that cannot tell a new frame from the last one again (its host
// gave both the same time) sets mayBeLastAgain for the frame: if the frame
// measures the same as the last one (the same colour histograms and own
// clip points), it is that frame again: the window stays as it is and the
// frame takes the last frame's running clip points, so it comes out as that
// frame did. Otherwise it is a new frame and joins as any other.
// The gain, bypass-titles and threshold rules then act on the running clip
// points as on a frame's own. The clip points are what moves when a bright
// object enters (the high clip point follows the brightest half-percent);
// the rules after them depend on the settings and on this frame's shares,
// and stay per frame. After a cut the window holds this frame alone, so the
// first frame of a scene is corrected exactly as it would be on its own.
// A window of 0 changes nothing: every frame is its own.
#pragma once

#include <cstdint>

// The largest window: four seconds at 25 frames a second.
constexpr std::int32_t kSmoothingMax = 100;

// The cut test's limit: the mean shift, in 8-bit levels, of one colour
// channel's values from the previous frame that starts a new scene. Fades
// through black move a channel by a few levels a frame, a bright card
// entering by a fraction of a level; cuts between scenes of different
// brightness by tens (bench/smoothing.sh measures these).
constexpr std::uint64_t kCutShiftLevels = 20;

struct Smoothing {
    std::int32_t window = 0; // N: frames averaged, 0 = off
    // The window's frames, oldest first from `first`, `count` of them (up to
    // kSmoothingMax, of which the last N are averaged).
    std::int32_t low[kSmoothingMax][4];
    std::int32_t high[kSmoothingMax][4];
    std::int32_t first = 0, count = 0;
    // The previous frame's red, green and blue histograms in 8-bit bins, and
    // its pixel count (0: none yet).
    std::uint32_t previous[3][256];
    std::uint64_t previousPixels = 0;
    std::int64_t cuts = 0; // cuts seen, for the benchmarks and tests
    // Set by the caller for the next frame only: it may be the last frame
    // again (see above).
    bool mayBeLastAgain = false;
};

// Forgets every frame seen: the next frame starts a new scene.
void restartSmoothing(Smoothing& s);

// Sets the window (clamped to 0..kSmoothingMax). A change between two
// windows of 1 or more keeps the frames held; turning it off or on starts
// anew.
void setSmoothingWindow(Smoothing& s, std::int32_t window);

// True when `red`, `green`, `blue` (8-bit bins of a frame of `pixels`
// pixels) differ from the previous frame's by a cut. Pure.
bool isCut(const Smoothing& s, const std::uint32_t* const (&rgb)[3], std::uint64_t pixels);

// For a window of 1 or more: the cut test against the previous frame, the
// frame's clip points into the window, and `low`, `high` replaced by the
// running values (or, for the last frame again, only replaced). `rgb` are
// the frame's red, green and blue histograms in 8-bit bins. Does nothing
// with a window of 0.
void smoothClipPoints(Smoothing& s, const std::uint32_t* const (&rgb)[3], std::uint64_t pixels,
                      std::uint32_t (&low)[4], std::uint32_t (&high)[4]);
