#pragma once

#include "frame.h"
#include "frame_stats.h"

// Resets and fills stats.histogram, lowClip and highClip from `frame`, its
// fourth bytes read as `fourth` says.
void measureChannels(FrameStats& stats, const FrameView& frame, FourthByte fourth);

// The pixel count that a clip search must exceed: N/200 rounded half up.
inline std::uint64_t clipLimitFor(std::uint64_t pixelCount) {
    return (pixelCount + 100) / 200;
}
