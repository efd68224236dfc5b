// Statistics overlay.
//
// Two lines, formatted with %d (the clip points read as signed, so -1
// prints as -1), drawn at column 16 of picture rows 32 and 64:
//   "   r %d %d, g %d %d, b %d %d, a %d %d, w_min %d"   low/high of R, G, B, A, w_min
//   "   r peak %d, g peak %d, b peak %d"
// Glyph row i of a character drawn at picture row y lands in memory row
// height - 1 - y - i, since the host stores pictures bottom-up. Each ink
// pixel is clipped to the frame, so frames lower than 80 rows or narrower
// than a line get what fits and nothing outside them is written.
#include "overlay.h"

#include <cstdio>

#include "glyph_table.h"

namespace {

// The pitch in pixels: bytes shifted right by two with the sign kept.
std::ptrdiff_t pitchInPixels(std::ptrdiff_t pitchBytes) {
    return pitchBytes >= 0 ? pitchBytes / 4 : -((-pitchBytes + 3) / 4);
}

FramePixel inkPixel(std::uint32_t colour) {
    return {static_cast<std::uint8_t>(colour), static_cast<std::uint8_t>(colour >> 8),
            static_cast<std::uint8_t>(colour >> 16), static_cast<std::uint8_t>(colour >> 24)};
}

} // namespace

void drawText(FramePixel* data, std::int32_t x, std::int32_t y, const char* text,
              std::ptrdiff_t pitchPixels, std::int32_t width, std::int32_t height,
              std::uint32_t colour, FourthByte fourth) {
    const FramePixel ink = inkPixel(colour);
    const bool kept = fourth == FourthByte::kept;
    // 64-bit positions: no sum of a 32-bit origin and an offset can overflow.
    for (std::int64_t n = 0; text[n] != '\0'; ++n) {
        const std::uint8_t* glyph = &glyphTable[16 * static_cast<std::uint8_t>(text[n])];
        for (std::int64_t i = 0; i < 16; ++i) {
            const std::int64_t row = std::int64_t(height) - 1 - y - i;
            if (row < 0 || row >= height) continue;
            FramePixel* line = data + static_cast<std::ptrdiff_t>(row) * pitchPixels;
            for (std::int64_t b = 0; b < 8; ++b) {
                const std::int64_t column = x + 8 * n + b;
                if (!(glyph[i] >> (7 - b) & 1) || column < 0 || column >= width) continue;
                FramePixel& p = line[column];
                p = {ink.blue, ink.green, ink.red, kept ? p.alpha : ink.alpha};
            }
        }
    }
}

void drawStatsOverlay(const FrameStats& s, const FrameView& destination, FourthByte fourth) {
    const std::ptrdiff_t pitch = pitchInPixels(destination.pitch);
    char line[256];
    std::snprintf(line, sizeof line, "   r %d %d, g %d %d, b %d %d, a %d %d, w_min %d",
                  signedWord(s.lowClip[kRed]), signedWord(s.highClip[kRed]),
                  signedWord(s.lowClip[kGreen]), signedWord(s.highClip[kGreen]),
                  signedWord(s.lowClip[kBlue]), signedWord(s.highClip[kBlue]),
                  signedWord(s.lowClip[kAlpha]), signedWord(s.highClip[kAlpha]), s.w_min);
    drawText(destination.data, 16, 32, line, pitch, destination.width, destination.height,
             kOverlayInk, fourth);
    std::snprintf(line, sizeof line, "   r peak %d, g peak %d, b peak %d", signedWord(s.redPeak),
                  signedWord(s.greenPeak), signedWord(s.bluePeak));
    drawText(destination.data, 16, 64, line, pitch, destination.width, destination.height,
             kOverlayInk, fourth);
}
