// The frame run: what the filter does to every frame.
#pragma once

#include "frame.h"
#include "frame_stats.h"
#include "settings.h"

struct Smoothing;

// Which peak shares the statistics overlay prints on a frame whose run does
// not compute them (bypass titles off, or a frame that fails the gate).
enum class OverlayPeaks {
    // The last shares any frame computed: the video host's rule, which
    // relies on frames arriving one at a time in presentation order.
    lastComputed,
    // The frame's own shares: for hosts that run frames of one clip on
    // several threads or instances, where "the last frame" depends on
    // timing. Every frame's overlay then depends on that frame alone.
    thisFrame,
};

// The video host's frame run, on the shared frame state: measures `source`,
// corrects it in its own memory (rows stepped by the destination's pitch),
// and draws the statistics into `destination` when showStats is set. A
// frame without pixels is left alone entirely. Safe to call from several
// threads at once: frame runs take turns under the frame-state lock.
// `fourth` is channel (the host's frames) or zeroed (frames whose fourth
// bytes the host would have cleared). With `smoothing` (smoothing.h) the
// frame's clip points join its window and the running ones are used (and
// printed); the video host's own runs pass none: every frame is its own.
void runFrame(const FilterSettings& settings, const FrameView& source, const FrameView& destination,
              OverlayPeaks peaks = OverlayPeaks::lastComputed,
              FourthByte fourth = FourthByte::channel, Smoothing* smoothing = nullptr);

// The frame run of a host that gives each instance a state of its own:
// measures `input` with its fourth bytes kept (read as 0, written back as
// they are), writes the corrected frame to `output` (the same size, in
// memory of its own or in the input's at the input's pitch) with the
// statistics of this frame alone when showStats is set. Takes no lock: runs
// on different states go on at once, and the caller keeps each state to one
// run at a time. `smoothing` as for runFrame.
void runFrameKeepingFourthByte(FrameState& state, const FilterSettings& settings,
                               const FrameView& input, const FrameView& output,
                               Smoothing* smoothing = nullptr);
