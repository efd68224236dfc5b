// The frame run: measure, correct, and (with showStats) print the statistics.
// The video host's runs share one state under the frame-state lock, so
// frames of any instances on any threads come out as if run one at a time;
// runs on states of their own need no lock.
#include "frame_run.h"

#include "correct.h"
#include "frame_state_lock.h"
#include "measure.h"
#include "overlay.h"
#include "smoothing.h"

namespace {

void runOn(FrameState& state, const FilterSettings& settings, const FrameView& input,
           const FrameView& output, const FrameView& overlay, FourthByte fourth,
           OverlayPeaks peaks, Smoothing* smoothing) {
    // A zeroed fourth byte counts as a kept one does: as 0.
    measureChannels(state.stats, input, fourth == FourthByte::zeroed ? FourthByte::kept : fourth);
    if (smoothing != nullptr) { // the running clip points replace the frame's own
        FrameStats& st = state.stats;
        const std::uint32_t* const rgb[3] = {st.histogram[kRed], st.histogram[kGreen],
                                             st.histogram[kBlue]};
        smoothClipPoints(*smoothing, rgb, framePixelCount(input), st.lowClip, st.highClip);
    }
    correctFrame(state, settings, input, output, fourth);
    if (settings.showStats == 0) return;
    if (peaks == OverlayPeaks::thisFrame) storePeakShares(state.stats, framePixelCount(input));
    drawStatsOverlay(state.stats, overlay,
                     fourth == FourthByte::kept ? fourth : FourthByte::channel);
}

} // namespace

void runFrame(const FilterSettings& settings, const FrameView& source, const FrameView& destination,
              OverlayPeaks peaks, FourthByte fourth, Smoothing* smoothing) {
    if (frameIsEmpty(source)) return; // nothing to measure, nothing to touch
    const FrameView output = {source.data, source.width, source.height, destination.pitch};
    FrameStateLock lock; // the statistics and tables below are every instance's
    runOn(sharedFrameState, settings, source, output, destination, fourth, peaks, smoothing);
}

void runFrameKeepingFourthByte(FrameState& state, const FilterSettings& settings,
                               const FrameView& input, const FrameView& output,
                               Smoothing* smoothing) {
    if (frameIsEmpty(input)) return;
    runOn(state, settings, input, output, output, FourthByte::kept, OverlayPeaks::thisFrame,
          smoothing);
}
