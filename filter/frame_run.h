// The frame run: what the filter does to every frame.
#pragma once

#include <cstdint>

#include "frame.h"
#include "settings.h"

// Measures `source`, corrects it in its own memory (rows stepped by the
// destination's pitch), and draws the statistics into `destination` when
// showStats is set. A frame without pixels is left alone entirely. Safe to
// call from several threads at once: frame runs take turns.
void runFrame(const FilterSettings& settings, const FrameView& source,
              const FrameView& destination);

// Levels, tables and mapping for a frame that measureChannels has just
// measured. `output` supplies only its base address and pitch; it may be the
// input's memory.
void correctFrame(const FilterSettings& settings, const FrameView& input, const FrameView& output);

// The lowest index among the entries with the greatest count.
int peakIndex(const std::uint32_t (&histogram)[256]);
