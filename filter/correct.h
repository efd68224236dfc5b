// Levels, channel tables and mapping: the correction of a measured frame.
#pragma once

#include <cstdint>

#include "frame.h"
#include "frame_stats.h"
#include "settings.h"

// Levels, tables and mapping for a non-empty frame that measureChannels has
// just measured into state.stats with the same `fourth`. `output` supplies
// only its base address and pitch; it may be the input's memory.
void correctFrame(FrameState& state, const FilterSettings& settings, const FrameView& input,
                  const FrameView& output, FourthByte fourth);

// The lowest index among the entries with the greatest count.
int peakIndex(const std::uint32_t (&histogram)[256]);

// Stores in `stats` the shares of the most frequent red, green and blue
// values of the frame just measured, in 1/256 of its `pixels`.
void storePeakShares(FrameStats& stats, std::uint64_t pixels);
