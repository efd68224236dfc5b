// The frame run: measure, correct, and (with showStats) print the statistics.
#include "frame_run.h"

#include "measure.h"
#include "overlay.h"

void runFrame(const FilterSettings& settings, const FrameView& source,
              const FrameView& destination) {
    if (frameIsEmpty(source)) return; // nothing to measure, nothing to touch
    const FrameView output = {source.data, source.width, source.height, destination.pitch};
    measureChannels(source);
    correctFrame(settings, source, output);
    if (settings.showStats != 0) drawStatsOverlay(destination);
}
