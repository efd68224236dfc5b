// The frame run: what the filter does to every frame.
#pragma once

#include "frame.h"
#include "settings.h"

// Measures `source`, corrects it in its own memory (rows stepped by the
// destination's pitch), and draws the statistics into `destination` when
// showStats is set. A frame without pixels is left alone entirely. Safe to
// call from several threads at once: frame runs take turns.
void runFrame(const FilterSettings& settings, const FrameView& source,
              const FrameView& destination);
