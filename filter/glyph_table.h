// The 8x16 bitmap font the statistics overlay draws with.
//
// The glyph of character code c occupies bytes 16*c .. 16*c+15 of glyphTable. Byte i is pixel
// row i counted from the top of the cell; within a byte bit 7 is the leftmost column and bit 0
// the rightmost. A set bit is ink, a clear bit is background.
#pragma once

#include <cstdint>

extern const std::uint8_t glyphTable[256 * 16];
