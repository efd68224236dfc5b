// The frame run: measure, correct, and (with showStats) print the statistics,
// all under the frame-state lock, so frames of any instances on any threads
// come out as if run one at a time.
#include "frame_run.h"

#include "correct.h"
#include "frame_state_lock.h"
#include "measure.h"
#include "overlay.h"

void runFrame(const FilterSettings& settings, const FrameView& source,
              const FrameView& destination, OverlayPeaks peaks) {
    if (frameIsEmpty(source)) return; // nothing to measure, nothing to touch
    const FrameView output = {source.data, source.width, source.height, destination.pitch};
    FrameStateLock lock; // the statistics and tables below are every instance's
    measureChannels(source);
    correctFrame(settings, source, output);
    if (settings.showStats == 0) return;
    if (peaks == OverlayPeaks::thisFrame) storePeakShares(framePixelCount(source));
    drawStatsOverlay(destination);
}
