// The statistics overlay: two lines of text in the built-in 8 x 16 font.
#pragma once

#include <cstdint>

#include "frame.h"
#include "frame_stats.h"

constexpr std::uint32_t kOverlayInk = 0x0000FF00; // pure green, alpha 0

// Draws `text` (bytes 1..255, zero-terminated) with its top-left corner at
// column x of picture row y, counted from the top; memory row 0 is the
// bottom of the picture. Ink pixels are replaced whole by `colour` (but for
// a kept fourth byte, which stays as it is); clear glyph bits leave pixels
// alone. Pixels outside columns 0..width-1 and rows 0..height-1 are never
// written.
void drawText(FramePixel* data, std::int32_t x, std::int32_t y, const char* text,
              std::ptrdiff_t pitchPixels, std::int32_t width, std::int32_t height,
              std::uint32_t colour, FourthByte fourth);

// Prints the clip points, w_min and the peak shares of `stats` into the
// destination frame: line 1 at picture row 32, line 2 at row 64, column 16.
void drawStatsOverlay(const FrameStats& stats, const FrameView& destination, FourthByte fourth);
