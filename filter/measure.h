#pragma once

#include "frame.h"

// Resets and fills frameStats.histogram, lowClip and highClip from `frame`.
void measureChannels(const FrameView& frame);

// The pixel count that a clip search must exceed: N/200 rounded half up.
inline std::uint64_t clipLimitFor(std::uint64_t pixelCount) {
    return (pixelCount + 100) / 200;
}
